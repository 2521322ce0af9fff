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

// A text with its hash worked out once: a statement is looked up, taken and given back, and
// hashing a long text each time cost more than the rest of the look-up.
struct HashedText {
  explicit HashedText(const QString& t) : text(t), hash(qHash(t)) {}
  // A text whose hash was worked out before (it must be qHash of the same text).
  HashedText(const QString& t, size_t h) : text(t), hash(h) {}
  QString text;
  size_t hash;
  // A text met again is often the very string kept (a statement's pattern is built once): its
  // characters need no comparing then.
  bool operator==(const HashedText& other) const {
    return hash == other.hash && text.size() == other.text.size() &&
           (text.constData() == other.text.constData() || text == other.text);
  }
};
inline size_t qHash(const HashedText& key, size_t seed = 0) { return key.hash ^ seed; }

template <class Key, class Value>
class RecentTexts {
 public:
  // `release` is called for every value the store lets go of (evicted, replaced or at the end).
  explicit RecentTexts(qsizetype capacity, std::function<void(Value&)> release = {})
      : capacity_(capacity), release_(std::move(release)) {}
  ~RecentTexts() { Clear(); }
  RecentTexts(const RecentTexts&) = delete;
  RecentTexts& operator=(const RecentTexts&) = delete;

  // Takes the value kept for the text out of the store (a nested use of the same text finds
  // none, so nothing is shared); Put gives it back. With `kept`, the store's own copy of the text
  // goes there: given back with it, the value is found without comparing the text again.
  std::optional<Value> Take(const Key& text, Key* kept = nullptr) {
    auto it = entries_.find(text);
    if (it == entries_.end() || it->taken) return std::nullopt;
    it->taken = true;
    it->used = ++clock_;
    if (kept) *kept = it.key();
    return std::move(it->value);
  }

  // The value kept for the text, left in the store and counted as used; none when it is not kept
  // or is taken out. For a look that runs nothing in between: one search instead of Take's and Put's.
  const Value* Peek(const Key& text) {
    auto it = entries_.find(text);
    if (it == entries_.end() || it->taken) return nullptr;
    it->used = ++clock_;
    return &it->value;
  }

  // Keeps the value for the text when the text was seen before; otherwise notes the text and
  // lets the value go.
  void Put(const Key& text, Value value) {
    auto it = entries_.find(text);
    if (it != entries_.end()) {
      if (!it->taken) Release(it->value);
      it->value = std::move(value);
      it->taken = false;
      it->used = ++clock_;
      return;
    }
    if (!seen_.contains(text)) {
      if (seen_.size() >= SeenLimit) seen_.clear();
      seen_.insert(text);
      Release(value);
      return;
    }
    if (entries_.size() >= capacity_) EvictOldest();
    entries_.insert(text, Entry{std::move(value), ++clock_, false});
  }

  // Whether the text was seen or kept before.
  bool Seen(const Key& text) const { return entries_.contains(text) || seen_.contains(text); }

  // Lets every value go; one taken out is let go when it is given back.
  void Clear() {
    for (auto& e : entries_)
      if (!e.taken) Release(e.value);
    entries_.clear();
    seen_.clear();
  }

  qsizetype Size() const { return entries_.size(); }

 private:
  static constexpr qsizetype SeenLimit = 4096;
  struct Entry {
    Value value;
    quint64 used = 0;
    bool taken = false;
  };

  void Release(Value& value) {
    if (release_) release_(value);
  }

  void EvictOldest() {
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
      if (!it->taken && (oldest == entries_.end() || it->used < oldest->used)) oldest = it;
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
