// Words and layout text of every page of a loaded document: glyph positions from
// fuzzed text state, matrices and font widths. Every text is valid UTF-8.
#include "fuzz_target.hpp"
#include "layout.hpp"
#include "unicode.hpp"

QUARVEL_FUZZ_TARGET(layout) {
    using namespace quarvel;
    const Document document = Document::parse(data);
    for (const PageRecord& page : document.pages()) {
        try {
            const std::string text = words_to_layout_text(page_words(document, page));
            QUARVEL_FUZZ_CHECK(lossy_utf8(text) == text);
        } catch (const PdfError&) {
        }
    }
    const std::string all = layout_text(document);
    QUARVEL_FUZZ_CHECK(lossy_utf8(all) == all);
}
