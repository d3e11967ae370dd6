// The page tree: the ordered page list, inherited attributes and page-level lookups.
#include <optional>
#include <set>

#include "document.hpp"

namespace quarvel {

PageAttributes PageAttributes::inherit_from(const Dictionary& dictionary) const {
    PageAttributes out = *this;
    if (const Object* value = dictionary.get("Resources")) out.resources = value;
    if (const Object* value = dictionary.get("MediaBox")) out.media_box = value;
    if (const Object* value = dictionary.get("CropBox")) out.crop_box = value;
    if (const Object* value = dictionary.get("Rotate")) out.rotate = value;
    return out;
}

namespace {

// Real page trees are a few levels deep; this only keeps hostile files off the stack.
constexpr std::size_t kMaxPageTreeDepth = 1024;

// Hands each page to `emit` in document order.
class PageWalk {
public:
    explicit PageWalk(const Document& document)
        : document_(document), visits_left_(document.visit_limit()) {}

    template <class Emit>
    void collect(ObjectId id, const PageAttributes& attributes, Emit& emit) {
        // Leaves, nearly every node, go first: a page is never its own ancestor (only
        // intermediate nodes are on the path), so for a page the checks below come out
        // the same in any order and the path needs no update.
        const Object* node = document_.find(id);
        const Dictionary* dictionary = node ? node->as_dictionary_like() : nullptr;
        const Object* type = dictionary ? dictionary->get("Type") : nullptr;
        if (type && type->is_name("Page")) {
            if (depth_ + 1 > kMaxPageTreeDepth) throw bounded_depth();
            if (visits_left_ == 0) throw bounded_size();
            --visits_left_;
            emit(PageRecord{dictionary, id, attributes});
            return;
        }

        if (!path_.insert(id).second) throw PdfError::page_tree_cycle(id);
        if (path_.size() > kMaxPageTreeDepth) throw bounded_depth();
        if (visits_left_ == 0) throw bounded_size();
        --visits_left_;
        if (!node) throw PdfError::dangling_reference(id);
        if (!dictionary) throw PdfError::type_mismatch("page tree node", "dictionary");
        if (type && !type->is_name("Pages")) throw PdfError::type_mismatch("page tree node /Type", "/Pages or /Page");

        const PageAttributes child_attributes = attributes.inherit_from(*dictionary);
        const Object* kids = dictionary->get("Kids");
        if (!kids) throw PdfError::missing_entry("page tree node", "Kids");
        const Array* items = document_.resolve(*kids).as_array();
        if (!items) throw PdfError::type_mismatch("page tree node /Kids", "array");
        ++depth_;
        for (const Object& item : *items) {
            const ObjectId* child = item.as_reference();
            if (!child) throw PdfError::type_mismatch("page tree node /Kids item", "indirect reference");
            collect(*child, child_attributes, emit);
        }
        --depth_;
        path_.erase(id);
    }

private:
    static PdfError bounded_depth() { return PdfError::type_mismatch("page tree node", "page tree of bounded depth"); }
    static PdfError bounded_size() { return PdfError::type_mismatch("page tree node", "page tree of bounded size"); }

    const Document& document_;
    std::set<ObjectId> path_;  // the intermediate nodes above the current one
    std::size_t depth_ = 0;    // their number
    std::size_t visits_left_;
};

ObjectId page_tree_root(const Document& document) {
    const Dictionary& root = document.catalog();
    const Object* pages = root.get("Pages");
    if (!pages) throw PdfError::missing_entry("catalog", "Pages");
    const ObjectId* id = pages->as_reference();
    if (!id) throw PdfError::type_mismatch("catalog /Pages", "indirect reference");
    return *id;
}

}  // namespace

std::vector<PageRecord> Document::pages() const {
    std::vector<PageRecord> result;
    auto keep = [&result](const PageRecord& page) { result.push_back(page); };
    PageWalk(*this).collect(page_tree_root(*this), PageAttributes{}, keep);
    return result;
}

std::optional<PageRecord> Document::page_at(std::size_t index) const {
    std::optional<PageRecord> found;
    std::size_t seen = 0;
    auto pick = [&](const PageRecord& page) {
        if (seen++ == index) found = page;
    };
    PageWalk(*this).collect(page_tree_root(*this), PageAttributes{}, pick);
    return found;
}

std::uint64_t Document::page_count() const {
    const Dictionary& root = catalog();
    const Object* pages = root.get("Pages");
    if (!pages) throw PdfError::missing_entry("catalog", "Pages");
    const Dictionary& tree = resolve_to_dictionary(*pages, "catalog /Pages");
    const Object* count = tree.get("Count");
    if (!count) throw PdfError::missing_entry("page tree root", "Count");
    const Integer* value = count->as_integer();
    if (!value || *value < 0) throw PdfError::type_mismatch("page tree root /Count", "non-negative integer");
    return static_cast<std::uint64_t>(*value);
}

const Dictionary* Document::page_resource_dictionary(const Dictionary& page,
                                                     const Object* inherited_resources) const {
    const Object* resources = page.get("Resources");
    if (!resources) resources = inherited_resources;
    if (!resources) return nullptr;
    return &resolve_to_dictionary(*resources, "page /Resources");
}

void Document::collect_content_streams(const Object& contents, std::vector<const Stream*>& list) const {
    auto mismatch = [] { return PdfError::type_mismatch("page /Contents", "stream or array of streams"); };

    // Arrays open on the current path, by the id they were reached through (if any);
    // an explicit stack because reference chains can be as long as the object table.
    struct Frame {
        const Array* array;
        std::size_t next;
        std::optional<ObjectId> id;
    };
    std::vector<Frame> stack;
    std::set<ObjectId> path;
    std::size_t visits_left = visit_limit();

    auto visit = [&](const Object& object) {
        if (visits_left == 0) throw mismatch();
        --visits_left;
        const Object& target = resolve(object);
        if (const Stream* stream = target.as_stream()) {
            list.push_back(stream);
            return;
        }
        const Array* array = target.as_array();
        if (!array) throw mismatch();
        std::optional<ObjectId> id;
        if (const ObjectId* reference = object.as_reference()) {
            if (!path.insert(*reference).second) throw mismatch();
            id = *reference;
        }
        stack.push_back(Frame{array, 0, id});
    };

    visit(contents);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.array->size()) {
            if (top.id) path.erase(*top.id);
            stack.pop_back();
            continue;
        }
        // visit() may grow the stack and invalidate `top`.
        const Object& element = (*top.array)[top.next++];
        visit(element);
    }
}

}  // namespace quarvel
