// Text conversions shared by every feature that turns PDF bytes into text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarvel {

class Dictionary;

// Writes the UTF-8 of `c` (at most four bytes) at `w`; returns its length.
inline std::size_t encode_utf8(char* w, char32_t c) {
    if (c < 0x80) {
        w[0] = static_cast<char>(c);
        return 1;
    }
    std::size_t n;
    if (c < 0x800) {
        w[0] = static_cast<char>(0xC0 | (c >> 6));
        n = 2;
    } else if (c < 0x10000) {
        w[0] = static_cast<char>(0xE0 | (c >> 12));
        w[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        n = 3;
    } else {
        w[0] = static_cast<char>(0xF0 | (c >> 18));
        w[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        w[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        n = 4;
    }
    w[n - 1] = static_cast<char>(0x80 | (c & 0x3F));
    return n;
}

inline void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return;
    }
    char buffer[4];
    out.append(buffer, encode_utf8(buffer, c));
}

// UTF-8 with each invalid sequence replaced by U+FFFD.
void append_lossy_utf8(std::string& out, std::string_view bytes);
std::string lossy_utf8(std::string_view bytes);

// Big-endian UTF-16 units (an odd final byte is ignored); unpaired surrogates become U+FFFD.
void append_utf16be(std::string& out, std::string_view bytes);

bool is_valid_utf8(std::string_view bytes);
// Each byte through the PDFDocEncoding table.
void append_pdf_doc_encoding(std::string& out, std::string_view bytes);

// A PDF text string: FE FF starts UTF-16BE, EF BB BF starts UTF-8 (lossy), other
// valid UTF-8 is kept, and anything else is PDFDocEncoding.
void append_text_string(std::string& out, std::string_view bytes);
std::string decode_text_string(std::string_view bytes);
// The entry's text when it is a String; nothing for any other value or none.
std::optional<std::string> text_string_entry(const Dictionary& dictionary, std::string_view key);

// Unicode White_Space.
bool is_unicode_white_space(char32_t c);
// Removes leading and trailing White_Space from valid UTF-8.
std::string_view trim_white_space(std::string_view text);

}  // namespace quarvel
