// The Python class Document: one parsed PDF plus what is needed to get its bytes back.

#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert.hpp"
#include "document.hpp"
#include "file.hpp"
#include "inspect.hpp"
#include "module.hpp"
#include "records.hpp"

namespace quarvel::python {

namespace {

struct State {
    std::optional<std::string> source_data;
    std::optional<std::string> source_path;
    Document document;
};

struct PyDocument {
    PyObject_HEAD
    alignas(State) unsigned char storage[sizeof(State)];
};

const State& state_of(PyObject* self) {
    return *std::launder(reinterpret_cast<const State*>(reinterpret_cast<PyDocument*>(self)->storage));
}

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

std::string source_of(const State& state) {
    if (state.source_data) return *state.source_data;
    if (state.source_path) return read_file(*state.source_path);
    raise(PyExc_ValueError, "original PDF bytes are not available");
}

// Page-indexed methods report a broken page tree before a bad index.
template <class Use>
Ref with_page(const State& state, std::size_t index, Use&& use) {
    std::vector<PageRecord> pages = state.document.pages();
    if (index >= pages.size()) raise(PyExc_ValueError, "page index out of range");
    return use(pages[index]);
}

const char* const kData[] = {"data", nullptr};
const char* const kPath[] = {"path", nullptr};
const char* const kObjectId[] = {"number", "generation", nullptr};
const char* const kIndex[] = {"index", nullptr};

ObjectId object_id_args(PyObject* args, PyObject* kwargs, const char* format, const char* function) {
    PyObject* number = nullptr;
    PyObject* generation = nullptr;
    parse_arguments(args, kwargs, format, kObjectId, &number, &generation);
    std::uint32_t n = u32_arg(number, {function, "number"});
    return ObjectId{n, u16_arg(generation, {function, "generation"}, 0)};
}

// Constructors.

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

// Methods without arguments.

Ref source_bytes(const State& s) {
    if (s.source_data) return new_bytes(*s.source_data);
    return new_bytes(source_of(s));
}

Ref version_tuple(PdfVersion version) { return new_tuple2(new_uint(version.major), new_uint(version.minor)); }

Ref version(const State& s) { return version_tuple(s.document.version); }
Ref effective_version(const State& s) { return version_tuple(s.document.effective_version()); }
Ref page_count(const State& s) { return new_uint(s.document.page_count()); }
Ref object_count(const State& s) { return new_uint(s.document.objects.size()); }

Ref xref(const State& s) {
    Ref list = new_list();
    for (const auto& [id, entry] : s.document.xref) append(list, xref_dict(id, entry));
    return list;
}

Ref objects(const State& s) {
    Ref list = new_list();
    for (const auto& [id, object] : s.document.objects)
        append(list, object_dict(PdfObjectSummary(id, object, s.document.xref.find(id))));
    return list;
}

Ref dump_objects(const State& s) { return new_str(s.document.dump_objects()); }
Ref text(const State& s) { return new_str(s.document.text()); }
Ref references_text(const State& s) {
    std::optional<std::string> section = s.document.references_text();
    return section ? new_str(*section) : new_none();
}

Ref page_texts(const State& s) {
    std::vector<std::string> texts = s.document.page_texts();
    Ref list = new_list();
    for (const std::string& page : texts) append(list, new_str(page));
    return list;
}

Ref pages(const State& s) {
    std::vector<PageRecord> records = s.document.pages();
    Ref list = new_list();
    for (std::size_t i = 0; i < records.size(); ++i) append(list, page_dict(i, records[i]));
    return list;
}

// Methods with arguments.

Ref object(const State& s, PyObject* args, PyObject* kwargs) {
    return object_dict(s.document.object_summary(object_id_args(args, kwargs, "O|O:object", "object")));
}

Ref object_text(const State& s, PyObject* args, PyObject* kwargs) {
    ObjectId id = object_id_args(args, kwargs, "O|O:object_text", "object_text");
    const Object* found = s.document.find(id);
    if (found == nullptr) throw PdfError::dangling_reference(id);
    return new_str(object_to_text(*found));
}

Ref page_text(const State& s, PyObject* args, PyObject* kwargs) {
    PyObject* index = nullptr;
    parse_arguments(args, kwargs, "O:page_text", kIndex, &index);
    std::size_t i = index_arg(index, {"page_text", "index"});
    return with_page(s, i, [&](const PageRecord& page) { return new_str(s.document.page_text(page)); });
}

// Adapters from the plain functions above to the CPython calling conventions.

using StaticImpl = Ref (*)(PyObject*, PyObject*);
using NoArgsImpl = Ref (*)(const State&);
using ArgsImpl = Ref (*)(const State&, PyObject*, PyObject*);

template <StaticImpl F>
PyObject* static_method(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] { return F(args, kwargs); });
}

template <NoArgsImpl F>
PyObject* noargs_method(PyObject* self, PyObject*) {
    return guarded([&] { return F(state_of(self)); });
}

template <ArgsImpl F>
PyObject* args_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&] { return F(state_of(self), args, kwargs); });
}

template <StaticImpl F>
PyMethodDef static_def(const char* name, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&static_method<F>)),
            METH_VARARGS | METH_KEYWORDS | METH_STATIC, doc};
}

template <NoArgsImpl F>
PyMethodDef noargs_def(const char* name, const char* doc) {
    return {name, &noargs_method<F>, METH_NOARGS, doc};
}

template <ArgsImpl F>
PyMethodDef args_def(const char* name, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&args_method<F>)),
            METH_VARARGS | METH_KEYWORDS, doc};
}

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
    noargs_def<page_texts>("page_texts", "page_texts($self)\n--\n\n"),
    args_def<page_text>("page_text", "page_text($self, index)\n--\n\n"),
    noargs_def<pages>("pages", "pages($self)\n--\n\n"),
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
