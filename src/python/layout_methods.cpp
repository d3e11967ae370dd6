// Methods over text with positions: words and lines from glyph positions.

#include <string>
#include <vector>

#include "layout.hpp"
#include "methods.hpp"

namespace quarvel::python {

namespace {

// Pages hold thousands of words: the keys and font names are made once per call.
Ref word_list(const PageWords& page) {
    static const char* const kKeys[] = {"text", "bbox", "font", "size", "line"};
    Ref keys[5];
    for (std::size_t k = 0; k < 5; ++k) keys[k] = Ref::steal(PyUnicode_InternFromString(kKeys[k]));
    std::vector<Ref> fonts;
    fonts.reserve(page.fonts.size());
    for (const auto& name : page.fonts) fonts.push_back(name ? new_str(*name) : new_none());
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(page.words.size())));
    for (std::size_t i = 0; i < page.words.size(); ++i) {
        const Word& w = page.words[i];
        Ref bbox = Ref::steal(PyList_New(4));
        const double box[4] = {w.x0, w.top, w.x1, w.bottom};
        for (Py_ssize_t k = 0; k < 4; ++k) check(PyList_SetItem(bbox.get(), k, new_float(box[k]).release()));
        Ref values[5] = {new_str(w.text), std::move(bbox), Ref::borrow(fonts[w.font].get()), new_float(w.size),
                         new_uint(w.line)};
        Ref dict = Ref::steal(PyDict_New());
        for (std::size_t k = 0; k < 5; ++k) check(PyDict_SetItem(dict.get(), keys[k].get(), values[k].get()));
        check(PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), dict.release()));
    }
    return list;
}

}  // namespace

Ref page_words(const State& s, PyObject* args, PyObject* kwargs) {
    std::size_t i = page_index_args(args, kwargs, "O:page_words", "page_words");
    return with_page(s, i, [&](const PageRecord& page) { return word_list(quarvel::page_words(s.document, page)); });
}

Ref page_layout_text(const State& s, PyObject* args, PyObject* kwargs) {
    std::size_t i = page_index_args(args, kwargs, "O:page_layout_text", "page_layout_text");
    return with_page(s, i,
                     [&](const PageRecord& page) { return new_str(quarvel::page_layout_text(s.document, page)); });
}

Ref page_layout_texts(const State& s) {
    std::vector<std::string> texts = quarvel::page_layout_texts(s.document);
    Ref list = new_list();
    for (const std::string& page : texts) append(list, new_str(page));
    return list;
}

Ref layout_text(const State& s) { return new_str(quarvel::layout_text(s.document)); }

}  // namespace quarvel::python
