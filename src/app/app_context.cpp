#include "app/app_context.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "admin/admin.h"
#include "app/handlers.h"
#include "app/stop_signals.h"
#include "core/log.h"

namespace sw {

void AppContext::LoadRulesOfLibraryNode(int libraryNode) { sw::TVRules_Expand(*this, libraryNode); }

// The window's unload handler with no cancel: it ends the program unless a task still runs.
void AppContext::EndProgramWhenIdle() { sw::Form_Unload(*this, 0); }

void AppContext::EndProgram() { sw::EndProgram(*this); }

void AppContext::ClaimsChanged() { ClaimsInHandChanged(*this); }

void AppContext::ExitProcess(int code) {
  // Neither exit() nor the signal runs the context's destructor, which would write the log.
  FlushLog(*this);
  std::fflush(nullptr);
  // Ended by a stop signal: the caller sees that signal's status, as if it had ended the program.
  if (window.EndingSignal != 0) {
    std::signal(window.EndingSignal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, window.EndingSignal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(window.EndingSignal);
  }
  std::exit(code);
}

void AppContext::ShowRuleSqlEditor(const QString& libraryName, const QString& ruleName) {
  // F5 comes from the rules tree, so the active window is the main window: the editor opens over it.
  OpenRuleSqlEditor(*this, QApplication::activeWindow(), libraryName, ruleName);
}

}  // namespace sw
