#include "platform/os/os.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <cstring>

namespace sw {

namespace {

// A command taken from an environment variable such as EDITOR="code --wait". The words are
// split the way a command line is, but nothing is run through a shell.
std::optional<ProgramCommand> CommandFromVariable(const char* variable) {
  const QString value = qEnvironmentVariable(variable).trimmed();
  if (value.isEmpty()) return std::nullopt;
  QStringList words = QProcess::splitCommand(value);
  if (words.isEmpty()) return std::nullopt;
  const QString program = FindProgram(words.takeFirst());
  if (program.isEmpty()) return std::nullopt;
  return ProgramCommand{program, words};
}

std::optional<ProgramCommand> XdgOpen() {
  const QString program = FindProgram(QStringLiteral("xdg-open"));
  if (program.isEmpty()) return std::nullopt;
  return ProgramCommand{program, {}};
}

}  // namespace

QString FindProgram(const QString& name) {
  if (name.isEmpty()) return QString();
  if (name.contains(QLatin1Char('/'))) {
    const QFileInfo info(name);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
  }
  return QStandardPaths::findExecutable(name);
}

QString Os::ComputerName() const {
  const QString overridden = qEnvironmentVariable("STACKWRIGHT_COMPUTER_NAME").trimmed();
  if (!overridden.isEmpty()) return overridden;
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return QString();
  return QString::fromLocal8Bit(name);
}

void Os::Sleep(int milliseconds) {
  if (milliseconds > 0) QThread::msleep(static_cast<unsigned long>(milliseconds));
}

bool Os::LockWorkStation() {
  const QString loginctl = FindProgram(QStringLiteral("loginctl"));
  if (loginctl.isEmpty()) return false;
  QProcess process;
  process.start(loginctl, {QStringLiteral("lock-session")});
  if (!process.waitForFinished(10000)) {
    process.kill();
    process.waitForFinished(1000);
    return false;
  }
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool Os::StartProgram(const QString& program, const QStringList& arguments) {
  if (program.isEmpty()) return false;
  return QProcess::startDetached(program, arguments);
}

OsResult Os::RemoveFile(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  if (::unlink(native.constData()) == 0) return {};
  const int number = errno;
  return {number, QString::fromLocal8Bit(std::strerror(number))};
}

std::optional<ProgramCommand> Os::TextViewer() const {
  // A variable that is set decides; one naming a missing program falls back to the next.
  if (auto visual = CommandFromVariable("VISUAL")) return visual;
  if (auto editor = CommandFromVariable("EDITOR")) return editor;
  return XdgOpen();
}

std::optional<ProgramCommand> Os::Browser() const {
  return XdgOpen();
}

}  // namespace sw
