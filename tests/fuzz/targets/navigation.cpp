// Navigation over a loaded document: outlines, page labels, named destinations, form
// fields, embedded files, and each page's annotations and links.
#include "destination.hpp"
#include "embedded_file.hpp"
#include "form.hpp"
#include "fuzz_target.hpp"
#include "link.hpp"
#include "outline.hpp"
#include "page_label.hpp"

QUARVEL_FUZZ_TARGET(navigation) {
    using namespace quarvel;
    const Document document = Document::parse(data);
    fuzz::refusable([&] { outlines(document); });
    fuzz::refusable([&] { page_labels(document); });
    fuzz::refusable([&] { named_destinations(document); });
    fuzz::refusable([&] { form_fields(document); });
    fuzz::refusable([&] { embedded_files(document); });
    for (const PageRecord& page : document.pages()) {
        fuzz::refusable([&] { page_annotations(document, page); });
        fuzz::refusable([&] { page_links(document, page); });
    }
}
