// Name trees and number trees flattened into sorted lists, refusing cycles.
#pragma once

#include <algorithm>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document.hpp"

namespace quarvel {

// Sorted by key (bytes of the key text, or the number), one entry per key; the values
// are the resolved objects, borrowed from the document.
using NameTreeEntries = std::vector<std::pair<std::string, const Object*>>;
using NumberTreeEntries = std::vector<std::pair<Integer, const Object*>>;
// The objects one walk has reached through references.
using VisitedObjects = std::set<ObjectId>;

// Adds the tree under `node` to `out`: a later key (depth-first) replaces an earlier
// equal one, including one already in `out`. `context` names the root in errors.
void collect_name_tree_entries(const Document& document, const Object& node, std::string_view context,
                               NameTreeEntries& out, VisitedObjects& visited);
void collect_number_tree(const Document& document, const Object& node, std::string_view context,
                         NumberTreeEntries& out, VisitedObjects& visited);

// Sorts entries given in insertion order by key, keeping the last of equal keys.
template <class Key>
void keep_last_by_key(std::vector<std::pair<Key, const Object*>>& entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].first == entries[i].first) continue;
        if (kept != i) entries[kept] = std::move(entries[i]);
        ++kept;
    }
    entries.resize(kept);
}

}  // namespace quarvel
