#include "platform/os/os.h"

#include <QProcess>
#include <QThread>

namespace sw {

QString Os::ComputerName() const { return QString(); }
void Os::Sleep(int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); }
bool Os::LockWorkStation() { return false; }
bool Os::StartProgram(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

}  // namespace sw
