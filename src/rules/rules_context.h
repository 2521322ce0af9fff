#pragma once
// The context of everything from the rule set up: the core's context plus the rule state, with
// the core's rules-reload hook bound to the rules loader.
#include "core/context.h"
#include "rules/rule_table.h"

namespace sw {

class RulesContext : public Context {
 public:
  RuleState rules;

  void LoadLibraryRules() override;
};

}  // namespace sw
