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
// Caller text as a complete PDF text string token: "(...)" for ASCII,
// "<FEFF...>" (UTF-16BE) otherwise.
std::string pdf_text_string(std::string_view utf8);
// Appends " /key " + pdf_text_string(value) unless `value` is only white space.
void push_info_entry(std::string& buffer, std::string_view key, std::string_view value);

std::string write_text_pdf(const std::vector<std::string>& pages, const std::optional<std::string>& title,
                           const std::optional<std::string>& author);

}  // namespace quarvel
