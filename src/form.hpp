// The interactive form: one record per terminal field of the AcroForm field tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"

namespace quarvel {

struct FormFieldType {
    enum class Kind : std::uint8_t { Button, Text, Choice, Signature, Unknown };
    Kind kind = Kind::Unknown;
    std::string unknown_name;  // the /FT bytes of an Unknown type

    static FormFieldType from_name(std::string_view name);
    friend bool operator==(const FormFieldType&, const FormFieldType&) = default;
};
// "Button", "Text", "Choice", "Signature", or "Unknown([70, 111, 111])" for /Foo.
std::string form_field_type_text(const FormFieldType& type);

// The inheritable attributes, borrowed from the field tree.
struct FormFieldAttributes {
    std::optional<Integer> flags;              // /Ff when an Integer
    std::optional<std::string_view> field_type;  // /FT when a Name
    const Object* value = nullptr;             // /V, unresolved
    const Object* default_value = nullptr;     // /DV, unresolved

    FormFieldAttributes inherit_from(const Dictionary& dictionary) const;
};

struct FormField {
    std::optional<ObjectId> id;  // absent for a field given inline
    std::optional<std::string> name;
    std::optional<std::string> full_name;
    std::optional<std::string> alternate_name;
    std::optional<std::string> mapping_name;
    std::optional<FormFieldType> field_type;
    const Object* value = nullptr;          // borrowed from the document, unresolved
    const Object* default_value = nullptr;  // likewise
    std::optional<Integer> flags;
    std::vector<ObjectId> widgets;
};

// In document order. A field reachable from two places is listed twice.
std::vector<FormField> form_fields(const Document& document);

}  // namespace quarvel
