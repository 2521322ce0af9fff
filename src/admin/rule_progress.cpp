// "Set rule to current SIDs..." and "Reset rule to initial SIDs...": both work in a library the
// user chooses and leave the library that was current as they found it.
#include "admin/rule_progress.h"

#include <vector>

#include "admin/admin.h"
#include "admin/tool_steps.h"
#include "core/context.h"
#include "core/library_checks.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "rules/rule_table.h"
#include "run/column_paths.h"
#include "run/run.h"
#include "run/source_lists.h"

namespace sw {

namespace admin {

namespace {

const QString Profile = QStringLiteral("PROFILE");
const QString CertainQuestion = QStringLiteral("\r\n\r\nARE YOU ABSOLUTELY CERTAIN THAT YOU WISH TO CONTINUE?");

void Dash(RunContext& cx) { LogMessage(cx, HyphenLine); }

void Inform(RunContext& cx, const QString& text) {
  cx.ui->MessageBox(text, MsgIcon::Information, MsgButtons::OK, cx.app.AppTitle);
}

bool AskCertain(RunContext& cx, const QString& question) {
  return cx.ui->MessageBox(question + CertainQuestion, MsgIcon::Question, MsgButtons::YesNoDefaultNo, cx.app.AppTitle) ==
         MsgResult::Yes;
}

// The first steps of both tools: the library choice and its settings table. False when the tool
// goes no further.
bool ChooseLibrary(RunContext& cx) {
  SetStatusCaption(cx, QStringLiteral("Selecting library to process"));
  if (!SelectLibrary(cx)) return false;
  if (cx.library.SettingsTableExists) return true;
  ShowMissingSettingsTable(cx, CurrentLibraryNameOrEmpty(cx));
  return false;
}

// Runs a tool that works in a chosen library on the rule clicked in its menu, with the closing
// steps on every way out. The rule is read before the choice: choosing another library refills
// the menu with that library's rules, and the same position would name another rule.
template <class Body>
void InChosenLibrary(RunContext& cx, RuleMenu menu, int index, Body&& body) {
  const ToolGuard guard(cx);
  TrapErrors(cx, [&] {
    const QString ruleName = RuleMenuCaption(cx, menu, index);
    if (ChooseLibrary(cx)) body(ruleName);
  });
  Dash(cx);
}

// --- advancing a rule ---------------------------------------------------------------------------

struct RuleTexts {
  int index = 0;  // in RuleTable, 0 when none matches
  QString qualifier;
  QString folderTemplate;
};

// The rule of the current library with this name (case ignored); empty texts when none matches.
RuleTexts FindRule(RunContext& cx, const QString& library, const QString& ruleName) {
  const RuleRecords& rules = cx.rules.RuleTable;
  for (int n = 1; n <= cx.rules.RuleCount(); ++n) {
    if (rules(field::RuleLibrary, n) != library) continue;
    if (rules(field::RuleName, n).compare(ruleName, Qt::CaseInsensitive) != 0) continue;
    return {n, TrimBlanks(rules(field::RULE_VALUES, n)), TrimBlanks(rules(field::RULE_TEMPLATE, n))};
  }
  return {};
}

// False, said, when the catalogue could not be read: an unread path would count as one without a
// table, and the rule's records for it would be deleted and never written again.
bool CatalogueRead(RunContext& cx, const QString& ruleName, const QStringList& items) {
  for (const QString& item : items) {
    const QString failure = CatalogueFailure(cx, item);
    if (failure.isEmpty()) continue;
    const QString text = QStringLiteral("Error: Unable to read the column catalogue for ") + failure +
                         QStringLiteral(" in library ") + CurrentLibraryNameOrEmpty(cx) + QStringLiteral(" - no record of rule ") +
                         ruleName + QStringLiteral(" has been changed.");
    LogMessage(cx, text);
    cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
    return false;
  }
  return true;
}

// A source table as the records name it: without the owner prefix the catalogue may carry.
QString RecordTableName(const QString& sourceTable) {
  const qsizetype dot = sourceTable.indexOf(QLatin1Char('.'));
  return dot < 0 ? sourceTable : sourceTable.mid(dot + 1);
}

QString RuleFilter(RunContext& cx, const QString& ruleName) {
  return QStringLiteral("UPPER(RULE_NAME) ") + RuleNameLike(cx, ruleName);
}

struct AdvanceCounts {
  qint64 added = 0;
  qint64 removed = 0;
  QString failedTable;  // the table whose statement failed; empty when all went through
  QString error;
};

// Replaces the rule's records by one record per row of each source table. Stops at the first
// failing statement.
AdvanceCounts RecordCurrentRows(RunContext& cx, const QString& ruleName, const QStringList& sourceTables) {
  AdvanceCounts counts;
  const SqlOutcome cleared =
      RunStatement(cx, QStringLiteral("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE ") + RuleFilter(cx, ruleName));
  counts.removed = cleared.rowsAffected;
  if (!cleared.ok) {
    counts.failedTable = QStringLiteral("TARN_STACKWRIGHT");
    counts.error = cleared.error;
    return counts;
  }
  for (const QString& source : sourceTables) {
    SetStatus(cx, QStringLiteral("Processing ") + source);
    Dash(cx);
    const QString table = RecordTableName(source);
    SqlOutcome step = RunStatement(cx, QStringLiteral("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE TABLE_NAME = '") +
                                           StripQuotes(table) + QStringLiteral("' AND ") + RuleFilter(cx, ruleName));
    if (step.ok)
      step = RunStatement(cx, QStringLiteral("INSERT INTO [OWNER].TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, "
                                             "LOCKED_BY) SELECT SYSTEM_ID, '") +
                                  StripQuotes(table) + QStringLiteral("', '") + StripQuotes(ruleName) +
                                  QStringLiteral("', 0, '' FROM [OWNER].") + table + QStringLiteral(" ORDER BY SYSTEM_ID"));
    if (!step.ok) {
      counts.failedTable = source;
      counts.error = step.error;
      return counts;
    }
    counts.added += step.rowsAffected;
  }
  return counts;
}

void ReportAdvanceFailure(RunContext& cx, const QString& ruleName, const AdvanceCounts& counts, bool undone) {
  QString text = QStringLiteral("Error: Procedure failed on table ") + counts.failedTable;
  if (!counts.error.isEmpty()) text += QStringLiteral(" (") + counts.error + QStringLiteral(")");
  text += undone ? QStringLiteral(" - no record of rule ") + ruleName + QStringLiteral(" has been changed.")
                 : QStringLiteral(" - the records of rule ") + ruleName + QStringLiteral(" may be incomplete.");
  LogMessage(cx, text);
  cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
}

// The records are replaced as a whole: a failure on any table leaves the old records in place,
// so the run never takes up every row of a rule that was meant to start from now.
void ReplaceRuleRecords(RunContext& cx, const QString& ruleName, const QStringList& sourceTables) {
  const SqlTransaction work = BeginTransaction(cx);
  AdvanceCounts counts;
  if (work.Opened) {
    counts = RecordCurrentRows(cx, ruleName, sourceTables);
  } else {
    counts.failedTable = QStringLiteral("TARN_STACKWRIGHT");
    counts.error = QStringLiteral("the transaction could not be opened");
  }
  const bool stands = EndTransaction(cx, work, counts.failedTable.isEmpty());
  if (!stands) {
    if (counts.failedTable.isEmpty()) counts.failedTable = QStringLiteral("TARN_STACKWRIGHT");
    ReportAdvanceFailure(cx, ruleName, counts, true);
    return;
  }
  const QString message = QStringLiteral("Procedure complete with ") + FormatNumber(counts.added) +
                          QStringLiteral(" row(s) added and ") + FormatNumber(counts.removed) +
                          QStringLiteral(" row(s) removed.");
  LogMessage(cx, message);
  Inform(cx, message);
}

void AdvanceRule(RunContext& cx, const QString& ruleName) {
  const QString library = CurrentLibraryNameOrEmpty(cx);
  // The chosen library may not hold the clicked rule: that is said before anything is asked.
  const RuleTexts rule = FindRule(cx, library, ruleName);
  if (rule.qualifier.isEmpty() || rule.folderTemplate.isEmpty()) {
    const QString text = QStringLiteral("Error: Rule ") + ruleName + QStringLiteral(" not found in library ") + library;
    SetStatus(cx, text);
    Dash(cx);
    cx.ui->MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
    return;
  }
  const QString question =
      QStringLiteral("Warning: This option will set the System_ID values in the TARN_STACKWRIGHT table for rule ") + ruleName +
      QStringLiteral(" in library ") + library + QStringLiteral(" so that no existing metadata will be ") +
      QStringLiteral("processed when ") + ProductName + QStringLiteral(" runs. ") +
      QStringLiteral("This means that only newly-added metadata from this point forward will be processed. ") +
      QStringLiteral("You should use EXTREME CAUTION when running this procedure.");
  if (!AskCertain(cx, question)) {
    Inform(cx, QStringLiteral("Wise choice."));
    return;
  }
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  SetStatus(cx, QStringLiteral("Processing TARN_SETTINGS table system_ids for library ") + library);
  Dash(cx);
  LogMessage(cx, QStringLiteral("Parsing Rule Template ") + rule.folderTemplate);
  Dash(cx);
  const QStringList items = RuleTemplateItems(rule.folderTemplate);
  if (items.isEmpty()) {
    LogMessage(cx, QStringLiteral("Notice: Unable to parse template string - cannot continue"));
    Dash(cx);
    return;
  }
  // The tables the run's statement filters on: the records of any other would hold nothing back.
  if (!CatalogueRead(cx, ruleName, items)) return;
  QStringList tables;
  if (!ProcessedRowTables(cx, rule.index, tables)) {
    const QString text = QStringLiteral("Error: Unable to tell the source tables of rule ") + ruleName +
                         QStringLiteral(" - no record of rule ") + ruleName + QStringLiteral(" has been changed.");
    LogMessage(cx, text);
    cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
    return;
  }
  ReplaceRuleRecords(cx, ruleName, tables);
}

// --- resetting a rule ---------------------------------------------------------------------------

void ReportResetFailure(RunContext& cx, const QString& what, const QString& error) {
  QString text = QStringLiteral("Error: Unable to ") + what;
  if (!error.isEmpty()) text += QStringLiteral(" (") + error + QStringLiteral(")");
  text += QStringLiteral(" - cannot continue");
  LogMessage(cx, text);
  cx.ui->MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
}

void ResetRule(RunContext& cx, const QString& ruleName) {
  const QString library = CurrentLibraryNameOrEmpty(cx);
  const QString filter = RuleFilter(cx, ruleName);
  const SqlOutcome counted = RunStatement(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].TARN_STACKWRIGHT WHERE ") + filter);
  if (!counted.ok) {
    ReportResetFailure(cx, QStringLiteral("count the records of rule ") + ruleName + QStringLiteral(" in library ") + library,
                       counted.error);
    return;
  }
  const qint64 count = qRound64(NumericValue(counted.firstValue));
  if (count == 0) {
    Inform(cx, QStringLiteral("There are no values currently set for rule ") + ruleName + QStringLiteral(" in library ") +
                   library + QStringLiteral(" - no need to continue."));
    return;
  }
  const QString question =
      QStringLiteral("Warning: This option will remove all information about ") + FormatNumber(count) +
      QStringLiteral(" rule item(s) previously ") + QStringLiteral("processed by ") + ProductName +
      QStringLiteral(" for rule ") + ruleName + QStringLiteral(" in library ") + library + QStringLiteral(". ") +
      QStringLiteral("After this, ") + ProductName +
      QStringLiteral(" will process all the rows in the template tables for this rule. ") +
      QStringLiteral("You should use EXTREME CAUTION when running this procedure.");
  if (!AskCertain(cx, question)) {
    Inform(cx, QStringLiteral("Wise choice"));
    return;
  }
  cx.ui->SetMousePointer(Pointer::Hourglass);
  cx.ui->PumpMessages();
  const SqlOutcome removed = RunStatement(cx, QStringLiteral("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE ") + filter);
  if (!removed.ok) {
    ReportResetFailure(cx, QStringLiteral("remove the records of rule ") + ruleName + QStringLiteral(" in library ") + library,
                       removed.error);
    return;
  }
  const QString message =
      QStringLiteral("Procedure complete with ") + FormatNumber(removed.rowsAffected) + QStringLiteral(" row(s) removed.");
  LogMessage(cx, message);
  Inform(cx, message);
}

}  // namespace

QStringList RuleTemplateItems(const QString& templateText) {
  QStringList items;
  QString rest = TrimBlanks(templateText);
  while (!rest.isEmpty()) {
    const qsizetype open = rest.indexOf(QLatin1Char('%'));
    if (open < 0) break;
    rest = rest.mid(open + 1);
    const qsizetype close = rest.indexOf(QLatin1Char('%'));
    if (close >= 0) {
      items << TrimBlanks(rest.left(close));
      rest = rest.mid(close + 1);
      continue;
    }
    const qsizetype blank = rest.indexOf(QLatin1Char(' '));
    if (blank < 0) {
      items << rest;
      break;
    }
    items << TrimBlanks(rest.left(blank));
    rest = rest.mid(blank + 1);
  }
  return items;
}

QString CatalogueFailure(RunContext& cx, const QString& item) {
  QString path = item;
  // A leading "{library}" names where the folder goes, not where its rows come from.
  if (path.startsWith(QLatin1Char('{'))) {
    path = TrimBlanks(path.mid(1));
    const qsizetype brace = path.indexOf(QLatin1Char('}'));
    if (brace >= 0) path = TrimBlanks(path.mid(brace + 1));
  }
  std::vector<PathStep> steps;
  QString lastName;
  ColumnLink stop;
  if (FollowColumnPath(cx, path, steps, lastName, false, &stop) || !stop.readFailed) return {};
  // The path ended at the look-up after its last step.
  const qsizetype step = qsizetype(steps.size());
  QString failure = (steps.empty() ? Profile : steps.back().ForeignTable) + QLatin1Char('.') +
                    path.section(QLatin1Char('.'), step, step);
  if (!stop.error.isEmpty()) failure += QStringLiteral(" (") + stop.error + QStringLiteral(")");
  return failure;
}

}  // namespace admin

void MNCurrentRules_Click(RunContext& cx, int index) {
  admin::InChosenLibrary(cx, RuleMenu::Current, index, [&](const QString& rule) { admin::AdvanceRule(cx, rule); });
}

void MNInitialRules_Click(RunContext& cx, int index) {
  admin::InChosenLibrary(cx, RuleMenu::Initial, index, [&](const QString& rule) { admin::ResetRule(cx, rule); });
}

}  // namespace sw
