// NEEDS_FOLDERING and TARN_STACKWRIGHT rows of a processed row.
#include "run/queue_tracking.h"

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/run_context.h"
#include "run/source_lists.h"

namespace sw {

namespace {

void Dash(RunContext& cx) { LogMessage(cx, HyphenLine); }

// The rule's name as the rule set holds it (upper case); the shown name upper-cased when the rule
// set of the current library no longer has it.
QString StoredRuleName(RunContext& cx) {
  const QString stored = cx.rules.RuleTable(field::RuleName, cx.runState.rule.RuleIndex);
  return stored.isEmpty() ? TrimBlanks(cx.runState.rule.RuleName).toUpper() : stored;
}

// Replaces the record of one source row: the delete and the insert stand or fall together, so a
// failed insert never leaves the row without its record (it would be selected again).
void ReplaceTrackingRow(RunContext& cx, const QString& sid, const QString& table, const QString& rule,
                        const QString& ruleLike) {
  const SqlTransaction transaction = BeginTransaction(cx);
  RunAndRelease(cx, {QStringLiteral("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE SID = ? AND TABLE_NAME = ? AND UPPER(RULE_NAME) ") +
                         ruleLike,
                     {sid, SqlText(table)}});
  const bool inserted = RunAndRelease(
      cx, {QStringLiteral("INSERT INTO [OWNER].TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES(?, ?, ?, 0, '')"),
           {sid, SqlText(table), SqlText(rule)}});
  EndTransaction(cx, transaction, inserted);
}

}  // namespace

void QueueNewDocuments(RunContext& cx, int level) {
  const RuleRowsState& rows = cx.runState.rows;
  // The level first: the options are read from the window, and most levels are not the last.
  if (level != rows.LevelCount || !cx.ui->AddNewDocs()) return;
  if (rows.QueueCondition.isEmpty()) {
    LogMessage(cx, QStringLiteral("Warning: Not adding new documents to Queue - unable to form SQL statement"));
    Dash(cx);
    return;
  }
  const ScreenGuard back(cx);
  ConnectLibrary(cx, cx.runState.rule.LibraryName);
  SetStatus(cx, QStringLiteral("Adding New Documents to Queue in library ") + CurrentLibraryNameOrEmpty(cx));
  Dash(cx);
  RunSQL(cx, QStringLiteral("INSERT INTO [OWNER].NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, TABLE_NAME, "
                            "MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', NULL FROM "
                            "[OWNER].PROFILE WHERE ") +
                 rows.QueueCondition +
                 QStringLiteral(" AND APPLICATION <> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER') "
                                " AND DOCNUMBER NOT IN (SELECT SID FROM [OWNER].NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')"));
  if (cx.session.pSQL) cx.session.pSQL->ReleaseResults();
}

void TrackRow(RunContext& cx, int row) {
  const RuleRowsState& rows = cx.runState.rows;
  SetStatus(cx, QStringLiteral("Updating TARN_STACKWRIGHT information in ") + cx.runState.rule.LibraryName +
                    QStringLiteral(" for newly created folder(s)"));
  Dash(cx);
  const ScreenGuard back(cx);
  ConnectLibrary(cx, cx.runState.rule.LibraryName);
  const QString rule = StoredRuleName(cx);
  // The same match as the run's filter of processed rows, so a record replaced is one the filter sees.
  const QString ruleLike = RuleNameLike(cx, rule);
  for (int c = rows.ColumnCount; c >= 1; --c) {
    const QString& header = rows.RowTable[0][static_cast<size_t>(c)];
    const qsizetype p = header.toUpper().indexOf(QStringLiteral(".SYSTEM_ID")) + 1;
    if (p <= 1) continue;
    const QString table = TrimBlanks(header.left(p - 1));
    if (table.isEmpty()) continue;
    const QString sid = FormatNumber(qRound64(NumericValue(rows.RowTable[static_cast<size_t>(row)][static_cast<size_t>(c)])));
    LogMessage(cx, QStringLiteral("Adding Folder column item ") + header + QStringLiteral(" to TARN_STACKWRIGHT"));
    Dash(cx);
    ReplaceTrackingRow(cx, sid, table, rule, ruleLike);
  }
}

}  // namespace sw
