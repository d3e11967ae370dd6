// What a document says about itself: the information dictionary and the XMP packet.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "document.hpp"

namespace quarvel {

struct DocumentMetadata {
    std::string format;  // "PDF 1.7", from the effective version
    std::string title;
    std::string author;
    std::string subject;
    std::string keywords;
    std::string creator;
    std::string producer;
    std::string creation_date;
    std::string modification_date;
    std::string trapped;
    bool encrypted = false;  // the trailer has /Encrypt; nothing is examined
    std::optional<std::string> xmp;
    std::map<std::string, std::string> custom;  // every other Info entry, by key bytes

    // `document` resolves Info values stored as references; without it they give no text.
    static DocumentMetadata from_parts(std::uint8_t major, std::uint8_t minor, const Dictionary* info,
                                       std::optional<std::string> xmp, bool encrypted,
                                       const Document* document = nullptr);
};

// Booleans, numbers, names and text strings; anything else gives no text.
std::optional<std::string> object_to_metadata_string(const Object& object);

// The trailer's /Info, followed once; null without one.
const Dictionary* info_dictionary(const Document& document);
DocumentMetadata metadata(const Document& document);
// The catalog's /Metadata stream decoded as UTF-8, without a byte-order mark.
std::optional<std::string> metadata_xml(const Document& document);

}  // namespace quarvel
