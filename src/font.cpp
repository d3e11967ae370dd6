#include "font.hpp"

#include "inspect.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

std::optional<ObjectId> reference_of(const Object& value) {
    if (const ObjectId* id = value.as_reference()) return *id;
    return std::nullopt;
}

std::optional<std::string> text_of(const Dictionary& dictionary, std::string_view key) {
    const Object* value = dictionary.get(key);
    if (!value) return std::nullopt;
    return object_to_text(*value);
}

}  // namespace

std::optional<std::string> PageFont::encoding() const { return text_of(*dictionary, "Encoding"); }

std::optional<ObjectId> PageFont::descriptor_id() const {
    const Object* value = dictionary->get("FontDescriptor");
    return value ? reference_of(*value) : std::nullopt;
}

std::optional<std::string> FontDescriptor::metric(std::string_view key) const { return text_of(*dictionary, key); }

std::optional<std::int64_t> EmbeddedFont::declared_length(std::string_view key) const {
    const Object* value = stream->dictionary.get(key);
    const Integer* integer = value ? value->as_integer() : nullptr;
    if (!integer) return std::nullopt;
    return *integer;
}

std::vector<PageFont> page_fonts(const Document& document, const PageRecord& page) {
    std::vector<PageFont> fonts;
    const Dictionary* resources = document.page_resource_dictionary(*page.dictionary, page.inherited.resources);
    const Object* entry = resources ? resources->get("Font") : nullptr;
    if (!entry) return fonts;
    const Dictionary& dictionary = document.resolve_to_dictionary(*entry, "page /Resources /Font");
    fonts.reserve(dictionary.size());
    for (const auto& [key, value] : dictionary)
        fonts.push_back(
            PageFont{lossy_utf8(key), &document.resolve_to_dictionary(value, "font resource"), reference_of(value)});
    return fonts;
}

std::optional<FontDescriptor> font_descriptor(const Document& document, const PageFont& font) {
    const Object* value = font.dictionary->get("FontDescriptor");
    if (!value) return std::nullopt;
    return FontDescriptor{&document.resolve_to_dictionary(*value, "font /FontDescriptor"), reference_of(*value)};
}

std::optional<EmbeddedFont> embedded_font(const Document& document, const FontDescriptor& descriptor) {
    for (std::string_view kind : {"FontFile", "FontFile2", "FontFile3"}) {
        const Object* value = descriptor.dictionary->get(kind);
        if (!value) continue;
        const Stream* stream = document.resolve(*value).as_stream();
        if (!stream) throw PdfError::type_mismatch(kind, "stream");
        return EmbeddedFont{kind, stream, reference_of(*value)};
    }
    return std::nullopt;
}

}  // namespace quarvel
