#pragma once
// The answers of the emulator's own reads inside a transaction: the same text with the same
// parameters is answered from the last answer until the connection writes to a table it read,
// or anything else the change tracker counts may have changed it (a savepoint or transaction
// gone back on, the transaction's end). No other connection's commit can show in a transaction
// that has begun to read, so the answer is what the query would return again; an object's
// profile, rights and form are asked for many times a folder.
#include <QHash>
#include <QVariantList>
#include <vector>

#include "platform/dm/dm_sqlite_changes.h"
#include "platform/dm/dm_sqlite_statements.h"

namespace sw::dm {

class KeptReads {
 public:
  // The answer kept for the text with these parameters while nothing it read has changed since;
  // null otherwise.
  const SqliteResult* Find(const HashedText& sql, const QVariantList& params, const ChangeTracker& changes);
  // Keeps the answer just read, when the statement is a plain query of tables (what it depends
  // on is known) and nothing changed while it ran.
  void Keep(const HashedText& sql, const QVariantList& params, const SqliteResult& result, const StatementAccess& access,
            const ChangeTracker& changes);

  // Answers kept at most, in all; a text keeps its last few.
  static constexpr qsizetype Kept = 1024;
  static constexpr size_t KeptOfAText = 8;

 private:
  struct KeptRead {
    QVariantList params;
    SqliteResult result;
    std::vector<std::pair<int, quint64>> tables;  // each table read, with its writes then
  };
  QHash<HashedText, std::vector<KeptRead>> reads_;
  qsizetype count_ = 0;
  quint64 changes_ = 0;  // the tracker's changes when the answers were kept
};

}  // namespace sw::dm
