// Page fonts, their descriptors and embedded font programs: thin views over the
// parsed document that decode nothing until asked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"

namespace quarvel {

// One entry of a page's /Font resources. Borrows from the Document.
struct PageFont {
    std::string resource_name;               // lossy UTF-8
    const Dictionary* dictionary = nullptr;  // a stream's dictionary for a font given as a stream
    std::optional<ObjectId> object_id;       // when the entry was a reference

    // Object text of /Encoding, whatever its type.
    std::optional<std::string> encoding() const;
    // Only for a /FontDescriptor given as a reference.
    std::optional<ObjectId> descriptor_id() const;
};

struct FontDescriptor {
    const Dictionary* dictionary = nullptr;
    std::optional<ObjectId> object_id;

    // Object text of the value under `key`.
    std::optional<std::string> metric(std::string_view key) const;
};

struct EmbeddedFont {
    std::string_view kind;  // "FontFile", "FontFile2" or "FontFile3"
    const Stream* stream = nullptr;
    std::optional<ObjectId> object_id;

    // /Length1../Length3 of the program stream, only when an Integer.
    std::optional<std::int64_t> declared_length(std::string_view key) const;
};

// In key order. Throws PdfError for a malformed /Font dictionary or entry.
std::vector<PageFont> page_fonts(const Document& document, const PageRecord& page);
std::optional<FontDescriptor> font_descriptor(const Document& document, const PageFont& font);
// The first of /FontFile, /FontFile2, /FontFile3 present wins.
std::optional<EmbeddedFont> embedded_font(const Document& document, const FontDescriptor& descriptor);

}  // namespace quarvel
