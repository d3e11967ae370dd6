// Where links and named destinations lead.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "document.hpp"
#include "name_tree.hpp"

namespace quarvel {

// A link's target. The objects are borrowed from the document.
struct LinkTarget {
    enum class Kind : std::uint8_t { Uri, Named, Destination, Action };
    Kind kind = Kind::Uri;
    std::string text;                        // Uri: the URI; Named: the destination name
    const Object* destination = nullptr;     // Destination: the resolved destination value
    const Dictionary* action = nullptr;      // Action: the action dictionary
};

// "uri", "named", "destination" or "action".
const char* link_target_kind(const LinkTarget& target);
// The URI, the name, or the object text of the destination or the action.
std::string link_target_text(const LinkTarget& target);

// Destination name -> destination object, sorted by name.
using NamedDestinations = NameTreeEntries;

// The catalog's /Dests dictionary, overridden by the /Names /Dests name tree.
NamedDestinations named_destinations(const Document& document);
// The value resolved once; a dictionary gives its resolved /D.
const Object& destination_object(const Document& document, const Object& value, std::string_view context);
LinkTarget destination_target(const Document& document, const Object& value);
// From the annotation's /A action, else its /Dest; none without either.
std::optional<LinkTarget> link_target(const Document& document, const Dictionary& annotation);

}  // namespace quarvel
