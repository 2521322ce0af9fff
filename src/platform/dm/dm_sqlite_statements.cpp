#include "platform/dm/dm_sqlite_statements.h"

#include <sqlite3.h>

#include "platform/os/utf8_text.h"

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

QString DmNumberText(double d) {
  if (d == double(qint64(d)) && d > -1e15 && d < 1e15) return QString::number(qint64(d));
  return QString::number(d, 'g', 15);
}

KeptStatements::KeptStatements() : statements_(Kept, [](Held& p) { sqlite3_finalize(p->st); }) {}

KeptStatements::Held KeptStatements::Take(sqlite3* db, ChangeTracker& changes, const HashedText& sql, SqliteResult& result,
                                          HashedText* keptText) {
  if (std::optional<Held> kept = statements_.Take(sql, keptText)) return std::move(*kept);
  const QByteArray utf8 = sql.text.toUtf8();
  Held p = std::make_shared<PreparedStatement>();
  const char* tail = nullptr;
  changes.BeginPreparing();
  const int rc = sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &p->st, &tail);
  p->access = changes.EndPreparing();
  const auto refuse = [&p](int code, const QString& error, SqliteResult& r) {
    r.code = code;
    r.error = error;
    sqlite3_finalize(p->st);
    p->st = nullptr;
  };
  if (rc != SQLITE_OK) {
    refuse(sqlite3_extended_errcode(db), Utf8Text(sqlite3_errmsg(db)), result);
  } else if (!OnlyOneStatement(tail)) {
    // SQLite would silently ignore everything after the first statement; a batch is refused
    // instead, so that no part of it is taken for done.
    refuse(SQLITE_ERROR, QStringLiteral("Only one SQL statement can be run at a time"), result);
  } else if (!p->st) {
    result.ok = true;  // only blanks or a comment: nothing to run
  }
  return p;
}

void KeptStatements::Put(const HashedText& keptText, Held prepared) {
  statements_.Put(keptText, std::move(prepared));
}

void KeptStatements::Clear() { statements_.Clear(); }

int KeptStatements::FirstStep(PreparedStatement& prepared, ChangeTracker& changes) {
  const int reprepared = sqlite3_stmt_status(prepared.st, SQLITE_STMTSTATUS_REPREPARE, 0);
  changes.BeginPreparing();
  const int rc = sqlite3_step(prepared.st);
  StatementAccess access = changes.EndPreparing();
  if (sqlite3_stmt_status(prepared.st, SQLITE_STMTSTATUS_REPREPARE, 0) != reprepared) prepared.access = std::move(access);
  return rc;
}

void KeptStatements::DescribeColumns(PreparedStatement& prepared, SqliteResult& result) {
  sqlite3_stmt* st = prepared.st;
  const int reprepared = sqlite3_stmt_status(st, SQLITE_STMTSTATUS_REPREPARE, 0);
  if (prepared.columnsRead != reprepared) {
    prepared.columns.clear();
    prepared.computed.clear();
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      prepared.columns << Utf8Text(sqlite3_column_name(st, i));
      prepared.computed << (sqlite3_column_origin_name(st, i) == nullptr);
    }
    prepared.columnsRead = reprepared;
  }
  result.columns = prepared.columns;
  result.computed = prepared.computed;
}

}  // namespace sw::dm
