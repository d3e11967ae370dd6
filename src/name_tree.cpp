#include "name_tree.hpp"

#include <algorithm>

#include "unicode.hpp"

namespace quarvel {

namespace {

struct NameTree {
    using Key = std::string;
    static constexpr std::string_view kEntries = "Names";
    static constexpr std::string_view kEntriesContext = "name tree /Names";
    static constexpr std::string_view kKidsContext = "name tree /Kids";
    static constexpr std::string_view kKidContext = "name tree kid";
    static PdfError cycle(ObjectId id) { return PdfError::name_tree_cycle(id); }
    static Key key(const Object& object) {
        if (const std::string* string = object.as_string()) return decode_text_string(*string);
        if (const std::string* name = object.as_name()) return lossy_utf8(*name);
        throw PdfError::type_mismatch("name tree key", "string");
    }
};

struct NumberTree {
    using Key = Integer;
    static constexpr std::string_view kEntries = "Nums";
    static constexpr std::string_view kEntriesContext = "number tree /Nums";
    static constexpr std::string_view kKidsContext = "number tree /Kids";
    static constexpr std::string_view kKidContext = "number tree kid";
    static PdfError cycle(ObjectId id) { return PdfError::number_tree_cycle(id); }
    static Key key(const Object& object) {
        if (const Integer* number = object.as_integer()) return *number;
        throw PdfError::type_mismatch("number tree key", "integer");
    }
};

// Pre-order with an explicit stack, so that nesting costs no native stack. Every object
// reached through a reference is recorded, the Names/Nums and Kids arrays as well as the
// nodes: an array shared by two nodes would otherwise be walked once per node, and
// sharing at every level multiplies the work. Each object is therefore read at most once
// and the walk is linear in the size of the file.
template <class Tree>
void collect_tree(const Document& document, const Object& root, std::string_view context,
                  std::vector<std::pair<typename Tree::Key, const Object*>>& out, VisitedObjects& visited) {
    auto resolve_once = [&](const Object& object) -> const Object& {
        if (const ObjectId* id = object.as_reference()) {
            if (!visited.insert(*id).second) throw Tree::cycle(*id);
        }
        return document.resolve(object);
    };
    struct Pending {
        const Object* node;
        std::string_view context;
    };
    std::vector<Pending> stack{{&root, context}};
    while (!stack.empty()) {
        const Pending pending = stack.back();
        stack.pop_back();
        const Dictionary* node = resolve_once(*pending.node).as_dictionary_like();
        if (!node) throw PdfError::type_mismatch(pending.context, "dictionary");
        if (const Object* entries = node->get(Tree::kEntries)) {
            const Array* array = resolve_once(*entries).as_array();
            if (!array) throw PdfError::type_mismatch(Tree::kEntriesContext, "array");
            if (array->size() % 2 != 0) throw PdfError::type_mismatch(Tree::kEntriesContext, "even-length key/value array");
            for (std::size_t i = 0; i < array->size(); i += 2) {
                typename Tree::Key key = Tree::key((*array)[i]);
                out.emplace_back(std::move(key), &document.resolve((*array)[i + 1]));
            }
        }
        if (const Object* kids = node->get("Kids")) {
            const Array* array = resolve_once(*kids).as_array();
            if (!array) throw PdfError::type_mismatch(Tree::kKidsContext, "array");
            for (auto kid = array->rbegin(); kid != array->rend(); ++kid) stack.push_back({&*kid, Tree::kKidContext});
        }
    }
    keep_last_by_key(out);
}

}  // namespace

void collect_name_tree_entries(const Document& document, const Object& node, std::string_view context,
                               NameTreeEntries& out, VisitedObjects& visited) {
    collect_tree<NameTree>(document, node, context, out, visited);
}

void collect_number_tree(const Document& document, const Object& node, std::string_view context,
                         NumberTreeEntries& out, VisitedObjects& visited) {
    collect_tree<NumberTree>(document, node, context, out, visited);
}

}  // namespace quarvel
