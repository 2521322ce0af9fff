#pragma once
// Loading a library's rules and settings from its TARN_SETTINGS table.
#include <QString>

namespace sw {

class RulesContext;

// Rebuilds the rule table from the current library, refreshes its settings, completes each
// rule, records the rules' own SQL, adds the built-in rule to a library without rule rows and
// rebuilds the two rule menus. Called by the library switch after each switch to another library.
void LoadLibraryRules(RulesContext& cx);

// Makes the built-in rule rule 1 of an empty table, its template chosen by the library's columns.
void AddDefaultRule(RulesContext& cx, const QString& libraryName);

// The built-in rule's template for a library whose profiles do (or do not) carry a matter.
QString DefaultRuleTemplate(bool libraryHasMatters);

// Sets both rule menus to one item per rule, in rule order ("-" alone without rules).
void RebuildRuleMenus(RulesContext& cx);

}  // namespace sw
