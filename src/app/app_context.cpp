#include "app/app_context.h"

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
  OpenRuleSqlEditor(*this, nullptr, libraryName, ruleName);
}

}  // namespace sw
