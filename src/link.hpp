// A page's annotations, and its link annotations with their targets.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "destination.hpp"
#include "document.hpp"

namespace quarvel {

// Both records borrow from the document.
struct PageAnnotation {
    const Dictionary* dictionary = nullptr;  // a stream annotation's stream dictionary
    std::optional<ObjectId> id;              // absent for an inline dictionary
};

struct Link {
    std::optional<LinkTarget> target;  // absent without /A and /Dest
    const Dictionary* dictionary = nullptr;
    std::optional<ObjectId> annotation_id;
};

// The page's own /Annots, in order.
std::vector<PageAnnotation> page_annotations(const Document& document, const PageRecord& page);
// The annotations whose /Subtype is /Link, with their targets.
std::vector<Link> page_links(const Document& document, const PageRecord& page);

// Summary values; each is absent when the entry is missing or malformed.
std::optional<std::string> annotation_subtype(const Dictionary& annotation);
std::optional<std::string> annotation_contents(const Dictionary& annotation);
std::optional<Rect> annotation_rect(const Dictionary& annotation);

}  // namespace quarvel
