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

// Editors that draw in the terminal they are started from. The program starts them detached
// from any terminal, where they would show nothing: they are used only inside a terminal window.
bool IsTerminalEditor(const ProgramCommand& command) {
  static const QStringList terminalOnly = {
      QStringLiteral("vi"),   QStringLiteral("vim"),   QStringLiteral("nvim"),   QStringLiteral("vim.basic"),
      QStringLiteral("vim.tiny"), QStringLiteral("view"), QStringLiteral("nano"), QStringLiteral("pico"),
      QStringLiteral("micro"), QStringLiteral("ne"),   QStringLiteral("joe"),    QStringLiteral("jed"),
      QStringLiteral("mcedit"), QStringLiteral("ed"),  QStringLiteral("ex"),     QStringLiteral("kak"),
      QStringLiteral("hx"),   QStringLiteral("mg"),    QStringLiteral("zile"),   QStringLiteral("less"),
      QStringLiteral("more"), QStringLiteral("most")};
  const QString name = QFileInfo(command.program).fileName();
  if (terminalOnly.contains(name)) return true;
  // Emacs opens a window of its own unless told to stay in the terminal.
  const bool emacs = name == QLatin1String("emacs") || name == QLatin1String("emacsclient");
  return emacs && (command.arguments.contains(QStringLiteral("-nw")) || command.arguments.contains(QStringLiteral("-t")) ||
                   command.arguments.contains(QStringLiteral("--no-window-system")) ||
                   command.arguments.contains(QStringLiteral("--tty")));
}

// A terminal window that runs the command given after "-e"; none when there is no such program.
std::optional<ProgramCommand> InTerminal(const ProgramCommand& command) {
  for (const QString& name : {QStringLiteral("x-terminal-emulator"), QStringLiteral("xterm")}) {
    const QString terminal = FindProgram(name);
    if (terminal.isEmpty()) continue;
    return ProgramCommand{terminal, QStringList{QStringLiteral("-e"), command.program} + command.arguments, true};
  }
  return std::nullopt;
}

// An editor named by the variable, as something that can show a file: a terminal editor only
// inside a terminal window.
std::optional<ProgramCommand> EditorFromVariable(const char* variable) {
  const std::optional<ProgramCommand> editor = CommandFromVariable(variable);
  if (!editor || !IsTerminalEditor(*editor)) return editor;
  return InTerminal(*editor);
}

std::optional<ProgramCommand> XdgOpen() {
  const QString program = FindProgram(QStringLiteral("xdg-open"));
  if (program.isEmpty()) return std::nullopt;
  return ProgramCommand{program, {}, true};
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

bool Os::StartWatched(const QString& program, const QStringList& arguments, std::function<void(int)> failed) {
  if (program.isEmpty()) return false;
  // Not owned by anything that goes at the program's end: one still running then is left to
  // finish, as a detached one would be.
  auto* process = new QProcess;
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  QObject::connect(process, &QProcess::finished, process,
                   [process, failed = std::move(failed)](int code, QProcess::ExitStatus status) {
                     const int shown = status == QProcess::NormalExit ? code : -1;
                     if (shown != 0 && failed) failed(shown);
                     process->deleteLater();
                   });
  process->start(program, arguments);
  if (process->waitForStarted()) return true;
  delete process;
  return false;
}

OsResult Os::RemoveFile(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  if (::unlink(native.constData()) == 0) return {};
  const int number = errno;
  return {number, QString::fromLocal8Bit(std::strerror(number))};
}

std::optional<ProgramCommand> Os::TextViewer() const {
  // A variable that is set decides; one naming a missing program, or a terminal editor where no
  // terminal window can be opened, falls back to the next.
  if (auto visual = EditorFromVariable("VISUAL")) return visual;
  if (auto editor = EditorFromVariable("EDITOR")) return editor;
  return XdgOpen();
}

std::optional<ProgramCommand> Os::Browser() const {
  return XdgOpen();
}

}  // namespace sw
