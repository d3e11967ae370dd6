// Incremental edits of a loaded file (document information, a text annotation, a URI
// link) with fuzzed values: the output keeps the source as its prefix and loads again,
// with the same pages.
#include "fuzz_target.hpp"
#include "incremental.hpp"

QUARVEL_FUZZ_TARGET(incremental) {
    using namespace quarvel;
    fuzz::Reader reader(data);
    const unsigned choice = reader.byte() % 3;
    AnnotationRect rect{};
    for (double& value : rect) value = static_cast<double>(static_cast<signed char>(reader.byte())) * 7.25;
    const std::string text(reader.until('\x1e'));
    const std::string_view source = reader.rest();
    const Document before = Document::parse(source);

    std::string updated;
    if (choice == 0) {
        MetadataUpdate update;
        update.title = text;
        update.author = text.substr(0, text.size() / 2);
        updated = update_metadata_incremental(source, update, &before);
    } else if (choice == 1) {
        updated = add_text_annotation_incremental(source, 0, rect, text, &before);
    } else {
        updated = add_uri_link_incremental(source, 0, rect, text, &before);
    }
    QUARVEL_FUZZ_CHECK(updated.starts_with(source));
    Document after;
    try {
        after = Document::parse(updated);
    } catch (const PdfError& e) {
        std::fprintf(stderr, "updated file does not load: %s\n", e.what());
        QUARVEL_FUZZ_CHECK(false);
    }
    std::size_t pages = 0;
    try {
        pages = before.pages().size();
    } catch (const PdfError&) {
        return;  // a page tree that does not read before cannot be compared after
    }
    QUARVEL_FUZZ_CHECK(after.pages().size() == pages);
}
