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

class PageWalk {
public:
    explicit PageWalk(const Document& document)
        : document_(document), visits_left_(document.visit_limit()) {}

    void collect(ObjectId id, const PageAttributes& attributes, std::vector<PageRecord>& result) {
        if (!path_.insert(id).second) throw PdfError::page_tree_cycle(id);
        if (path_.size() > kMaxPageTreeDepth) throw PdfError::type_mismatch("page tree node", "page tree of bounded depth");
        if (visits_left_ == 0) throw PdfError::type_mismatch("page tree node", "page tree of bounded size");
        --visits_left_;

        const Object* node = document_.find(id);
        if (!node) throw PdfError::dangling_reference(id);
        const Dictionary* dictionary = node->as_dictionary_like();
        if (!dictionary) throw PdfError::type_mismatch("page tree node", "dictionary");

        const Object* type = dictionary->get("Type");
        if (type && type->is_name("Page")) {
            result.push_back(PageRecord{dictionary, id, attributes});
        } else if (!type || type->is_name("Pages")) {
            const PageAttributes child_attributes = attributes.inherit_from(*dictionary);
            const Object* kids = dictionary->get("Kids");
            if (!kids) throw PdfError::missing_entry("page tree node", "Kids");
            const Array* items = document_.resolve(*kids).as_array();
            if (!items) throw PdfError::type_mismatch("page tree node /Kids", "array");
            for (const Object& item : *items) {
                const ObjectId* child = item.as_reference();
                if (!child) throw PdfError::type_mismatch("page tree node /Kids item", "indirect reference");
                collect(*child, child_attributes, result);
            }
        } else {
            throw PdfError::type_mismatch("page tree node /Type", "/Pages or /Page");
        }
        path_.erase(id);
    }

private:
    const Document& document_;
    std::set<ObjectId> path_;
    std::size_t visits_left_;
};

}  // namespace

std::vector<PageRecord> Document::pages() const {
    const Dictionary& root = catalog();
    const Object* pages = root.get("Pages");
    if (!pages) throw PdfError::missing_entry("catalog", "Pages");
    const ObjectId* id = pages->as_reference();
    if (!id) throw PdfError::type_mismatch("catalog /Pages", "indirect reference");
    std::vector<PageRecord> result;
    PageWalk(*this).collect(*id, PageAttributes{}, result);
    return result;
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
