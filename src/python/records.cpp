#include "records.hpp"

#include "convert.hpp"
#include "inspect.hpp"
#include "unicode.hpp"

namespace quarvel::python {

namespace {

// The page's own entry wins over the inherited one.
const Object* effective(const PageRecord& page, const char* key, const Object* inherited) {
    const Object* own = page.dictionary->get(key);
    return own ? own : inherited;
}

Ref integer_entry(const Dictionary& dictionary, std::string_view key) {
    const Object* value = dictionary.get(key);
    const Integer* integer = value ? value->as_integer() : nullptr;
    return integer ? new_int(*integer) : new_none();
}

template <class Strings>
Ref str_list(const Strings& items) {
    Ref list = new_list();
    for (const auto& item : items) append(list, new_str(lossy_utf8(item)));
    return list;
}

Ref decoded_bytes(const Stream& stream) {
    std::string owned;
    return new_bytes(stream.decoded_data_cow(owned));
}

DictBuilder& set_page(DictBuilder& dict, const std::optional<PagePlace>& page) {
    dict.set("page_index", page ? new_uint(page->index) : new_none());
    return dict.set("page_id", page ? new_str(page->id.reference_string()) : new_none());
}

Ref embedded_font_dict(const EmbeddedFont& font, bool include_data) {
    DictBuilder dict;
    dict.set("kind", new_str(font.kind))
        .set("id", optional_id(font.object_id))
        .set("subtype", name_entry(font.stream->dictionary, "Subtype"))
        .set("filters", str_list(font.stream->filters()))
        .set("encoded_length", new_uint(font.stream->data.size()))
        .set("length1", optional_int(font.declared_length("Length1")))
        .set("length2", optional_int(font.declared_length("Length2")))
        .set("length3", optional_int(font.declared_length("Length3")));
    if (include_data) dict.set("data", decoded_bytes(*font.stream));
    return dict.finish();
}

Ref font_descriptor_dict(const Document& document, const FontDescriptor& descriptor, bool include_data) {
    const std::optional<EmbeddedFont> program = embedded_font(document, descriptor);
    return DictBuilder()
        .set("id", optional_id(descriptor.object_id))
        .set("font_name", name_entry(*descriptor.dictionary, "FontName"))
        .set("font_family", optional_text(descriptor.metric("FontFamily")))
        .set("font_stretch", name_entry(*descriptor.dictionary, "FontStretch"))
        .set("flags", integer_entry(*descriptor.dictionary, "Flags"))
        .set("italic_angle", optional_text(descriptor.metric("ItalicAngle")))
        .set("ascent", optional_text(descriptor.metric("Ascent")))
        .set("descent", optional_text(descriptor.metric("Descent")))
        .set("cap_height", optional_text(descriptor.metric("CapHeight")))
        .set("stem_v", optional_text(descriptor.metric("StemV")))
        .set("embedded_font", program ? embedded_font_dict(*program, include_data) : new_none())
        .finish();
}

Ref decoded_image_dict(const DecodedImage& image) {
    return DictBuilder()
        .set("width", new_uint(image.width))
        .set("height", new_uint(image.height))
        .set("components", new_uint(image.components()))
        .set("pnm_kind", new_str(image.rgb ? "P6" : "P5"))
        .set("decoded_length", new_uint(image.samples.size()))
        .finish();
}

}  // namespace

Ref optional_text(const std::optional<std::string>& text) { return text ? new_str(*text) : new_none(); }
Ref optional_int(std::optional<std::int64_t> value) { return value ? new_int(*value) : new_none(); }
Ref optional_id(const std::optional<ObjectId>& id) { return id ? new_str(id->reference_string()) : new_none(); }

Ref name_entry(const Dictionary& dictionary, std::string_view key) {
    const Object* value = dictionary.get(key);
    const std::string* name = value ? value->as_name() : nullptr;
    return name ? new_str(lossy_utf8(*name)) : new_none();
}

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

Ref font_dict(const Document& document, const PageFont& font, std::optional<PagePlace> page, bool include_data) {
    const std::optional<FontDescriptor> descriptor = font_descriptor(document, font);
    DictBuilder dict;
    return set_page(dict, page)
        .set("name", new_str(font.resource_name))
        .set("id", optional_id(font.object_id))
        .set("subtype", name_entry(*font.dictionary, "Subtype"))
        .set("base_font", name_entry(*font.dictionary, "BaseFont"))
        .set("encoding", optional_text(font.encoding()))
        .set("descriptor_id", optional_id(font.descriptor_id()))
        .set("descriptor", descriptor ? font_descriptor_dict(document, *descriptor, include_data) : new_none())
        .finish();
}

Ref image_dict(const PageImage& image, std::optional<PagePlace> page, bool include_data, bool include_pnm) {
    DictBuilder dict;
    set_page(dict, page)
        .set("name", new_str(image.name))
        .set("resource_path", new_str(image.resource_path()))
        .set("xobject_path", str_list(image.xobject_path))
        .set("id", optional_id(image.object_id))
        .set("width", optional_int(image.width()))
        .set("height", optional_int(image.height()))
        .set("bits_per_component", optional_int(image.bits_per_component()))
        .set("color_space", optional_text(image.color_space()))
        .set("filters", str_list(image.filters()))
        .set("encoded_length", new_uint(image.stream->data.size()));
    if (include_pnm) {
        const DecodedImage decoded = image.decoded_image();
        dict.set("decoded", decoded_image_dict(decoded)).set("pnm", new_bytes(decoded.to_pnm()));
    } else {
        dict.set("decoded", new_none());
    }
    if (include_data) dict.set("data", decoded_bytes(*image.stream));
    return dict.finish();
}

}  // namespace quarvel::python
