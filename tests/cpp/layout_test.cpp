#include "layout.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "document.hpp"
#include "font_metrics.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

using testing_support::stream_object;

std::string repeated(std::string_view s, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += s;
    return out;
}

// A 200 x 100 page. F1: every code 500 units wide, ascent 800, descent -200, so a glyph
// box is one font size tall. F2: Helvetica without widths. F3: names through Differences.
// F4: a malformed width list. Fm1 draws "A" at (0, 0) under its matrix; Fm2 draws itself;
// Fm3 runs 4000 operations that draw nothing.
Document page(std::string_view content) {
    std::string widths;
    for (int i = 0; i < 95; ++i) widths += "500 ";
    const std::string source =
        "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj "
        "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj "
        "3 0 obj << /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 10 0 R /Resources << /Font << "
        "/F1 4 0 R /F2 << /Subtype /Type1 /BaseFont /Helvetica >> /F3 << /Subtype /Type1 /BaseFont /X /Encoding << "
        "/Differences [65 /f_f_i /uni00E9 /Gamma /g123] >> >> /F4 << /Subtype /Type1 /Widths 5 /FirstChar 32 >> >> "
        "/XObject << /Fm1 11 0 R /Fm2 12 0 R /Fm3 13 0 R >> >> >> endobj "
        "4 0 obj << /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Test /FirstChar 32 /LastChar 126 /Widths [" +
        widths + "] /FontDescriptor << /Ascent 800 /Descent -200 >> >> endobj " + stream_object(10, "", content) +
        stream_object(11, "/Subtype /Form /Matrix [1 0 0 1 5 5] /Resources << /Font << /F1 4 0 R >> >>",
                      "BT /F1 10 Tf (A) Tj ET") +
        stream_object(12, "/Subtype /Form /Resources << /XObject << /Fm2 12 0 R >> >>", "/Fm2 Do") +
        stream_object(13, "/Subtype /Form", repeated("q Q ", 2000));
    return testing_support::document_from_objects(source);
}

std::string number(double v) { return format_real(std::round(v * 1000) / 1000 + 0.0); }

// "text x0 top x1 bottom line" per word, joined by "|".
std::string describe(const PageWords& words) {
    std::string out;
    for (const Word& w : words.words) {
        if (!out.empty()) out += "|";
        out += w.text + " " + number(w.x0) + " " + number(w.top) + " " + number(w.x1) + " " + number(w.bottom) + " " +
               std::to_string(w.line);
    }
    return out;
}

class Layout : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(Layout, PlacesWords) {
    const auto& [content, expected] = GetParam();
    // H stands for 1e300, which has no shorter form in content.
    std::string text = content;
    for (std::size_t at; (at = text.find('H')) != std::string::npos;)
        text.replace(at, 1, "1" + std::string(300, '0') + ".0");
    const Document doc = page(text);
    EXPECT_EQ(testing_support::value_or_error([&] { return describe(page_words(doc, doc.pages()[0])); }), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Geometry, Layout,
    testing::Values(
        // Glyphs 5 wide at size 10; the baseline at y 20 is 80 from the top.
        std::pair{"BT /F1 10 Tf 10 20 Td (AB CD) Tj ET", "AB 10 72 20 82 0|CD 25 72 35 82 0"},
        // TJ: a tenth of an em keeps the word, a whole em splits it.
        std::pair{"BT /F1 10 Tf 10 20 Td [(AB) -100 (CD) -1000 (E)] TJ ET", "ABCD 10 72 31 82 0|E 41 72 46 82 0"},
        // Tw widens code 32 only; Tc every glyph; Tz scales both.
        std::pair{"BT /F1 10 Tf 10 20 Td 5 Tw (A B) Tj ET", "A 10 72 15 82 0|B 25 72 30 82 0"},
        std::pair{"BT /F1 10 Tf 10 20 Td 1 Tc (AB) Tj ET", "AB 10 72 21 82 0"},
        std::pair{"BT /F1 10 Tf 10 20 Td 50 Tz (AB C) Tj ET", "AB 10 72 15 82 0|C 17.5 72 20 82 0"},
        // Rotated a quarter turn: the text runs up the page.
        std::pair{"BT /F1 10 Tf 0 1 -1 0 50 20 Tm (AB) Tj ET", "AB 42 70 52 80 0"},
        // A form: its matrix, then the page's cm; the size doubles with it.
        std::pair{"q 2 0 0 2 0 0 cm /Fm1 Do Q BT /F1 10 Tf 100 60 Td (B) Tj ET", "A 10 74 20 94 0|B 100 32 105 42 1"},
        // Rise within half the size stays on the line, and in the word.
        std::pair{"BT /F1 10 Tf 10 20 Td (AB) Tj 3 Ts (C) Tj ET", "ABC 10 69 25 82 0"},
        // Lines: a baseline move, T*, ', ", and a jump back to the left.
        std::pair{"BT /F1 10 Tf 12 TL 10 50 Td (A) Tj T* (B) Tj (C) ' 1 0 (D) \" ET",
                  "A 10 42 15 52 0|B 10 54 15 64 1|C 10 66 15 76 2|D 10 78 15 88 3"},
        std::pair{"BT /F1 10 Tf 30 20 Td (AB) Tj -20 0 Td (C) Tj ET", "AB 30 72 40 82 0|C 10 72 15 82 1"},
        // Standard metrics when a font has no widths (Helvetica's A is 667 units).
        std::pair{"BT /F2 10 Tf 10 20 Td (A) Tj ET", "A 10 72.82 16.67 82.07 0"},
        // Glyph names: ligature, uniXXXX, the glyph list; an unknown name is U+FFFD. No widths
        // for these names, and the default extent of 0.8 and 0.2 em.
        std::pair{"BT /F3 10 Tf (ABCD) Tj ET", "ffi\xC3\xA9\xCE\x93\xEF\xBF\xBD 0 92 0 102 0"},
        // A matrix that overflows (infinite, or NaN) gives a degenerate box.
        std::pair{"H 0 0 H 0 0 cm BT /F1 10 Tf H 0 0 H 0 0 Tm (A) Tj ET", "A 0 0 0 0 0"},
        std::pair{"BT /F1 10 Tf H H H H 0 0 Tm H 0 0 H 0 0 cm (A) Tj ET", "A 0 0 0 0 0"},
        // Errors: a width list only when a width is needed; a form drawing itself.
        std::pair{"BT /F4 10 Tf ET", ""},
        std::pair{"BT /F4 10 Tf (A) Tj ET", "type mismatch in font /Widths: expected array"},
        std::pair{"/Fm2 Do", "XObject resource tree contains a cycle at object 12 0"},
        // A page runs about 65536 operations beyond its own, forms included, each drawing
        // costing the form's operations.
        std::pair{"/Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do "
                  "/Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do",
                  ""},
        std::pair{"/Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do "
                  "/Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do /Fm3 Do",
                  "unsupported PDF feature at byte 0: too many form XObject invocations on one page"}));

TEST(Layout, LineGapsAndText) {
    const Document doc = page("BT /F1 10 Tf 10 80 Td (AB CD) Tj 0 -12 Td (E) Tj 0 -40 Td (F) Tj ET");
    EXPECT_EQ(page_layout_text(doc, doc.pages()[0]), "AB CD\nE\n\nF");
    EXPECT_EQ(layout_text(doc), "AB CD\nE\n\nF");
    const PageWords words = page_words(doc, doc.pages()[0]);
    ASSERT_EQ(words.fonts.size(), 1u);
    EXPECT_EQ(words.fonts[0], "ABCDEF+Test");
}

TEST(GlyphNames, MapToText) {
    const std::pair<const char*, const char*> cases[] = {
        {"A", "A"},      {"f_f_i", "ffi"},     {"uni00410042", "AB"}, {"u1F600", "\xF0\x9F\x98\x80"},
        {"a.sc", "a"},   {"uniD800", nullptr}, {"g123", nullptr},     {".notdef", nullptr},
        {"a1", nullptr}, {"Gamma", "\xCE\x93"}};
    for (const auto& [name, text] : cases) {
        const std::optional<std::string> got = glyph_name_text(name, false);
        EXPECT_EQ(got.has_value(), text != nullptr) << name;
        if (got && text) {
            EXPECT_EQ(*got, text) << name;
        }
    }
    EXPECT_EQ(glyph_name_text("a1", true), "\xE2\x9C\x81");
    EXPECT_EQ(standard_font_metrics("Arial,BoldItalic")->name, "Helvetica-BoldOblique");
    EXPECT_EQ(standard_font_metrics("ABCDEF+TimesNewRomanPSMT")->name, "Times-Roman");
    EXPECT_EQ(standard_font_metrics("CMR10"), nullptr);
}

}  // namespace
}  // namespace quarvel
