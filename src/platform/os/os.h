#pragma once
// Operating-system services: the computer name, sleeping, locking the workstation and starting
// a program with its arguments (never through a shell).
#include <QString>
#include <QStringList>

namespace sw {

class Os {
 public:
  virtual ~Os() = default;
  // The computer name; STACKWRIGHT_COMPUTER_NAME overrides it (several "computers" on one machine).
  virtual QString ComputerName() const;
  virtual void Sleep(int milliseconds);
  virtual bool LockWorkStation();
  // Starts a program detached; true when it started.
  virtual bool StartProgram(const QString& program, const QStringList& arguments);
};

}  // namespace sw
