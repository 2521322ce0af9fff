// The program: the main window on the DM server named by STACKWRIGHT_DM_SERVER (or the demo
// server), started by the window's load handler.
#include <QApplication>
#include <cstdio>
#include <memory>

#include "app/app_context.h"
#include "app/handlers.h"
#include "app/window/main_window.h"
#include "app/window/widget_ui.h"
#include "platform/dm/dm_api.h"
#include "platform/dm/dm_server.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString path = sw::dm::DmServer::DefaultPath();
  QString error;
  const sw::dm::DmServerPtr server = sw::dm::DmServer::Open(path, &error);
  if (!server) {
    std::fprintf(stderr, "stackwright: cannot open the DM server at \"%s\": %s\n", qPrintable(path),
                 qPrintable(error.isEmpty() ? QStringLiteral("unknown error") : error));
    std::fprintf(stderr, "stackwright: set STACKWRIGHT_DM_SERVER to a server folder (stackwright-dm init <dir> --demo)\n");
    return 2;
  }
  sw::AppContext cx;
  cx.dm = std::make_shared<sw::dm::DmComponents>(server);
  sw::MainWindow window(cx);
  sw::InstallWidgetUi(cx, window);
  // Not shown here: start-up shows the splash first and the main window when it is ready.
  // Start-up reads the command line from the process; with /G the whole run happens in here,
  // and with /X the program ends when it does.
  sw::Form_Load(cx);
  return app.exec();
}
