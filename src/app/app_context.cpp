#include "app/app_context.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "admin/admin.h"
#include "app/handlers.h"

namespace sw {

void AppContext::LoadRulesOfLibraryNode(int libraryNode) { sw::TVRules_Expand(*this, libraryNode); }

// The window's unload handler with no cancel: it ends the program unless a task still runs.
void AppContext::EndProgramWhenIdle() { sw::Form_Unload(*this, 0); }

void AppContext::EndProgram() { sw::EndProgram(*this); }

void AppContext::ExitProcess(int code) {
  std::fflush(nullptr);
  std::exit(code);
}

void AppContext::ShowRuleSqlEditor(const QString& libraryName, const QString& ruleName) {
  // F5 comes from the rules tree, so the active window is the main window: the editor opens over it.
  OpenRuleSqlEditor(*this, QApplication::activeWindow(), libraryName, ruleName);
}

}  // namespace sw
