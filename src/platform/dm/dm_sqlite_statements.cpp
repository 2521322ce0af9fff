#include "platform/dm/dm_sqlite_statements.h"

#include <sqlite3.h>

#include <cstring>

namespace sw::dm {

namespace {

// True when nothing but blanks, semicolons and comments follows the first statement. The tail
// is SQLite's text, read by SQLite's rules: its block comments do not nest.
bool OnlyOneStatement(const char* tail) {
  const char* p = tail;
  while (p && *p) {
    if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n' || *p == ';') {
      ++p;
    } else if (p[0] == '-' && p[1] == '-') {
      while (*p && *p != '\n') ++p;
    } else if (p[0] == '/' && p[1] == '*') {
      const char* end = std::strstr(p + 2, "*/");
      if (!end) return true;
      p = end + 2;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

KeptStatements::KeptStatements() : statements_(Kept, [](PreparedStatement& p) { sqlite3_finalize(p.st); }) {}

PreparedStatement KeptStatements::Take(sqlite3* db, ChangeTracker& changes, const HashedText& sql, SqliteResult& result,
                                       HashedText* keptText) {
  if (std::optional<PreparedStatement> kept = statements_.Take(sql, keptText)) return std::move(*kept);
  const QByteArray utf8 = sql.text.toUtf8();
  PreparedStatement p;
  const char* tail = nullptr;
  changes.BeginPreparing();
  const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &p.st, &tail);
  p.access = changes.EndPreparing();
  if (rc != SQLITE_OK) {
    result.code = sqlite3_extended_errcode(db);
    result.error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(p.st);
    return {};
  }
  // SQLite would silently ignore everything after the first statement; a batch is refused
  // instead, so that no part of it is taken for done.
  if (!OnlyOneStatement(tail)) {
    result.code = SQLITE_ERROR;
    result.error = QStringLiteral("Only one SQL statement can be run at a time");
    sqlite3_finalize(p.st);
    return {};
  }
  if (!p.st) result.ok = true;  // only blanks or a comment: nothing to run
  return p;
}

void KeptStatements::Put(const HashedText& keptText, PreparedStatement prepared) {
  statements_.Put(keptText, std::move(prepared));
}

void KeptStatements::Clear() { statements_.Clear(); }

void KeptStatements::DescribeColumns(PreparedStatement& prepared, SqliteResult& result) {
  sqlite3_stmt* st = prepared.st;
  const int reprepared = sqlite3_stmt_status(st, SQLITE_STMTSTATUS_REPREPARE, 0);
  if (prepared.columnsRead != reprepared) {
    prepared.columns.clear();
    prepared.computed.clear();
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      prepared.columns << QString::fromUtf8(sqlite3_column_name(st, i));
      prepared.computed << (sqlite3_column_origin_name(st, i) == nullptr);
    }
    prepared.columnsRead = reprepared;
  }
  result.columns = prepared.columns;
  result.computed = prepared.computed;
}

}  // namespace sw::dm
