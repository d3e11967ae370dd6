#include "records.hpp"

#include "convert.hpp"
#include "inspect.hpp"

namespace quarvel::python {

namespace {

// The page's own entry wins over the inherited one.
const Object* effective(const PageRecord& page, const char* key, const Object* inherited) {
    const Object* own = page.dictionary->get(key);
    return own ? own : inherited;
}

}  // namespace

Ref rect_value(const Object* value) {
    const std::optional<Rect> rect = rectangle(value);
    if (!rect) return new_none();
    Ref list = new_list();
    for (double number : *rect) append(list, new_float(number));
    return list;
}

Ref xref_dict(ObjectId id, const XrefEntry& entry) {
    return DictBuilder()
        .set("id", new_str(id.reference_string()))
        .set("number", new_uint(id.number))
        .set("generation", new_uint(id.generation))
        .set("xref", new_str(xref_entry_text(entry)))
        .finish();
}

Ref object_dict(const PdfObjectSummary& summary) {
    return DictBuilder()
        .set("id", new_str(summary.id.reference_string()))
        .set("number", new_uint(summary.id.number))
        .set("generation", new_uint(summary.id.generation))
        .set("kind", new_str(summary.kind))
        .set("xref", summary.xref ? new_str(*summary.xref) : new_none())
        .set("text", new_str(summary.text))
        .finish();
}

Ref page_dict(std::size_t index, const PageRecord& page) {
    const Object* parent = page.dictionary->get("Parent");
    const ObjectId* parent_id = parent ? parent->as_reference() : nullptr;
    const Object* rotate = effective(page, "Rotate", page.inherited.rotate);
    const Integer* rotation = rotate ? rotate->as_integer() : nullptr;
    return DictBuilder()
        .set("index", new_uint(index))
        .set("id", new_str(page.id.reference_string()))
        .set("parent", parent_id ? new_str(parent_id->reference_string()) : new_none())
        .set("media_box", rect_value(effective(page, "MediaBox", page.inherited.media_box)))
        .set("crop_box", rect_value(effective(page, "CropBox", page.inherited.crop_box)))
        .set("rotate", rotation ? new_int(*rotation) : new_none())
        .finish();
}

Ref metadata_dict(const DocumentMetadata& metadata) {
    Ref custom = Ref::steal(PyDict_New());
    for (const auto& [key, value] : metadata.custom) {
        Ref text = new_str(value);
        check(PyDict_SetItem(custom.get(), new_str(key).get(), text.get()));
    }
    return DictBuilder()
        .set("format", new_str(metadata.format))
        .set("title", new_str(metadata.title))
        .set("author", new_str(metadata.author))
        .set("subject", new_str(metadata.subject))
        .set("keywords", new_str(metadata.keywords))
        .set("creator", new_str(metadata.creator))
        .set("producer", new_str(metadata.producer))
        .set("creation_date", new_str(metadata.creation_date))
        .set("modification_date", new_str(metadata.modification_date))
        .set("trapped", new_str(metadata.trapped))
        .set("encrypted", new_bool(metadata.encrypted))
        .set("xmp", metadata.xmp ? new_str(*metadata.xmp) : new_none())
        .set("custom", std::move(custom))
        .finish();
}

}  // namespace quarvel::python
