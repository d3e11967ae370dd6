// Text conversions shared by every feature that turns PDF bytes into text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quarvel {

void append_utf8(std::string& out, char32_t code_point);

// UTF-8 with each invalid sequence replaced by U+FFFD.
void append_lossy_utf8(std::string& out, std::string_view bytes);
std::string lossy_utf8(std::string_view bytes);

// Big-endian UTF-16 units (an odd final byte is ignored); unpaired surrogates become U+FFFD.
void append_utf16be(std::string& out, std::string_view bytes);

// A PDF text string: FE FF starts UTF-16BE, anything else is lossy UTF-8.
std::string decode_text_string(std::string_view bytes);

// Unicode White_Space.
bool is_unicode_white_space(char32_t c);
// Removes leading and trailing White_Space from valid UTF-8.
std::string_view trim_white_space(std::string_view text);

}  // namespace quarvel
