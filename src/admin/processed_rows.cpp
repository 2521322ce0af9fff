#include "admin/processed_rows.h"

#include "core/context.h"
#include "core/sql.h"
#include "core/text.h"

namespace sw::admin {

namespace {

bool Succeeded(const dm::PcdSql& sql) {
  const qint64 code = sql.SqlErrorCode();
  return IsSqlSuccess(code);
}

}  // namespace

QString ProcessedRowsQuery() {
  return QStringLiteral(
      "SELECT RULE_NAME, TABLE_NAME, SID FROM [OWNER].TARN_STACKWRIGHT ORDER BY RULE_NAME, TABLE_NAME, SID");
}

std::vector<ProcessedRow> ReadProcessedRows(Context& cx) {
  std::vector<ProcessedRow> rows;
  const bool handed = RunSQL(cx, ProcessedRowsQuery());
  dm::PcdSql* sql = cx.session.pSQL.get();
  if (!sql) return rows;
  if (handed && Succeeded(*sql) && sql->RowCount() > 0) {
    do {
      const QString rule = sql->ColumnValue(1);
      if (!rule.isEmpty()) rows.push_back({rule, sql->ColumnValue(2), sql->ColumnValue(3)});
    } while (sql->NextRow() != 0);
  }
  sql->ReleaseResults();
  return rows;
}

QString ProcessedRowsCaption(const QString& library, int count) {
  return QStringLiteral("Tarn_Stackwright contents in library ") + library + QStringLiteral(" (Total: ") +
         FormatNumber(count) + QStringLiteral(")");
}

qint64 ProcessedRowSid(const QString& text) {
  // Only a whole number names a record: a text such as "12.5" or "12abc" must not delete 12 or 13.
  bool ok = false;
  const qint64 sid = text.trimmed().toLongLong(&ok);
  return ok ? sid : 0;
}

QString RemoveProcessedRowStatement(qint64 sid, const QString& table, const QString& rule) {
  return QStringLiteral("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE SID = ") + FormatNumber(sid) +
         QStringLiteral(" AND TABLE_NAME = '") + StripQuotes(table) + QStringLiteral("' AND RULE_NAME = '") +
         StripQuotes(rule) + QStringLiteral("'");
}

RemovalResult RemoveProcessedRow(Context& cx, qint64 sid, const QString& table, const QString& rule) {
  RemovalResult result;
  const bool handed = RunSQL(cx, RemoveProcessedRowStatement(sid, table, rule));
  dm::PcdSql* sql = cx.session.pSQL.get();
  if (!sql) {
    result.failed = true;
    return result;
  }
  result.failed = !handed || !Succeeded(*sql);
  if (!result.failed) result.removed = sql->RowsAffected();
  sql->ReleaseResults();
  return result;
}

QString RemovalQuestion(int selected, const QString& library) {
  return QStringLiteral("Are you sure you want to remove ") + FormatNumber(selected) +
         QStringLiteral(" selected row(s) from TARN_STACKWRIGHT in library ") + library + QStringLiteral("?");
}

QString RemovalReport(qint64 removed, const QString& library) {
  return FormatNumber(removed) + QStringLiteral(" row(s) removed from TARN_STACKWRIGHT in library ") + library;
}

}  // namespace sw::admin
