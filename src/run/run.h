#pragma once
// The processing run: the Go button's handler and the steps it takes for each rule.
#include <QString>
#include <QStringList>

namespace sw {

class Context;
class RunContext;

// The run itself: cycles over the ticked rules of the ticked libraries until told to stop.
void Button_Go_Click(RunContext& cx);

// One ticked rule node: finds the rule, checks its library, claims it and opens its results
// row. True when the rule is started (its working values are set and its library is current).
bool PrepareRule(RunContext& cx, int ruleNode);
// The working values of rule `rule` of RuleTable, shown as `nodeText`; its own statement goes
// into RuleSqlBuffer.
void TakeRuleValues(RunContext& cx, int rule, const QString& nodeText);

// The rule's statement: parses the folder template and resolves its column paths, builds the
// source lists and the processed-row filter, the rule parameters, and assembles (or re-uses) the
// one statement. True when the statement is ready in the run state.
bool BuildRuleSql(RunContext& cx);
// The tables whose rows the statement of rule `rule` of RuleTable leaves out once they are
// recorded for it, in the order the statement places them: PROFILE alone for a rule that reads
// the documents. Nothing is run and the run's working values are left as they were. False when
// they cannot be told (the template cannot be parsed or the catalogue read).
bool ProcessedRowTables(RunContext& cx, int rule, QStringList& tables);

// Unticks a rule or library node after a failure and says so in the log and on standard error,
// naming the rule and library: the tick is saved as it is, so the node stays out of every later
// run until someone ticks it again.
// The node is remembered in the settings, with the reason when one is given ("the run could not
// switch to it"): every later run that skips it says so too.
void UntickAfterFailure(RunContext& cx, int node, const QString& reason = QString());
// Remembers a node that a failure unticked, so that every later run that skips it says so.
void RememberUntickAfterFailure(RunContext& cx, int node, const QString& reason = QString());
// A node ticked again is forgotten as unticked after a failure (the rule empty for a library).
void ForgetUntickAfterFailure(Context& cx, const QString& library, const QString& rule);

// Runs the rule's statement and reads its rows into the run state. True when rows were read.
bool ReadRuleRows(RunContext& cx);
// A result header of the form table "." column (no blank, the dot neither first nor last)
// names a column of the source rows: its values are read trimmed, and they are data, never
// the template's fixed text.
bool IsSourceColumnHeader(const QString& header);

// Builds the folder chain of every row read, with the folders' metadata, e-mail address,
// author, workspaces, the queue and the tracking rows.
void ProcessRuleRows(RunContext& cx);

}  // namespace sw
