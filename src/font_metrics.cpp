#include "font_metrics.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "error.hpp"
#include "filter.hpp"
#include "lexer.hpp"
#include "text.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Words are searched for by their letters: the Latin ligatures U+FB00 to U+FB06
// (three bytes EF AC 80 to EF AC 86) read as the letters they join.
std::string expand_ligatures(std::string_view text) {
    static constexpr std::string_view kLetters[] = {"ff", "fi", "fl", "ffi", "ffl", "st", "st"};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i + 2 < text.size() && text[i] == '\xEF' && text[i + 1] == '\xAC' &&
            static_cast<unsigned char>(text[i + 2]) >= 0x80 && static_cast<unsigned char>(text[i + 2]) <= 0x86) {
            out.append(kLetters[static_cast<unsigned char>(text[i + 2]) - 0x80]);
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

template <std::size_t N>
const tables::NamedText* find_named(const std::array<tables::NamedText, N>& list, std::string_view name) {
    auto it = std::lower_bound(list.begin(), list.end(), name,
                               [](const tables::NamedText& entry, std::string_view key) { return entry.name < key; });
    return it != list.end() && it->name == name ? &*it : nullptr;
}

bool hex_code_point(std::string_view digits, char32_t& out) {
    std::uint32_t v = 0;
    for (char c : digits) {
        const int d = hex_digit_value(static_cast<unsigned char>(c));
        if (d < 0) return false;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
    out = v;
    return true;
}

bool component_text(std::string_view component, bool zapf_dingbats, std::string& out) {
    if (zapf_dingbats) {
        if (const tables::NamedText* entry = find_named(tables::zapf_dingbats_glyph_list, component)) {
            out.append(entry->text);
            return true;
        }
    }
    if (const tables::NamedText* entry = find_named(tables::glyph_list, component)) {
        out.append(entry->text);
        return true;
    }
    char32_t c = 0;
    if (component.size() > 3 && component.substr(0, 3) == "uni" && (component.size() - 3) % 4 == 0) {
        for (std::size_t i = 3; i < component.size(); i += 4) {
            if (!hex_code_point(component.substr(i, 4), c)) return false;
            append_utf8(out, c);
        }
        return true;
    }
    if (component.size() >= 5 && component.size() <= 7 && component[0] == 'u' &&
        hex_code_point(component.substr(1), c)) {
        append_utf8(out, c);
        return true;
    }
    return false;
}

// Lowercase letters only, so that "Arial,Bold", "Arial-BoldMT" and "ArialMT" compare alike.
std::string letters_lower(std::string_view s) {
    std::string out;
    for (char c : s) {
        if (c >= 'A' && c <= 'Z') out.push_back(static_cast<char>(c - 'A' + 'a'));
        if (c >= 'a' && c <= 'z') out.push_back(c);
    }
    return out;
}

const tables::StandardFont* standard_font_named(std::string_view name) {
    auto it = std::lower_bound(tables::standard_fonts.begin(), tables::standard_fonts.end(), name,
                               [](const tables::StandardFont& f, std::string_view key) { return f.name < key; });
    return it != tables::standard_fonts.end() && it->name == name ? &*it : nullptr;
}

std::uint16_t standard_width(const tables::StandardFont& font, std::string_view glyph, bool& found) {
    auto it = std::lower_bound(font.widths.begin(), font.widths.end(), glyph,
                               [](const tables::NamedWidth& w, std::string_view key) { return w.name < key; });
    found = it != font.widths.end() && it->name == glyph;
    return found ? it->width : 0;
}

const tables::Encoding* base_encoding_named(const std::string* name) {
    if (!name) return nullptr;
    if (*name == "WinAnsiEncoding") return &tables::win_ansi_encoding;
    if (*name == "MacRomanEncoding") return &tables::mac_roman_encoding;
    if (*name == "StandardEncoding") return &tables::standard_encoding;
    return nullptr;
}

bool number_of(const Document& doc, const Object* object, double& out) {
    return object && doc.resolve(*object).as_number(out) && std::isfinite(out);
}

// The six numbers of a matrix entry, or false.
bool matrix_of(const Document& doc, const Object* object, double (&m)[6]) {
    const Array* array = object ? doc.resolve(*object).as_array() : nullptr;
    if (!array || array->size() != 6) return false;
    for (std::size_t i = 0; i < 6; ++i)
        if (!number_of(doc, &(*array)[i], m[i])) return false;
    return true;
}

const Dictionary* dictionary_entry(const Document& doc, const Dictionary& d, std::string_view key) {
    const Object* value = d.get(key);
    return value ? doc.resolve(*value).as_dictionary_like() : nullptr;
}

}  // namespace

std::optional<std::string> glyph_name_text(std::string_view name, bool zapf_dingbats) {
    name = name.substr(0, name.find('.'));
    if (name.empty()) return std::nullopt;
    std::string out;
    for (std::size_t start = 0; start <= name.size();) {
        std::size_t end = name.find('_', start);
        if (end == std::string_view::npos) end = name.size();
        if (end > start && !component_text(name.substr(start, end - start), zapf_dingbats, out)) return std::nullopt;
        start = end + 1;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

const tables::StandardFont* standard_font_metrics(std::string_view base_font) {
    if (base_font.size() > 7 && base_font[6] == '+') base_font.remove_prefix(7);  // subset tag
    if (const tables::StandardFont* exact = standard_font_named(base_font)) return exact;
    const std::size_t cut = base_font.find_first_of(",-");
    std::string family = letters_lower(base_font.substr(0, cut));
    const std::string style = cut == std::string_view::npos ? std::string() : letters_lower(base_font.substr(cut));
    for (std::string_view suffix : {"psmt", "mt", "ps"}) {
        if (family.size() > suffix.size() && family.ends_with(suffix)) {
            family.resize(family.size() - suffix.size());
            break;
        }
    }
    const bool bold = style.find("bold") != std::string::npos;
    const bool italic = style.find("italic") != std::string::npos || style.find("oblique") != std::string::npos;
    std::string name;
    if (family == "helvetica" || family == "arial") {
        name =
            bold ? (italic ? "Helvetica-BoldOblique" : "Helvetica-Bold") : (italic ? "Helvetica-Oblique" : "Helvetica");
    } else if (family == "times" || family == "timesroman" || family == "timesnewroman") {
        name = bold ? (italic ? "Times-BoldItalic" : "Times-Bold") : (italic ? "Times-Italic" : "Times-Roman");
    } else if (family == "courier" || family == "couriernew") {
        name = bold ? (italic ? "Courier-BoldOblique" : "Courier-Bold") : (italic ? "Courier-Oblique" : "Courier");
    } else if (family == "symbol") {
        name = "Symbol";
    } else if (family == "zapfdingbats") {
        name = "ZapfDingbats";
    }
    return name.empty() ? nullptr : standard_font_named(name);
}

LayoutFont::LayoutFont(const Document& doc, const Dictionary* font, const ToUnicodeCMap* to_unicode)
    : to_unicode_(to_unicode) {
    if (!font) {
        widths_.fill(0.5);
        missing_ = true;
        return;
    }
    if (const Object* base = font->get("BaseFont")) {
        if (const std::string* name = doc.resolve(*base).as_name()) base_font_ = lossy_utf8(*name);
    }
    const Object* subtype = font->get("Subtype");
    const std::string* kind = subtype ? doc.resolve(*subtype).as_name() : nullptr;
    if (kind && *kind == "Type0") {
        load_composite(doc, *font);
    } else {
        load_simple(doc, *font, kind && *kind == "Type3");
    }
}

std::pair<std::uint32_t, std::uint32_t> LayoutFont::add_text(std::string_view decoded) {
    const std::string text = expand_ligatures(decoded);
    if (pool_.size() + text.size() > 0xFFFFFFFFu) throw PdfError::unsupported(0, "font text exceeds 4 GiB");
    const auto offset = static_cast<std::uint32_t>(pool_.size());
    pool_.append(text);
    return {offset, static_cast<std::uint32_t>(text.size())};
}

// Decoded on first use: a page shows few of the 256 codes.
void LayoutFont::decode_simple(unsigned code) {
    std::string text;
    const char byte = static_cast<char>(code);
    if (missing_) {
        push_decoded_text(text, nullptr, std::string_view(&byte, 1));
    } else if (to_unicode_ && to_unicode_->lookup_into(text, std::string_view(&byte, 1))) {
    } else if (!names_[code].empty()) {
        std::optional<std::string> named = glyph_name_text(names_[code], zapf_dingbats_);
        text = named ? std::move(*named) : std::string(kReplacement);
    } else if (code < 0x20) {
        text = kReplacement;  // a glyph, whatever the font draws there; never a control
    } else {
        push_decoded_text(text, nullptr, std::string_view(&byte, 1));
    }
    std::tie(text_offsets_[code], text_sizes_[code]) = add_text(text);
    if (standard_widths_ && !names_[code].empty()) {
        bool found = false;
        const std::uint16_t w = standard_width(*standard_widths_, names_[code], found);
        if (found) widths_[code] = w * 0.001;
    }
    decoded_.set(code);
}

void LayoutFont::load_simple(const Document& doc, const Dictionary& font, bool type3) {
    const std::string base = base_font_.value_or("");
    const tables::StandardFont* standard = type3 ? nullptr : standard_font_metrics(base);
    const bool zapf = standard && standard->name == "ZapfDingbats";

    // Glyph names: the base encoding, then the Differences over it.
    std::array<std::string_view, 256>& names = names_;
    const tables::Encoding* encoding = nullptr;
    if (standard && standard->builtin) {
        encoding = standard->builtin;
    } else if (!type3) {
        const Object* subtype = font.get("Subtype");
        const bool truetype = subtype && doc.resolve(*subtype).is_name("TrueType");
        encoding = truetype ? &tables::win_ansi_encoding : &tables::standard_encoding;
    }
    const Array* differences = nullptr;
    if (const Object* entry = font.get("Encoding")) {
        const Object& value = doc.resolve(*entry);
        if (const tables::Encoding* named = base_encoding_named(value.as_name())) encoding = named;
        if (const Dictionary* dictionary = value.as_dictionary_like()) {
            if (const Object* base_encoding = dictionary->get("BaseEncoding")) {
                if (const tables::Encoding* named = base_encoding_named(doc.resolve(*base_encoding).as_name()))
                    encoding = named;
            }
            if (const Object* list = dictionary->get("Differences")) differences = doc.resolve(*list).as_array();
        }
    }
    if (encoding) std::copy(encoding->begin(), encoding->end(), names.begin());
    if (differences) {
        Integer code = -1;
        for (const Object& item : *differences) {
            if (const Integer* start = item.as_integer()) {
                code = *start;
            } else if (const std::string* name = item.as_name()) {
                if (code >= 0 && code < 256) names[static_cast<std::size_t>(code)] = *name;
                if (code >= 0) ++code;
            }
        }
    }

    zapf_dingbats_ = zapf;

    // Widths: the font's own list, else the standard metrics by glyph name.
    double scale = 0.001;
    double matrix[6];
    const bool has_matrix = type3 && matrix_of(doc, font.get("FontMatrix"), matrix);
    if (has_matrix) scale = matrix[0];
    const Dictionary* descriptor = dictionary_entry(doc, font, "FontDescriptor");
    double missing = 0;
    if (descriptor) number_of(doc, descriptor->get("MissingWidth"), missing);
    widths_.fill(missing * scale);
    if (const Object* entry = font.get("Widths")) {
        const Array* widths = doc.resolve(*entry).as_array();
        if (!widths) throw PdfError::type_mismatch("font /Widths", "array");
        const Object* first_entry = font.get("FirstChar");
        const Integer* first = first_entry ? doc.resolve(*first_entry).as_integer() : nullptr;
        if (!first) throw PdfError::type_mismatch("font /FirstChar", "integer");
        for (std::size_t i = 0; i < widths->size(); ++i) {
            double w;
            if (!number_of(doc, &(*widths)[i], w)) throw PdfError::type_mismatch("font /Widths item", "number");
            if (*first >= 0 && *first < 256 && i < 256 - static_cast<std::size_t>(*first))
                widths_[static_cast<std::size_t>(*first) + i] = w * scale;
        }
    } else if (!type3) {
        // Looked up by glyph name as codes are first shown.
        standard_widths_ = standard ? standard : standard_font_named("Helvetica");
    }

    // Vertical extent: the descriptor, else the standard metrics, else the font box.
    double ascent = 0, descent = 0;
    if (descriptor && number_of(doc, descriptor->get("Ascent"), ascent) &&
        number_of(doc, descriptor->get("Descent"), descent) && ascent > 0 && ascent > descent) {
        ascent_ = ascent / 1000, descent_ = std::min(descent, 0.0) / 1000;
    } else if (standard) {
        ascent_ = standard->ascent / 1000.0, descent_ = standard->descent / 1000.0;
    } else if (has_matrix) {
        double box[6] = {};
        const Array* bbox = nullptr;
        if (const Object* entry = font.get("FontBBox")) bbox = doc.resolve(*entry).as_array();
        if (bbox && bbox->size() == 4 && number_of(doc, &(*bbox)[1], box[1]) && number_of(doc, &(*bbox)[3], box[3]) &&
            box[3] > box[1]) {
            ascent_ = box[3] * matrix[3], descent_ = box[1] * matrix[3];
        }
    }
}

void LayoutFont::load_composite(const Document& doc, const Dictionary& font) {
    codes_ = Codes::TwoByte;
    if (const Object* entry = font.get("Encoding")) {
        const Object& value = doc.resolve(*entry);
        if (const std::string* name = value.as_name()) {
            if (*name == "Identity-H" || *name == "Identity-V") {
                codes_ = Codes::Identity;
            } else if (name->starts_with("Uni") &&
                       (name->find("UCS2") != std::string::npos || name->find("UTF16") != std::string::npos)) {
                codes_ = Codes::Utf16;
            }
        } else if (const Stream* stream = value.as_stream()) {
            // An unreadable encoding CMap only costs the positions, never the page.
            try {
                std::string owned;
                auto cmap = std::make_unique<EncodingCMap>(EncodingCMap::parse(stream->decoded_data_cow(owned)));
                if (cmap->has_codespace()) {
                    encoding_ = std::move(cmap);
                    codes_ = Codes::Embedded;
                }
            } catch (const PdfError&) {
            }
        }
    }

    const Dictionary* descendant = nullptr;
    if (const Object* entry = font.get("DescendantFonts")) {
        const Array* list = doc.resolve(*entry).as_array();
        if (list && !list->empty()) descendant = doc.resolve(list->front()).as_dictionary_like();
    }
    if (!descendant) return;
    double dw;
    if (number_of(doc, descendant->get("DW"), dw)) default_width_ = dw / 1000;
    if (const Object* entry = descendant->get("W")) {
        const Array* w = doc.resolve(*entry).as_array();
        if (!w) throw PdfError::type_mismatch("font /W", "array");
        auto cid = [&](const Object& o) {
            const Integer* v = doc.resolve(o).as_integer();
            if (!v || *v < 0 || *v > 0xFFFFFFFFLL) throw PdfError::type_mismatch("font /W item", "CID");
            return static_cast<std::uint32_t>(*v);
        };
        auto width = [&](const Object& o) {
            double v;
            if (!number_of(doc, &o, v)) throw PdfError::type_mismatch("font /W item", "number");
            return v / 1000;
        };
        for (std::size_t i = 0; i < w->size();) {
            const std::uint32_t first = cid((*w)[i]);
            if (i + 1 >= w->size()) throw PdfError::type_mismatch("font /W", "complete CID width array");
            if (const Array* run = doc.resolve((*w)[i + 1]).as_array()) {
                for (std::size_t k = 0; k < run->size(); ++k) {
                    if (first + k > 0xFFFFFFFFu) break;
                    const auto c = static_cast<std::uint32_t>(first + k);
                    cid_widths_.push_back({c, c, width((*run)[k])});
                }
                i += 2;
            } else {
                if (i + 2 >= w->size()) throw PdfError::type_mismatch("font /W", "complete CID width array");
                const std::uint32_t last = cid((*w)[i + 1]);
                if (first <= last) cid_widths_.push_back({first, last, width((*w)[i + 2])});
                i += 3;
            }
        }
        // The first entry for a CID wins.
        std::stable_sort(cid_widths_.begin(), cid_widths_.end(),
                         [](const CidWidths& a, const CidWidths& b) { return a.first < b.first; });
    }
    if (const Dictionary* descriptor = dictionary_entry(doc, *descendant, "FontDescriptor")) {
        double ascent = 0, descent = 0;
        if (number_of(doc, descriptor->get("Ascent"), ascent) && number_of(doc, descriptor->get("Descent"), descent) &&
            ascent > 0 && ascent > descent)
            ascent_ = ascent / 1000, descent_ = std::min(descent, 0.0) / 1000;
    }
}

double LayoutFont::cid_width(std::uint32_t cid) const {
    // Ranges may overlap: scan back from the last range starting at or below `cid`.
    auto it = std::upper_bound(cid_widths_.begin(), cid_widths_.end(), cid,
                               [](std::uint32_t key, const CidWidths& r) { return key < r.first; });
    const auto begin = cid_widths_.begin();
    for (int steps = 0; it != begin && steps < 8; ++steps) {
        --it;
        if (cid <= it->last) return it->width;
    }
    return default_width_;
}

std::uint32_t LayoutFont::composite_text(std::string_view code, std::uint32_t& size) {
    std::uint64_t key = code.size();
    for (char c : code) key = key << 8 | static_cast<unsigned char>(c);
    auto [it, inserted] = code_texts_.try_emplace(key);
    if (inserted) {
        std::string text;
        if (to_unicode_ && to_unicode_->lookup_into(text, code)) {
        } else if (codes_ == Codes::Utf16) {
            append_utf16be(text, code);
        } else {
            text = kReplacement;
        }
        it->second = add_text(text);
    }
    size = it->second.second;
    return it->second.first;
}

LayoutFont::Glyph LayoutFont::next(std::string_view bytes) {
    Glyph g;
    if (codes_ == Codes::Simple) {
        const auto code = static_cast<unsigned char>(bytes[0]);
        if (!decoded_.test(code)) decode_simple(code);
        g.advance = widths_[code];
        g.word_space = code == 32;
        g.text_offset = text_offsets_[code];
        g.text_size = text_sizes_[code];
        return g;
    }
    std::uint32_t cid = 0;
    if (codes_ == Codes::Embedded) {
        g.length = std::max<std::size_t>(1, encoding_->code_length(bytes));
    } else if (codes_ == Codes::Utf16 && bytes.size() >= 4) {
        const unsigned high = static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]);
        g.length = high >= 0xD800 && high <= 0xDBFF ? 4 : 2;
    } else {
        g.length = std::min<std::size_t>(2, bytes.size());
    }
    const std::string_view code = bytes.substr(0, g.length);
    std::uint32_t value = 0;
    for (char c : code) value = value << 8 | static_cast<unsigned char>(c);
    if (codes_ == Codes::Identity) cid = value;
    if (codes_ == Codes::Embedded) cid = encoding_->cid(value, g.length);
    g.advance = codes_ == Codes::Identity || codes_ == Codes::Embedded ? cid_width(cid) : default_width_;
    g.word_space = g.length == 1 && value == 32;
    g.text_offset = composite_text(code, g.text_size);
    return g;
}

}  // namespace quarvel
