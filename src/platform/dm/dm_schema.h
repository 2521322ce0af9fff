#pragma once
// The tables of one emulated DM library, as the system reads and writes them, and the few
// tables the emulator keeps for itself (key counters, library properties, form layouts, user
// defaults).
#include <QString>

namespace sw::dm {

class SqliteDb;

// The schema script: every text column compares without regard to case, as a SQL Server
// library's default collation does.
QString LibrarySchemaScript();

// Creates the schema and its indexes in an empty library file.
bool CreateLibrarySchema(SqliteDb& db, QString* error);
// Adds the indexes a library file made by an earlier version lacks.
bool AddMissingIndexes(SqliteDb& db, QString* error);

// The tables in which the emulator keeps the library's form definitions, which it reads once and
// keeps while they stand.
inline constexpr const char* ConfigurationTables[] = {"DM_FORM_COLUMNS", "FORMS"};

// The system-key sequence and the document-number sequence.
inline const QString SystemKeyName = QStringLiteral("SYSTEMKEY");
inline const QString DocNumberKeyName = QStringLiteral("DOCNUMBER");

}  // namespace sw::dm
