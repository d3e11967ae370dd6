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

// Optional values, None when absent.
Ref optional_text(const std::optional<std::string>& text);
Ref optional_int(std::optional<std::int64_t> value);
Ref optional_id(const std::optional<ObjectId>& id);
// A name entry as text; anything else is None.
Ref name_entry(const Dictionary& dictionary, std::string_view key);
// A list of four floats by the box rule, or None.
Ref rect_value(const Object* value);
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
