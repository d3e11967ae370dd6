// PDF output: object syntax and new text-only files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "object.hpp"

namespace quarvel {

// PDF syntax of `object`; throws PdfError for a stream at any depth.
std::string object_literal(const Object& object);
// Body of a literal string for UTF-8 `text`, without the parentheses.
std::string escape_pdf_string(std::string_view text);
// The bytes of a PDF text string for UTF-8 `utf8`: ASCII unchanged, anything else
// as UTF-16BE after FE FF, which every reader decodes.
std::string text_string_bytes(std::string_view utf8);
// The same as a complete string token: "(...)" for printable ASCII, "<...>" otherwise,
// so that no byte (a carriage return included) is lost.
std::string pdf_text_string(std::string_view utf8);
// Appends " /key " + pdf_text_string(value) unless `value` is only white space.
void push_info_entry(std::string& buffer, std::string_view key, std::string_view value);

std::string write_text_pdf(const std::vector<std::string>& pages, const std::optional<std::string>& title,
                           const std::optional<std::string>& author);

}  // namespace quarvel
