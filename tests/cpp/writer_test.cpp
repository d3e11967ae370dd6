#include "writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "document.hpp"
#include "parser.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

Object name(std::string bytes) { return Name{std::move(bytes)}; }
Object string(std::string bytes) { return String{std::move(bytes)}; }

TEST(Writer, ObjectLiteral) {
    const std::pair<Object, std::string> cases[] = {
        {Null{}, "null"}, {true, "true"}, {std::numeric_limits<Integer>::min(), "-9223372036854775808"},
        {3.0, "3"}, {-0.0, "-0"}, {0.1, "0.1"}, {100000.0, "100000"},
        // Huge whole reals keep a point so that they read back as reals, written with their
        // shortest digits (+-2^63 is 9223372036854776000, beyond the integers).
        {1e21, "1000000000000000000000.0"}, {9223372036854775808.0, "9223372036854776000.0"},
        {-9223372036854775808.0, "-9223372036854776000.0"}, {1e29, "100000000000000000000000000000.0"}, {std::numeric_limits<double>::infinity(), "0"},
        {std::nan(""), "0"}, {name(""), "/"}, {name("a b#c"), "/a#20b#23c"}, {name("\xC3\xA9\x01~"), "/#C3#A9#01~"},
        {name("()<>[]{}/%"), "/#28#29#3C#3E#5B#5D#7B#7D#2F#25"}, {string("a(b)c\\d"), "(a\\(b\\)c\\\\d)"},
        {string("a\tb\nc"), "(a\tb\\nc)"}, {string(""), "()"}, {string("a\r\nb"), "<610D0A62>"},
        {string(std::string("\xFE\xFF\x00\x41", 4)), "<FEFF0041>"}, {ObjectId{12, 0}, "12 0 R"},
        {Array{Integer{1}, name("N"), ObjectId{3, 1}, Array{}, Dictionary({{"V", 1.25}})},
         "[1 /N 3 1 R [] << /V 1.25 >>]"},
        {Dictionary({{"Type", name("Annot")}, {"Annots", Array{}}, {"A", Null{}}, {"a", true}, {"x y", 1}}),
         "<< /A null /Annots [] /Type /Annot /a true /x#20y 1 >>"},
    };
    for (const auto& [object, expected] : cases) EXPECT_EQ(object_literal(object), expected);

    const Stream stream{Dictionary({{"Length", Integer{0}}}), ""};
    for (const Object& object : {Object(stream), Object(Dictionary({{"A", 1}, {"S", Array{stream}}}))})
        EXPECT_EQ(testing_support::error_of([&] { object_literal(object); }),
                  "type mismatch in incremental trailer object: expected scalar object");
}

TEST(Writer, TextStrings) {
    const std::pair<std::string, std::string> escaped[] = {
        {"a(b)c\\d", "a\\(b\\)c\\\\d"}, {"one\r\ntwo", "one\\ntwo"},       {"\x01\t\x7F", "\x01\t\x7F"},
        {"caf\xC3\xA9", "caf?\\u{e9}"},  {"\xF0\x9F\x98\x80", "?\\u{1f600}"}, {"a\xFF" "b", "a?\\u{fffd}b"},
    };
    for (const auto& [input, expected] : escaped) EXPECT_EQ(escape_pdf_string(input), expected) << input;
    const std::pair<std::string, std::string> text[] = {
        {"", "()"}, {"Plain (x)\\", "(Plain \\(x\\)\\\\)"}, {"caf\xC3\xA9", "<FEFF00630061006600E9>"},
        {"\xF0\x9F\x98\x80", "<FEFFD83DDE00>"}, {"\xFF", "<FEFFFFFD>"}, {"a\rb", "<610D62>"},
    };
    for (const auto& [input, expected] : text) EXPECT_EQ(pdf_text_string(input), expected) << input;
    // Only white space (the ideographic space included) adds no entry.
    const std::pair<std::string, std::string> info[] = {
        {"  ", ""}, {"\xE3\x80\x80\t", ""}, {" x ", " /Title ( x )"}, {"\xC3\xA9", " /Title <FEFF00E9>"}};
    for (const auto& [value, expected] : info) {
        std::string buffer = "<<";
        push_info_entry(buffer, "Title", value);
        EXPECT_EQ(buffer, "<<" + expected) << value;
    }
}

TEST(Writer, WorkedExampleIsByteExact) {
    const std::string out = write_text_pdf({"Hello\nWorld"}, "T", std::nullopt);
    EXPECT_EQ(out, std::string("%PDF-1.7\n%\x80\x80\x80\x80\n") +
                       "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
                       "2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n"
                       "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font "
                       "<< /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> /Contents 4 0 R >>\n"
                       "endobj\n4 0 obj\n<< /Length 59  >>\nstream\n"
                       "BT /F1 12 Tf 72 720 Td 14 TL (Hello) Tj T* (World) Tj T* ET\nendstream\nendobj\n"
                       "5 0 obj\n<< /Producer (quarvel) /Title (T) >>\nendobj\n"
                       "xref\n0 6\n0000000000 65535 f \n0000000015 00000 n \n0000000064 00000 n \n"
                       "0000000121 00000 n \n0000000296 00000 n \n0000000406 00000 n \n"
                       "trailer\n<< /Size 6 /Root 1 0 R /Info 5 0 R >>\nstartxref\n458\n%%EOF\n");
    EXPECT_EQ(out.size(), 653u);
}

struct TextPdfCase {
    std::vector<std::string> pages;
    std::optional<std::string> title, author;
    std::vector<std::string> fragments;
};

TEST(Writer, WriteTextPdf) {
    const TextPdfCase cases[] = {
        {{}, {}, {}, {"/Kids [3 0 R] /Count 1 >>", "<< /Length 31  >>\nstream\nBT /F1 12 Tf 72 720 Td 14 TL ET\nend"}},
        {{"one", "two"}, {}, {}, {"/Kids [3 0 R 5 0 R] /Count 2 >>", "/Contents 6 0 R >>", "/Info 7 0 R >>"}},
        {{"a\n\nb\n"}, {}, {}, {"TL (a) Tj T* () Tj T* (b) Tj T* ET"}},
        {{"x\r\ny\r"}, {}, {}, {"TL (x) Tj T* (y) Tj T* ET"}},
        {{"f(x) \\ caf\xC3\xA9"}, {}, {}, {"TL (f\\(x\\) \\\\ caf?\\u{e9}) Tj T* ET"}},
        {{"p"}, "", " ", {"<< /Producer (quarvel) /Title () /Author ( ) >>"}},
        {{"p"}, "\xC3\x9C", "A(b)", {"<< /Producer (quarvel) /Title <FEFF00DC> /Author (A\\(b\\)) >>"}},
    };
    for (const TextPdfCase& c : cases) {
        const std::string pdf = write_text_pdf(c.pages, c.title, c.author);
        for (const std::string& fragment : c.fragments) EXPECT_NE(pdf.find(fragment), std::string::npos) << fragment;
        // The loader checks every xref offset against the object header there.
        EXPECT_EQ(Document::parse(pdf).objects.size(), 3 + 2 * std::max<std::size_t>(c.pages.size(), 1));
    }
}

TEST(Writer, OutputParsesBack) {
    for (const Object& object : {name("a b#c/\xC3\xA9\x01"), string(std::string("x\r\n\0\xFFy", 6)),
                                 string("a(b)\\c\td\ne"), Object(1e21), Object(9223372036854775808.0)}) {
        const std::string text = object_literal(object);
        EXPECT_EQ(Parser(text).parse_object(), object) << text;
    }
    const Document document = Document::parse(write_text_pdf({"one\n(two)", "", "three"}, "Caf\xC3\xA9", "A\\B"));
    EXPECT_EQ(document.page_count(), 3u);
    const Dictionary& info = document.resolve_to_dictionary(*document.trailer.get("Info"), "Info");
    EXPECT_EQ(*info.get("Title"), string(std::string("\xFE\xFF\0C\0a\0f\0\xE9", 10)));
    EXPECT_EQ(*info.get("Author"), string("A\\B"));
}

}  // namespace
}  // namespace quarvel
