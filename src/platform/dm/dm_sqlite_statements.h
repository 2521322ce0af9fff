#pragma once
// The prepared statements of one connection, kept for the texts that come again, and the result
// of a statement as the emulator reads it.
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

#include "platform/dm/dm_sqlite_changes.h"
#include "platform/dm/recent_texts.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sw::dm {

// The whole result of one statement.
struct SqliteResult {
  bool ok = false;
  int code = 0;          // SQLite's extended result code on failure
  QString error;         // SQLite's message on failure
  QStringList columns;   // as SQLite names them (a described query only)
  QList<bool> computed;  // per column: not a plain column of a table (an expression or literal)
  QList<QVariantList> rows;  // NULL is a null QVariant
  qint64 changes = 0;    // rows this statement inserted, updated or deleted
  // Instead of `rows`, when the values were asked for as texts: every value as the DM SQL object
  // gives it (DmText), row after row, `width` a row.
  QStringList texts;
  int width = 0;

  QVariant Value(int row, int column) const {
    return row < rows.size() && column < rows[row].size() ? rows[row][column] : QVariant();
  }
};

// A value's text as the DM SQL object gives it: NULL as empty, a whole number without decimals,
// another number with up to 15 significant digits.
QString DmNumberText(double d);

struct PreparedStatement {
  sqlite3_stmt* st = nullptr;
  StatementAccess access;
  // Its result's column names and which are computed, read once; read again when SQLite has
  // prepared the statement anew since (the schema changed).
  QStringList columns;
  QList<bool> computed;
  int columnsRead = -1;  // SQLite's count of the statement's new preparations when they were read
};

class KeptStatements {
 public:
  // Prepared statements kept per connection.
  static constexpr qsizetype Kept = 200;
  KeptStatements();

  // Held by pointer: taken out of the store and put back at every run, it moves as one pointer.
  using Held = std::shared_ptr<PreparedStatement>;
  // The prepared statement for the text, kept or new, with what it reads and writes; one without
  // a statement with the result's error set. A kept one is taken out of the store, and its own
  // copy of the text goes to `keptText`: Put gives it back under that copy.
  Held Take(sqlite3* db, ChangeTracker& changes, const HashedText& sql, SqliteResult& result, HashedText* keptText);
  void Put(const HashedText& keptText, Held prepared);
  // Finalizes every statement kept.
  void Clear();

  // The statement's first step. SQLite prepares a statement anew there when the schema changed
  // since it was prepared (a trigger or a view made or dropped); what it reads and writes is then
  // what the new preparation tells.
  static int FirstStep(PreparedStatement& prepared, ChangeTracker& changes);
  // The statement's column names and which are computed, into the result.
  static void DescribeColumns(PreparedStatement& prepared, SqliteResult& result);

 private:
  RecentTexts<HashedText, Held> statements_;
};

}  // namespace sw::dm
