#pragma once
// The SQL functions and catalogue views that translated statements call, registered on every
// library connection by PrepareConnection (sql_translator.h).
#include <QChar>
#include <QString>

#include "platform/dm/sql_dialect.h"

struct sqlite3;

namespace sw::dm {
struct ServerFacts;
}

namespace sw::dm::sql {

// LIKE as the servers read it, without regard to case: % and _ everywhere; with
// `bracketClasses` (SQL Server) also [abc], [a-c], [^x], so "[[]" matches a literal "[".
bool LikeMatches(const QString& value, const QString& pattern, bool bracketClasses, QChar escape = QChar());

// A stable object id for a table name, as sysobjects and object_id() give it.
qint64 ObjectIdOf(const QString& tableName);

bool RegisterFunctions(sqlite3* db, const ServerFacts& facts, QString* error);
// Text compares as the engine's default collation compares it, under the name NOCASE that the
// schema gives every text column: on SQL Server without regard to case for every letter and
// to trailing blanks ('Søn' = 'SØN', 'abc ' = 'abc'); on Oracle SQLite's own NOCASE stays.
// Every connection that writes a library registers it, so its indexes keep one order.
bool RegisterTextCollation(sqlite3* db, qint64 engine, QString* error);
bool CreateCatalogViews(sqlite3* db, QString* error);

using dm::IsOracleEngine;

}  // namespace sw::dm::sql
