// The document outline (bookmarks).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "document.hpp"
#include "name_tree.hpp"

namespace quarvel {

// One outline item. An outline is a flat list in reading order: each item is followed
// by its children, one level deeper, so that no consumer needs recursion.
struct OutlineItem {
    const Dictionary* action = nullptr;   // /A after one resolution
    std::string title;
    const Object* destination = nullptr;  // /Dest as stored
    ObjectId id;
    std::size_t depth = 0;                // 0 for a top-level item
};

std::vector<OutlineItem> outlines(const Document& document);
// The chain starting at `first` with everything below it, depths counted from 0.
std::vector<OutlineItem> collect_outline_chain(const Document& document, ObjectId first, VisitedObjects& visited);

}  // namespace quarvel
