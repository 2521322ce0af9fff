#pragma once
// The records of TARN_STACKWRIGHT in the current library as the processed-rows window lists
// them, and the removal of single records (which makes the run take the row up again).
#include <QString>
#include <vector>

namespace sw {

class Context;

namespace admin {

struct ProcessedRow {
  QString rule;
  QString table;
  QString sid;
};

QString ProcessedRowsQuery();
// Every record with a rule name, in the order of the query; none when the query fails.
std::vector<ProcessedRow> ReadProcessedRows(Context& cx);

QString ProcessedRowsCaption(const QString& library, int count);

// The SID a row's text stands for: a whole number, or 0 for any other text.
qint64 ProcessedRowSid(const QString& text);
QString RemoveProcessedRowStatement(qint64 sid, const QString& table, const QString& rule);

struct RemovalResult {
  bool failed = false;    // the statement was not run, or the database rejected it
  qint64 removed = 0;     // records the database reported as deleted
};
RemovalResult RemoveProcessedRow(Context& cx, qint64 sid, const QString& table, const QString& rule);

QString RemovalQuestion(int selected, const QString& library);
QString RemovalReport(qint64 removed, const QString& library);

}  // namespace admin
}  // namespace sw
