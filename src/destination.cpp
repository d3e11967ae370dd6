#include "destination.hpp"

#include "inspect.hpp"
#include "unicode.hpp"

namespace quarvel {

const char* link_target_kind(const LinkTarget& target) {
    switch (target.kind) {
        case LinkTarget::Kind::Uri: return "uri";
        case LinkTarget::Kind::Named: return "named";
        case LinkTarget::Kind::Destination: return "destination";
        case LinkTarget::Kind::Action: return "action";
    }
    return "uri";
}

std::string link_target_text(const LinkTarget& target) {
    switch (target.kind) {
        case LinkTarget::Kind::Destination: return object_to_text(*target.destination);
        case LinkTarget::Kind::Action: return dictionary_to_text(*target.action);
        default: return target.text;
    }
}

const Object& destination_object(const Document& document, const Object& value, std::string_view context) {
    const Object& resolved = document.resolve(value);
    const Dictionary* dictionary = resolved.as_dictionary();
    if (!dictionary) return resolved;
    const Object* d = dictionary->get("D");
    if (!d) throw PdfError::missing_entry(context, "D");
    return document.resolve(*d);
}

LinkTarget destination_target(const Document& document, const Object& value) {
    const Object& resolved = document.resolve(value);
    if (const std::string* name = resolved.as_name()) return {LinkTarget::Kind::Named, lossy_utf8(*name)};
    if (const std::string* string = resolved.as_string()) return {LinkTarget::Kind::Named, decode_text_string(*string)};
    return {LinkTarget::Kind::Destination, {}, &resolved};
}

std::optional<LinkTarget> link_target(const Document& document, const Dictionary& annotation) {
    if (const Object* a = annotation.get("A")) {
        const Dictionary* action = document.resolve(*a).as_dictionary_like();
        if (!action) throw PdfError::type_mismatch("link annotation /A", "dictionary");
        const Object* type = action->get("S");
        if (type && type->is_name("URI")) {
            const Object* uri = action->get("URI");
            if (!uri) throw PdfError::missing_entry("URI action", "URI");
            const std::string* text = uri->as_string();
            if (!text) throw PdfError::type_mismatch("URI action /URI", "string");
            return LinkTarget{LinkTarget::Kind::Uri, decode_text_string(*text)};
        }
        if (type && type->is_name("GoTo")) {
            const Object* d = action->get("D");
            if (!d) throw PdfError::missing_entry("GoTo action", "D");
            return destination_target(document, *d);
        }
        return LinkTarget{LinkTarget::Kind::Action, {}, nullptr, action};
    }
    if (const Object* dest = annotation.get("Dest")) return destination_target(document, *dest);
    return std::nullopt;
}

NamedDestinations named_destinations(const Document& document) {
    const Dictionary& catalog = document.catalog();
    NamedDestinations out;
    if (const Object* dests = catalog.get("Dests")) {
        const Dictionary& dictionary = document.resolve_to_dictionary(*dests, "catalog /Dests");
        out.reserve(dictionary.size());
        for (const auto& [key, value] : dictionary)
            out.emplace_back(lossy_utf8(key), &destination_object(document, value, "catalog /Dests value"));
    }
    if (const Object* names = catalog.get("Names")) {
        const Dictionary& dictionary = document.resolve_to_dictionary(*names, "catalog /Names");
        if (const Object* tree = dictionary.get("Dests")) {
            NameTreeEntries entries;
            VisitedObjects visited;
            collect_name_tree_entries(document, *tree, "catalog /Names /Dests", entries, visited);
            for (auto& [key, value] : entries)
                out.emplace_back(std::move(key), &destination_object(document, *value, "name tree destination"));
        }
    }
    // Later entries win: names from the tree replace those of the old dictionary.
    keep_last_by_key(out);
    return out;
}

}  // namespace quarvel
