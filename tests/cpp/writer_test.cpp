#include "writer.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "document.hpp"
#include "error.hpp"
#include "parser.hpp"

namespace quarvel {
namespace {

struct LiteralCase {
    const char* label;
    Object object;
    std::string expected;
};

Object name(std::string bytes) { return Name{std::move(bytes)}; }
Object string(std::string bytes) { return String{std::move(bytes)}; }

TEST(WriterTest, ObjectLiteral) {
    const LiteralCase cases[] = {
        {"null", Null{}, "null"},
        {"true", true, "true"},
        {"negative integer", Integer{-42}, "-42"},
        {"min integer", std::numeric_limits<Integer>::min(), "-9223372036854775808"},
        {"half", 0.5, "0.5"},
        {"whole real", 3.0, "3"},
        {"negative zero", -0.0, "-0"},
        {"tenth", 0.1, "0.1"},
        {"hundred thousand", 100000.0, "100000"},
        {"huge real keeps a point", 1e21, "1000000000000000000000.0"},
        {"2^63 keeps a point", 9223372036854775808.0, "9223372036854775808.0"},
        {"-2^63 reads back as integer", -9223372036854775808.0, "-9223372036854775808"},
        {"infinity", std::numeric_limits<double>::infinity(), "0"},
        {"nan", std::nan(""), "0"},
        {"empty name", name(""), "/"},
        {"name with space and hash", name("a b#c"), "/a#20b#23c"},
        {"name with delimiters", name("()<>[]{}/%"), "/#28#29#3C#3E#5B#5D#7B#7D#2F#25"},
        {"name with high and control bytes", name("\xC3\xA9\x01~"), "/#C3#A9#01~"},
        {"string with escapes", string("a(b)c\\d"), "(a\\(b\\)c\\\\d)"},
        {"string with tab and lf", string("a\tb\nc"), "(a\tb\\nc)"},
        {"empty string", string(""), "()"},
        {"string with cr is hex", string("a\r\nb"), "<610D0A62>"},
        {"string with high bytes is hex", string(std::string("\xFE\xFF\x00\x41", 4)), "<FEFF0041>"},
        {"string with nul is hex", string(std::string("\0", 1)), "<00>"},
        {"reference", ObjectId{12, 0}, "12 0 R"},
        {"array", Array{Integer{1}, name("N"), ObjectId{3, 1}, Array{}, Dictionary({{"V", 1.25}})},
         "[1 /N 3 1 R [] << /V 1.25 >>]"},
        {"empty dictionary", Dictionary{}, "<< >>"},
        {"dictionary sorted by key bytes",
         Dictionary({{"Type", name("Annot")}, {"Annots", Array{}}, {"A", Null{}}, {"a", true}}),
         "<< /A null /Annots [] /Type /Annot /a true >>"},
        {"dictionary key escaped", Dictionary({{"x y", Integer{1}}}), "<< /x#20y 1 >>"},
    };
    for (const LiteralCase& c : cases) EXPECT_EQ(object_literal(c.object), c.expected) << c.label;
}

TEST(WriterTest, StreamAtAnyDepthIsRefused) {
    const Stream stream{Dictionary({{"Length", Integer{0}}}), ""};
    const Object cases[] = {
        stream,
        Array{Integer{1}, stream},
        Dictionary({{"A", Integer{1}}, {"S", Array{stream}}}),
    };
    for (const Object& object : cases) {
        try {
            object_literal(object);
            ADD_FAILURE() << "no error for a stream";
        } catch (const PdfError& e) {
            EXPECT_EQ(e.kind(), PdfError::Kind::TypeMismatch);
            EXPECT_STREQ(e.what(), "type mismatch in incremental trailer object: expected scalar object");
        }
    }
}

TEST(WriterTest, EscapePdfString) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"a(b)c\\d", "a\\(b\\)c\\\\d"},
        {"one\r\ntwo", "one\\ntwo"},
        {"\x01\t\x7F", "\x01\t\x7F"},
        {"caf\xC3\xA9", "caf?\\u{e9}"},
        {"\xF0\x9F\x98\x80", "?\\u{1f600}"},
        {"a\xFF" "b", "a?\\u{fffd}b"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(escape_pdf_string(input), expected) << input;
}

TEST(WriterTest, PdfTextString) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "()"},
        {"Plain (x)\\", "(Plain \\(x\\)\\\\)"},
        {"caf\xC3\xA9", "<FEFF00630061006600E9>"},
        {"\xF0\x9F\x98\x80", "<FEFFD83DDE00>"},
        {"\xFF", "<FEFFFFFD>"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(pdf_text_string(input), expected) << input;
}

TEST(WriterTest, PushInfoEntry) {
    const std::tuple<std::string, std::string> cases[] = {
        {"  ", ""},
        {"\xE3\x80\x80\t", ""},  // ideographic space counts as white space
        {" x ", " /Title ( x )"},
        {"\xC3\xA9", " /Title <FEFF00E9>"},
    };
    for (const auto& [value, expected] : cases) {
        std::string buffer = "<<";
        push_info_entry(buffer, "Title", value);
        EXPECT_EQ(buffer, "<<" + expected) << value;
    }
}

TEST(WriterTest, WorkedExampleIsByteExact) {
    const std::string expected = std::string("%PDF-1.7\n%\x80\x80\x80\x80\n") +
                                 "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
                                 "2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n"
                                 "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font "
                                 "<< /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> "
                                 "/Contents 4 0 R >>\nendobj\n"
                                 "4 0 obj\n<< /Length 59  >>\nstream\n"
                                 "BT /F1 12 Tf 72 720 Td 14 TL (Hello) Tj T* (World) Tj T* ET\nendstream\nendobj\n"
                                 "5 0 obj\n<< /Producer (quarvel) /Title (T) >>\nendobj\n"
                                 "xref\n0 6\n"
                                 "0000000000 65535 f \n"
                                 "0000000015 00000 n \n"
                                 "0000000064 00000 n \n"
                                 "0000000121 00000 n \n"
                                 "0000000296 00000 n \n"
                                 "0000000406 00000 n \n"
                                 "trailer\n<< /Size 6 /Root 1 0 R /Info 5 0 R >>\nstartxref\n458\n%%EOF\n";
    const std::string out = write_text_pdf({"Hello\nWorld"}, "T", std::nullopt);
    EXPECT_EQ(out.size(), 653u);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(out.compare(458, 4, "xref"), 0);
}

// Every xref offset must land on its object header and startxref on the table.
void expect_consistent_xref(const std::string& pdf) {
    const std::size_t startxref = pdf.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const std::size_t xref = std::stoull(pdf.substr(startxref + 10));
    ASSERT_EQ(pdf.compare(xref, 7, "xref\n0 "), 0);
    const std::size_t size = std::stoull(pdf.substr(xref + 7));
    const std::size_t table = pdf.find('\n', xref + 7) + 1;
    for (std::size_t number = 1; number < size; ++number) {
        const std::size_t offset = std::stoull(pdf.substr(table + 20 * number, 10));
        const std::string header = std::to_string(number) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << number;
    }
    EXPECT_EQ(pdf.compare(table + 20 * size, 8, "trailer\n"), 0);
}

struct TextPdfCase {
    const char* label;
    std::vector<std::string> pages;
    std::optional<std::string> title;
    std::optional<std::string> author;
    std::vector<std::string> fragments;
};

TEST(WriterTest, WriteTextPdf) {
    const TextPdfCase cases[] = {
        {"no pages",
         {},
         std::nullopt,
         std::nullopt,
         {"/Kids [3 0 R] /Count 1 >>", "<< /Length 31  >>\nstream\nBT /F1 12 Tf 72 720 Td 14 TL ET\nendstream",
          "5 0 obj\n<< /Producer (quarvel) >>", "<< /Size 6 /Root 1 0 R /Info 5 0 R >>"}},
        {"two pages",
         {"one", "two"},
         std::nullopt,
         std::nullopt,
         {"/Kids [3 0 R 5 0 R] /Count 2 >>", "/Contents 4 0 R >>", "/Contents 6 0 R >>", "6 0 obj\n<< /Length",
          "7 0 obj\n<< /Producer (quarvel) >>", "<< /Size 8 /Root 1 0 R /Info 7 0 R >>"}},
        {"empty middle line", {"a\n\nb\n"}, std::nullopt, std::nullopt, {"TL (a) Tj T* () Tj T* (b) Tj T* ET"}},
        {"crlf and trailing cr", {"x\r\ny\r"}, std::nullopt, std::nullopt, {"TL (x) Tj T* (y) Tj T* ET"}},
        {"escapes", {"f(x) \\ caf\xC3\xA9"}, std::nullopt, std::nullopt, {"TL (f\\(x\\) \\\\ caf?\\u{e9}) Tj T* ET"}},
        {"blank title and author kept",
         {"p"},
         "",
         " ",
         {"<< /Producer (quarvel) /Title () /Author ( ) >>"}},
        {"non-ascii info as utf-16",
         {"p"},
         "\xC3\x9C",
         "A(b)",
         {"<< /Producer (quarvel) /Title <FEFF00DC> /Author (A\\(b\\)) >>"}},
    };
    for (const TextPdfCase& c : cases) {
        const std::string out = write_text_pdf(c.pages, c.title, c.author);
        for (const std::string& fragment : c.fragments)
            EXPECT_NE(out.find(fragment), std::string::npos) << c.label << ": " << fragment;
        expect_consistent_xref(out);
    }
}

TEST(WriterTest, OutputParsesBack) {
    const Object objects[] = {
        name("a b#c/\xC3\xA9\x01"),
        string(std::string("x\r\n\0\xFFy", 6)),
        string("a(b)\\c\td\ne"),
        1e21,
        9223372036854775808.0,
        0.1,
        -2.25,
    };
    for (const Object& object : objects) {
        const std::string text = object_literal(object);
        EXPECT_EQ(Parser(text).parse_object(), object) << text;
    }

    const std::string pdf = write_text_pdf({"one\n(two)", "", "three"}, "Caf\xC3\xA9", "A\\B");
    const Document document = Document::parse(pdf);
    EXPECT_EQ(document.page_count(), 3u);
    EXPECT_EQ(document.objects.size(), 9u);
    const Dictionary& info = document.resolve_to_dictionary(*document.trailer.get("Info"), "Info");
    EXPECT_EQ(*info.get("Title"), string(std::string("\xFE\xFF\0C\0a\0f\0\xE9", 10)));
    EXPECT_EQ(*info.get("Author"), string("A\\B"));
    EXPECT_EQ(*info.get("Producer"), string("quarvel"));
}

}  // namespace
}  // namespace quarvel
