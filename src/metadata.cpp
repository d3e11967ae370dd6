#include "metadata.hpp"

#include <array>
#include <string_view>

#include "unicode.hpp"

namespace quarvel {

namespace {

// The nine standard Info keys and the fields they fill, in the order they are read.
struct StandardKey {
    std::string_view key;
    std::string DocumentMetadata::*field;
};
constexpr std::array<StandardKey, 9> kStandardKeys = {{
    {"Title", &DocumentMetadata::title},
    {"Author", &DocumentMetadata::author},
    {"Subject", &DocumentMetadata::subject},
    {"Keywords", &DocumentMetadata::keywords},
    {"Creator", &DocumentMetadata::creator},
    {"Producer", &DocumentMetadata::producer},
    {"CreationDate", &DocumentMetadata::creation_date},
    {"ModDate", &DocumentMetadata::modification_date},
    {"Trapped", &DocumentMetadata::trapped},
}};

bool is_standard_key(std::string_view key) {
    for (const StandardKey& standard : kStandardKeys)
        if (standard.key == key) return true;
    return false;
}

// An Info value stored as a reference is followed once; a missing or unconvertible
// target gives no text and is never an error.
std::optional<std::string> info_value_text(const Object& value, const Document* document) {
    if (const ObjectId* id = value.as_reference()) {
        const Object* target = document ? document->find(*id) : nullptr;
        return target ? object_to_metadata_string(*target) : std::nullopt;
    }
    return object_to_metadata_string(value);
}

}  // namespace

const Dictionary* info_dictionary(const Document& document) {
    const Object* info = document.trailer.get("Info");
    if (!info) return nullptr;
    const Dictionary* dictionary = document.resolve(*info).as_dictionary_like();
    if (!dictionary) throw PdfError::type_mismatch("trailer /Info", "dictionary");
    return dictionary;
}

std::optional<std::string> object_to_metadata_string(const Object& object) {
    if (const bool* b = object.as_bool()) return std::string(*b ? "true" : "false");
    if (const Integer* i = object.as_integer()) return std::to_string(*i);
    if (const Real* r = object.as_real()) return format_real(*r);
    if (const std::string* name = object.as_name()) return lossy_utf8(*name);
    if (const std::string* string = object.as_string()) return decode_text_string(*string);
    return std::nullopt;
}

DocumentMetadata DocumentMetadata::from_parts(std::uint8_t major, std::uint8_t minor, const Dictionary* info,
                                              std::optional<std::string> xmp, bool encrypted,
                                              const Document* document) {
    DocumentMetadata out;
    out.format = "PDF " + std::to_string(major) + "." + std::to_string(minor);
    out.xmp = std::move(xmp);
    out.encrypted = encrypted;
    if (!info) return out;
    for (const StandardKey& standard : kStandardKeys) {
        const Object* value = info->get(standard.key);
        if (!value) continue;
        if (std::optional<std::string> text = info_value_text(*value, document)) out.*standard.field = std::move(*text);
    }
    for (const auto& [key, value] : *info) {
        if (is_standard_key(key)) continue;
        if (std::optional<std::string> text = info_value_text(value, document))
            out.custom.insert_or_assign(lossy_utf8(key), std::move(*text));
    }
    return out;
}

DocumentMetadata metadata(const Document& document) {
    const PdfVersion version = document.effective_version();
    const Dictionary* info = info_dictionary(document);
    std::optional<std::string> xmp = metadata_xml(document);
    const bool encrypted = document.trailer.contains("Encrypt");
    return DocumentMetadata::from_parts(version.major, version.minor, info, std::move(xmp), encrypted, &document);
}

std::optional<std::string> metadata_xml(const Document& document) {
    const Object* entry = document.catalog().get("Metadata");
    if (!entry) return std::nullopt;
    const Stream* stream = document.resolve(*entry).as_stream();
    if (!stream) throw PdfError::type_mismatch("catalog /Metadata", "stream");
    std::string owned;
    std::string_view bytes = stream->decoded_data_cow(owned);
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return lossy_utf8(bytes);
}

}  // namespace quarvel
