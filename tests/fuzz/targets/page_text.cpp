// Page text of every page of a loaded document, the whole text and its references
// section; the whole text is the pages' texts joined by line feeds.
#include "fuzz_target.hpp"
#include "text.hpp"
#include "unicode.hpp"

QUARVEL_FUZZ_TARGET(page_text) {
    using namespace quarvel;
    const Document document = Document::parse(data);
    const std::vector<std::string> texts = page_texts(document);
    std::string joined;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        QUARVEL_FUZZ_CHECK(lossy_utf8(texts[i]) == texts[i]);
        if (i) joined.push_back('\n');
        joined += texts[i];
    }
    QUARVEL_FUZZ_CHECK(text(document) == joined);
    if (const auto section = references_text(document)) QUARVEL_FUZZ_CHECK(joined.ends_with(*section));
}
