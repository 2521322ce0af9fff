#include "rules/rules_context.h"

#include "rules/rules_loader.h"

namespace sw {

void RulesContext::LoadLibraryRules() {
  sw::LoadLibraryRules(*this);
}

}  // namespace sw
