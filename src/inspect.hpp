// Human-readable text forms of objects and cross-reference entries.
#pragma once

#include <optional>
#include <string>

#include "document.hpp"
#include "object.hpp"

namespace quarvel {

// One row of the object listing.
struct PdfObjectSummary {
    ObjectId id;
    const char* kind = "null";  // Object::type_name()
    std::optional<std::string> xref;
    std::string text;

    PdfObjectSummary(ObjectId id, const Object& object, const XrefEntry* entry);
};

// Throws DanglingReference for an id that is not loaded.
PdfObjectSummary object_summary(const Document& document, ObjectId id);
// Every object as "N G obj % xref % kind", its text, "endobj", blank-line separated.
std::string dump_objects(const Document& document);

std::string object_to_text(const Object& object);
std::string dictionary_to_text(const Dictionary& dictionary);
// "free next=..", "in-use offset=..", "compressed object_stream=.."
std::string xref_entry_text(const XrefEntry& entry);

}  // namespace quarvel
