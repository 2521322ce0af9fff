#pragma once
// What one connection knows of the changes to its library's tables. Everything the emulator
// answers from memory of SQLite's answers (the stamps of rules and form layouts, the kept reads,
// the column cache) asks this one tracker whether what it kept still holds.
// A table counts as written when a statement that SQLite's authorizer named as writing it has
// run: the authorizer names every table a statement writes as it is prepared, also one the
// statement empties whole, where SQLite's update hook would report no row.
#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace sw::dm {

// What a statement reads and writes, as the authorizer tells while preparing it: tables by
// number, whether it does anything else (schema, pragmas, attachments), what it does to the
// transaction's savepoints, and whether it goes back on a transaction or a savepoint.
struct StatementAccess {
  enum class SavepointStep { None, Set, Release, GoBack, EndAll };
  std::vector<int> reads;
  std::vector<int> writes;
  bool other = false;
  SavepointStep savepointStep = SavepointStep::None;
  QByteArray savepoint;
  bool goesBack = false;
};

class ChangeTracker {
 public:
  ChangeTracker() = default;
  ChangeTracker(const ChangeTracker&) = delete;
  ChangeTracker& operator=(const ChangeTracker&) = delete;

  // Watches the connection (its authorizer and rollback hook); Release lets go of what the
  // tracker prepared on it, before the connection closes.
  void Attach(sqlite3* db);
  void Release();

  // The access of the statement SQLite prepares between these two calls, also when it prepares
  // a kept statement anew at its first step. Preparations at any other time (a script) are not
  // recorded.
  void BeginPreparing();
  StatementAccess EndPreparing();

  // A table's number, the same for the connection's whole life.
  int TableNumber(const char* name);
  int TableNumber(const QString& name) { return TableNumber(name.toUtf8().constData()); }

  // A statement ran, whether it succeeded or not (a failed write may have written part).
  void NoteRun(const StatementAccess& access, bool readOnly, bool ok);
  // A script ran: it may have written anything.
  void NoteScript();
  // The connection went into or out of a transaction.
  void NoteTurn();

  // Counts what may have changed any read since: a transaction begun or ended, a transaction or
  // savepoint gone back on, a statement or script that does more than write rows.
  quint64 Changes() const { return changes_; }
  // Statements that wrote to the table.
  quint64 Writes(int table) const { return writes_[size_t(table)]; }
  // What may have changed the tables since: writes to them, writes to any table, and
  // transactions and savepoints gone back on (which may undo such writes).
  quint64 WritesTo(const std::vector<int>& tables) const;
  // Turns into or out of a transaction so far: while it stays the same inside a transaction,
  // that transaction goes on.
  quint64 Turns() const { return turns_; }

  // What another connection's commit changes: read once a transaction, as no other
  // connection's commit can show in a transaction that has begun to read.
  qint64 DataVersion();

  // What is kept of the tables holds while this stamp stays the same: it changes when another
  // connection commits to the file or WritesTo changes.
  using Stamp = std::pair<qint64, quint64>;
  Stamp TablesStamp(const std::vector<int>& tables) { return {DataVersion(), WritesTo(tables)}; }
  // The same for what may change with the schema: another connection's commit or Changes().
  Stamp SchemaStamp() { return {DataVersion(), changes_}; }

 private:
  static int NoteAccess(void* self, int action, const char* first, const char* second, const char* database, const char* trigger);
  static void NoteRollback(void* self);
  bool InTransaction() const;
  sqlite3* db_ = nullptr;
  bool preparing_ = false;
  StatementAccess access_;              // of the statement being prepared
  std::vector<QByteArray> tables_;      // by number
  std::vector<quint64> writes_;         // by number
  quint64 changes_ = 0;
  quint64 unknownWrites_ = 0;  // statements and scripts that may have written to any table
  quint64 goneBack_ = 0;       // transactions and savepoints gone back on
  quint64 turns_ = 0;
  sqlite3_stmt* dataVersion_ = nullptr;
  std::optional<std::pair<quint64, qint64>> dataVersionInTransaction_;  // (turn, version)
};

}  // namespace sw::dm
