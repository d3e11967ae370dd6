// The parsed, immutable document and the operations that read it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "flat_map.hpp"
#include "object.hpp"

namespace quarvel {

using XrefTable = FlatMap<ObjectId, XrefEntry>;
using ObjectTable = FlatMap<ObjectId, Object>;

// The four inheritable page attributes, unresolved, borrowed from a page-tree node.
struct PageAttributes {
    const Object* resources = nullptr;
    const Object* media_box = nullptr;
    const Object* crop_box = nullptr;
    const Object* rotate = nullptr;

    PageAttributes inherit_from(const Dictionary& dictionary) const;
};

struct PageRecord {
    const Dictionary* dictionary = nullptr;  // the page's own dictionary
    ObjectId id;
    PageAttributes inherited;  // from the ancestors only
};

class Document {
public:
    // Loading. Throws PdfError.
    static Document parse(std::string_view bytes);
    static Document parse_mmap_file(const std::string& path);

    std::uint64_t start_xref = 0;
    Dictionary trailer;
    XrefTable xref;
    ObjectTable objects;
    PdfVersion version;

    PdfVersion effective_version() const;

    // Lookups.
    // Object n is usually the n-th entry of the table: tried before searching.
    const Object* find(ObjectId id) const { return objects.find_from(id, std::size_t{id.number} - 1); }
    // Follows exactly one reference; a missing target is DanglingReference.
    const Object& resolve(const Object& object) const;
    const Dictionary& resolve_to_dictionary(const Object& object, std::string_view context) const;
    const Dictionary& catalog() const;
    // How many nodes one walk may visit where shared nodes are walked once per parent:
    // honest files visit each object about once; the slack admits small files that
    // repeat entries.
    std::size_t visit_limit() const { return objects.size() * 4 + 65536; }

    // Page tree.
    std::vector<PageRecord> pages() const;
    // pages()[index] without the list: the whole tree is still walked, so a broken
    // tree fails as pages() does; nothing when `index` is past the last page.
    std::optional<PageRecord> page_at(std::size_t index) const;
    std::uint64_t page_count() const;
    // Null when the page has no resources.
    const Dictionary* page_resource_dictionary(const Dictionary& page, const Object* inherited_resources) const;
    void collect_content_streams(const Object& contents, std::vector<const Stream*>& list) const;
};

}  // namespace quarvel
