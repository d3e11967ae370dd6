// What placing shown text needs from a font: how the bytes of a string split into
// codes, each code's advance, and its text when the font has no ToUnicode CMap.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cmap.hpp"
#include "document.hpp"
#include "font_tables.hpp"

namespace quarvel {

// The text of a glyph name: the Adobe Glyph List, uniXXXX (several units allowed),
// uXXXX to uXXXXXX, components joined by '_' (f_f_i), anything after the first '.'
// dropped. Null when some component is unknown. `zapf_dingbats` reads a1, a2, ...
// by the ITC Zapf Dingbats list first.
std::optional<std::string> glyph_name_text(std::string_view name, bool zapf_dingbats);

// The standard font whose metrics stand in for `base_font` (a subset prefix and the
// common Arial, Times New Roman and Courier New names are understood), or null.
const tables::StandardFont* standard_font_metrics(std::string_view base_font);

class LayoutFont {
public:
    struct Glyph {
        std::size_t length = 1;         // bytes of the code
        double advance = 0;             // in text space per unit of font size
        bool word_space = false;        // the single-byte code 32, which Tw widens
        std::uint32_t text_offset = 0;  // the code's text in text_pool()
        std::uint32_t text_size = 0;
    };

    // `font` null stands for a missing font resource: one-byte codes, half an em wide,
    // read as page text reads them. Throws PdfError for malformed width arrays.
    LayoutFont(const Document& document, const Dictionary* font, const ToUnicodeCMap* to_unicode);
    LayoutFont(const LayoutFont&) = delete;
    LayoutFont& operator=(const LayoutFont&) = delete;

    // The glyph at the start of `bytes`, which is not empty.
    Glyph next(std::string_view bytes);
    std::string_view text(std::uint32_t offset, std::uint32_t size) const {
        return std::string_view(pool_).substr(offset, size);
    }

    // Above and below the baseline, in text space per unit of font size (descent < 0).
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    // BaseFont, when the font has one.
    const std::optional<std::string>& base_font() const { return base_font_; }

private:
    struct CidWidths {
        std::uint32_t first = 0, last = 0;
        double width = 0;
    };
    enum class Codes : std::uint8_t { Simple, Identity, Utf16, Embedded, TwoByte };

    void load_simple(const Document& document, const Dictionary& font, bool type3);
    void load_composite(const Document& document, const Dictionary& font);
    void decode_simple(unsigned code);
    std::pair<std::uint32_t, std::uint32_t> add_text(std::string_view decoded);  // offset, size
    double cid_width(std::uint32_t cid) const;
    std::uint32_t composite_text(std::string_view code, std::uint32_t& size);

    const ToUnicodeCMap* to_unicode_ = nullptr;  // borrowed from the cache entry
    Codes codes_ = Codes::Simple;
    std::optional<std::string> base_font_;
    double ascent_ = 0.8, descent_ = -0.2;
    std::string pool_;
    // Simple fonts. Glyph names view static tables or the document.
    bool missing_ = false, zapf_dingbats_ = false;
    std::array<std::string_view, 256> names_{};
    std::bitset<256> decoded_;
    std::array<double, 256> widths_{};
    // Without a /Widths array: the metrics whose widths stand in, read per code on first use.
    const tables::StandardFont* standard_widths_ = nullptr;
    std::array<std::uint32_t, 256> text_offsets_{}, text_sizes_{};
    // Composite fonts.
    std::unique_ptr<EncodingCMap> encoding_;
    std::vector<CidWidths> cid_widths_;  // sorted by first
    double default_width_ = 1.0;
    std::unordered_map<std::uint64_t, std::pair<std::uint32_t, std::uint32_t>> code_texts_;
};

}  // namespace quarvel
