#pragma once
// A thin owner of one SQLite connection to a library file, and buffered queries on it. Used by
// the emulator's objects for their own statements (always with bound parameters) and by the
// DM SQL object for the system's statements. What it keeps of its statements lives beside it:
// the prepared statements (dm_sqlite_statements.h), the answers of its own reads
// (dm_sqlite_reads.h), and the one tracker of the changes to the tables that tells whether
// anything kept still holds (dm_sqlite_changes.h).
#include <QHash>
#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dm/dm_sqlite_changes.h"
#include "platform/dm/dm_sqlite_keys.h"
#include "platform/dm/dm_sqlite_reads.h"
#include "platform/dm/dm_sqlite_statements.h"

struct sqlite3;

namespace sw::dm {

class SqliteDb {
 public:
  // Opens (or, with create, makes) the file; sets the busy timeout so that several processes
  // can share the file as they would share a database server, and makes every commit durable
  // (synchronous FULL: a committed transaction survives a crash or a power cut).
  static std::shared_ptr<SqliteDb> Open(const QString& file, bool create, QString* error);
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  sqlite3* Handle() const { return db_; }
  const QString& File() const { return file_; }

  // One or more statements without results (schema scripts).
  bool ExecScript(const QString& sql, QString* error);
  // One statement with positional parameters (?), buffered; with `described`, the result also
  // names its columns. The prepared statement is kept for a text that is run again.
  SqliteResult Query(const QString& sql, const QVariantList& params = {}, bool described = false);
  // The same for a text whose hash is already at hand.
  SqliteResult Query(const HashedText& sql, const QVariantList& params, bool described);
  // The same, described, with the values as `texts`: what the DM SQL object hands out, made
  // from SQLite's values at once rather than through a QVariant and a list for every row.
  SqliteResult QueryTexts(const HashedText& sql, const QVariantList& params);
  // First column of the first row, null when there is none or the statement failed.
  QVariant Scalar(const QString& sql, const QVariantList& params = {});
  // A read of the emulator's own (a query without side effects): inside a transaction, answered
  // from the kept reads while what it read stands (see KeptReads).
  SqliteResult Read(const QString& sql, const QVariantList& params = {});
  SqliteResult Read(const HashedText& sql, const QVariantList& params = {});
  QVariant ReadScalar(const QString& sql, const QVariantList& params = {});
  bool InTransaction() const;
  // "INSERT INTO <table> (<columns>) VALUES (?, ...)" for the values' columns in their order,
  // built once for each table and list of columns: a new folder's rows are inserted with the
  // same few lists at every row.
  HashedText InsertText(const QString& table, const std::map<QString, QVariant>& values);
  // Ends the oldest savepoint open in the transaction, and every one set after it, as a release
  // does, when it has that name (and no other open one has) and did not begin the transaction;
  // false when it is not so.
  bool ReleaseOldestSavepoint(const QString& name);

  // The ids this connection has taken from the key counters and not handed out yet.
  KeyReservations& Keys() { return keys_; }

  // What the emulator keeps of its own configuration tables (the form layouts) holds while this
  // stamp stays the same: it changes when another connection commits to the file, or this one
  // writes to such a table (whole-table deletes included), does more than write rows, or goes
  // back on a transaction or a savepoint (which may undo such a write).
  using Stamp = ChangeTracker::Stamp;
  Stamp ConfigurationStamp();
  // The same for one table.
  Stamp TableStamp(const QString& table);
  Stamp TablesStamp(const std::vector<QString>& tables);
  // What a read of the table stands on inside the open transaction: while this stays the same,
  // the table reads as it did (what KeptReads relies on). None outside a transaction, where
  // another connection's commit may show at any statement.
  std::optional<quint64> ReadStamp(const QString& table);
  // Whether the table has the column, asked of SQLite again only once something may have changed
  // the schema: a statement of this connection that does more than write rows, a transaction
  // begun or ended or gone back on, another connection's commit. Names as SQLite takes them in
  // brackets (one holding "]" is none); the rowid's own names ("ROWID", "OID", "_ROWID_") count
  // as one, as SQLite reads them so.
  bool HasColumn(const QString& table, const QString& column);
  // Tells this connection from every other, also one opened later in its place: stamps of two
  // connections are not comparable.
  quint64 Identity() const { return identity_; }

  // Milliseconds a statement waits for another process's lock before failing. The waits of a
  // stopping program share one (BoundLockWaits in dm_api.h).
  static constexpr int BusyTimeoutMs = 15000;

 private:
  SqliteDb() = default;
  sqlite3* db_ = nullptr;
  QString file_;
  quint64 identity_ = 0;
  ChangeTracker changes_;
  KeptStatements statements_;
  KeptReads reads_;
  // How the values come back: as variants a row (`rows`), or as the SQL object's texts (`texts`).
  enum class Values { AsVariants, AsTexts };
  SqliteResult Run(const HashedText& key, const QVariantList& params, bool described, StatementAccess* access,
                   Values values = Values::AsVariants);
  // The refusal of a statement while an abandoned transaction waits for its end; false when the
  // statement may run.
  bool RefusedAfterAbandon(const QString& sql, SqliteResult& refusal);
  // Notes a transaction that SQLite rolled back by itself when a statement failed, and a turn
  // into or out of a transaction.
  void NoteAbandon(bool wasInTransaction, bool ok);
  // What the key reservations do when a statement is about to begin or commit a transaction, and
  // once it has run.
  enum class Turn { None, Begins, Commits };
  Turn BeforeTurn(const QString& sql);
  void AfterTurn(Turn turn, bool wasInTransaction, bool ok);
  // SQLite rolls a transaction back by itself after some failures (a full disk, a trigger's
  // RAISE(ROLLBACK)). Until its owner ends it, every statement is refused, as a server refuses
  // work in a transaction that can no longer commit: the rest of the work must not run in
  // autocommit and stand half done.
  bool abandoned_ = false;

  std::vector<int> configurationTables_;  // by number
  // The column cache, and the schema stamp it was filled under.
  ChangeTracker::Stamp columnsStamp_{-1, 0};
  QHash<QString, bool> columns_;  // "TABLE.COLUMN", folded as SQLite folds names

  struct KeptInsert {
    QString table;
    std::vector<QString> columns;
    HashedText text;
  };
  std::vector<KeptInsert> keptInserts_;

  KeyReservations keys_;

  // The savepoints open in the current transaction, oldest first, and whether the oldest began
  // it; a script, which may end or begin a transaction, forgets them.
  std::vector<QByteArray> savepoints_;
  bool savepointBegan_ = false;
  void NoteSavepoints(const StatementAccess& access, bool wasInTransaction);
};

using SqliteDbPtr = std::shared_ptr<SqliteDb>;

// A table or column name as SQLite reads it, whatever it holds.
QString QuotedName(const QString& name);
// A name in upper case as SQLite folds names when it compares them: ASCII letters alone, so
// that "\u017F" (which Unicode folds to "S") stays a name of its own.
QString FoldedName(const QString& name);

// Runs a function inside BEGIN IMMEDIATE ... COMMIT, or inside the transaction already open on
// the connection (to a savepoint of its own). Rolls its own writes back when the function returns
// false.
bool WithWriteTransaction(SqliteDb& db, QString* error, const std::function<bool(QString*)>& work);

}  // namespace sw::dm
