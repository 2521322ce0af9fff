#include "platform/dm/dm_sqlite.h"

#include "platform/dm/dm_schema.h"

#include <QRandomGenerator>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace sw::dm {

namespace {

QVariant ReadColumn(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return QVariant();
    case SQLITE_INTEGER:
      return QVariant(static_cast<qint64>(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
      return QVariant(sqlite3_column_double(st, i));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      return QVariant(QString::fromUtf8(text, sqlite3_column_bytes(st, i)));
    }
  }
}

// SQLite copies the text it is given; plain ASCII, most of what is bound, goes to it from a
// buffer on the stack rather than through a converted copy of its own.
int BindText(sqlite3_stmt* st, int index, const QString& text) {
  char ascii[256];
  const qsizetype size = text.size();
  if (size <= qsizetype(sizeof ascii)) {
    const char16_t* from = reinterpret_cast<const char16_t*>(text.constData());
    qsizetype i = 0;
    for (; i < size && from[i] < 0x80; ++i) ascii[i] = char(from[i]);
    if (i == size) return sqlite3_bind_text(st, index, ascii, int(size), SQLITE_TRANSIENT);
  }
  const QByteArray utf8 = text.toUtf8();
  return sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

int Bind(sqlite3_stmt* st, int index, const QVariant& v) {
  if (!v.isValid() || v.isNull()) return sqlite3_bind_null(st, index);
  switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
      return sqlite3_bind_int64(st, index, v.toLongLong());
    case QMetaType::Double:
      return sqlite3_bind_double(st, index, v.toDouble());
    case QMetaType::QString:
      return BindText(st, index, *static_cast<const QString*>(v.constData()));
    default:
      return BindText(st, index, v.toString());
  }
}

// True when nothing but blanks, semicolons and comments follows the first statement.
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

// COMMIT, END or ROLLBACK of the whole transaction (not ROLLBACK TO a savepoint).
bool EndsTransaction(const QString& sql, bool* rollback) {
  const QStringList words = sql.simplified().toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.isEmpty()) return false;
  *rollback = words[0] == QLatin1String("ROLLBACK");
  if (*rollback) return words.size() < 2 || words[1] != QLatin1String("TO");
  return words[0] == QLatin1String("COMMIT") || words[0] == QLatin1String("END");
}

// Waits for another connection's write lock in steps of a millisecond, up to the busy timeout.
// SQLite's own handler sleeps up to 100 ms between tries, so a writer that commits and begins
// again within a millisecond (a run committing its rows in groups) would keep another computer
// waiting for seconds; a database server lets its waiting writers in between transactions.
int WaitForLock(void*, int tries) {
  if (tries >= SqliteDb::BusyTimeoutMs) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

}  // namespace

SqliteDb::SqliteDb() : statements_(KeptStatements, [](Prepared& p) { sqlite3_finalize(p.st); }) {}

std::shared_ptr<SqliteDb> SqliteDb::Open(const QString& file, bool create, QString* error) {
  // SQLite counts every allocation under a lock for statistics nobody reads; set before its first use.
  static const int noStatistics = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
  Q_UNUSED(noStatistics);
  std::shared_ptr<SqliteDb> db(new SqliteDb());
  db->file_ = file;
  db->identity_ = QRandomGenerator::global()->generate64();
  // One thread works each connection (the program has no other), so SQLite need not lock it
  // at every call.
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(file.toUtf8().constData(), &db->db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    if (error) *error = db->db_ ? QString::fromUtf8(sqlite3_errmsg(db->db_)) : QStringLiteral("out of memory");
    return nullptr;
  }
  sqlite3_extended_result_codes(db->db_, 1);
  sqlite3_rollback_hook(db->db_, &SqliteDb::NoteRollback, db.get());
  sqlite3_set_authorizer(db->db_, &SqliteDb::NoteAccess, db.get());
  sqlite3_busy_handler(db->db_, &WaitForLock, nullptr);
  // A cache of up to 64 MB keeps the pages of a large library's indexes at hand, as a database
  // server's memory would, so a look-up does not read them again.
  // What the savepoints of a transaction keep for going back to them stays in memory: written to
  // a temporary file, it cost a write for nearly every statement of a group of rows, and nothing
  // of it is needed after a crash (the write-ahead log is what makes a commit durable).
  if (!db->ExecScript(QStringLiteral("PRAGMA synchronous = FULL; PRAGMA cache_size = -65536; PRAGMA temp_store = MEMORY"), error))
    return nullptr;
  return db;
}

SqliteDb::~SqliteDb() {
  statements_.Clear();
  if (db_) sqlite3_close_v2(db_);
}

bool SqliteDb::RefusedAfterAbandon(const QString& sql, SqliteResult& refusal) {
  if (!abandoned_) return false;
  bool rollback = false;
  if (EndsTransaction(sql, &rollback)) {
    abandoned_ = false;
    if (rollback) return false;  // nothing left to roll back; SQLite says so harmlessly
  }
  refusal.ok = false;
  refusal.code = SQLITE_ABORT;
  refusal.error = QStringLiteral("The transaction was rolled back after an earlier failure; nothing more of it can run");
  return true;
}

void SqliteDb::NoteAbandon(bool wasInTransaction, bool ok) {
  NoteTurn(wasInTransaction);
  if (!ok && wasInTransaction && !InTransaction()) abandoned_ = true;
}

void SqliteDb::NoteTurn(bool wasInTransaction) {
  if (wasInTransaction == InTransaction()) return;
  ++transactionTurns_;
  ++changeCount_;
}

bool SqliteDb::ExecScript(const QString& sql, QString* error) {
  SqliteResult refusal;
  if (RefusedAfterAbandon(sql, refusal)) {
    if (error) *error = refusal.error;
    return false;
  }
  const bool wasInTransaction = InTransaction();
  ++changeCount_;  // a script may write
  ++unknownWrites_;
  savepoints_.clear();
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message);
  NoteAbandon(wasInTransaction, rc == SQLITE_OK);
  if (rc != SQLITE_OK) {
    if (error) *error = message ? QString::fromUtf8(message) : QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_free(message);
    return false;
  }
  return true;
}

SqliteDb::Prepared SqliteDb::Prepare(const HashedText& sql, SqliteResult& result, HashedText* keptText) {
  if (std::optional<Prepared> kept = statements_.Take(sql, keptText)) return std::move(*kept);
  const QByteArray utf8 = sql.text.toUtf8();
  Prepared p;
  const char* tail = nullptr;
  preparing_ = Access();
  const int rc = sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &p.st, &tail);
  p.access = std::move(preparing_);
  if (rc != SQLITE_OK) {
    result.code = sqlite3_extended_errcode(db_);
    result.error = QString::fromUtf8(sqlite3_errmsg(db_));
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

int SqliteDb::TableNumber(const char* name) {
  for (size_t i = 0; i < tables_.size(); ++i)
    if (sqlite3_stricmp(tables_[i].constData(), name) == 0) return int(i);
  tables_.emplace_back(name);
  tableChanges_.push_back(0);
  return int(tables_.size() - 1);
}

int SqliteDb::NoteAccess(void* self, int action, const char* first, const char* second, const char*, const char*) {
  SqliteDb* db = static_cast<SqliteDb*>(self);
  Access& access = db->preparing_;
  const auto note = [db](std::vector<int>& tables, const char* name) {
    const int number = db->TableNumber(name ? name : "");
    if (std::find(tables.begin(), tables.end(), number) == tables.end()) tables.push_back(number);
  };
  switch (action) {
    case SQLITE_READ:
      note(access.reads, first);
      break;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
      note(access.writes, first);
      break;
    case SQLITE_TRANSACTION:  // the operation: "BEGIN", "COMMIT" or "ROLLBACK"
      access.savepointStep = SavepointStep::EndAll;  // a transaction begins or ends: none is open
      access.goesBack = sqlite3_stricmp(first, "ROLLBACK") == 0;
      break;
    case SQLITE_SAVEPOINT:  // the operation ("BEGIN", "RELEASE" or "ROLLBACK"), then the name
      access.goesBack = sqlite3_stricmp(first, "ROLLBACK") == 0;
      access.savepointStep = access.goesBack                          ? SavepointStep::GoBack
                             : sqlite3_stricmp(first, "RELEASE") == 0 ? SavepointStep::Release
                                                                      : SavepointStep::Set;
      access.savepoint = second;
      break;
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      break;
    default:
      access.other = true;
  }
  return SQLITE_OK;
}

SqliteResult SqliteDb::Query(const QString& sql, const QVariantList& params, bool described) {
  return Run(HashedText(sql), params, described, nullptr);
}

SqliteResult SqliteDb::Query(const HashedText& sql, const QVariantList& params, bool described) {
  return Run(sql, params, described, nullptr);
}

SqliteResult SqliteDb::Run(const HashedText& key, const QVariantList& params, bool described, Access* access) {
  const QString& sql = key.text;
  SqliteResult result;
  if (RefusedAfterAbandon(sql, result)) return result;
  const bool wasInTransaction = InTransaction();
  HashedText keptText = key;
  Prepared prepared = Prepare(key, result, &keptText);
  sqlite3_stmt* st = prepared.st;
  if (!st) return result;
  // The last run's values stay bound, so that SQLite can write a text over the last one's
  // memory; a run that binds fewer lets none of them stand in for its own.
  if (params.size() < sqlite3_bind_parameter_count(st)) sqlite3_clear_bindings(st);
  for (int i = 0; i < params.size(); ++i) Bind(st, i + 1, params[i]);
  const sqlite3_int64 before = sqlite3_total_changes64(db_);
  int rc = sqlite3_step(st);
  // Its columns as they are after the first step: a kept statement is prepared anew there when
  // the schema changed since, and may then have other columns.
  const int columns = sqlite3_column_count(st);
  if (described) DescribeColumns(prepared, result);
  for (; rc == SQLITE_ROW; rc = sqlite3_step(st)) {
    QVariantList row;
    row.reserve(columns);
    for (int i = 0; i < columns; ++i) row << ReadColumn(st, i);
    result.rows << row;
  }
  if (rc != SQLITE_DONE) {
    result.code = sqlite3_extended_errcode(db_);
    result.error = QString::fromUtf8(sqlite3_errmsg(db_));
    result.rows.clear();
  } else {
    result.ok = true;
    // The difference of the connection's running total counts this statement only; SQLite's
    // per-statement counter keeps the previous DML statement's count across SELECT and DDL.
    result.changes = sqlite3_stmt_readonly(st) ? 0 : sqlite3_total_changes64(db_) - before;
  }
  // Failed or not, a statement that may write may have changed what a read returns.
  if (!sqlite3_stmt_readonly(st)) {
    if (prepared.access.other || prepared.access.writes.empty()) {
      ++changeCount_;
      ++unknownWrites_;
    }
    for (const int table : prepared.access.writes) ++tableChanges_[size_t(table)];
  }
  // Reset at once: a statement left open would hold its read snapshot, and this connection
  // would not see what other processes commit.
  sqlite3_reset(st);
  // Going back to a savepoint calls no hook; it may undo writes all the same.
  if (prepared.access.goesBack) {
    if (result.ok) ++rollbacks_;
    ++changeCount_;
  }
  if (access) *access = prepared.access;
  if (result.ok) NoteSavepoints(prepared.access, wasInTransaction);
  statements_.Put(keptText, std::move(prepared));
  NoteAbandon(wasInTransaction, result.ok);
  if (!InTransaction()) savepoints_.clear();
  return result;
}

void SqliteDb::DescribeColumns(Prepared& prepared, SqliteResult& result) {
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

QVariant SqliteDb::Scalar(const QString& sql, const QVariantList& params) {
  const SqliteResult r = Query(sql, params);
  return r.ok ? r.Value(0, 0) : QVariant();
}

SqliteResult SqliteDb::Read(const QString& sql, const QVariantList& params) { return Read(HashedText(sql), params); }

SqliteResult SqliteDb::Read(const HashedText& key, const QVariantList& params) {
  if (!InTransaction() || abandoned_) return Query(key, params, false);
  if (readsChangeCount_ != changeCount_ || keptReads_ >= KeptReads) {
    reads_.clear();
    keptReads_ = 0;
    readsChangeCount_ = changeCount_;
  }
  const auto sameParams = [&params](const QVariantList& kept) {
    if (kept.size() != params.size()) return false;
    for (qsizetype i = 0; i < kept.size(); ++i)
      if (kept[i].typeId() != params[i].typeId() || kept[i] != params[i]) return false;
    return true;
  };
  const auto unchanged = [this](const KeptRead& kept) {
    for (const auto& [table, changes] : kept.tables)
      if (tableChanges_[size_t(table)] != changes) return false;
    return true;
  };
  std::vector<KeptRead>& kept = reads_[key];
  for (auto it = kept.begin(); it != kept.end(); ++it) {
    if (!sameParams(it->params)) continue;
    if (unchanged(*it)) return it->result;
    kept.erase(it);
    --keptReads_;
    break;
  }
  Access access;
  SqliteResult result = Run(key, params, false, &access);
  // Only a plain query of tables is kept: what it depends on is known.
  if (!result.ok || access.other || access.reads.empty() || !access.writes.empty()) return result;
  if (readsChangeCount_ != changeCount_ || !InTransaction()) return result;
  KeptRead read{params, result, {}};
  for (const int table : access.reads) read.tables.emplace_back(table, tableChanges_[size_t(table)]);
  if (kept.size() >= KeptReadsOfAText) {
    kept.erase(kept.begin());
    --keptReads_;
  }
  kept.push_back(std::move(read));
  ++keptReads_;
  return result;
}

QVariant SqliteDb::ReadScalar(const QString& sql, const QVariantList& params) {
  const SqliteResult r = Read(sql, params);
  return r.ok ? r.Value(0, 0) : QVariant();
}

bool SqliteDb::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

void SqliteDb::NoteSavepoints(const Access& access, bool wasInTransaction) {
  const auto newest = [this, &access] {
    for (auto it = savepoints_.rbegin(); it != savepoints_.rend(); ++it)
      if (sqlite3_stricmp(it->constData(), access.savepoint.constData()) == 0) return std::prev(it.base());
    return savepoints_.end();
  };
  switch (access.savepointStep) {
    case SavepointStep::None:
      return;
    case SavepointStep::EndAll:
      savepoints_.clear();
      return;
    case SavepointStep::Set:
      // None is kept outside a transaction: the first one set tells how the transaction began.
      if (savepoints_.empty()) savepointBegan_ = !wasInTransaction;
      savepoints_.push_back(access.savepoint);
      return;
    case SavepointStep::Release:
      savepoints_.erase(newest(), savepoints_.end());
      return;
    case SavepointStep::GoBack:
      if (const auto at = newest(); at != savepoints_.end()) savepoints_.erase(std::next(at), savepoints_.end());
      return;
  }
}

bool SqliteDb::ReleaseOldestSavepoint(const QString& name) {
  const QByteArray wanted = name.toUtf8();
  const auto named = [&wanted](const QByteArray& s) { return sqlite3_stricmp(s.constData(), wanted.constData()) == 0; };
  // A release ends the newest savepoint of the name: it must be the oldest one open too. The
  // savepoint that began the transaction would commit it.
  if (!InTransaction() || savepoints_.empty() || savepointBegan_ || !named(savepoints_.front()) ||
      std::any_of(savepoints_.begin() + 1, savepoints_.end(), named))
    return false;
  return Query(QStringLiteral("RELEASE ") + QuotedName(name)).ok;
}

std::pair<quint64, quint64> SqliteDb::KeyCountersStamp() {
  return {changeCount_, tableChanges_[size_t(TableNumber("DM_NEXTKEY"))]};
}

qint64 SqliteDb::TakeDrawnAhead(const QString& keyName, qint64 count) {
  if (!InTransaction() || KeyCountersStamp() != drawnAheadStamp_) {
    drawnAhead_.clear();
    return 0;
  }
  for (DrawnAhead& kept : drawnAhead_) {
    if (kept.keyName.compare(keyName, Qt::CaseInsensitive) != 0) continue;
    if (kept.end - kept.next < count) return 0;
    kept.next += count;
    return kept.next - count;
  }
  return 0;
}

void SqliteDb::KeepDrawnAhead(const QString& keyName, qint64 next, qint64 end) {
  // Called right after the draw that TakeDrawnAhead let through: the ids kept before are still
  // valid, and the draw itself changes nothing they depend on.
  drawnAheadStamp_ = KeyCountersStamp();
  const auto same = [&keyName](const DrawnAhead& kept) { return kept.keyName.compare(keyName, Qt::CaseInsensitive) == 0; };
  std::erase_if(drawnAhead_, same);
  if (next < end) drawnAhead_.push_back({keyName, next, end});
}

void SqliteDb::NoteRollback(void* self) {
  SqliteDb* db = static_cast<SqliteDb*>(self);
  ++db->rollbacks_;
  ++db->changeCount_;
}

qint64 SqliteDb::DataVersion() {
  const bool inTransaction = InTransaction();
  if (inTransaction && dataVersionInTransaction_ && dataVersionInTransaction_->first == transactionTurns_)
    return dataVersionInTransaction_->second;
  const qint64 version = Scalar(QStringLiteral("PRAGMA data_version")).toLongLong();
  if (inTransaction) dataVersionInTransaction_ = std::make_pair(transactionTurns_, version);
  return version;
}

quint64 SqliteDb::WritesTo(const std::vector<int>& tables) const {
  quint64 writes = unknownWrites_ + rollbacks_;
  for (const int table : tables) writes += tableChanges_[size_t(table)];
  return writes;
}

SqliteDb::Stamp SqliteDb::ConfigurationStamp() {
  if (configurationTables_.empty())
    for (const char* table : ConfigurationTables) configurationTables_.push_back(TableNumber(table));
  return {DataVersion(), WritesTo(configurationTables_)};
}

bool SqliteDb::HasColumn(const QString& table, const QString& column) {
  // Brackets quote a name whole, but nothing quotes a bracket within one (a double-quoted name
  // that is no column would read as a text and run).
  if (table.contains(QLatin1Char(']')) || column.contains(QLatin1Char(']'))) return false;
  const std::pair<qint64, quint64> stamp{DataVersion(), changeCount_};
  if (stamp != columnsStamp_) {
    columns_.clear();
    columnsStamp_ = stamp;
  }
  const QString key = table.toUpper() + QLatin1Char('.') + column.toUpper();
  const auto known = columns_.constFind(key);
  if (known != columns_.cend()) return *known;
  const bool has = Query(QStringLiteral("SELECT [%1] FROM [%2] WHERE 0").arg(column, table)).ok;
  columns_.insert(key, has);
  return has;
}

SqliteDb::Stamp SqliteDb::TableStamp(const QString& table) {
  return {DataVersion(), WritesTo({TableNumber(table.toUtf8().constData())})};
}

QString QuotedName(const QString& name) {
  // A name without a quote (nearly every one) is neither searched twice nor copied: the copy is
  // shared, and a replace that finds nothing leaves it so.
  QString q = name;
  q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

HashedText SqliteDb::InsertText(const QString& table, const std::map<QString, QVariant>& values) {
  const auto same = [&](const KeptInsert& kept) {
    return kept.table == table && kept.columns.size() == values.size() &&
           std::equal(kept.columns.begin(), kept.columns.end(), values.begin(),
                      [](const QString& column, const auto& value) { return column == value.first; });
  };
  for (const KeptInsert& kept : keptInserts_)
    if (same(kept)) return kept.text;
  QString sql;
  sql.reserve(40 + qsizetype(values.size()) * 24);
  sql += QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (");
  std::vector<QString> columns;
  columns.reserve(values.size());
  for (const auto& [name, value] : values) {
    if (!columns.empty()) sql += QStringLiteral(", ");
    sql += QuotedName(name);
    columns.push_back(name);
  }
  sql += QStringLiteral(") VALUES (");
  for (size_t i = 0; i < columns.size(); ++i) sql += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
  sql += QLatin1Char(')');
  // A handful of lists serve a run; a few more are room enough.
  constexpr size_t KeptInserts = 16;
  if (keptInserts_.size() >= KeptInserts) keptInserts_.erase(keptInserts_.begin());
  keptInserts_.push_back({table, std::move(columns), HashedText(sql)});
  return keptInserts_.back().text;
}

bool WithWriteTransaction(SqliteDb& db, QString* error, const std::function<bool(QString*)>& work) {
  // Run as kept statements: a save or filing makes these a few times a row.
  const auto run = [&db](const char* sql, QString* why) {
    const SqliteResult r = db.Query(QString::fromLatin1(sql));
    if (!r.ok && why) *why = r.error;
    return r.ok;
  };
  if (db.InTransaction()) {
    // Inside the caller's transaction a failed save still leaves nothing behind: its writes are
    // undone to a savepoint, and the caller's transaction decides about the rest.
    if (!run("SAVEPOINT sw_object_write", error)) return false;
    const bool done = work(error);
    if (!done) run("ROLLBACK TO sw_object_write", nullptr);
    run("RELEASE sw_object_write", nullptr);
    return done;
  }
  if (!run("BEGIN IMMEDIATE", error)) return false;
  if (!work(error)) {
    run("ROLLBACK", nullptr);
    return false;
  }
  if (!run("COMMIT", error)) {
    run("ROLLBACK", nullptr);
    return false;
  }
  return true;
}

}  // namespace sw::dm
