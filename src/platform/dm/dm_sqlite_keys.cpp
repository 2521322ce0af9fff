#include "platform/dm/dm_sqlite_keys.h"

#include <algorithm>

#include "platform/dm/dm_schema.h"
#include "platform/dm/dm_server.h"
#include "platform/dm/dm_sqlite.h"

namespace sw::dm {

namespace {

// What a transaction finds ready at the least: a folder takes one document number and about
// ten system ids, and a group of rows makes tens of folders. Later transactions find twice the
// most one of the connection took, up to MostReady.
constexpr qint64 LeastSystemIds = 1024;
constexpr qint64 LeastDocNumbers = 128;
constexpr qint64 MostReady = qint64(1) << 20;

// Both counters in one statement: one commit, or one write in the transaction's own. `need` 0
// leaves a counter as it is. Never below an id drawn beyond the ranges before (?2, ?5).
const QString DrawBoth = QStringLiteral(
    "UPDATE DM_NEXTKEY SET LAST_KEY = MAX(LAST_KEY, CASE WHEN KEY_NAME = ?1 THEN ?2 ELSE ?5 END) + "
    "CASE WHEN KEY_NAME = ?1 THEN ?3 ELSE ?6 END WHERE (KEY_NAME = ?1 AND ?3 > 0) OR (KEY_NAME = ?4 AND ?6 > 0) "
    "RETURNING KEY_NAME, LAST_KEY");
// The unused ids at the top of each counter's ranges go back, for a counter still where this
// connection left it.
const QString GiveBackBoth = QStringLiteral(
    "UPDATE DM_NEXTKEY SET LAST_KEY = CASE WHEN KEY_NAME = ?1 THEN ?2 ELSE ?5 END "
    "WHERE (KEY_NAME = ?1 AND LAST_KEY = ?3) OR (KEY_NAME = ?4 AND LAST_KEY = ?6)");

// Adds a range after the others, one with the last when it follows it.
void Append(std::deque<KeyReservations::Range>& ranges, const KeyReservations::Range& range) {
  if (!ranges.empty() && ranges.back().end == range.next) ranges.back().end = range.end;
  else ranges.push_back(range);
}

}  // namespace

std::array<KeyReservations::Counter, 2> KeyReservations::MakeCounters() {
  std::array<Counter, 2> counters;
  counters[0].name = SystemKeyName;
  counters[0].least = LeastSystemIds;
  counters[1].name = DocNumberKeyName;
  counters[1].least = LeastDocNumbers;
  return counters;
}

qint64 KeyReservations::Counter::Left() const {
  qint64 left = 0;
  for (const Range& range : ranges) left += range.end - range.next;
  return left;
}

qint64 KeyReservations::Counter::Wanted() const { return std::clamp(2 * mostInATransaction, least, MostReady); }

KeyReservations::Counter* KeyReservations::Find(const QString& keyName) {
  for (Counter& counter : counters_)
    if (counter.name.compare(keyName, Qt::CaseInsensitive) == 0) return &counter;
  return nullptr;
}

const KeyReservations::Counter* KeyReservations::Find(const QString& keyName) const {
  return const_cast<KeyReservations*>(this)->Find(keyName);
}

qint64 KeyReservations::Take(const QString& keyName, qint64 count) {
  Counter* counter = Find(keyName);
  if (!counter || count <= 0) return 0;
  for (auto range = counter->ranges.begin(); range != counter->ranges.end(); ++range) {
    if (range->end - range->next < count) continue;
    const qint64 first = range->next;
    range->next += count;
    if (range->next == range->end) counter->ranges.erase(range);
    counter->drawnInTransaction += count;
    return first;
  }
  return 0;
}

void KeyReservations::NoteDrawnInTransaction(const QString& keyName, qint64 last, qint64 count) {
  Counter* counter = Find(keyName);
  if (!counter) return;
  counter->drawnBeyond = std::max(counter->drawnBeyond, last);
  counter->beyondInTransaction = true;
  counter->drawnInTransaction += count;
}

qint64 KeyReservations::DrawnBeyond(const QString& keyName) const {
  const Counter* counter = Find(keyName);
  return counter ? counter->drawnBeyond : 0;
}

void KeyReservations::Draw(SqliteDb& db, const std::array<qint64, 2>& need, bool pending) {
  const SqliteResult r = db.Query(DrawBoth, {counters_[0].name, counters_[0].drawnBeyond, need[0], counters_[1].name,
                                             counters_[1].drawnBeyond, need[1]});
  // A draw that fails reserves nothing: the ids are then drawn as they are needed.
  if (!r.ok) return;
  for (const QVariantList& row : r.rows) {
    const size_t i = row.value(0).toString().compare(counters_[0].name, Qt::CaseInsensitive) == 0 ? 0 : 1;
    const qint64 last = row.value(1).toLongLong();
    const Range range{last - need[i] + 1, last + 1};
    if (pending) counters_[i].pending.push_back(range);
    else Append(counters_[i].ranges, range);
  }
}

void KeyReservations::BeforeBegin(SqliteDb& db) {
  std::array<qint64, 2> need{};
  for (size_t i = 0; i < counters_.size(); ++i) {
    Counter& counter = counters_[i];
    counter.drawnInTransaction = 0;
    counter.beyondInTransaction = false;
    counter.pending.clear();
    need[i] = std::max<qint64>(0, counter.Wanted() - counter.Left());
  }
  if (need[0] > 0 || need[1] > 0) Draw(db, need, false);
}

void KeyReservations::BeforeCommit(SqliteDb& db) {
  std::array<qint64, 2> need{};
  for (size_t i = 0; i < counters_.size(); ++i) {
    Counter& counter = counters_[i];
    counter.mostInATransaction = std::max(counter.mostInATransaction, counter.drawnInTransaction);
    // A transaction that drew none writes no counter; one whose commit is tried again has drawn
    // its share already.
    if (counter.drawnInTransaction == 0 || !counter.pending.empty()) continue;
    need[i] = std::max<qint64>(0, counter.Wanted() - counter.Left());
  }
  if (need[0] > 0 || need[1] > 0) Draw(db, need, true);
}

void KeyReservations::AfterEnd(bool committed) {
  for (Counter& counter : counters_) {
    if (committed)
      for (const Range& range : counter.pending) Append(counter.ranges, range);
    // Ids drawn beyond the ranges went back to the counter with the transaction: it is raised
    // past them again before anyone draws them.
    else if (counter.beyondInTransaction) counter.owed = true;
    counter.pending.clear();
    counter.beyondInTransaction = false;
    counter.drawnInTransaction = 0;
  }
}

void KeyReservations::Settle(SqliteDb& db) {
  for (Counter& counter : counters_) {
    if (!counter.owed) continue;
    counter.owed = false;  // the statement below must not settle it again
    const SqliteResult r = db.Query(QStringLiteral("UPDATE DM_NEXTKEY SET LAST_KEY = MAX(LAST_KEY, ?) WHERE KEY_NAME = ?"),
                                    {counter.drawnBeyond, counter.name});
    counter.owed = !r.ok;  // a lock in the way: tried again after the next statement
  }
}

bool KeyReservations::Owed() const {
  return std::any_of(counters_.begin(), counters_.end(), [](const Counter& counter) { return counter.owed; });
}

void KeyReservations::AtClose(SqliteDb& db) {
  QVariantList params;
  bool any = false;
  for (const Counter& counter : counters_) {
    const auto top = std::max_element(counter.ranges.begin(), counter.ranges.end(),
                                      [](const Range& a, const Range& b) { return a.end < b.end; });
    const bool unused = top != counter.ranges.end() && top->next < top->end;
    any = any || unused;
    params << counter.name << (unused ? top->next - 1 : qint64(0)) << (unused ? top->end - 1 : qint64(-1));
  }
  if (any) db.Query(GiveBackBoth, params);
  for (Counter& counter : counters_) counter.ranges.clear();
}

qint64 NextKeyOn(SqliteDb& db, const QString& keyName, QString* error) { return NextKeysOn(db, keyName, 1, error); }

qint64 NextKeysOn(SqliteDb& db, const QString& keyName, qint64 count, QString* error) {
  KeyReservations& keys = db.Keys();
  if (const qint64 reserved = keys.Take(keyName, count)) return reserved;
  // Beyond the ranges, from the counter itself: outside a transaction the draw is a commit of its
  // own; inside one it goes back with the transaction, and the counter is raised again after.
  const SqliteResult r = db.Query(
      QStringLiteral("UPDATE DM_NEXTKEY SET LAST_KEY = MAX(LAST_KEY, ?) + ? WHERE KEY_NAME = ? RETURNING LAST_KEY"),
      {keys.DrawnBeyond(keyName), count, keyName});
  if (!r.ok || r.rows.isEmpty()) {
    if (error) *error = r.ok ? QStringLiteral("The library has no key counter ") + keyName : r.error;
    return 0;
  }
  const qint64 last = r.Value(0, 0).toLongLong();
  if (db.InTransaction()) keys.NoteDrawnInTransaction(keyName, last, count);
  return last - count + 1;
}

}  // namespace sw::dm
