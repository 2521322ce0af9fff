#include "platform/dm/dm_sqlite.h"

#include "platform/dm/dm_api.h"

#include "platform/dm/dm_schema.h"
#include "platform/dm/sql_chars.h"
#include "platform/os/utf8_text.h"

#include <QRandomGenerator>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
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
      return QVariant(Utf8Text(QByteArrayView(text, sqlite3_column_bytes(st, i))));
    }
  }
}

QString ReadText(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return QString();
    case SQLITE_INTEGER:
      return QString::number(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT:
      return DmNumberText(sqlite3_column_double(st, i));
    default: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      return Utf8Text(QByteArrayView(text, sqlite3_column_bytes(st, i)));
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
  // Whole numbers and texts, nearly every value bound, are read from the variant as they are.
  if (v.typeId() == QMetaType::LongLong) return sqlite3_bind_int64(st, index, *static_cast<const qint64*>(v.constData()));
  if (v.typeId() == QMetaType::QString) {
    const QString& text = *static_cast<const QString*>(v.constData());
    return text.isNull() ? sqlite3_bind_null(st, index) : BindText(st, index, text);
  }
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

// COMMIT, END or ROLLBACK of the whole transaction (not ROLLBACK TO a savepoint).
bool EndsTransaction(const QString& sql, bool* rollback) {
  const QStringList words = sql.simplified().toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (words.isEmpty()) return false;
  *rollback = words[0] == QLatin1String("ROLLBACK");
  if (*rollback) return words.size() < 2 || words[1] != QLatin1String("TO");
  return words[0] == QLatin1String("COMMIT") || words[0] == QLatin1String("END");
}

using WaitClock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds BusyTimeout(SqliteDb::BusyTimeoutMs);

// What the lock waits of every connection share. The program has one thread, which waits for
// one lock at a time; only `bounded` is set from a signal handler.
struct LockWaits {
  std::atomic<bool> bounded{false};
  WaitClock::duration boundLeft = BusyTimeout;  // of the stop's one busy timeout
  WaitClock::time_point began;                  // of the wait in hand
  WaitClock::time_point lastTry;
  void (*call)(bool begins) = nullptr;
};
static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets it");
constinit LockWaits lockWaits;

// Waits for another connection's write lock in steps of a millisecond, up to the busy timeout by
// the clock (a sleep of a millisecond takes longer). SQLite's own handler sleeps up to 100 ms
// between tries, so a writer that commits and begins again within a millisecond (a run
// committing its rows in groups) would keep another computer waiting for seconds; a database
// server lets its waiting writers in between transactions.
int WaitForLock(void*, int tries) {
  LockWaits& waits = lockWaits;
  const WaitClock::time_point now = WaitClock::now();
  if (tries == 0) waits.began = now;
  else if (waits.bounded) waits.boundLeft -= now - waits.lastTry;
  waits.lastTry = now;
  if (waits.call) waits.call(tries == 0);
  if (waits.bounded && waits.boundLeft <= WaitClock::duration::zero()) return 0;
  if (now - waits.began >= BusyTimeout) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

}  // namespace

void BoundLockWaits() { lockWaits.bounded = true; }

void UnboundLockWaits() {
  lockWaits.bounded = false;
  lockWaits.boundLeft = BusyTimeout;
}

bool LockWaitsBounded() { return lockWaits.bounded; }

void SetLockWaitCall(void (*call)(bool begins)) { lockWaits.call = call; }

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
    if (error) *error = db->db_ ? Utf8Text(sqlite3_errmsg(db->db_)) : QStringLiteral("out of memory");
    return nullptr;
  }
  sqlite3_extended_result_codes(db->db_, 1);
  db->changes_.Attach(db->db_);
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
  if (db_) {
    // A writer of another process keeps the ids' return waiting briefly at most: they are only
    // a gap when they stay drawn.
    sqlite3_busy_timeout(db_, 200);
    if (InTransaction()) Query(QStringLiteral("ROLLBACK"));
    if (!InTransaction()) keys_.AtClose(*this);
  }
  statements_.Clear();
  changes_.Release();
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
  if (wasInTransaction != InTransaction()) changes_.NoteTurn();
  if (!ok && wasInTransaction && !InTransaction()) abandoned_ = true;
}

bool SqliteDb::ExecScript(const QString& sql, QString* error) {
  SqliteResult refusal;
  if (RefusedAfterAbandon(sql, refusal)) {
    if (error) *error = refusal.error;
    return false;
  }
  const bool wasInTransaction = InTransaction();
  changes_.NoteScript();
  savepoints_.clear();
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &message);
  NoteAbandon(wasInTransaction, rc == SQLITE_OK);
  AfterTurn(Turn::None, wasInTransaction, rc == SQLITE_OK);
  if (rc != SQLITE_OK) {
    if (error) *error = Utf8Text(message ? message : sqlite3_errstr(rc));
    sqlite3_free(message);
    return false;
  }
  return true;
}

SqliteResult SqliteDb::Query(const QString& sql, const QVariantList& params, bool described) {
  return Run(HashedText(sql), params, described, nullptr);
}

SqliteResult SqliteDb::Query(const HashedText& sql, const QVariantList& params, bool described) {
  return Run(sql, params, described, nullptr);
}

SqliteResult SqliteDb::QueryTexts(const HashedText& sql, const QVariantList& params) {
  return Run(sql, params, true, nullptr, Values::AsTexts);
}

SqliteResult SqliteDb::Run(const HashedText& key, const QVariantList& params, bool described, StatementAccess* access,
                           Values values) {
  const QString& sql = key.text;
  SqliteResult result;
  if (RefusedAfterAbandon(sql, result)) return result;
  const Turn turn = BeforeTurn(sql);
  const bool wasInTransaction = InTransaction();
  HashedText keptText = key;
  KeptStatements::Held held = statements_.Take(db_, changes_, key, result, &keptText);
  PreparedStatement& prepared = *held;
  sqlite3_stmt* st = prepared.st;
  if (!st) return result;
  // The last run's values stay bound, so that SQLite can write a text over the last one's
  // memory; a run that binds fewer lets none of them stand in for its own.
  if (params.size() < sqlite3_bind_parameter_count(st)) sqlite3_clear_bindings(st);
  for (int i = 0; i < params.size(); ++i) Bind(st, i + 1, params[i]);
  const sqlite3_int64 before = sqlite3_total_changes64(db_);
  int rc = KeptStatements::FirstStep(prepared, changes_);
  // Its columns as they are after the first step: a kept statement is prepared anew there when
  // the schema changed since, and may then have other columns.
  const int columns = sqlite3_column_count(st);
  if (described) KeptStatements::DescribeColumns(prepared, result);
  result.width = columns;
  for (; rc == SQLITE_ROW && values == Values::AsTexts; rc = sqlite3_step(st))
    for (int i = 0; i < columns; ++i) result.texts << ReadText(st, i);
  for (; rc == SQLITE_ROW; rc = sqlite3_step(st)) {
    QVariantList row;
    row.reserve(columns);
    for (int i = 0; i < columns; ++i) row << ReadColumn(st, i);
    result.rows << row;
  }
  if (rc != SQLITE_DONE) {
    result.code = sqlite3_extended_errcode(db_);
    result.error = Utf8Text(sqlite3_errmsg(db_));
    result.rows.clear();
    result.texts.clear();
  } else {
    result.ok = true;
    // The difference of the connection's running total counts this statement only; SQLite's
    // per-statement counter keeps the previous DML statement's count across SELECT and DDL.
    result.changes = sqlite3_stmt_readonly(st) ? 0 : sqlite3_total_changes64(db_) - before;
  }
  // Failed or not, a statement that may write may have changed what a read returns.
  changes_.NoteRun(prepared.access, sqlite3_stmt_readonly(st), result.ok);
  // Reset at once: a statement left open would hold its read snapshot, and this connection
  // would not see what other processes commit.
  sqlite3_reset(st);
  if (access) *access = prepared.access;
  if (result.ok) NoteSavepoints(prepared.access, wasInTransaction);
  statements_.Put(keptText, std::move(held));
  NoteAbandon(wasInTransaction, result.ok);
  if (!InTransaction()) savepoints_.clear();
  AfterTurn(turn, wasInTransaction, result.ok);
  return result;
}

SqliteDb::Turn SqliteDb::BeforeTurn(const QString& sql) {
  if (abandoned_) return Turn::None;
  const QStringView word = sql::FirstWord(sql);
  const auto is = [&word](const char* upper) { return word.compare(QLatin1StringView(upper), Qt::CaseInsensitive) == 0; };
  // A savepoint set outside a transaction begins one.
  if (!InTransaction() && (is("BEGIN") || is("SAVEPOINT"))) {
    keys_.BeforeBegin(*this);
    return Turn::Begins;
  }
  if (InTransaction() && (is("COMMIT") || is("END"))) {
    keys_.BeforeCommit(*this);
    return Turn::Commits;
  }
  return Turn::None;
}

void SqliteDb::AfterTurn(Turn turn, bool wasInTransaction, bool ok) {
  if (wasInTransaction && !InTransaction()) keys_.AfterEnd(turn == Turn::Commits && ok);
  if (!InTransaction() && !abandoned_ && keys_.Owed()) keys_.Settle(*this);
}

QVariant SqliteDb::Scalar(const QString& sql, const QVariantList& params) {
  const SqliteResult r = Query(sql, params);
  return r.ok ? r.Value(0, 0) : QVariant();
}

SqliteResult SqliteDb::Read(const QString& sql, const QVariantList& params) { return Read(HashedText(sql), params); }

SqliteResult SqliteDb::Read(const HashedText& key, const QVariantList& params) {
  if (!InTransaction() || abandoned_) return Query(key, params, false);
  if (const SqliteResult* kept = reads_.Find(key, params, changes_)) return *kept;
  StatementAccess access;
  SqliteResult result = Run(key, params, false, &access);
  if (InTransaction()) reads_.Keep(key, params, result, access, changes_);
  return result;
}

QVariant SqliteDb::ReadScalar(const QString& sql, const QVariantList& params) {
  const SqliteResult r = Read(sql, params);
  return r.ok ? r.Value(0, 0) : QVariant();
}

bool SqliteDb::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

void SqliteDb::NoteSavepoints(const StatementAccess& access, bool wasInTransaction) {
  using SavepointStep = StatementAccess::SavepointStep;
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

SqliteDb::Stamp SqliteDb::ConfigurationStamp() {
  if (configurationTables_.empty())
    for (const char* table : ConfigurationTables) configurationTables_.push_back(changes_.TableNumber(table));
  return changes_.TablesStamp(configurationTables_);
}

bool SqliteDb::HasColumn(const QString& table, const QString& column) {
  // Brackets quote a name whole, but nothing quotes a bracket within one (a double-quoted name
  // that is no column would read as a text and run).
  if (table.contains(QLatin1Char(']')) || column.contains(QLatin1Char(']'))) return false;
  const ChangeTracker::Stamp stamp = changes_.SchemaStamp();
  if (stamp != columnsStamp_) {
    columns_.clear();
    columnsStamp_ = stamp;
  }
  const QString key = FoldedName(table) + QLatin1Char('.') + FoldedName(column);
  const auto known = columns_.constFind(key);
  if (known != columns_.cend()) return *known;
  const SqliteResult r = Query(QStringLiteral("SELECT [%1] FROM [%2] WHERE 0").arg(column, table));
  // A missing table or column is a plain error; any other failure (a lock, a refused statement)
  // answers nothing about the column and is asked again.
  if (r.ok || r.code == SQLITE_ERROR) columns_.insert(key, r.ok);
  return r.ok;
}

std::optional<quint64> SqliteDb::ReadStamp(const QString& table) {
  if (!InTransaction() || abandoned_) return std::nullopt;
  // Both counts only grow: their sum stays the same exactly when each does.
  return changes_.Changes() + changes_.Writes(changes_.TableNumber(table));
}

SqliteDb::Stamp SqliteDb::TableStamp(const QString& table) { return changes_.TablesStamp({changes_.TableNumber(table)}); }

SqliteDb::Stamp SqliteDb::TablesStamp(const std::vector<QString>& tables) {
  std::vector<int> numbers;
  for (const QString& table : tables) numbers.push_back(changes_.TableNumber(table));
  return changes_.TablesStamp(numbers);
}

QString QuotedName(const QString& name) {
  // A name without a quote (nearly every one) is neither searched twice nor copied: the copy is
  // shared, and a replace that finds nothing leaves it so.
  QString q = name;
  q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + q + QLatin1Char('"');
}

QString FoldedName(const QString& name) {
  // Written only where a letter changes: a name in upper case already stays shared.
  QString folded = name;
  for (qsizetype i = 0; i < folded.size(); ++i) {
    const char16_t c = folded.at(i).unicode();
    if (c >= u'a' && c <= u'z') folded[i] = QChar(char16_t(c - u'a' + u'A'));
  }
  return folded;
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
