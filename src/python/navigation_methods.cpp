// Methods over metadata and navigation: labels, outlines, annotations, links,
// destinations, attachments and form fields.

#include <optional>
#include <string>
#include <vector>

#include "destination.hpp"
#include "embedded_file.hpp"
#include "form.hpp"
#include "inspect.hpp"
#include "link.hpp"
#include "metadata.hpp"
#include "methods.hpp"
#include "outline.hpp"
#include "page_label.hpp"
#include "records.hpp"

namespace quarvel::python {

namespace {

Ref optional_object_text(const Object* object) { return object ? new_str(object_to_text(*object)) : new_none(); }

Ref outline_dict(const OutlineItem& item, Ref children) {
    return DictBuilder()
        .set("id", new_str(item.id.reference_string()))
        .set("title", new_str(item.title))
        .set("destination", optional_object_text(item.destination))
        .set("action", item.action ? new_str(dictionary_to_text(*item.action)) : new_none())
        .set("children", std::move(children))
        .finish();
}

Ref annotation_dict(const PageAnnotation& annotation) {
    return DictBuilder()
        .set("id", optional_id(annotation.id))
        .set("subtype", optional_text(annotation_subtype(*annotation.dictionary)))
        .set("rect", rect_value(annotation.dictionary->get("Rect")))
        .set("contents", optional_text(annotation_contents(*annotation.dictionary)))
        .finish();
}

Ref link_dict(const Link& link) {
    return DictBuilder()
        .set("annotation_id", optional_id(link.annotation_id))
        .set("rect", rect_value(link.dictionary->get("Rect")))
        .set("kind", link.target ? new_str(link_target_kind(*link.target)) : new_none())
        .set("target", link.target ? new_str(link_target_text(*link.target)) : new_none())
        .finish();
}

Ref embedded_file_dict(const EmbeddedFile& file, bool include_data) {
    DictBuilder dict;
    dict.set("name", new_str(file.name))
        .set("file_name", optional_text(file.file_name))
        .set("description", optional_text(file.description))
        .set("subtype", name_entry(file.stream->dictionary, "Subtype"))
        .set("declared_size", optional_int(file.declared_size()));
    if (include_data) {
        std::string owned;
        dict.set("data", new_bytes(file.stream->decoded_data_cow(owned)));
    }
    return dict.finish();
}

Ref form_field_dict(const FormField& field) {
    Ref widgets = new_list();
    for (ObjectId id : field.widgets) append(widgets, new_str(id.reference_string()));
    return DictBuilder()
        .set("id", optional_id(field.id))
        .set("name", optional_text(field.name))
        .set("full_name", optional_text(field.full_name))
        .set("alternate_name", optional_text(field.alternate_name))
        .set("mapping_name", optional_text(field.mapping_name))
        .set("field_type", field.field_type ? new_str(form_field_type_text(*field.field_type)) : new_none())
        .set("value", optional_object_text(field.value))
        .set("default_value", optional_object_text(field.default_value))
        .set("flags", optional_int(field.flags))
        .set("widgets", std::move(widgets))
        .finish();
}

}  // namespace

Ref metadata(const State& s) { return metadata_dict(quarvel::metadata(s.document)); }

Ref metadata_xml(const State& s) {
    std::optional<std::string> xml = quarvel::metadata_xml(s.document);
    return xml ? new_str(*xml) : new_none();
}

Ref page_labels(const State& s) {
    Ref list = new_list();
    for (const std::string& label : quarvel::page_labels(s.document)) append(list, new_str(label));
    return list;
}

Ref outlines(const State& s) {
    const std::vector<OutlineItem> items = quarvel::outlines(s.document);
    // Items come in reading order with their depth; each dict is finished (children
    // included) when the next item at its level or above arrives.
    struct Open {
        const OutlineItem* item;
        Ref children;
    };
    Ref top = new_list();
    std::vector<Open> open;
    auto close = [&] {
        Open last = std::move(open.back());
        open.pop_back();
        append(open.empty() ? top : open.back().children, outline_dict(*last.item, std::move(last.children)));
    };
    for (const OutlineItem& item : items) {
        while (open.size() > item.depth) close();
        open.push_back({&item, new_list()});
    }
    while (!open.empty()) close();
    return top;
}

Ref page_annotations(const State& s, PyObject* args, PyObject* kwargs) {
    const std::size_t i = page_index_args(args, kwargs, "O:page_annotations", "page_annotations");
    return with_page(s, i, [&](const PageRecord& page) {
        Ref list = new_list();
        for (const PageAnnotation& annotation : quarvel::page_annotations(s.document, page))
            append(list, annotation_dict(annotation));
        return list;
    });
}

Ref page_links(const State& s, PyObject* args, PyObject* kwargs) {
    const std::size_t i = page_index_args(args, kwargs, "O:page_links", "page_links");
    return with_page(s, i, [&](const PageRecord& page) {
        Ref list = new_list();
        for (const Link& link : quarvel::page_links(s.document, page)) append(list, link_dict(link));
        return list;
    });
}

Ref named_destinations(const State& s) {
    Ref dict = Ref::steal(PyDict_New());
    for (const auto& [name, destination] : quarvel::named_destinations(s.document)) {
        Ref text = new_str(object_to_text(*destination));
        check(PyDict_SetItem(dict.get(), new_str(name).get(), text.get()));
    }
    return dict;
}

Ref embedded_files(const State& s, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"include_data", nullptr};
    PyObject* include_data = nullptr;
    parse_arguments(args, kwargs, "|O:embedded_files", names, &include_data);
    const bool data = bool_arg(include_data, {"embedded_files", "include_data"}, false);
    Ref list = new_list();
    for (const EmbeddedFile& file : quarvel::embedded_files(s.document)) append(list, embedded_file_dict(file, data));
    return list;
}

Ref form_fields(const State& s) {
    Ref list = new_list();
    for (const FormField& field : quarvel::form_fields(s.document)) append(list, form_field_dict(field));
    return list;
}

}  // namespace quarvel::python
