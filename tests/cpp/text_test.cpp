#include <gtest/gtest.h>

#include "document.hpp"
#include "parser.hpp"
#include "text.hpp"

namespace quarvel {
namespace {

// A document assembled from object sources, without a file around them.
Document make_document(const std::vector<std::string>& sources) {
    std::vector<ObjectTable::Entry> entries;
    for (const std::string& source : sources) {
        Parser parser(source);
        entries.push_back(parser.parse_indirect_object());
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Document doc;
    doc.objects = ObjectTable(std::move(entries));
    doc.trailer.set("Root", Object(ObjectId{1, 0}));
    return doc;
}

std::string stream(int number, std::string_view data, std::string_view extra = "") {
    return std::to_string(number) + " 0 obj << /Length " + std::to_string(data.size()) + " " + std::string(extra) +
           " >> stream\n" + std::string(data) + "\nendstream endobj";
}

const std::string kCMap =
    "beginbfchar <01> <0048> <02> <0069> endbfchar beginbfrange <0003> <0004> <0061> endbfrange";

// Pages 3 and 4 share font 5 (with a CMap); page 4 also has an inline font F2 without one.
Document two_pages(std::string_view content3, std::string_view content4) {
    return make_document({
        "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj",
        "2 0 obj << /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Resources << /Font << /F1 5 0 R >> >> >> endobj",
        "3 0 obj << /Type /Page /Contents 10 0 R >> endobj",
        "4 0 obj << /Type /Page /Contents [11 0 R 12 0 R] /Resources << /Font << /F1 5 0 R /F2 << /Type /Font >> "
        "/F3 7 0 R >> >> >> endobj",
        "5 0 obj << /Type /Font /ToUnicode 6 0 R >> endobj",
        stream(6, kCMap),
        "7 0 obj << /Type /Font /ToUnicode /Identity-H >> endobj",
        stream(10, content3),
        stream(11, content4),
        stream(12, " (!) Tj"),
    });
}

struct TextCase {
    const char* content3;
    const char* content4;
    const char* text;  // null: expect the error below
    const char* error = nullptr;
};

class PageText : public testing::TestWithParam<TextCase> {};

TEST_P(PageText, Extracts) {
    const TextCase& c = GetParam();
    Document doc = two_pages(c.content3, c.content4);
    if (c.text) {
        EXPECT_EQ(doc.text(), c.text);
    } else {
        try {
            doc.text();
            FAIL() << "no error";
        } catch (const PdfError& e) {
            EXPECT_EQ(e.text(), c.error);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Operators, PageText,
    testing::Values(
        TextCase{"BT /F2 12 Tf (Hello) Tj 0 -14 Td (World) Tj ET", "", "HelloWorld\n!"},
        TextCase{"(Hello) Tj T* (World) Tj", "T* (a) Tj", "Hello\nWorld\na!"},
        TextCase{"[(Hel) -250 (lo)] TJ", "(A) '", "Hello\nA!"},
        TextCase{"(x) Tj 1 2 (y) \"", "", "x\ny\n!"},
        TextCase{"/F1 1 Tf <0102> Tj <0003 0004> Tj", "/F2 1 Tf (\\351)Tj", "Hiab\n\xEF\xBF\xBD!"},
        TextCase{"<FEFF00480069> Tj", "/F1 9 Tf <01> Tj /F2 9 Tf <01>Tj /F1 9 Tf <02> Tj", "Hi\nH\x01i!"},
        TextCase{"(a) Tj", "/F3 1 Tf (b) Tj", nullptr, "type mismatch in font /ToUnicode: expected stream"},
        TextCase{"/F9 1 Tf (a) Tj", "", "a\n!"},
        // The font error is not reported before the stream's own syntax error.
        TextCase{"(a) Tj", "/F3 1 Tf (b) Tj ) ", nullptr, "invalid token at byte 16: unexpected byte 0x29"},
        TextCase{"(a) Tj 1 2", "", nullptr,
                 "invalid token at byte 10: content stream ended with dangling operands"}));

TEST(PageText, ContentStreamsAreJoinedWithoutSeparator) {
    Document doc = two_pages("", "BT (A) Tj");
    EXPECT_EQ(doc.page_texts(), (std::vector<std::string>{"", "A!"}));
}

TEST(PageText, SharedFontParsesOnceAndInlineFontsPerPage) {
    Document doc = two_pages("/F1 1 Tf <01> Tj /F2 1 Tf", "/F1 1 Tf <02> Tj /F2 1 Tf");
    FontCache cache;
    auto pages = doc.pages();
    doc.page_text_with_cache(pages[0], cache);
    doc.page_text_with_cache(pages[1], cache);
    std::vector<FontCacheKey> keys;
    for (const auto& [key, cmap] : cache) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<FontCacheKey>{{{3, 0}, "F2"}, {{4, 0}, "F2"}, {{5, 0}, std::nullopt}}));
}

struct ReferencesCase {
    const char* text;
    const char* section;  // null: none
};

class References : public testing::TestWithParam<ReferencesCase> {};

TEST_P(References, FindsLastHeading) {
    auto found = extract_references_section(GetParam().text);
    if (GetParam().section)
        EXPECT_EQ(found.value_or("<none>"), GetParam().section);
    else
        EXPECT_FALSE(found.has_value()) << *found;
}

INSTANTIATE_TEST_SUITE_P(
    Sections, References,
    testing::Values(ReferencesCase{"no heading here at all, nothing", nullptr},
                    ReferencesCase{"Intro\nREFERENCES\n[1] A. Author, A title, 2020.",
                                   "REFERENCES\n[1] A. Author, A title, 2020."},
                    ReferencesCase{"Intro\nReferences\n[1] A. Author, A title.\nAppendix: see references above.",
                                   nullptr},
                    ReferencesCase{"Text\nBibliography \n\n", nullptr},
                    ReferencesCase{"Text\n\xE5\x8F\x82\xE8\x80\x83\xE6\x96\x87\xE7\x8C\xAE\n[1] Author 2020",
                                   "\xE5\x8F\x82\xE8\x80\x83\xE6\x96\x87\xE7\x8C\xAE\n[1] Author 2020"},
                    ReferencesCase{"x references 1234567890  ", "references 1234567890  "},
                    ReferencesCase{"x references 123456789", nullptr},
                    // Non-ASCII text before the heading must not shift the cut.
                    ReferencesCase{"\xC4\xB0\xC4\xB0\xE1\xBA\x9E\nBibliography: [1] Somebody, 1999",
                                   "Bibliography: [1] Somebody, 1999"}));

}  // namespace
}  // namespace quarvel
