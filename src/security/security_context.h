#pragma once
// The context from the security, metadata and workspace services up: the rules' context plus
// the state these services keep.
#include "rules/rules_context.h"
#include "security/security_state.h"

namespace sw {

class SecurityContext : public RulesContext {
 public:
  SecurityState security;
};

}  // namespace sw
