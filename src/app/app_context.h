#pragma once
// The program's whole context: the run's context plus the main window's own state, with the
// main-window operations that lower subsystems call bound to the window's handlers.
#include <QString>
#include <QStringList>
#include <functional>

#include "app/app_state.h"
#include "run/run_context.h"

namespace sw {

class MainWindow;

class AppContext : public RunContext {
 public:
  MainWindowState window;
  MainWindow* mainWindow = nullptr;  // none in tests that run without a window
  // The DM client's library chooser that start-up hands to the session it starts: given the
  // library names, the chosen index from 0, or -1 for cancel. Without one the session's own
  // chooser cancels every choice.
  std::function<int(const QStringList&)> libraryChooser;

  void LoadRulesOfLibraryNode(int libraryNode) override;
  void EndProgramWhenIdle() override;
  void ClaimsChanged() override;
  [[noreturn]] void EndProgram() override;

  // The last step of the orderly end: the process ends with this code. Tests replace it, so the
  // orderly end can be watched without ending the test program.
  [[noreturn]] virtual void ExitProcess(int code);
  // Opens the rule SQL editor modally over the active window, for one rule of a library.
  virtual void ShowRuleSqlEditor(const QString& libraryName, const QString& ruleName);
};

}  // namespace sw
