// The program: the main window on the DM server named by STACKWRIGHT_DM_SERVER (or the demo
// server), started by the window's load handler.
#include <QApplication>
#include <QStringList>
#include <QThread>
#include <QThreadPool>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/app_context.h"
#include "app/handlers.h"
#include "app/stop_signals.h"
#include "app/window/main_window.h"
#include "app/window/widget_ui.h"
#include "core/log.h"
#include "platform/dm/dm_api.h"
#include "platform/dm/dm_server.h"
#include "platform/ui/ui.h"

namespace {

const char* const kHelp =
    "usage: stackwright [switches]\n"
    "\n"
    "Builds folders in the libraries of the DM server that STACKWRIGHT_DM_SERVER names, by the rules\n"
    "kept in each library. Without /G it shows the main window and waits for Go.\n"
    "\n"
    "Switches (any case, anywhere on the line):\n"
    "  /G          press Go once start-up has finished\n"
    "  /X          end the program when the run ends (with /G: an unattended run)\n"
    "  /L, /NL     loop continuously or not (a saved Loop Continuously makes /G /X run for ever\n"
    "              unless /NL is given)\n"
    "  /V, /NV     verbose logging or not (verbose is the default and logs every step: use /NV\n"
    "              for scheduled runs)\n"
    "              /L, /NL, /V, /NV, /W, /NW, /E and /ADNF are saved as options for later runs\n"
    "  /W, /NW     lock the computer on Go or not\n"
    "  /E          display errors\n"
    "  /ADNF       queue the documents of new folders\n"
    "  /K, /KX     lock or unlock the options\n"
    "  /P          at start, delete the file at exactly the configured log path (the setting\n"
    "              LogFile, by default $TEMP/Quillmark Stackwright for OpenText eDOCS.LOG) when\n"
    "              one is there; the daily logs the program writes carry _YYYYMMDD before the\n"
    "              extension and are kept (File > Purge Log deletes today's)\n"
    "  --help, -h, /?  this text\n"
    "\n"
    "Without a display (QT_QPA_PLATFORM=offscreen, or with /G /X no DISPLAY or one that cannot\n"
    "be opened), and with /G /X on any display, every message box is logged, written to standard\n"
    "error and answered with its default button. Without a display that can be opened, or\n"
    "offscreen, and without /G /X the program ends with status 2.\n"
    "SIGTERM, SIGINT and SIGHUP stop the run after the row in hand, release the claims and end\n"
    "the program with the signal's status; the same signal again within two seconds is the same\n"
    "stop, a later or another one ends it at once.\n"
    "\n"
    "Exit status:\n"
    "  0   the program did what was asked and logged no error\n"
    "  1   errors were logged (rows or statements that failed, a library that cannot be opened),\n"
    "      or /G /X found nothing ticked; the last line on standard error says which and names\n"
    "      the log file\n"
    "  2   start-up ended the program (the DM server, session or current library cannot be\n"
    "      reached, the user lacks the rights, no log can be written, a saved setting cannot be\n"
    "      read, or there is no display for the window); the last line on standard error says so\n";

// Answered before any window or display is needed, so it also works on a machine without one.
bool AsksForHelp(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0 || std::strcmp(a, "/?") == 0) return true;
  }
  return false;
}

// A display to show the window on: X11, Wayland, or a platform named outright.
bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The switches as one line, before QApplication can hand them over.
QString SwitchLine(int argc, char** argv) {
  QStringList switches;
  for (int i = 1; i < argc; ++i) switches << QString::fromLocal8Bit(argv[i]);
  return switches.join(QLatin1Char(' '));
}

// The platforms that show no window to anyone.
bool ShowsNoWindow() {
  const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM").section(QLatin1Char(':'), 0, 0);
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

// The platforms Qt tries in turn for the display it is given, then offscreen: a display that
// cannot be opened (a stale DISPLAY that a service or a cron job inherits) would otherwise make Qt
// abort. The order is Qt's own where no platform is named.
void FallBackToOffscreen() {
  QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
  if (platforms.isEmpty()) {
    QByteArrayList order;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) order << "wayland";
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) order << "xcb";
    platforms = order.join(';');
  }
  qputenv("QT_QPA_PLATFORM", platforms + ";offscreen");
}

// The displays named, for the reason why none can be opened.
QString DisplaysNamed() {
  QStringList named;
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY", "QT_QPA_PLATFORM"})
    if (!qEnvironmentVariableIsEmpty(name)) named << QString::fromLatin1(name) + QLatin1Char('=') + qEnvironmentVariable(name);
  return named.join(QStringLiteral(", "));
}

// Without a display Qt cannot start and aborts. A job from a scheduler, which has none, runs
// unattended without a window; the window alone would wait for a Go that nobody can press, and
// so it would where it is drawn offscreen.
bool ChoosePlatform(int argc, char** argv) {
  const bool unattended = sw::RunsUnattended(SwitchLine(argc, argv));
  if (unattended) {
    if (!HasDisplay())
      qputenv("QT_QPA_PLATFORM", "offscreen");
    else if (!ShowsNoWindow())
      FallBackToOffscreen();
    return true;
  }
  if (!HasDisplay()) {
    std::fputs("stackwright: there is no display to show the main window on (DISPLAY is not set): run it "
               "unattended with /G /X, or start it on a display\n",
               stderr);
    return false;
  }
  if (!ShowsNoWindow()) {
    FallBackToOffscreen();
    return true;
  }
  std::fprintf(stderr,
               "stackwright: there is no display to show the main window on (QT_QPA_PLATFORM=%s draws it where nobody "
               "sees it, and it would wait for ever): run it unattended with /G /X, or start it on a display\n",
               qgetenv("QT_QPA_PLATFORM").constData());
  return false;
}

// False, said, when the window was to be shown but the display given could not be opened and Qt
// fell back to drawing offscreen.
bool WindowCanBeShown(int argc, char** argv, const QString& displays) {
  if (sw::RunsUnattended(SwitchLine(argc, argv)) || QGuiApplication::platformName() != QLatin1String("offscreen"))
    return true;
  std::fprintf(stderr,
               "stackwright: there is no display to show the main window on (%s cannot be opened): run it unattended "
               "with /G /X, or start it on a display\n",
               displays.toLocal8Bit().constData());
  return false;
}

// Start-up could not begin: said with the last line that every status-2 end writes.
int EndBeforeStartup(const sw::AppContext& cx) {
  sw::ReportEndOnStandardError(cx, sw::ExitStartupFailed);
  return sw::ExitStartupFailed;
}

// The toolkit's own messages ("XDG_RUNTIME_DIR not set", what the offscreen platform cannot do)
// are no news for whoever reads standard error, a scheduler's mail above all: standard error holds
// the program's own lines. They go to the verbose log while there is one, and nowhere else. Qt
// takes a plain function, so the log is reached through the one context that the program has.
class ToolkitMessages {
 public:
  static void Install() { qInstallMessageHandler(&ToolkitMessages::Handle); }
  // The log the messages go to while it lives.
  class Into {
   public:
    explicit Into(sw::AppContext& cx) { log_ = &cx; }
    ~Into() { log_ = nullptr; }
    Into(const Into&) = delete;
    Into& operator=(const Into&) = delete;
  };

 private:
  static void Handle(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // The toolkit ends the program after a fatal message: its reason must not be lost.
    if (type == QtFatalMsg) {
      std::fprintf(stderr, "stackwright: %s\n", message.toLocal8Bit().constData());
      return;
    }
    // The log belongs to the program's own thread, and a message about logging must not log again.
    const QCoreApplication* app = QCoreApplication::instance();
    if (!log_ || inside_ || !app || QThread::currentThread() != app->thread()) return;
    inside_ = true;
    sw::LogMessage(*log_, QStringLiteral("Notice: toolkit message: ") + message);
    inside_ = false;
  }
  static inline sw::AppContext* log_ = nullptr;
  static inline bool inside_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  if (AsksForHelp(argc, argv)) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  // Every local time (each log line has one) makes the C library check the system's time zone
  // file again unless TZ names it: named once, it is read once.
  if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
  ToolkitMessages::Install();
  const QString displays = DisplaysNamed();
  if (!ChoosePlatform(argc, argv)) return EndBeforeStartup(sw::AppContext());
  QApplication app(argc, argv);
  if (!WindowCanBeShown(argc, argv, displays)) return EndBeforeStartup(sw::AppContext());
  // Drawing a scaled pixmap (a frame of the style) spreads over the global pool, one new thread a
  // core at the first drawing; the windows are small, and starting those threads costs more than
  // they save. Nothing else of the program uses the pool.
  QThreadPool::globalInstance()->setMaxThreadCount(1);
  sw::AppContext cx;
  const ToolkitMessages::Into toolkitMessages(cx);
  sw::MainWindow window(cx);
  sw::InstallWidgetUi(cx, window);
  const QString path = sw::dm::DmServer::DefaultPath();
  QString error;
  const sw::dm::DmServerPtr server = sw::dm::DmServer::Open(path, &error);
  if (!server) {
    const QString text = QStringLiteral("Error: cannot open the DM server at \"%1\": %2 - set STACKWRIGHT_DM_SERVER to a "
                                        "server folder (stackwright-dm init <dir> --demo)")
                             .arg(path, error.isEmpty() ? QStringLiteral("unknown error") : error);
    // The log of a scheduled run is where its failures are looked for.
    if (sw::FindLogBeforeStartup(cx)) sw::LogMessage(cx, text);
    // Said in a box too: a program started from the desktop has no standard error to read.
    cx.ui->Warn(text, sw::MsgIcon::Critical, cx.app.AppTitle);
    return EndBeforeStartup(cx);
  }
  cx.dm = std::make_shared<sw::dm::DmComponents>(server);
  // Caught from here on: the run that /G starts below happens inside Form_Load.
  sw::StopSignals stopSignals(cx);
  // Not shown here: start-up shows the splash first and the main window when it is ready.
  // Start-up reads the command line from the process; with /G the whole run happens in here,
  // and with /X the program ends when it does.
  sw::Form_Load(cx);
  return app.exec();
}
