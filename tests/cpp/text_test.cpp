#include <gtest/gtest.h>

#include "document.hpp"
#include "filter.hpp"
#include "support.hpp"
#include "text.hpp"

namespace quarvel {
namespace {

std::string stream(int number, std::string_view data) { return testing_support::stream_object(number, "", data); }

// Pages 3 and 4 share font 5 (with a CMap); page 4 also has an inline font F2 without one. No file around them.
Document two_pages(std::string_view content3, std::string_view content4) {
    const std::string source =
        "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj "
        "2 0 obj << /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Resources << /Font << /F1 5 0 R >> >> >> endobj "
        "3 0 obj << /Type /Page /Contents 10 0 R >> endobj "
        "4 0 obj << /Type /Page /Contents [11 0 R 12 0 R] /Resources << /Font << /F1 5 0 R /F2 << /Type /Font >> "
        "/F3 7 0 R >> >> >> endobj 5 0 obj << /Type /Font /ToUnicode 6 0 R >> endobj " +
        stream(6, "beginbfchar <01> <0048> <02> <0069> endbfchar beginbfrange <0003> <0004> <0061> endbfrange") +
        "7 0 obj << /Type /Font /ToUnicode /Identity-H >> endobj " + stream(10, content3) + stream(11, content4) +
        stream(12, " (!) Tj");
    return testing_support::document_from_objects(source);
}

class PageText : public testing::TestWithParam<std::tuple<const char*, const char*, const char*>> {};

TEST_P(PageText, Extracts) {
    const auto& [content3, content4, expected] = GetParam();  // the text, or the error
    const Document doc = two_pages(content3, content4);
    EXPECT_EQ(testing_support::value_or_error([&] { return text(doc); }), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operators, PageText,
    testing::Values(
        std::tuple{"BT /F2 12 Tf (Hello) Tj 0 -14 Td (World) Tj ET", "", "HelloWorld\n!"},
        std::tuple{"(Hello) Tj T* (World) Tj", "T* (a) Tj", "Hello\nWorld\na!"},
        std::tuple{"[(Hel) -250 (lo)] TJ", "(A) '", "Hello\nA!"}, std::tuple{"(x) Tj 1 2 (y) \"", "", "x\ny\n!"},
        std::tuple{"/F1 1 Tf <0102> Tj <0003 0004> Tj", "/F2 1 Tf (\\351)Tj", "Hiab\n\xC3\xA9!"},
        std::tuple{"<FEFF00480069> Tj", "/F1 9 Tf <01> Tj /F2 9 Tf <01>Tj /F1 9 Tf <02> Tj", "Hi\nH\x01i!"},
        std::tuple{"(a) Tj", "/F3 1 Tf (b) Tj", "type mismatch in font /ToUnicode: expected stream"},
        std::tuple{"/F9 1 Tf (a) Tj", "", "a\n!"},
        // The font error is not reported before the stream's own syntax error.
        std::tuple{"(a) Tj", "/F3 1 Tf (b) Tj ) ", "invalid token at byte 16: unexpected byte 0x29"},
        std::tuple{"(a) Tj 1 2", "", "invalid token at byte 10: content stream ended with dangling operands"}));

TEST(PageText, JoinsStreamsAndCachesFonts) {
    EXPECT_EQ(page_texts(two_pages("", "BT (A) Tj")), (std::vector<std::string>{"", "A!"}));
    // A font is parsed once however it is shared: by reference, or inline in /Resources
    // that several pages inherit (here one page listed three times).
    const Document doc = two_pages("/F1 1 Tf <01> Tj /F2 1 Tf", "/F1 1 Tf <02> Tj /F2 1 Tf");
    FontCache cache;
    for (const PageRecord& page : doc.pages()) page_text_with_cache(doc, page, cache);
    EXPECT_EQ(cache.size(), 3u);  // font 5, page 4's F2, and none for page 3's F2
    const Document shared = testing_support::document_from_objects(
        "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj "
        "2 0 obj << /Type /Pages /Kids [3 0 R 3 0 R 3 0 R] /Count 3 "
        "/Resources << /Font << /F4 << /ToUnicode 6 0 R >> >> >> >> endobj "
        "3 0 obj << /Type /Page /Contents 10 0 R >> endobj " +
        stream(6, "beginbfchar <01> <0048> endbfchar") + stream(10, "/F4 1 Tf <01> Tj"));
    cache.clear();
    for (const PageRecord& page : shared.pages()) EXPECT_EQ(page_text_with_cache(shared, page, cache), "H");
    EXPECT_EQ(cache.size(), 1u);
}

// /Contents listing one stream many times is held to the limit each stream is, and
// fails as the filter of the stream that overflowed.
TEST(PageText, JoinedContentWithinTheSizeLimit) {
    const std::size_t previous = set_decoded_size_limit(20);
    const struct {
        const char* contents;
        const char* expected;
    } cases[] = {
        {"[10 0 R 10 0 R]", "abab"},
        {"[10 0 R 10 0 R 10 0 R]", "failed to decode /Contents stream: decoded data exceeds the size limit"},
        {"[10 0 R 11 0 R 11 0 R]", "failed to decode /AHx stream: decoded data exceeds the size limit"},
    };
    for (const auto& c : cases) {
        const Document doc = testing_support::document_from_objects(
            std::string("1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj "
                        "2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj "
                        "3 0 obj << /Type /Page /Contents ") +
            c.contents + " >> endobj " + stream(10, "(ab) Tj ") +
            testing_support::stream_object(11, "/Filter /AHx", "2861622920546A20"));
        EXPECT_EQ(testing_support::value_or_error([&] { return text(doc); }), c.expected) << c.contents;
    }
    set_decoded_size_limit(previous);
}

class References : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(References, FindsLastHeading) {
    EXPECT_EQ(extract_references_section(GetParam().first).value_or("<none>"), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, References,
    testing::Values(std::pair{"no heading here at all, nothing", "<none>"},
                    std::pair{"Intro\nREFERENCES\n[1] A. Author, 2020.", "REFERENCES\n[1] A. Author, 2020."},
                    std::pair{"Intro\nReferences\n[1] A. Author, A title.\nAppendix: see references above.", "<none>"},
                    std::pair{"Text\nBibliography \n\n", "<none>"},
                    std::pair{"Text\n\xE5\x8F\x82\xE8\x80\x83\xE6\x96\x87\xE7\x8C\xAE\n[1] Author 2020",
                              "\xE5\x8F\x82\xE8\x80\x83\xE6\x96\x87\xE7\x8C\xAE\n[1] Author 2020"},
                    std::pair{"x references 1234567890  ", "references 1234567890  "},
                    std::pair{"x references 123456789", "<none>"},
                    // Non-ASCII text before the heading must not shift the cut.
                    std::pair{"\xC4\xB0\xC4\xB0\xE1\xBA\x9E\nBibliography: [1] Somebody, 1999",
                              "Bibliography: [1] Somebody, 1999"}));

}  // namespace
}  // namespace quarvel
