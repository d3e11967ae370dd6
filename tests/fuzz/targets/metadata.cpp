// Document metadata over a loaded document: the information dictionary with its
// custom entries, and the XMP packet. Every text handed out is valid UTF-8.
#include "metadata.hpp"

#include "fuzz_target.hpp"
#include "unicode.hpp"

namespace {

bool valid(const std::string& text) { return quarvel::lossy_utf8(text) == text; }

}  // namespace

QUARVEL_FUZZ_TARGET(metadata) {
    using namespace quarvel;
    const Document document = Document::parse(data);
    try {
        const DocumentMetadata info = metadata(document);
        for (const std::string* text : {&info.title, &info.author, &info.subject, &info.keywords, &info.creator,
                                        &info.producer, &info.creation_date, &info.modification_date, &info.trapped})
            QUARVEL_FUZZ_CHECK(valid(*text));
        for (const auto& [key, value] : info.custom) QUARVEL_FUZZ_CHECK(valid(key) && valid(value));
    } catch (const PdfError&) {
    }
    metadata_xml(document);
}
