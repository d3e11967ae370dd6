// One builder per result dict shape.
#pragma once

#include <cstddef>

#include "document.hpp"
#include "inspect.hpp"
#include "metadata.hpp"
#include "pyref.hpp"

namespace quarvel::python {

// A list of four floats by the box rule, or None.
Ref rect_value(const Object* value);
Ref xref_dict(ObjectId id, const XrefEntry& entry);
Ref object_dict(const PdfObjectSummary& summary);
Ref page_dict(std::size_t index, const PageRecord& page);
Ref metadata_dict(const DocumentMetadata& metadata);

}  // namespace quarvel::python
