#pragma once
// The one context object through which the shared module state of the program is reached.
// Each subsystem owns its state structure; the core holds the core's and the platform
// services. Higher subsystems derive their context from this one and fill the hooks through
// which the core calls upward (the rules reload after a switch, the orderly end).
#include <QString>
#include <memory>

#include "core/library_state.h"
#include "core/log_state.h"
#include "core/monitor_state.h"
#include "core/session_state.h"
#include "platform/dm/dm_api.h"
#include "platform/ui/ui.h"

namespace sw {

class SettingsStore;
class Os;
class MonitorPlatform;

// The product name: settings are kept under it, the default log is named after it.
inline const QString ProductName = QStringLiteral("Quillmark Stackwright for OpenText eDOCS");

// The program's exit status, as the README lists it: everything asked was done without an
// error; errors were logged (rows or statements that failed), or an unattended run found nothing
// ticked to process; start-up could not reach the DM
// session, the current library or the right to run, or could not read a setting.
enum ExitStatus : int { ExitDone = 0, ExitErrorsLogged = 1, ExitStartupFailed = 2 };

// Flags shared by the long tasks and the main window.
struct RunFlags {
  bool TaskRunning = false;
  bool StopRequested = false;
  bool InLoopDelay = false;
  bool FolderExistedFlag = false;
  int SaveFlags = 3;
  bool MonitorActive = false;
  // An unattended run found nothing ticked to process: the program ends with status 1.
  bool NothingProcessed = false;
};

// The one DM folder object and the one DM profile object that folder creation, filing and the
// metadata fill work on in turn; each procedure fills them and empties them before it returns.
struct ItemSlots {
  dm::DmFolderPtr FolderObject;
  dm::DmProfilePtr ProfileObject;
};

struct AppState {
  QString AppTitle = ProductName;
  StatusWindow StatusOwnerForm = StatusWindow::None;
  QString CommandLine;  // upper-cased and trimmed at start-up
  // What the status line shows while nothing works: start-up's waiting text, then what the last
  // run left there. A tool gives it back when it ends, so that no tool's message stays for good.
  QString IdleStatus;
};

class Context {
 public:
  Context();
  virtual ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Platform services. The defaults are the real ones (unattended ui); tests and the main
  // window replace them.
  std::unique_ptr<Ui> ui;
  std::unique_ptr<SettingsStore> settings;
  std::unique_ptr<Os> os;
  std::unique_ptr<MonitorPlatform> monitorPlatform;
  std::shared_ptr<dm::DmComponents> dm;  // set by the start-up (or a test) to the DM server in use

  AppState app;
  LogState log;
  SessionState session;
  LibraryState library;
  MonitorState monitor;
  RunFlags run;
  ItemSlots items;

  // Upward calls. The core calls these; the rules subsystem and the main window override them.
  virtual void LoadLibraryRules() {}
  // The claims this computer holds (`SessionState::ClaimLibraries`) changed; the main window's
  // context makes what a second stop signal says of them ready again.
  virtual void ClaimsChanged() {}
  // Ends the program in order; does not return.
  [[noreturn]] virtual void EndProgram();
};

}  // namespace sw
