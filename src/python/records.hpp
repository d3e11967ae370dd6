// One builder per result dict shape.
#pragma once

#include <cstddef>

#include "document.hpp"
#include "inspect.hpp"
#include "metadata.hpp"
#include "pyref.hpp"

namespace quarvel::python {

Ref xref_dict(ObjectId id, const XrefEntry& entry);
Ref object_dict(const PdfObjectSummary& summary);
Ref page_dict(std::size_t index, const PageRecord& page);
Ref metadata_dict(const DocumentMetadata& metadata);

}  // namespace quarvel::python
