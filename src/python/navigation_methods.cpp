// Methods over metadata and navigation: labels, outlines, annotations, links,
// destinations, attachments and form fields.
// Not built yet: each method raises NotImplementedError until its feature lands.

#include "metadata.hpp"
#include "methods.hpp"
#include "records.hpp"

namespace quarvel::python {

namespace {

[[noreturn]] void not_built(const char* name) {
    raise(PyExc_NotImplementedError, std::string(name) + " is not built yet");
}

}  // namespace

Ref metadata(const State& s) { return metadata_dict(quarvel::metadata(s.document)); }

Ref metadata_xml(const State& s) {
    std::optional<std::string> xml = quarvel::metadata_xml(s.document);
    return xml ? new_str(*xml) : new_none();
}

Ref page_labels(const State&) { not_built("page_labels"); }
Ref outlines(const State&) { not_built("outlines"); }
Ref named_destinations(const State&) { not_built("named_destinations"); }
Ref form_fields(const State&) { not_built("form_fields"); }
Ref page_annotations(const State&, PyObject*, PyObject*) { not_built("page_annotations"); }
Ref page_links(const State&, PyObject*, PyObject*) { not_built("page_links"); }
Ref embedded_files(const State&, PyObject*, PyObject*) { not_built("embedded_files"); }

}  // namespace quarvel::python
