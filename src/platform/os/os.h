#pragma once
// Operating-system services: the computer name, sleeping, locking the workstation, removing a
// file and starting a program or viewer with its arguments (never through a shell).
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace sw {

// A program and the arguments that go before whatever the caller adds.
struct ProgramCommand {
  QString program;  // a full path to an executable
  QStringList arguments;
  // Its end is watched (StartWatched): the desktop's opener, which hands the file on and ends
  // with a status that says whether anything could show it, and a terminal window, which may
  // fail after it started. A status other than 0 means the file was not shown.
  bool watched = false;
};

// The outcome of a file operation: number 0 when it worked, otherwise the system's error
// number and its description.
struct OsResult {
  int number = 0;
  QString description;
};

class Os {
 public:
  virtual ~Os() = default;
  // The computer name; STACKWRIGHT_COMPUTER_NAME overrides it (several "computers" on one machine).
  virtual QString ComputerName() const;
  virtual void Sleep(int milliseconds);
  // Locks the session with `loginctl lock-session`; false when that is not available or fails.
  virtual bool LockWorkStation();
  // Starts a program detached; true when it started.
  virtual bool StartProgram(const QString& program, const QStringList& arguments);
  // Starts a program whose end is watched; true when it started. When it later ends with a
  // status other than 0 (-1 for a crash), `failed` is called with that status from the message
  // loop. A program still running when this one ends is left running.
  virtual bool StartWatched(const QString& program, const QStringList& arguments, std::function<void(int)> failed);
  virtual OsResult RemoveFile(const QString& path);

  // The viewer for plain text: $VISUAL, else $EDITOR (each may carry its own arguments), else
  // xdg-open. An editor that draws in a terminal (vi, nano, ...) is run in a terminal window
  // (x-terminal-emulator or xterm, with -e), and passed over where there is none. None when no
  // program that can show the file is found.
  virtual std::optional<ProgramCommand> TextViewer() const;
  // The web browser stand-in: xdg-open. None when it cannot be found.
  virtual std::optional<ProgramCommand> Browser() const;
};

// Resolves a program name through PATH (a path with a slash is taken as it is); empty when
// there is no such executable.
QString FindProgram(const QString& name);

}  // namespace sw
