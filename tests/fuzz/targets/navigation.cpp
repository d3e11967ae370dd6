// Navigation over a loaded document: outlines, page labels, named destinations, form
// fields, embedded files, and each page's annotations and links.
#include "destination.hpp"
#include "embedded_file.hpp"
#include "form.hpp"
#include "fuzz_target.hpp"
#include "link.hpp"
#include "outline.hpp"
#include "page_label.hpp"

namespace {

template <class F>
void refusable(F&& query) {
    try {
        query();
    } catch (const quarvel::PdfError&) {
    }
}

}  // namespace

QUARVEL_FUZZ_TARGET(navigation) {
    using namespace quarvel;
    const Document document = Document::parse(data);
    refusable([&] { outlines(document); });
    refusable([&] { page_labels(document); });
    refusable([&] { named_destinations(document); });
    refusable([&] { form_fields(document); });
    refusable([&] { embedded_files(document); });
    for (const PageRecord& page : document.pages()) {
        refusable([&] { page_annotations(document, page); });
        refusable([&] { page_links(document, page); });
    }
}
