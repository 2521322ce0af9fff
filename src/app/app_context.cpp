#include "app/app_context.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "admin/admin.h"
#include "app/handlers.h"

namespace sw {

void AppContext::TVRules_Expand(int libraryNode) { sw::TVRules_Expand(*this, libraryNode); }

void AppContext::Form_Unload(int cancel) { sw::Form_Unload(*this, cancel); }

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
