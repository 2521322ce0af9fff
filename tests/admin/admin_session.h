#pragma once
// An administration-tool context on an emulated DM server: the run's test session with LAWLIB
// current, a library chooser the test sets, and a ui that records the status captions it shows.
#include <QStringList>
#include <functional>
#include <set>
#include <string>

#include "platform/dm/dm_server.h"
#include "run/run_control_session.h"

namespace sw::test {

// Records every caption of the main status label; each message pump may act as the user would.
class RecordingUi : public ScriptedUi {
 public:
  void SetStatusLabel(StatusWindow w, const QString& text) override {
    captions << text;
    ScriptedUi::SetStatusLabel(w, text);
  }
  void PumpMessages() override {
    ScriptedUi::PumpMessages();
    if (onPump) onPump(pumpCount);
  }
  QStringList captions;
  std::function<void(int)> onPump;
};

class AdminSession {
 public:
  explicit AdminSession(DmTestServer& server) : server_(server) {
    auto owned = std::make_unique<RecordingUi>();
    ui = owned.get();
    cx.scripted = owned.get();
    owned->controls.verboseLogging = true;
    cx.ui = std::move(owned);
    started = StartRunSession(cx, server, clock);
    cx.app.StatusOwnerForm = StatusWindow::Main;
    cx.ui->controls.mainStatus = QStringLiteral("Ready");
  }
  // The library the chooser picks (by name), or cancel for an empty name.
  void Choose(const QString& library) {
    cx.session.FusionApplication->SetLibraryChooser(
        [library](const QStringList& names) { return library.isEmpty() ? -1 : int(names.indexOf(library)); });
  }
  // Makes every statement that contains `part` fail in the library.
  void FailStatements(const QString& library, const QString& part) {
    server_.Components()->Server()->hooks.sqlFault = [library, part](const QString& lib, const QString& sql)
        -> std::optional<dm::SqlFault> {
      if (lib.compare(library, Qt::CaseInsensitive) != 0 || !sql.contains(part)) return std::nullopt;
      return dm::SqlFault{1, 1, QStringLiteral("injected failure")};
    };
  }
  // Go and the other tools as the user is offered them, and as they were at every message pump.
  QString GoAndTools() const {
    return QString("go %1 tools %2").arg(cx.ui->controls.goEnabled).arg(cx.ui->controls.toolsEnabled);
  }
  void WatchControls() {
    ui->onPump = [this](int) { whileWorking.insert(GoAndTools().toStdString()); };
  }
  QString Current() const { return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->Name() : QString(); }
  QStringList Texts() const {
    QStringList texts;
    for (const ShownMessage& m : ui->shown) texts << m.text;
    return texts;
  }

  TestClock clock;
  RunTestContext cx;
  RecordingUi* ui = nullptr;
  bool started = false;
  std::set<std::string> whileWorking;

 private:
  DmTestServer& server_;
};

}  // namespace sw::test
