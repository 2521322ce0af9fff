// The program: the main window on the DM server named by STACKWRIGHT_DM_SERVER (or the demo
// server), started by the window's load handler.
#include <QApplication>
#include <memory>

#include "app/app_context.h"
#include "app/handlers.h"
#include "app/window/main_window.h"
#include "app/window/widget_ui.h"
#include "platform/dm/dm_api.h"
#include "platform/dm/dm_server.h"

int main(int argc, char** argv) {
  // Every local time (each log line has one) makes the C library check the system's time zone
  // file again unless TZ names it: named once, it is read once.
  if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
  QApplication app(argc, argv);
  sw::AppContext cx;
  sw::MainWindow window(cx);
  sw::InstallWidgetUi(cx, window);
  const QString path = sw::dm::DmServer::DefaultPath();
  QString error;
  const sw::dm::DmServerPtr server = sw::dm::DmServer::Open(path, &error);
  if (!server) {
    // Said in a box too: a program started from the desktop has no standard error to read.
    cx.ui->Warn(QStringLiteral("Error: cannot open the DM server at \"%1\": %2 - set STACKWRIGHT_DM_SERVER to a server "
                               "folder (stackwright-dm init <dir> --demo)")
                    .arg(path, error.isEmpty() ? QStringLiteral("unknown error") : error),
                sw::MsgIcon::Critical, cx.app.AppTitle);
    return sw::ExitStartupFailed;
  }
  cx.dm = std::make_shared<sw::dm::DmComponents>(server);
  // Not shown here: start-up shows the splash first and the main window when it is ready.
  // Start-up reads the command line from the process; with /G the whole run happens in here,
  // and with /X the program ends when it does.
  sw::Form_Load(cx);
  return app.exec();
}
