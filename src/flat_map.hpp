// A map stored as a sorted vector: compact, cache-friendly, built once and then read.
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

namespace quarvel {

template <class Key, class Value>
class FlatMap {
public:
    using Entry = std::pair<Key, Value>;

    FlatMap() = default;
    // `entries` must be sorted by key with unique keys.
    explicit FlatMap(std::vector<Entry> entries) : entries_(std::move(entries)) {}

    const Value* find(const Key& key) const {
        auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                                   [](const Entry& e, const Key& k) { return e.first < k; });
        return it != entries_.end() && it->first == key ? &it->second : nullptr;
    }
    bool contains(const Key& key) const { return find(key) != nullptr; }
    // The same, trying the entry at `guess` first: keys that number their entries
    // densely from the start hit it without a search.
    const Value* find_from(const Key& key, std::size_t guess) const {
        if (guess < entries_.size() && entries_[guess].first == key) return &entries_[guess].second;
        return find(key);
    }

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

private:
    std::vector<Entry> entries_;
};

}  // namespace quarvel
