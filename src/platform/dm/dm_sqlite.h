#pragma once
// A thin owner of one SQLite connection to a library file, and buffered queries on it. Used by
// the emulator's objects for their own statements (always with bound parameters) and by the
// DM SQL object for the system's statements.
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/dm/recent_texts.h"

struct sqlite3;
struct sqlite3_stmt;

namespace sw::dm {

// The whole result of one statement.
struct SqliteResult {
  bool ok = false;
  int code = 0;          // SQLite's extended result code on failure
  QString error;         // SQLite's message on failure
  QStringList columns;   // as SQLite names them (a described query only)
  QList<bool> computed;  // per column: not a plain column of a table (an expression or literal)
  QList<QVariantList> rows;  // NULL is a null QVariant
  qint64 changes = 0;    // rows this statement inserted, updated or deleted

  QVariant Value(int row, int column) const {
    return row < rows.size() && column < rows[row].size() ? rows[row][column] : QVariant();
  }
};

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
  // First column of the first row, null when there is none or the statement failed.
  QVariant Scalar(const QString& sql, const QVariantList& params = {});
  // A read of the emulator's own (a query without side effects): inside a transaction, the same
  // text with the same parameters is answered from the last answer until this connection writes
  // to a table it reads, goes back on a savepoint or ends the transaction. No other connection's
  // commit can show in a transaction that has begun to read, so the answer is what the query
  // would return again; an object's profile, rights and form are asked for many times a folder.
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

  // Ids of a key counter drawn ahead of need inside the open transaction: a folder's rows take
  // about ten, which would be a few statements each. They stay this connection's until the
  // transaction ends, goes back on a savepoint, or the counters are written by anything but a
  // key draw; what is left then is never handed out.
  // The first of `count` ids kept for the counter, or 0 when it has not that many.
  qint64 TakeDrawnAhead(const QString& keyName, qint64 count);
  // The ids [next, end) of the counter were just drawn ahead.
  void KeepDrawnAhead(const QString& keyName, qint64 next, qint64 end);

  // What the emulator keeps of its own configuration tables (the form layouts) holds while this
  // stamp stays the same: it changes when another connection commits to the file, or this one
  // writes to such a table (whole-table deletes included), does more than write rows, or goes
  // back on a transaction or a savepoint (which may undo such a write).
  using Stamp = std::pair<qint64, quint64>;
  Stamp ConfigurationStamp();
  // The same for one table.
  Stamp TableStamp(const QString& table);
  // Whether the table has the column, asked of SQLite again only once something may have changed
  // the schema: a statement of this connection that does more than write rows, a transaction
  // begun or ended or gone back on, another connection's commit. Names as SQLite takes them in
  // brackets (one holding "]" is none); the rowid's own names ("ROWID", "OID", "_ROWID_") count
  // as one, as SQLite reads them so.
  bool HasColumn(const QString& table, const QString& column);
  // Tells this connection from every other, also one opened later in its place: stamps of two
  // connections are not comparable.
  quint64 Identity() const { return identity_; }

  // Milliseconds a statement waits for another process's lock before failing.
  static constexpr int BusyTimeoutMs = 15000;
  // Prepared statements kept per connection.
  static constexpr qsizetype KeptStatements = 200;

 private:
  SqliteDb();
  sqlite3* db_ = nullptr;
  QString file_;
  // Statements of this connection that may have written to any table: scripts and statements
  // that do more than write rows.
  quint64 unknownWrites_ = 0;
  // What may have changed the tables (by number) since: writes to them, writes to any table,
  // transactions and savepoints gone back on. SQLite's authorizer names every table a statement
  // writes as it is prepared, also one it empties whole, where its update hook reports no row.
  quint64 WritesTo(const std::vector<int>& tables) const;
  std::vector<int> configurationTables_;  // by number
  struct KeptInsert {
    QString table;
    std::vector<QString> columns;
    HashedText text;
  };
  std::vector<KeptInsert> keptInserts_;
  std::pair<qint64, quint64> columnsStamp_{-1, 0};
  QHash<QString, bool> columns_;  // "TABLE.COLUMN", upper case
  quint64 rollbacks_ = 0;
  quint64 identity_ = 0;
  static void NoteRollback(void* self);
  qint64 DataVersion();
  // What a statement reads and writes, as SQLite's authorizer tells while preparing it: tables
  // by number, whether it does anything else (schema, pragmas, attachments), what it does to
  // the transaction's savepoints, and whether it goes back on a transaction or a savepoint.
  enum class SavepointStep { None, Set, Release, GoBack, EndAll };
  struct Access {
    std::vector<int> reads;
    std::vector<int> writes;
    bool other = false;
    SavepointStep savepointStep = SavepointStep::None;
    QByteArray savepoint;
    bool goesBack = false;
  };
  struct Prepared {
    sqlite3_stmt* st = nullptr;
    Access access;
    // Its result's column names and which are computed, read once; read again when SQLite has
    // prepared the statement anew since (the schema changed).
    QStringList columns;
    QList<bool> computed;
    int columnsRead = -1;  // SQLite's count of the statement's new preparations when they were read
  };
  static void DescribeColumns(Prepared& prepared, SqliteResult& result);
  RecentTexts<HashedText, Prepared> statements_;
  // The prepared statement for the text, kept or new; null with the result's error set. A kept
  // one's own copy of the text goes to `keptText`.
  Prepared Prepare(const HashedText& sql, SqliteResult& result, HashedText* keptText);
  Access preparing_;
  std::vector<QByteArray> tables_;        // by number
  std::vector<quint64> tableChanges_;     // by number: statements that wrote to the table
  int TableNumber(const char* name);
  static int NoteAccess(void* self, int action, const char* first, const char* second, const char* database, const char* trigger);
  // Counts what may change any read: transactions begun or ended, savepoints gone back on,
  // scripts, statements that do more than write rows.
  quint64 changeCount_ = 0;
  struct KeptRead {
    QVariantList params;
    SqliteResult result;
    std::vector<std::pair<int, quint64>> tables;  // each table read, with its changes then
  };
  QHash<HashedText, std::vector<KeptRead>> reads_;
  qsizetype keptReads_ = 0;
  quint64 readsChangeCount_ = 0;
  // Answers kept at most, in all; a text keeps its last few.
  static constexpr qsizetype KeptReads = 1024;
  static constexpr size_t KeptReadsOfAText = 8;
  SqliteResult Run(const HashedText& key, const QVariantList& params, bool described, Access* access);
  // The refusal of a statement while an abandoned transaction waits for its end; false when the
  // statement may run.
  bool RefusedAfterAbandon(const QString& sql, SqliteResult& refusal);
  // Notes a transaction that SQLite rolled back by itself when a statement failed.
  void NoteAbandon(bool wasInTransaction, bool ok);
  // SQLite rolls a transaction back by itself after some failures (a full disk, a trigger's
  // RAISE(ROLLBACK)). Until its owner ends it, every statement is refused, as a server refuses
  // work in a transaction that can no longer commit: the rest of the work must not run in
  // autocommit and stand half done.
  bool abandoned_ = false;
  // Counts the statements after which the connection went into or out of a transaction: while
  // it stays the same inside a transaction, that transaction goes on.
  quint64 transactionTurns_ = 0;
  void NoteTurn(bool wasInTransaction);
  // The data version read inside the current transaction: no other connection's commit can
  // show in a transaction that has begun to read, so it is read once a transaction.
  std::optional<std::pair<quint64, qint64>> dataVersionInTransaction_;  // (turn, version)
  struct DrawnAhead {
    QString keyName;
    qint64 next = 0;
    qint64 end = 0;
  };
  std::vector<DrawnAhead> drawnAhead_;
  // The changes and the writes to the counters when the ids were kept; any other makes them void.
  std::pair<quint64, quint64> drawnAheadStamp_;
  std::pair<quint64, quint64> KeyCountersStamp();
  // The savepoints open in the current transaction, oldest first, and whether the oldest began
  // it; a script, which may end or begin a transaction, forgets them.
  std::vector<QByteArray> savepoints_;
  bool savepointBegan_ = false;
  void NoteSavepoints(const Access& access, bool wasInTransaction);
};

using SqliteDbPtr = std::shared_ptr<SqliteDb>;

// A table or column name as SQLite reads it, whatever it holds.
QString QuotedName(const QString& name);

// Runs a function inside BEGIN IMMEDIATE ... COMMIT, or inside the transaction already open on
// the connection (to a savepoint of its own). Rolls its own writes back when the function returns
// false.
bool WithWriteTransaction(SqliteDb& db, QString* error, const std::function<bool(QString*)>& work);

}  // namespace sw::dm
