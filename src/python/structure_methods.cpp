// Methods over the file structure, the objects, the pages and the page text.

#include <optional>
#include <string>
#include <vector>

#include "file.hpp"
#include "inspect.hpp"
#include "methods.hpp"
#include "records.hpp"
#include "text.hpp"

namespace quarvel::python {

namespace {

const char* const kObjectId[] = {"number", "generation", nullptr};

ObjectId object_id_args(PyObject* args, PyObject* kwargs, const char* format, const char* function) {
    PyObject* number = nullptr;
    PyObject* generation = nullptr;
    parse_arguments(args, kwargs, format, kObjectId, &number, &generation);
    std::uint32_t n = u32_arg(number, {function, "number"});
    return ObjectId{n, u16_arg(generation, {function, "generation"}, 0)};
}

Ref version_tuple(PdfVersion version) { return new_tuple2(new_uint(version.major), new_uint(version.minor)); }

}  // namespace

std::string source_of(const State& state) {
    if (state.source_data) return *state.source_data;
    if (state.source_path) return read_file(*state.source_path);
    raise(PyExc_ValueError, "original PDF bytes are not available");
}

std::size_t page_index_args(PyObject* args, PyObject* kwargs, const char* format, const char* function) {
    static const char* const names[] = {"index", nullptr};
    PyObject* index = nullptr;
    parse_arguments(args, kwargs, format, names, &index);
    return index_arg(index, {function, "index"});
}

Ref source_bytes(const State& s) {
    if (s.source_data) return new_bytes(*s.source_data);
    return new_bytes(source_of(s));
}

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

Ref object(const State& s, PyObject* args, PyObject* kwargs) {
    return object_dict(object_summary(s.document, object_id_args(args, kwargs, "O|O:object", "object")));
}

Ref object_text(const State& s, PyObject* args, PyObject* kwargs) {
    ObjectId id = object_id_args(args, kwargs, "O|O:object_text", "object_text");
    const Object* found = s.document.find(id);
    if (found == nullptr) throw PdfError::dangling_reference(id);
    return new_str(object_to_text(*found));
}

Ref dump_objects(const State& s) { return new_str(quarvel::dump_objects(s.document)); }
Ref text(const State& s) { return new_str(quarvel::text(s.document)); }

Ref references_text(const State& s) {
    std::optional<std::string> section = quarvel::references_text(s.document);
    return section ? new_str(*section) : new_none();
}

Ref page_texts(const State& s) {
    std::vector<std::string> texts = quarvel::page_texts(s.document);
    Ref list = new_list();
    for (const std::string& page : texts) append(list, new_str(page));
    return list;
}

Ref page_text(const State& s, PyObject* args, PyObject* kwargs) {
    std::size_t i = page_index_args(args, kwargs, "O:page_text", "page_text");
    return with_page(s, i, [&](const PageRecord& page) { return new_str(quarvel::page_text(s.document, page)); });
}

Ref pages(const State& s) {
    std::vector<PageRecord> records = s.document.pages();
    Ref list = new_list();
    for (std::size_t i = 0; i < records.size(); ++i) append(list, page_dict(i, records[i]));
    return list;
}

}  // namespace quarvel::python
