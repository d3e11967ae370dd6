// The Python class Document: one parsed PDF plus what is needed to get its bytes back.

#include <new>
#include <optional>
#include <string>
#include <utility>

#include "file.hpp"
#include "methods.hpp"
#include "module.hpp"

namespace quarvel::python {

namespace {

// The instance takes the state over; nothing can fail after the allocation.
Ref make_instance(State state) {
    PyObject* type_object = document_type();
    if (type_object == nullptr) throw PythonError{};
    auto* type = reinterpret_cast<PyTypeObject*>(type_object);
    auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
    Ref self = Ref::steal(alloc(type, 0));
    new (reinterpret_cast<PyDocument*>(self.get())->storage) State(std::move(state));
    return self;
}

Ref from_bytes(PyObject* data, const char* function) {
    std::string_view bytes = bytes_arg(data, {function, "data"});
    Document document = Document::parse(bytes);
    return make_instance(State{std::string(bytes), std::nullopt, std::move(document)});
}

const char* const kData[] = {"data", nullptr};
const char* const kPath[] = {"path", nullptr};

}  // namespace

Ref parse(PyObject* args, PyObject* kwargs) {
    PyObject* data = nullptr;
    parse_arguments(args, kwargs, "O:parse", kData, &data);
    return from_bytes(data, "parse");
}

Ref open(PyObject* args, PyObject* kwargs) {
    PyObject* path_object = nullptr;
    parse_arguments(args, kwargs, "O:open", kPath, &path_object);
    std::string path = str_arg(path_object, {"open", "path"});
    std::string data = read_file(path);
    Document document = Document::parse(data);
    return make_instance(State{std::move(data), std::move(path), std::move(document)});
}

Ref open_mmap(PyObject* args, PyObject* kwargs) {
    PyObject* path_object = nullptr;
    parse_arguments(args, kwargs, "O:open_mmap", kPath, &path_object);
    std::string path = str_arg(path_object, {"open_mmap", "path"});
    Document document = Document::parse_mmap_file(path);
    return make_instance(State{std::nullopt, std::move(path), std::move(document)});
}

namespace {

// Registration order is part of the interface.
PyMethodDef methods[] = {
    noargs_def<source_bytes>("source_bytes", "source_bytes($self)\n--\n\n"),
    static_def<parse>("parse", "parse(data)\n--\n\n"),
    static_def<open>("open", "open(path)\n--\n\n"),
    static_def<open_mmap>("open_mmap", "open_mmap(path)\n--\n\n"),
    noargs_def<version>("version", "version($self)\n--\n\n"),
    noargs_def<effective_version>("effective_version", "effective_version($self)\n--\n\n"),
    noargs_def<page_count>("page_count", "page_count($self)\n--\n\n"),
    noargs_def<object_count>("object_count", "object_count($self)\n--\n\n"),
    noargs_def<xref>("xref", "xref($self)\n--\n\n"),
    noargs_def<objects>("objects", "objects($self)\n--\n\n"),
    args_def<object>("object", "object($self, number, generation=0)\n--\n\n"),
    args_def<object_text>("object_text", "object_text($self, number, generation=0)\n--\n\n"),
    noargs_def<dump_objects>("dump_objects", "dump_objects($self)\n--\n\n"),
    noargs_def<text>("text", "text($self)\n--\n\n"),
    noargs_def<references_text>("references_text", "references_text($self)\n--\n\n"),
    noargs_def<to_markdown>("to_markdown", "to_markdown($self)\n--\n\n"),
    args_def<page_chunks>("page_chunks", "page_chunks($self, include_fonts=False, include_images=False)\n--\n\n"),
    args_def<llm_document>("llm_document",
                           "llm_document($self, include_text=True, include_images=True, include_links=True, "
                           "include_annotations=True, ocr=\"auto\")\n--\n\n"),
    args_def<llm_chunks>("llm_chunks",
                         "llm_chunks($self, include_text=True, include_images=True, include_links=True, "
                         "include_annotations=True, ocr=\"auto\")\n--\n\n"),
    args_def<ocr_requests>("ocr_requests", "ocr_requests($self, ocr=\"auto\")\n--\n\n"),
    args_def<with_metadata>("with_metadata",
                            "with_metadata($self, title=None, author=None, subject=None, keywords=None, "
                            "creator=None, producer=None)\n--\n\n"),
    args_def<with_text_annotation>("with_text_annotation",
                                   "with_text_annotation($self, page_index, rect, contents)\n--\n\n"),
    args_def<with_uri_link>("with_uri_link", "with_uri_link($self, page_index, rect, uri)\n--\n\n"),
    noargs_def<page_texts>("page_texts", "page_texts($self)\n--\n\n"),
    args_def<page_text>("page_text", "page_text($self, index)\n--\n\n"),
    noargs_def<pages>("pages", "pages($self)\n--\n\n"),
    noargs_def<page_labels>("page_labels", "page_labels($self)\n--\n\n"),
    noargs_def<metadata>("metadata", "metadata($self)\n--\n\n"),
    noargs_def<metadata_xml>("metadata_xml", "metadata_xml($self)\n--\n\n"),
    noargs_def<outlines>("outlines", "outlines($self)\n--\n\n"),
    args_def<page_annotations>("page_annotations", "page_annotations($self, index)\n--\n\n"),
    args_def<page_links>("page_links", "page_links($self, index)\n--\n\n"),
    args_def<page_fonts>("page_fonts", "page_fonts($self, index, include_data=False)\n--\n\n"),
    args_def<fonts>("fonts", "fonts($self, include_data=False)\n--\n\n"),
    args_def<page_images>("page_images", "page_images($self, index, include_data=False, include_pnm=False)\n--\n\n"),
    args_def<images>("images", "images($self, include_data=False, include_pnm=False)\n--\n\n"),
    noargs_def<named_destinations>("named_destinations", "named_destinations($self)\n--\n\n"),
    args_def<embedded_files>("embedded_files", "embedded_files($self, include_data=False)\n--\n\n"),
    noargs_def<form_fields>("form_fields", "form_fields($self)\n--\n\n"),
    // Beyond the specified methods: text with positions.
    args_def<page_words>("page_words", "page_words($self, index)\n--\n\n"),
    args_def<page_layout_text>("page_layout_text", "page_layout_text($self, index)\n--\n\n"),
    noargs_def<page_layout_texts>("page_layout_texts", "page_layout_texts($self)\n--\n\n"),
    noargs_def<layout_text>("layout_text", "layout_text($self)\n--\n\n"),
    {nullptr, nullptr, 0, nullptr},
};

PyObject* document_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        PyObject* data = nullptr;
        parse_arguments(args, kwargs, "O:Document", kData, &data);
        return from_bytes(data, "Document");
    });
}

void document_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::launder(reinterpret_cast<State*>(reinterpret_cast<PyDocument*>(self)->storage))->~State();
    auto free_memory = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_memory(self);
    Py_DECREF(type);
}

PyType_Slot slots[] = {
    {Py_tp_doc, const_cast<char*>("Document(data)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(&document_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(&document_dealloc)},
    {Py_tp_methods, methods},
    {0, nullptr},
};

// No BASETYPE: not subclassable. No dict or weakref offsets: neither slot exists.
PyType_Spec spec = {
    "quarvel.Document",
    static_cast<int>(sizeof(PyDocument)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
    slots,
};

PyObject* the_type = nullptr;

}  // namespace

PyObject* document_type() {
    if (the_type == nullptr) the_type = PyType_FromSpec(&spec);
    return the_type;
}

}  // namespace quarvel::python
