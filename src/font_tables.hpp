// Data tables for fonts without ToUnicode: glyph names, base encodings and the
// metrics of the standard 14 fonts. Generated into font_tables.cpp.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quarvel::tables {

struct NamedText {
    std::string_view name;
    std::string_view text;  // UTF-8
};

struct NamedWidth {
    std::string_view name;
    std::uint16_t width;  // in 1/1000 em
};

using Encoding = std::array<std::string_view, 256>;  // glyph names, "" for none

struct StandardFont {
    std::string_view name;
    std::span<const NamedWidth> widths;  // sorted by name
    std::int16_t ascent, descent;        // in 1/1000 em
    const Encoding* builtin;             // null: the standard encoding
};

// Sorted by name.
extern const std::array<NamedText, 4281> glyph_list;
extern const std::array<NamedText, 201> zapf_dingbats_glyph_list;

extern const Encoding standard_encoding;
extern const Encoding mac_roman_encoding;
extern const Encoding win_ansi_encoding;
extern const Encoding symbol_encoding;
extern const Encoding zapfdingbats_encoding;

// Sorted by name.
extern const std::array<StandardFont, 14> standard_fonts;

}  // namespace quarvel::tables
