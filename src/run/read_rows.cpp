// Reading the rule's rows: runs the rule's statement, records the outcome in the rule's saved-SQL
// row, reads the result into the row table with one e-mail address per row, and makes the rule's
// libraries the ones the DM searches while its folders are built.
#include <QStringList>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/folder_metadata.h"
#include "run/run.h"
#include "run/run_context.h"

namespace sw {

namespace {

const QString Working = QStringLiteral("Working...");
constexpr int ResultsColumn = 2;

void Dash(RunContext& cx) { LogMessage(cx, HyphenLine); }

QString N(qint64 n) { return FormatNumber(n); }

// The saved-SQL row of the rule, 0 while none is.
int CacheRow(RunContext& cx) {
  const int row = static_cast<int>(NumericValue(cx.rules.RuleSqlIndex));
  return row >= 1 && row <= cx.rules.RuleSqlCount() ? row : 0;
}

void SetCacheOutcome(RunContext& cx, const QString& status, qint64 rows) {
  const int row = CacheRow(cx);
  if (row == 0) return;
  cx.rules.RuleSqlCache.Set(row, sqlcol::Status, status);
  cx.rules.RuleSqlCache.Set(row, sqlcol::RowCount, N(rows));
}

bool ResultRowWorking(RunContext& cx) {
  const int row = cx.runState.control.ResultRow;
  return row >= 0 && cx.ui->ResultText(row, ResultsColumn) == Working;
}

// An empty result: an error ends the rule for the rest of the run, no rows is just the end.
void EndOnEmptyResult(RunContext& cx, qint64 errorCode) {
  RuleWorkingValues& rule = cx.runState.rule;
  if (errorCode != 0 && errorCode != 9) {
    SetStatus(cx, QStringLiteral("SQL Error: ") + N(errorCode) + QStringLiteral(" occurred trying to identify new folders"));
    if (ResultRowWorking(cx)) {
      cx.ui->SetResultText(cx.runState.control.ResultRow, ResultsColumn, QStringLiteral("SQL Error"));
      if (rule.RuleNode >= 0) UntickAfterFailure(cx, rule.RuleNode);
      const int row = CacheRow(cx);
      if (row != 0) {
        LogMessage(cx, QStringLiteral("NOT saving the SQL statement from this run of rule ") + rule.RuleName);
        Dash(cx);
        cx.rules.RuleSqlCache.Set(row, sqlcol::Sql, QString());
        SetCacheOutcome(cx, QStringLiteral("SQL Error"), 0);
      }
    }
  } else {
    SetStatus(cx, QStringLiteral("There are no new folders in library ") + CurrentLibraryNameOrEmpty(cx) +
                      QStringLiteral(" to add for rule ") + rule.RuleName);
    SetCacheOutcome(cx, QString(), 0);
  }
  Dash(cx);
  if (cx.session.pSQL) cx.session.pSQL->ReleaseResults();
}

// Splits off the next condition of a WHERE clause at the first " AND ", else " OR ", else
// " WHERE "; the whole rest is the last one.
QString NextCondition(QString& rest) {
  for (const QString& cut : {QStringLiteral(" AND "), QStringLiteral(" OR "), QStringLiteral(" WHERE ")}) {
    const qsizetype at = rest.indexOf(cut);
    if (at < 0) continue;
    const QString condition = rest.left(at).trimmed();
    rest = rest.mid(at + cut.size());
    return condition;
  }
  const QString condition = rest.trimmed();
  rest.clear();
  return condition;
}

// A statement that did not come from the template (the rule's own SQL) leaves the item table
// empty; the equality joins of its WHERE clause stand in for the items' profile links.
void ExtractJoinsFromStatement(RunContext& cx) {
  LogMessage(cx, QStringLiteral("Extracting Joins from SQL Statement"));
  Dash(cx);
  TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  items.Clear();
  QString text = cx.runState.statement.RuleStatement.toUpper();
  const qsizetype where = text.indexOf(QStringLiteral(" WHERE "));
  if (where >= 0) {
    text = text.mid(where + 7);
    const qsizetype order = text.indexOf(QStringLiteral(" ORDER BY "));
    if (order >= 0) text = text.left(order);
    const QString ownerPrefix = cx.library.DatabaseOwner.toUpper() + QStringLiteral(".");
    while (!text.isEmpty()) {
      QString condition = NextCondition(text);
      if (condition.contains(QStringLiteral(" NOT IN "))) continue;
      condition.remove(QLatin1Char('(')).remove(QLatin1Char(')'));
      // The owner may also stand as its placeholder in a statement that has not run yet.
      condition.remove(OwnerPlaceholder);
      if (ownerPrefix.size() > 1) condition.remove(ownerPrefix);
      if (!condition.contains(QStringLiteral(" = "))) continue;
      const int row = items.AddRow();
      LogMessage(cx, N(row) + QStringLiteral(": ") + condition);
      items.Set(row, TemplateProfileLink, condition);
    }
  }
  Dash(cx);
}

// Reads rows 1.. of the open result into the row table; the number read.
int ReadRows(RunContext& cx, dm::PcdSql& sql, const QString& emailTemplate) {
  RuleRowsState& rows = cx.runState.rows;
  const int m = rows.ColumnCount;
  rows.RowEmailAddresses.assign(static_cast<size_t>(rows.RowsToRead) + 1, QString());
  std::vector<QString> raw(static_cast<size_t>(m) + 1);
  int r = 0;
  for (;;) {
    ++r;
    for (int c = 1; c <= m; ++c) {
      raw[c] = sql.ColumnValue(c);
      const QString& header = rows.RowTable[0][c];
      rows.RowTable[r][c] = IsSourceColumnHeader(header) ? TrimBlanks(raw[c]) : raw[c];
    }
    if (!emailTemplate.isEmpty()) rows.RowEmailAddresses[r] = RowEmailAddress(emailTemplate, rows.RowTable[0], raw);
    cx.ui->SetCounterLabels(N(r), cx.ui->CounterRead());
    if (r % 100 == 0) MonitorHeartbeat(cx);
    if (cx.run.StopRequested) break;
    if (r >= rows.RowsToRead || sql.NextRow() == 0) break;
  }
  return r;
}

// Only the rule's own library and its master-folder library are searched while its folders are
// built; the run puts the flags back when the rule or the run ends.
void SetSearchLibraries(RunContext& cx) {
  if (!cx.session.FusionLibraries) return;
  const QString current = TrimBlanks(CurrentLibraryNameOrEmpty(cx)).toUpper();
  const QString master = TrimBlanks(cx.runState.rule.RULE_MASTERFOLDER_LIBRARY).toUpper();
  const qint64 count = cx.session.FusionLibraries->Count();
  for (qint64 i = 1; i <= count; ++i) {
    const dm::DmLibraryPtr lib = cx.session.FusionLibraries->Item(i);
    if (!lib) continue;
    const QString name = TrimBlanks(lib->Name()).toUpper();
    const bool search = name == current || name == master;
    if (search) LogMessage(cx, QStringLiteral("Setting ") + lib->Name() + QStringLiteral(" as a Search Library"));
    lib->SetSearchFlag(search ? -1 : 0);
  }
  Dash(cx);
}

}  // namespace

bool IsSourceColumnHeader(const QString& header) {
  const qsizetype dot = header.indexOf(QLatin1Char('.'));
  return dot > 0 && dot < header.size() - 1 && !header.contains(QLatin1Char(' '));
}

bool ReadRuleRows(RunContext& cx) {
  RuleRowsState& rows = cx.runState.rows;
  rows = RuleRowsState{};
  const bool handed = RunSQL(cx, cx.runState.statement.RuleStatement);
  dm::PcdSql* sql = cx.session.pSQL.get();
  const qint64 n = handed && sql ? sql->RowCount() : 0;
  if (n == 0) {
    qint64 code = sql ? sql->SqlErrorCode() : 0;
    // A statement that never reached the database is a failure, not an empty result.
    if (!handed && IsSqlSuccess(code)) code = -1;
    EndOnEmptyResult(cx, code);
    return false;
  }
  if (cx.runState.tmpl.ParsedTemplate.Count() == 0) ExtractJoinsFromStatement(cx);
  SetCacheOutcome(cx, QString(), n);
  SetStatus(cx, N(n) + QStringLiteral(" SQL value(s) match the folder template"));
  Dash(cx);
  rows.RowsToRead = static_cast<int>(n);
  rows.ColumnCount = sql->ColumnCount();
  const int m = rows.ColumnCount;
  rows.RowTable.assign(static_cast<size_t>(n) + 1, std::vector<QString>(static_cast<size_t>(m) + 1));
  sql->SetRow(1);
  for (int c = 1; c <= m; ++c) rows.RowTable[0][c] = sql->ColumnName(c);
  SetStatus(cx, QStringLiteral("Reading ") + N(n) + QStringLiteral(" SQL rows for rule ") + cx.runState.rule.RuleName);
  Dash(cx);
  const int r = ReadRows(cx, *sql, cx.runState.tmpl.EmailTemplate);
  sql->ReleaseResults();
  if (cx.run.StopRequested) return false;
  rows.RowCount = r;
  if (r == 0) {
    LogMessage(cx, QStringLiteral("No new folders to process for this rule in library ") + CurrentLibraryNameOrEmpty(cx));
    Dash(cx);
    return false;
  }
  SetStatus(cx, N(r) + QStringLiteral(" new folder(s) with ") + N(m) + QStringLiteral(" SQL item(s) will be processed."));
  Dash(cx);
  SetSearchLibraries(cx);
  cx.ui->SetCounterLabels(N(r), cx.ui->CounterRead());
  return true;
}

}  // namespace sw
