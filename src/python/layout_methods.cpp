// Methods over text with positions: words and lines from glyph positions.

#include <string>
#include <vector>

#include "layout.hpp"
#include "methods.hpp"

namespace quarvel::python {

namespace {

Ref word_list(const PageWords& page) {
    // One str per font, shared by its words.
    std::vector<Ref> fonts;
    fonts.reserve(page.fonts.size());
    for (const auto& name : page.fonts) fonts.push_back(name ? new_str(*name) : new_none());
    Ref list = new_list();
    for (const Word& w : page.words) {
        Ref bbox = new_list();
        for (double v : {w.x0, w.top, w.x1, w.bottom}) append(bbox, new_float(v));
        append(list, DictBuilder()
                         .set("text", new_str(w.text))
                         .set("bbox", std::move(bbox))
                         .set("font", Ref::borrow(fonts[w.font].get()))
                         .set("size", new_float(w.size))
                         .set("line", new_uint(w.line))
                         .finish());
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
