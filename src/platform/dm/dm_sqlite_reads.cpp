#include "platform/dm/dm_sqlite_reads.h"

namespace sw::dm {

namespace {

bool SameParams(const QVariantList& kept, const QVariantList& params) {
  if (kept.size() != params.size()) return false;
  for (qsizetype i = 0; i < kept.size(); ++i)
    if (kept[i].typeId() != params[i].typeId() || kept[i] != params[i]) return false;
  return true;
}

}  // namespace

const SqliteResult* KeptReads::Find(const HashedText& sql, const QVariantList& params, const ChangeTracker& changes) {
  if (changes_ != changes.Changes() || count_ >= Kept) {
    reads_.clear();
    count_ = 0;
    changes_ = changes.Changes();
  }
  const auto unchanged = [&changes](const KeptRead& read) {
    for (const auto& [table, writes] : read.tables)
      if (changes.Writes(table) != writes) return false;
    return true;
  };
  const auto found = reads_.find(sql);
  if (found == reads_.end()) return nullptr;
  std::vector<KeptRead>& kept = *found;
  for (auto it = kept.begin(); it != kept.end(); ++it) {
    if (!SameParams(it->params, params)) continue;
    if (unchanged(*it)) return &it->result;
    kept.erase(it);
    --count_;
    break;
  }
  return nullptr;
}

void KeptReads::Keep(const HashedText& sql, const QVariantList& params, const SqliteResult& result,
                     const StatementAccess& access, const ChangeTracker& changes) {
  if (!result.ok || access.other || access.reads.empty() || !access.writes.empty()) return;
  if (changes_ != changes.Changes()) return;
  KeptRead read{params, result, {}};
  for (const int table : access.reads) read.tables.emplace_back(table, changes.Writes(table));
  std::vector<KeptRead>& kept = reads_[sql];
  if (kept.size() >= KeptOfAText) {
    kept.erase(kept.begin());
    --count_;
  }
  kept.push_back(std::move(read));
  ++count_;
}

}  // namespace sw::dm
