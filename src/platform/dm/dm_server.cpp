#include "platform/dm/dm_server.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QUuid>

#include "platform/dm/dm_objects.h"
#include "platform/dm/dm_schema.h"

namespace sw::dm {

namespace {

QString LibraryGroup(const QString& name) { return QStringLiteral("Library.") + name; }

}  // namespace

ServerFacts DmLibraryConfig::Facts() const {
  ServerFacts f;
  f.engine = engine;
  f.owner = owner;
  f.versionText = versionText;
  f.productVersion = productVersion;
  f.compatibilityLevel = compatibilityLevel;
  f.quotedIdentifierOn = quotedIdentifierOn;
  f.serverName = serverName;
  f.databaseName = databaseName;
  return f;
}

QString DmServer::DefaultPath() {
  const QString env = qEnvironmentVariable("STACKWRIGHT_DM_SERVER");
  if (!env.isEmpty()) return env;
  // Where `stackwright-dm init` is pointed by the demo when nothing else is said.
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/stackwright/demo-server");
}

bool DmServer::WriteConfig(const QString& path, const DmServerConfig& config, QString* error) {
  const QString file = QDir(path).filePath(QStringLiteral("server.ini"));
  QFile::remove(file);
  QSettings ini(file, QSettings::IniFormat);
  ini.beginGroup(QStringLiteral("Server"));
  ini.setValue(QStringLiteral("Name"), config.name);
  ini.setValue(QStringLiteral("User"), config.user);
  ini.setValue(QStringLiteral("StartLibrary"), config.startLibrary);
  ini.setValue(QStringLiteral("DefaultLibrary"), config.defaultLibrary);
  QStringList names;
  for (const auto& lib : config.libraries) names << lib.name;
  ini.setValue(QStringLiteral("Libraries"), names.join(QStringLiteral(",")));
  ini.endGroup();
  for (const auto& lib : config.libraries) {
    ini.beginGroup(LibraryGroup(lib.name));
    ini.setValue(QStringLiteral("File"), lib.file);
    ini.setValue(QStringLiteral("Engine"), lib.engine);
    ini.setValue(QStringLiteral("Owner"), lib.owner);
    ini.setValue(QStringLiteral("Description"), lib.description);
    ini.setValue(QStringLiteral("ServerName"), lib.serverName);
    ini.setValue(QStringLiteral("DatabaseName"), lib.databaseName);
    ini.setValue(QStringLiteral("VersionText"), lib.versionText);
    ini.setValue(QStringLiteral("ProductVersion"), lib.productVersion);
    ini.setValue(QStringLiteral("CompatibilityLevel"), lib.compatibilityLevel);
    ini.setValue(QStringLiteral("QuotedIdentifier"), lib.quotedIdentifierOn);
    if (lib.user) ini.setValue(QStringLiteral("User"), *lib.user);
    ini.endGroup();
  }
  ini.sync();
  if (ini.status() != QSettings::NoError) {
    if (error) *error = QStringLiteral("cannot write ") + file;
    return false;
  }
  return true;
}

std::optional<DmServerConfig> DmServer::ReadConfig(const QString& path, QString* error) {
  const QString file = QDir(path).filePath(QStringLiteral("server.ini"));
  if (!QFileInfo::exists(file)) {
    if (error) *error = QStringLiteral("no DM server at ") + path + QStringLiteral(" (server.ini missing)");
    return std::nullopt;
  }
  QSettings ini(file, QSettings::IniFormat);
  DmServerConfig config;
  ini.beginGroup(QStringLiteral("Server"));
  config.name = ini.value(QStringLiteral("Name"), config.name).toString();
  config.user = ini.value(QStringLiteral("User"), config.user).toString();
  config.startLibrary = ini.value(QStringLiteral("StartLibrary")).toString();
  config.defaultLibrary = ini.value(QStringLiteral("DefaultLibrary")).toString();
  // A list written with commas may come back as a list or, for one name, as one text.
  QStringList names = ini.value(QStringLiteral("Libraries")).toStringList();
  if (names.size() == 1) names = names.first().split(QLatin1Char(','));
  ini.endGroup();
  for (QString name : names) {
    name = name.trimmed();
    if (name.isEmpty()) continue;
    DmLibraryConfig lib;
    lib.name = name;
    ini.beginGroup(LibraryGroup(name));
    lib.file = ini.value(QStringLiteral("File"), name + QStringLiteral(".sqlite")).toString();
    lib.engine = ini.value(QStringLiteral("Engine"), lib.engine).toLongLong();
    lib.owner = ini.value(QStringLiteral("Owner"), lib.owner).toString();
    lib.description = ini.value(QStringLiteral("Description")).toString();
    lib.serverName = ini.value(QStringLiteral("ServerName")).toString();
    lib.databaseName = ini.value(QStringLiteral("DatabaseName"), name).toString();
    lib.versionText = ini.value(QStringLiteral("VersionText")).toString();
    lib.productVersion = ini.value(QStringLiteral("ProductVersion")).toString();
    lib.compatibilityLevel = ini.value(QStringLiteral("CompatibilityLevel"), 0).toInt();
    lib.quotedIdentifierOn = ini.value(QStringLiteral("QuotedIdentifier"), true).toBool();
    if (ini.contains(QStringLiteral("User"))) lib.user = ini.value(QStringLiteral("User")).toString();
    ini.endGroup();
    config.libraries.push_back(lib);
  }
  if (config.libraries.empty()) {
    if (error) *error = QStringLiteral("server.ini at ") + path + QStringLiteral(" names no library");
    return std::nullopt;
  }
  return config;
}

DmServerPtr DmServer::Open(const QString& path, QString* error) {
  auto config = ReadConfig(path, error);
  if (!config) return nullptr;
  DmServerPtr server(new DmServer());
  server->path_ = QDir(path).absolutePath();
  server->config_ = *config;
  return server;
}

QString DmServer::LibraryUser(const QString& library) const {
  const DmLibraryConfig* lib = FindLibrary(library);
  if (lib && lib->user) return *lib->user;
  return config_.user;
}

const DmLibraryConfig* DmServer::FindLibrary(const QString& name) const {
  for (const auto& lib : config_.libraries)
    if (lib.name.compare(name, Qt::CaseInsensitive) == 0) return &lib;
  return nullptr;
}

QString DmServer::LibraryFile(const DmLibraryConfig& lib) const {
  return QDir(path_).absoluteFilePath(lib.file);
}

ServerFacts DmServer::FactsFor(const DmLibraryConfig& lib) const {
  ServerFacts facts = lib.Facts();
  facts.userName = LibraryUser(lib.name);
  return facts;
}

SqliteDbPtr DmServer::Connection(const QString& library, QString* error) {
  const DmLibraryConfig* lib = FindLibrary(library);
  if (!lib) {
    if (error) *error = QStringLiteral("Unknown library ") + library;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // The library's own configured name: every spelling of it finds the same one.
  const QString& key = lib->name;
  auto found = connections_.find(key);
  if (found != connections_.end()) return found->second;
  const QString file = LibraryFile(*lib);
  QString reason;
  SqliteDbPtr db = SqliteDb::Open(file, false, &reason);
  if (db && (!PrepareConnection(db->Handle(), FactsFor(*lib), &reason) || !AddMissingIndexes(*db, &reason) ||
             !SeedKeyCounters(*db, &reason)))
    db.reset();
  if (!db) {
    // The database's own words name no file, and say "unable to open" for one that is not there.
    if (error)
      *error = QStringLiteral("The library file ") + file +
               (QFileInfo::exists(file) ? QStringLiteral(" cannot be opened: ") + reason : QStringLiteral(" does not exist"));
    return nullptr;
  }
  connections_[key] = db;
  return db;
}

void DmServer::CloseConnections() {
  std::map<QString, SqliteDbPtr> closing;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing.swap(connections_);
  }
  // Closed here, outside the lock: folding the log in waits for the disk.
}

std::shared_ptr<EmStatementMemory> DmServer::StatementMemory(const QString& library) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<EmStatementMemory>& memory = statementMemory_[library.toUpper()];
  if (!memory) memory = std::make_shared<EmStatementMemory>();
  return memory;
}

QString DmServer::NewToken() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++tokens_;
  return QStringLiteral("DM-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() +
         QStringLiteral("-") + QString::number(tokens_);
}

namespace {

// The highest id the library already uses for a sequence.
qint64 HighestUsedId(SqliteDb& db, const QString& keyName, QString* error) {
  if (keyName.compare(DocNumberKeyName, Qt::CaseInsensitive) == 0)
    return db.Scalar(QStringLiteral("SELECT MAX(DOCNUMBER) FROM PROFILE")).toLongLong();
  const SqliteResult tables = db.Query(QStringLiteral(
      "SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p "
      "WHERE m.type = 'table' AND UPPER(p.name) IN ('SYSTEM_ID', 'VERSION_ID') AND p.pk = 1"));
  if (!tables.ok) {
    if (error) *error = tables.error;
    return -1;
  }
  // One statement for all the tables (a few hundred at a time, within SQLite's limit on a
  // compound statement), not one each: each would be compiled at every start.
  constexpr qsizetype TablesAtOnce = 200;
  qint64 highest = 0;
  for (qsizetype first = 0; first < tables.rows.size(); first += TablesAtOnce) {
    QStringList parts;
    for (qsizetype n = first; n < std::min(first + TablesAtOnce, qsizetype(tables.rows.size())); ++n)
      parts << QStringLiteral("SELECT MAX(%1) AS ID FROM %2")
                   .arg(QuotedName(tables.rows[n][1].toString()), QuotedName(tables.rows[n][0].toString()));
    const QString sql = QStringLiteral("SELECT MAX(ID) FROM (") + parts.join(QStringLiteral(" UNION ALL ")) + QLatin1Char(')');
    highest = std::max(highest, db.Scalar(sql).toLongLong());
  }
  return highest;
}

}  // namespace

bool SeedKeyCounters(SqliteDb& db, QString* error) {
  for (const QString& key : {SystemKeyName, DocNumberKeyName}) {
    const qint64 used = HighestUsedId(db, key, error);
    if (used < 0) return false;
    const QVariant last = db.Scalar(QStringLiteral("SELECT LAST_KEY FROM DM_NEXTKEY WHERE KEY_NAME = ?"), {key});
    if (!last.isNull() && last.toLongLong() >= used) continue;  // nothing to write: no lock taken
    // Never lowers a counter that another process raised in the meantime.
    const SqliteResult w = db.Query(QStringLiteral("INSERT INTO DM_NEXTKEY (KEY_NAME, LAST_KEY) VALUES (?, ?) "
                                                   "ON CONFLICT (KEY_NAME) DO UPDATE SET LAST_KEY = MAX(LAST_KEY, excluded.LAST_KEY)"),
                                    {key, used});
    if (!w.ok) {
      if (error) *error = w.error;
      return false;
    }
  }
  return true;
}

}  // namespace sw::dm
