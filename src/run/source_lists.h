#pragma once
// The rule's extra tables and the lists its statement is assembled from: the select, order and
// system-id lists, the source tables, the joins and the filter that leaves out the rows already
// recorded as processed.
#include <QString>
#include <QStringList>

namespace sw {

class RunContext;

// The table list of a Stackwright text with its stray commas and doubled blanks removed.
QString NormaliseTableList(const QString& tableList);
// The tables a qualifier text names as "[OWNER].<table>.<column>", left to right.
QStringList QualifierTables(const QString& qualifier);

// "LIKE '<pattern>'" matching the rule's name (upper case) and nothing else: the wildcards and
// brackets of the name are escaped in the engine's own way.
QString RuleNameLike(RunContext& cx, const QString& ruleName);
// The condition that leaves out the rows of `table` already recorded for the rule.
QString ProcessedRowTerm(RunContext& cx, const QString& table, const QString& ruleName);

// Adds the tables of the rule's Stackwright text to TableList.
void AddStackwrightTables(RunContext& cx);
// Walks the template items once and builds the statement's lists.
void BuildSourceLists(RunContext& cx);

}  // namespace sw
