// Human-readable text forms of objects and cross-reference entries.
#pragma once

#include <string>

#include "object.hpp"

namespace quarvel {

std::string object_to_text(const Object& object);
std::string dictionary_to_text(const Dictionary& dictionary);
// "free next=..", "in-use offset=..", "compressed object_stream=.."
std::string xref_entry_text(const XrefEntry& entry);

}  // namespace quarvel
