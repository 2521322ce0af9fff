#pragma once
// The rule's one SELECT statement: assembled from the template's lists, the rule parameters
// and the rule's own qualifier text, or taken from the saved statements when they are re-used.
#include <QString>

namespace sw {

class RunContext;

// Looks for a saved statement of the rule (only while "Re-use existing SQL statements" is
// ticked) before the template is read; the choice goes into SavedStatement and RuleSqlIndex.
void FindSavedStatement(RunContext& cx);

// The direction of the ordering's last key made explicit: a key without one gets " ASC".
QString NormaliseOrderList(const QString& orderList);
// Appends the conditions of one external link's joins part to a WHERE text, each unless the
// text holds it already (an equality also when written the other way round).
void AppendLinkConditions(const QString& joins, QString& whereText);

// Assembles RuleStatement from the lists of the template, the parameters and the rule's own
// qualifier, saves it (or takes the saved one) and, while initializing, forgets the rule's
// processed rows of its last source table. False when the statement is incomplete or a stop
// was requested: the rule ends.
bool AssembleRuleStatement(RunContext& cx);

}  // namespace sw
