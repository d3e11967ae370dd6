// Whole loading, then every structural query over the loaded document: versions,
// the page tree with its resources and content streams, and object inspection.
#include "document.hpp"

#include "fuzz_target.hpp"
#include "inspect.hpp"

QUARVEL_FUZZ_TARGET(document) {
    using namespace quarvel;
    const Document document = Document::parse(data);
    // Every object was loaded under a cross-reference entry of its own id.
    for (const auto& [id, object] : document.objects) QUARVEL_FUZZ_CHECK(document.xref.find(id) != nullptr);
    fuzz::refusable([&] { document.effective_version(); });
    fuzz::refusable([&] { document.page_count(); });
    fuzz::refusable([&] {
        for (const PageRecord& page : document.pages()) {
            fuzz::refusable([&] { document.page_resource_dictionary(*page.dictionary, page.inherited.resources); });
            if (const Object* contents = page.dictionary->get("Contents")) {
                std::vector<const Stream*> streams;
                fuzz::refusable([&] { document.collect_content_streams(*contents, streams); });
            }
        }
    });
    const std::string dump = dump_objects(document);
    QUARVEL_FUZZ_CHECK(dump.empty() == document.objects.empty());
    for (const auto& [id, object] : document.objects) QUARVEL_FUZZ_CHECK(object_summary(document, id).id == id);
}
