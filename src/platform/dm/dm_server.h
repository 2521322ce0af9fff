#pragma once
// An emulated DM server: a folder holding server.ini and one SQLite file per library.
//
// server.ini (INI format):
//   [Server]
//   Name=<server name>            User=<logged-on user>
//   StartLibrary=<library>        DefaultLibrary=<the user's primary library>
//   Libraries=<name>, <name>, ... (the order of the session's library collection)
//   [Library.<name>]
//   File=<SQLite file, relative to the folder>   Engine=<engine code>   Owner=<schema owner>
//   Description=...  ServerName=...  DatabaseName=...
//   VersionText=<@@VERSION>  ProductVersion=...  CompatibilityLevel=...  QuotedIdentifier=true|false
//   User=<user in this library>   (optional; present and empty = no user in this library)
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/dm/dm_api.h"
#include "platform/dm/dm_sqlite.h"
#include "platform/dm/sql_translator.h"

namespace sw::dm {

struct EmStatementMemory;

struct DmLibraryConfig {
  QString name;
  QString file;  // relative to the server folder, or absolute
  qint64 engine = 10;
  QString owner = QStringLiteral("DOCSADM");
  QString description;
  QString serverName;
  QString databaseName;
  QString versionText;
  QString productVersion;
  int compatibilityLevel = 0;
  bool quotedIdentifierOn = true;
  std::optional<QString> user;  // overrides the server's user in this library

  ServerFacts Facts() const;
};

struct DmServerConfig {
  QString name = QStringLiteral("STACKWRIGHT-DM");
  QString user = QStringLiteral("ADMIN");
  QString startLibrary;
  QString defaultLibrary;
  std::vector<DmLibraryConfig> libraries;
};

// What a fault injected into the SQL object reports instead of running the statement.
struct SqlFault {
  qint64 status = 1;  // Execute's result
  qint64 code = 0;    // SqlErrorCode and ErrNumber
  QString description;
  qint64 rowsAffected = 0;  // what RowsAffected reports with it: a driver may count work it began
};

// Ways for tests to make the server misbehave. They are shared by every object of the server.
struct DmTestHooks {
  // Asked before every statement of a DM SQL object: a fault to report instead of running it.
  std::function<std::optional<SqlFault>(const QString& library, const QString& sql)> sqlFault;
  bool nextKeyFails = false;  // NextKey gives 0
  bool loginFails = false;    // Login leaves the token empty
  bool chooserMissing = false;
};

class DmServer : public std::enable_shared_from_this<DmServer> {
 public:
  // The server folder named by STACKWRIGHT_DM_SERVER, else the default demo folder.
  static QString DefaultPath();
  static DmServerPtr Open(const QString& path, QString* error);
  // Writes server.ini into the folder (which must exist).
  static bool WriteConfig(const QString& path, const DmServerConfig& config, QString* error);
  static std::optional<DmServerConfig> ReadConfig(const QString& path, QString* error);

  QString Path() const { return path_; }
  const DmServerConfig& Config() const { return config_; }
  QString User() const { return config_.user; }
  // The library's user: the server's user unless the library names its own.
  QString LibraryUser(const QString& library) const;
  // Case-blind look-up; null when unknown.
  const DmLibraryConfig* FindLibrary(const QString& name) const;
  QString LibraryFile(const DmLibraryConfig& lib) const;
  // What the library's database tells about itself, with the library's user.
  ServerFacts FactsFor(const DmLibraryConfig& lib) const;

  // The connection to a library's file, opened once per server object and shared by its
  // objects (so a transaction that the SQL object opened also covers the object's own writes).
  // Every new connection is prepared for translated statements; the file gets the indexes it
  // lacks and its key counters are raised above every id it holds.
  SqliteDbPtr Connection(const QString& library, QString* error);
  // Lets go of the open library connections; the last one of each library to close folds the
  // write-ahead log into the library and removes it. A process that ends with them open leaves
  // the whole log for the next one to read through before its first statement.
  void CloseConnections();

  // What the SQL objects bound to the library keep of its statements, shared by all of them.
  std::shared_ptr<EmStatementMemory> StatementMemory(const QString& library);

  // A new session token (never empty).
  QString NewToken();

  DmTestHooks hooks;

 private:
  DmServer() = default;
  QString path_;
  DmServerConfig config_;
  std::map<QString, SqliteDbPtr> connections_;  // by the library's configured name
  std::map<QString, std::shared_ptr<EmStatementMemory>> statementMemory_;  // by upper-cased library name
  std::mutex mutex_;
  int tokens_ = 0;
};

// Gives the next id of a key sequence of the library ("SYSTEMKEY": one sequence shared by every
// table; "DOCNUMBER": document numbers). Atomic across processes. 0 on failure.
qint64 NextKeyOn(SqliteDb& db, const QString& keyName, QString* error);
// Draws `count` ids of the sequence at once and gives the first; the rest follow it. 0 on failure.
// The ids come from the ranges the connection reserved (dm_sqlite_keys.h), so the ids of one save
// need not follow the last save's; none is ever handed out twice.
qint64 NextKeysOn(SqliteDb& db, const QString& keyName, qint64 count, QString* error);
// Raises the key counters to the highest id the library already uses, so that rows written by
// other means before the library was opened never get an id twice; done when a connection opens.
bool SeedKeyCounters(SqliteDb& db, QString* error);

}  // namespace sw::dm
