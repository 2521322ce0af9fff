#pragma once
// A small store of work done for a statement text (its translation, its prepared statement),
// kept for texts that come again. A text is kept from its second sighting on, so the many
// texts that carry one row's values and never come again do not push out the ones that do;
// when full, the entry used longest ago goes.
#include <QHash>
#include <QSet>
#include <functional>
#include <optional>

namespace sw::dm {

template <class Key, class Value>
class RecentTexts {
 public:
  // `release` is called for every value the store lets go of (evicted, replaced or at the end).
  explicit RecentTexts(qsizetype capacity, std::function<void(Value&)> release = {})
      : capacity_(capacity), release_(std::move(release)) {}
  ~RecentTexts() { Clear(); }
  RecentTexts(const RecentTexts&) = delete;
  RecentTexts& operator=(const RecentTexts&) = delete;

  // Takes the value kept for the text out of the store (so a nested use of the same text does
  // not share it); Put gives it back.
  std::optional<Value> Take(const Key& text) {
    auto it = entries_.find(text);
    if (it == entries_.end()) return std::nullopt;
    Value value = std::move(it->value);
    entries_.erase(it);
    return value;
  }

  // Keeps the value for the text when the text was seen before; otherwise notes the text and
  // lets the value go.
  void Put(const Key& text, Value value) {
    if (!entries_.contains(text) && !seen_.contains(text)) {
      if (seen_.size() >= SeenLimit) seen_.clear();
      seen_.insert(text);
      Release(value);
      return;
    }
    auto old = entries_.find(text);
    if (old != entries_.end()) {
      Release(old->value);
      entries_.erase(old);
    }
    if (entries_.size() >= capacity_) EvictOldest();
    entries_.insert(text, Entry{std::move(value), ++clock_});
  }

  // Whether the text was seen or kept before.
  bool Seen(const Key& text) const { return entries_.contains(text) || seen_.contains(text); }

  void Clear() {
    for (auto& e : entries_) Release(e.value);
    entries_.clear();
    seen_.clear();
  }

  qsizetype Size() const { return entries_.size(); }

 private:
  static constexpr qsizetype SeenLimit = 4096;
  struct Entry {
    Value value;
    quint64 used = 0;
  };

  void Release(Value& value) {
    if (release_) release_(value);
  }

  void EvictOldest() {
    auto oldest = entries_.begin();
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
      if (it->used < oldest->used) oldest = it;
    if (oldest == entries_.end()) return;
    Release(oldest->value);
    entries_.erase(oldest);
  }

  qsizetype capacity_;
  std::function<void(Value&)> release_;
  QHash<Key, Entry> entries_;
  QSet<Key> seen_;
  quint64 clock_ = 0;
};

}  // namespace sw::dm
