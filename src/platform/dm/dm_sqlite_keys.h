#pragma once
// The ids one connection hands out from the library's key counters (DM_NEXTKEY). As a DM
// server's key counter, a key once handed out is never handed out again, also when the
// transaction that drew it rolls back: a rolled-back folder's number never becomes another item's,
// so whatever still links it links nothing.
//
// SQLite has one writer at a time and commits nothing apart from the open transaction, so a
// connection takes ranges of ids from the counters in commits that stand by themselves: in a
// commit of its own just before a transaction begins, when it has fewer than a transaction
// takes, and within the commit of each transaction that used some, so that the next one finds
// them ready. Ids are handed out from those ranges and never taken back, whatever is rolled back.
// A transaction that needs more than its ranges hold draws the rest from the counter inside the
// transaction; when that transaction rolls back and the connection lives on, the counter is
// raised past them again at once. When the connection closes in order, the ids it has left go
// back to the counter if no one drew after them, so a run that ends in order leaves no gap.
#include <QString>
#include <QVariantList>
#include <array>
#include <deque>
#include <vector>

namespace sw::dm {

class SqliteDb;

class KeyReservations {
 public:
  // The first of `count` consecutive ids reserved for the key, or 0 when no range has that many
  // left (or the key has no ranges: only the system ids and document numbers do).
  qint64 Take(const QString& keyName, qint64 count);
  // The key's counter was drawn inside the open transaction, up to `last`.
  void NoteDrawnInTransaction(const QString& keyName, qint64 last, qint64 count);
  // The highest id of the key this connection drew inside a transaction beyond its ranges: a
  // later draw never hands out one at or below it, whatever was rolled back.
  qint64 DrawnBeyond(const QString& keyName) const;

  // Called before the statement that begins a transaction, before the one that commits it, once
  // the connection is out of the transaction (committed or not), and when it closes.
  void BeforeBegin(SqliteDb& db);
  void BeforeCommit(SqliteDb& db);
  void AfterEnd(bool committed);
  void AtClose(SqliteDb& db);
  // A transaction that drew beyond the ranges did not stand: the counter must be raised past
  // those ids (Settle) before anything else draws, as soon as the connection can write again.
  bool Owed() const;
  void Settle(SqliteDb& db);

  // Ids [next, end) of a counter.
  struct Range {
    qint64 next = 0;
    qint64 end = 0;
  };

 private:
  struct Counter {
    QString name;
    qint64 least = 0;  // ids a transaction finds ready at the least
    std::deque<Range> ranges;  // reserved in commits that stood
    std::vector<Range> pending;  // drawn in the open transaction's commit: reserved once it stands
    qint64 drawnInTransaction = 0;
    qint64 mostInATransaction = 0;
    qint64 drawnBeyond = 0;     // see DrawnBeyond
    bool beyondInTransaction = false;  // the open transaction drew beyond the ranges
    bool owed = false;                 // see Owed
    qint64 Left() const;
    qint64 Wanted() const;
  };
  Counter* Find(const QString& keyName);
  const Counter* Find(const QString& keyName) const;
  // Draws `need` ids of each counter in one statement, in the open transaction (as pending
  // ranges) or as a commit of its own.
  void Draw(SqliteDb& db, const std::array<qint64, 2>& need, bool pending);
  std::array<Counter, 2> counters_ = MakeCounters();
  static std::array<Counter, 2> MakeCounters();
};

}  // namespace sw::dm
