// Methods that return an incrementally updated copy of the source bytes.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "incremental.hpp"
#include "methods.hpp"

namespace quarvel::python {

namespace {

// The kept copy is the very input the open document was parsed from, so the edit takes
// both as they are; a document opened by mapping reads its file again and the edit loads it.
template <class Use>
Ref with_source(const State& s, Use&& use) {
    if (s.source_data) return new_bytes(use(std::string_view(*s.source_data), &s.document));
    const std::string bytes = source_of(s);
    return new_bytes(use(std::string_view(bytes), nullptr));
}

struct AnnotationArgs {
    std::size_t page_index;
    AnnotationRect rect;
    std::string text;
};

// page_index, rect and one str; the rect's length is checked once all three have their
// types, and before its items are read: a sequence may claim any length.
AnnotationArgs annotation_args(PyObject* args, PyObject* kwargs, const char* format, const char* function,
                               const char* text_name) {
    const char* const names[] = {"page_index", "rect", text_name, nullptr};
    PyObject* page_index = nullptr;
    PyObject* rect = nullptr;
    PyObject* text = nullptr;
    parse_arguments(args, kwargs, format, names, &page_index, &rect, &text);
    AnnotationArgs out{index_arg(page_index, {function, "page_index"}), {}, {}};
    const Py_ssize_t rect_size = number_sequence_size(rect, {function, "rect"});
    out.text = str_arg(text, {function, text_name});
    const auto four = static_cast<Py_ssize_t>(out.rect.size());
    if (rect_size != four) raise(PyExc_ValueError, "rect must contain exactly four numbers");
    // Read again: __len__ may answer differently the second time.
    std::vector<double> numbers = number_sequence_arg(rect, {function, "rect"});
    if (numbers.size() != out.rect.size()) raise(PyExc_ValueError, "rect must contain exactly four numbers");
    std::copy(numbers.begin(), numbers.end(), out.rect.begin());
    return out;
}

const char* const kMetadata[] = {"title", "author", "subject", "keywords", "creator", "producer", nullptr};

}  // namespace

Ref with_metadata(const State& s, PyObject* args, PyObject* kwargs) {
    PyObject* values[6] = {};
    parse_arguments(args, kwargs, "|OOOOOO:with_metadata", kMetadata, &values[0], &values[1], &values[2], &values[3],
                    &values[4], &values[5]);
    MetadataUpdate update;
    std::optional<std::string> MetadataUpdate::*const fields[] = {
        &MetadataUpdate::title,   &MetadataUpdate::author,  &MetadataUpdate::subject,
        &MetadataUpdate::keywords, &MetadataUpdate::creator, &MetadataUpdate::producer};
    for (std::size_t i = 0; i < 6; ++i) update.*fields[i] = optional_str_arg(values[i], {"with_metadata", kMetadata[i]});
    return with_source(s, [&](std::string_view source, const Document* parsed) {
        return update_metadata_incremental(source, update, parsed);
    });
}

Ref with_text_annotation(const State& s, PyObject* args, PyObject* kwargs) {
    AnnotationArgs a =
        annotation_args(args, kwargs, "OOO:with_text_annotation", "with_text_annotation", "contents");
    return with_source(s, [&](std::string_view source, const Document* parsed) {
        return add_text_annotation_incremental(source, a.page_index, a.rect, a.text, parsed);
    });
}

Ref with_uri_link(const State& s, PyObject* args, PyObject* kwargs) {
    AnnotationArgs a = annotation_args(args, kwargs, "OOO:with_uri_link", "with_uri_link", "uri");
    return with_source(s, [&](std::string_view source, const Document* parsed) {
        return add_uri_link_incremental(source, a.page_index, a.rect, a.text, parsed);
    });
}

}  // namespace quarvel::python
