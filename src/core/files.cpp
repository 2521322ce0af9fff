#include "core/files.h"

#include <QFileInfo>

#include "core/context.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "platform/os/os.h"

namespace sw {

namespace {

bool FileExists(const QString& path) {
  return !path.isEmpty() && QFileInfo(path).isFile();
}

// Said in a box and left in the status line, where the user looks for what became of the file.
void SayNotShown(Context& cx, const QString& text) {
  cx.ui->SetStatusLabel(StatusWindow::Main, text);
  cx.ui->Warn(text, MsgIcon::Exclamation, cx.app.AppTitle);
}

// Starts a viewer with the path as its own argument, so blanks and quotes in it are harmless.
// A viewer that does not start is said, or the user would wait for a window that never comes.
bool StartViewer(Context& cx, const ProgramCommand& viewer, const QString& path) {
  QStringList arguments = viewer.arguments;
  arguments << path;
  const QString program = viewer.program;
  auto failed = [&cx, program, path](int status) {
    const QString end = status < 0 ? QStringLiteral(" crashed") : QStringLiteral(" ended with status ") + QString::number(status);
    SayNotShown(cx, QStringLiteral("Unable to view ") + path + QStringLiteral(" - ") + program + end +
                        QStringLiteral(" without showing it"));
  };
  const bool started = viewer.watched ? cx.os->StartWatched(program, arguments, failed)
                                     : cx.os->StartProgram(program, arguments);
  if (started) return true;
  SayNotShown(cx, QStringLiteral("Unable to start ") + viewer.program + QStringLiteral(" to view ") + path);
  return false;
}

bool ViewInBrowser(Context& cx, const QString& path) {
  const std::optional<ProgramCommand> browser = cx.os->Browser();
  if (!browser) {
    SayNotShown(cx, QStringLiteral("Unable to locate your Internet Explorer program"));
    return false;
  }
  cx.ui->SetStatusLabel(StatusWindow::Main,
                        QStringLiteral("Viewing File ") + path + QStringLiteral(" using ") + browser->program);
  return StartViewer(cx, *browser, path);
}

}  // namespace

bool StartTextViewer(Context& cx, const QString& path) {
  // Looked up once: each look-up searches for the program.
  const std::optional<ProgramCommand> viewer = cx.os->TextViewer();
  if (!viewer) {
    // Not said to use Notepad when nothing at all can show the file.
    SayNotShown(cx, QStringLiteral("Unable to locate a program to view ") + path +
                        QStringLiteral(" - set VISUAL or EDITOR to a graphical editor, or install xdg-open"));
    return false;
  }
  cx.ui->SetStatusLabel(StatusWindow::Main, QStringLiteral("Viewing File ") + path + QStringLiteral(" using Notepad"));
  return StartViewer(cx, *viewer, path);
}

void ViewFile(Context& cx, const QString& path) {
  // The log is shown with every entry so far.
  FlushLog(cx);
  if (!FileExists(path)) return;
  cx.ui->SetMousePointer(Pointer::Hourglass);
  const QString caption = cx.ui->StatusLabel(StatusWindow::Main);
  MonitorHeartbeat(cx);
  const bool shown = path.toUpper().endsWith(QLatin1String(".HTM")) ? ViewInBrowser(cx, path) : StartTextViewer(cx, path);
  // The log stays open for appending: a viewer reads it as it grows.
  cx.ui->SetMousePointer(Pointer::Default);
  if (shown) cx.ui->SetStatusLabel(StatusWindow::Main, caption);
}

void PurgeFile(Context& cx, const QString& path) {
  if (!FileExists(path)) return;
  const MsgResult answer =
      cx.ui->MessageBox(QStringLiteral("Are you sure you want to purge the file ") + path + QStringLiteral("?"),
                        MsgIcon::Question, MsgButtons::YesNoDefaultNo, cx.app.AppTitle);
  if (answer != MsgResult::Yes) return;
  // The log writer lets go of the file, so the next entry starts a new one at once.
  CloseLogFile(cx);
  const OsResult removed = cx.os->RemoveFile(path);
  if (removed.number != 0) {
    ReportError(cx, removed.number, QStringLiteral("PurgeFile"), removed.description);
    return;
  }
  if (QFileInfo::exists(path))
    cx.ui->MessageBox(QStringLiteral("File ") + path + QStringLiteral(" has NOT been removed."), MsgIcon::Exclamation,
                      MsgButtons::OK, cx.app.AppTitle);
}

}  // namespace sw
