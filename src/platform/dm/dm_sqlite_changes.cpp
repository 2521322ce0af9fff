#include "platform/dm/dm_sqlite_changes.h"

#include <sqlite3.h>

#include <algorithm>

namespace sw::dm {

void ChangeTracker::Attach(sqlite3* db) {
  db_ = db;
  sqlite3_rollback_hook(db, &ChangeTracker::NoteRollback, this);
  sqlite3_set_authorizer(db, &ChangeTracker::NoteAccess, this);
}

void ChangeTracker::Release() {
  sqlite3_finalize(dataVersion_);
  dataVersion_ = nullptr;
}

void ChangeTracker::BeginPreparing() {
  access_ = StatementAccess();
  preparing_ = true;
}

StatementAccess ChangeTracker::EndPreparing() {
  preparing_ = false;
  return std::move(access_);
}

int ChangeTracker::TableNumber(const char* name) {
  for (size_t i = 0; i < tables_.size(); ++i)
    if (sqlite3_stricmp(tables_[i].constData(), name) == 0) return int(i);
  tables_.emplace_back(name);
  writes_.push_back(0);
  return int(tables_.size() - 1);
}

int ChangeTracker::NoteAccess(void* self, int action, const char* first, const char* second, const char*, const char*) {
  ChangeTracker* tracker = static_cast<ChangeTracker*>(self);
  if (!tracker->preparing_) return SQLITE_OK;
  StatementAccess& access = tracker->access_;
  const auto note = [tracker](std::vector<int>& tables, const char* name) {
    const int number = tracker->TableNumber(name ? name : "");
    if (std::find(tables.begin(), tables.end(), number) == tables.end()) tables.push_back(number);
  };
  using Step = StatementAccess::SavepointStep;
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
      access.savepointStep = Step::EndAll;  // a transaction begins or ends: none is open
      access.goesBack = sqlite3_stricmp(first, "ROLLBACK") == 0;
      break;
    case SQLITE_SAVEPOINT:  // the operation ("BEGIN", "RELEASE" or "ROLLBACK"), then the name
      access.goesBack = sqlite3_stricmp(first, "ROLLBACK") == 0;
      access.savepointStep = access.goesBack                          ? Step::GoBack
                             : sqlite3_stricmp(first, "RELEASE") == 0 ? Step::Release
                                                                      : Step::Set;
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

void ChangeTracker::NoteRun(const StatementAccess& access, bool readOnly, bool ok) {
  if (!readOnly) {
    if (access.other || access.writes.empty()) ++changes_;
    // Beginning or ending a transaction or a savepoint writes no table (going back is counted
    // on its own, below and by the rollback hook).
    if (access.other || (access.writes.empty() && access.savepointStep == StatementAccess::SavepointStep::None))
      ++unknownWrites_;
    for (const int table : access.writes) ++writes_[size_t(table)];
  }
  // Going back to a savepoint calls no hook; it may undo writes all the same.
  if (access.goesBack) {
    if (ok) ++goneBack_;
    ++changes_;
  }
}

void ChangeTracker::NoteScript() {
  ++changes_;
  ++unknownWrites_;
}

void ChangeTracker::NoteTurn() {
  ++turns_;
  ++changes_;
}

void ChangeTracker::NoteRollback(void* self) {
  ChangeTracker* tracker = static_cast<ChangeTracker*>(self);
  ++tracker->goneBack_;
  ++tracker->changes_;
}

quint64 ChangeTracker::WritesTo(const std::vector<int>& tables) const {
  quint64 writes = unknownWrites_ + goneBack_;
  for (const int table : tables) writes += writes_[size_t(table)];
  return writes;
}

bool ChangeTracker::InTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

qint64 ChangeTracker::DataVersion() {
  const bool inTransaction = InTransaction();
  if (inTransaction && dataVersionInTransaction_ && dataVersionInTransaction_->first == turns_)
    return dataVersionInTransaction_->second;
  if (!dataVersion_) sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &dataVersion_, nullptr);
  qint64 version = 0;
  if (dataVersion_ && sqlite3_step(dataVersion_) == SQLITE_ROW) version = sqlite3_column_int64(dataVersion_, 0);
  // Reset at once: left open, it would hold its read snapshot.
  sqlite3_reset(dataVersion_);
  if (inTransaction) dataVersionInTransaction_ = std::make_pair(turns_, version);
  return version;
}

}  // namespace sw::dm
