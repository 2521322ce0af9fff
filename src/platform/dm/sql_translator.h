#pragma once
// Translation of the SQL Server and Oracle statements the system sends into SQLite, and the
// functions and catalogue views the translated statements rely on.
#include <QString>

struct sqlite3;

namespace sw::dm {

// Facts about the emulated database server and database that server-fact queries answer.
struct ServerFacts {
  qint64 engine = 10;
  QString owner = QStringLiteral("DOCSADM");
  QString versionText;       // @@VERSION
  QString productVersion;    // serverproperty('ProductVersion')
  int compatibilityLevel = 0;
  bool quotedIdentifierOn = true;
  QString serverName;        // the database server
  QString databaseName;      // the database
  QString userName;          // the logged-on user (Oracle privilege views)
};

struct SqlTranslation {
  bool ok = false;
  QString sql;    // the SQLite statement when ok
  QString error;  // why it could not be translated
};

SqlTranslation TranslateSql(const QString& sql, const ServerFacts& facts);

// Registers the functions translated statements call and creates the temporary catalogue views
// (server facts, table lists) on a freshly opened library connection.
bool PrepareConnection(sqlite3* db, const ServerFacts& facts, QString* error);

}  // namespace sw::dm
