#include "link.hpp"

#include "unicode.hpp"

namespace quarvel {

std::vector<PageAnnotation> page_annotations(const Document& document, const PageRecord& page) {
    const Object* annots = page.dictionary->get("Annots");
    if (!annots) return {};
    const Array* array = document.resolve(*annots).as_array();
    if (!array) throw PdfError::type_mismatch("page /Annots", "array");
    std::vector<PageAnnotation> out;
    out.reserve(array->size());
    for (const Object& element : *array) {
        const Dictionary* dictionary = document.resolve(element).as_dictionary_like();
        if (!dictionary) throw PdfError::type_mismatch("page /Annots item", "dictionary");
        const ObjectId* id = element.as_reference();
        out.push_back({dictionary, id ? std::optional<ObjectId>(*id) : std::nullopt});
    }
    return out;
}

std::vector<Link> page_links(const Document& document, const PageRecord& page) {
    std::vector<Link> out;
    for (const PageAnnotation& annotation : page_annotations(document, page)) {
        const Object* subtype = annotation.dictionary->get("Subtype");
        if (!subtype || !subtype->is_name("Link")) continue;
        out.push_back({link_target(document, *annotation.dictionary), annotation.dictionary, annotation.id});
    }
    return out;
}

std::optional<std::string> annotation_subtype(const Dictionary& annotation) {
    const Object* subtype = annotation.get("Subtype");
    const std::string* name = subtype ? subtype->as_name() : nullptr;
    return name ? std::optional<std::string>(lossy_utf8(*name)) : std::nullopt;
}

std::optional<std::string> annotation_contents(const Dictionary& annotation) {
    return text_string_entry(annotation, "Contents");
}

std::optional<Rect> annotation_rect(const Dictionary& annotation) { return rectangle(annotation.get("Rect")); }

}  // namespace quarvel
