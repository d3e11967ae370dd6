#include "outline.hpp"

#include "unicode.hpp"

namespace quarvel {

namespace {

// Real outlines are a few levels deep. The bound keeps a hostile chain of /First links
// from making every item's indentation (in Markdown) or nesting (in Python) that long.
constexpr std::size_t kMaxOutlineDepth = 1024;

ObjectId link_id(const Object& link, std::string_view context) {
    const ObjectId* id = link.as_reference();
    if (!id) throw PdfError::type_mismatch(context, "indirect reference");
    return *id;
}

}  // namespace

std::vector<OutlineItem> collect_outline_chain(const Document& document, ObjectId first, VisitedObjects& visited) {
    std::vector<OutlineItem> items;
    // One entry per open level: the /Next of the last item read there, checked and
    // followed once the item's children are done. Every item is read once (the visited
    // set), so the work and this stack are bounded by the number of objects.
    std::vector<const Object*> next_at_level;
    ObjectId id = first;
    while (true) {
        if (next_at_level.size() > kMaxOutlineDepth)
            throw PdfError::type_mismatch("outline item", "outline of bounded depth");
        if (!visited.insert(id).second) throw PdfError::outline_cycle(id);
        const Object* object = document.find(id);
        if (!object) throw PdfError::dangling_reference(id);
        const Dictionary* item = object->as_dictionary_like();
        if (!item) throw PdfError::type_mismatch("outline item", "dictionary");

        OutlineItem out;
        out.id = id;
        out.depth = next_at_level.size();
        const Object* title = item->get("Title");
        if (!title) throw PdfError::missing_entry("outline item", "Title");
        // pdfTeX and LuaTeX store titles as separate objects.
        const std::string* title_bytes = document.resolve(*title).as_string();
        if (!title_bytes) throw PdfError::type_mismatch("outline item /Title", "string");
        out.title = decode_text_string(*title_bytes);
        out.destination = item->get("Dest");
        if (const Object* action = item->get("A")) {
            out.action = document.resolve(*action).as_dictionary_like();
            if (!out.action) throw PdfError::type_mismatch("outline item /A", "dictionary");
        }
        items.push_back(std::move(out));
        next_at_level.push_back(item->get("Next"));

        if (const Object* child = item->get("First")) {
            id = link_id(*child, "outline item /First");
            continue;
        }
        const Object* next = nullptr;
        while (!next && !next_at_level.empty()) {
            next = next_at_level.back();
            next_at_level.pop_back();
        }
        if (!next) return items;
        id = link_id(*next, "outline item /Next");
    }
}

std::vector<OutlineItem> outlines(const Document& document) {
    const Object* root = document.catalog().get("Outlines");
    if (!root) return {};
    const Dictionary& outline = document.resolve_to_dictionary(*root, "catalog /Outlines");
    const Object* first = outline.get("First");
    if (!first) return {};
    VisitedObjects visited;
    return collect_outline_chain(document, link_id(*first, "outline root /First"), visited);
}

}  // namespace quarvel
