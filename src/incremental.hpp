// Changes to an existing file, appended as incremental updates: the source bytes are
// kept unchanged and the new objects follow with their own cross-reference section.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "document.hpp"

namespace quarvel {

// Objects to append: the id and the serialised body, without "obj" and "endobj".
using UpdateObjects = std::vector<std::pair<ObjectId, std::string>>;

// Appends `objects`, a classic cross-reference section and a trailer with /Prev to a
// copy of `source`; `document` must have been loaded from `source`.
std::string append_incremental_update(std::string_view source, const Document& document,
                                      const UpdateObjects& objects, std::optional<ObjectId> info_override);

// Requested Info values; an absent one keeps the current value, except the producer,
// which then becomes "quarvel". An empty or white-space value removes the entry.
struct MetadataUpdate {
    std::optional<std::string> title;
    std::optional<std::string> author;
    std::optional<std::string> subject;
    std::optional<std::string> keywords;
    std::optional<std::string> creator;
    std::optional<std::string> producer;
};

// Lower-left x, lower-left y, upper-right x, upper-right y, written in this order.
using AnnotationRect = std::array<double, 4>;

// Each loads `source` afresh, unless `parsed` is the document already loaded from it.
std::string update_metadata_incremental(std::string_view source, const MetadataUpdate& update,
                                        const Document* parsed = nullptr);
std::string add_text_annotation_incremental(std::string_view source, std::size_t page_index,
                                            const AnnotationRect& rect, std::string_view contents,
                                            const Document* parsed = nullptr);
std::string add_uri_link_incremental(std::string_view source, std::size_t page_index, const AnnotationRect& rect,
                                     std::string_view uri, const Document* parsed = nullptr);
std::string add_annotation_incremental(std::string_view source, std::size_t page_index, const Dictionary& annotation,
                                       const Document* parsed = nullptr);

}  // namespace quarvel
