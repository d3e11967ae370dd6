// One builder per result dict shape.
#pragma once

#include <cstddef>
#include <optional>

#include "document.hpp"
#include "font.hpp"
#include "image.hpp"
#include "inspect.hpp"
#include "metadata.hpp"
#include "pyref.hpp"

namespace quarvel::python {

Ref xref_dict(ObjectId id, const XrefEntry& entry);
Ref object_dict(const PdfObjectSummary& summary);
Ref page_dict(std::size_t index, const PageRecord& page);
Ref metadata_dict(const DocumentMetadata& metadata);

// The page a listed font or image belongs to; absent from the one-page methods.
struct PagePlace {
    std::size_t index;
    ObjectId id;
};
Ref font_dict(const Document& document, const PageFont& font, std::optional<PagePlace> page, bool include_data);
Ref image_dict(const PageImage& image, std::optional<PagePlace> page, bool include_data, bool include_pnm);

}  // namespace quarvel::python
