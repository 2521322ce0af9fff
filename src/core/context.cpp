#include "core/context.h"

#include <QDateTime>
#include <cstdlib>
#include <stdexcept>

#include "core/log.h"
#include "core/session.h"
#include "platform/monitor/monitor_platform.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"

namespace sw {

Context::Context()
    : ui(std::make_unique<Ui>()),
      settings(std::make_unique<SettingsStore>()),
      os(std::make_unique<Os>()),
      monitorPlatform(std::make_unique<MonitorPlatform>()) {
  // An unattended message box goes to the log as well as to standard error.
  ui->LogSink = [this](const QString& text) { LogMessageBox(*this, text); };
}

Context::~Context() = default;

// The orderly end until the main window brings its own: release the DM session, write the end
// line, end the process.
void Context::EndProgram() {
  // Straight into the label, not the log: the end line below is what the log keeps.
  ui->SetStatusLabel(app.StatusOwnerForm == StatusWindow::None ? StatusWindow::Main : app.StatusOwnerForm,
                     QStringLiteral("Ending program - please wait..."));
  ui->PumpMessages();
  session.FusionLibraries.reset();
  session.CurrentLibrary.reset();
  session.pSQL.reset();
  session.FusionApplication.reset();
  if (session.SessionHelper) {
    try {
      session.SessionHelper->Stop();
    } catch (const std::exception&) {
      // The end goes on past a helper that cannot stop.
    }
    session.SessionHelper.reset();
  }
  const QDateTime now = QDateTime::currentDateTime();
  SetStatus(*this, ProductName + QStringLiteral(" Ended on ") + LongDateText(now.date()) + QStringLiteral(" at ") +
                       LongTimeText(now.time()));
  LogMessage(*this, HyphenLine);
  // exit() skips destructors: write the log, remove the monitor's shared memory (it holds a
  // password) and the settings store's private folder first.
  FlushLog(*this);
  monitorPlatform.reset();
  settings->Close();
  std::exit(log.ErrorsLogged > 0 || run.NothingProcessed ? ExitErrorsLogged : ExitDone);
}

}  // namespace sw
