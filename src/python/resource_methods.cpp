// Methods over page resources: fonts and images.

#include <string>
#include <utility>
#include <vector>

#include "font.hpp"
#include "image.hpp"
#include "methods.hpp"
#include "records.hpp"

namespace quarvel::python {

namespace {

struct Flags {
    bool include_data = false;
    bool include_pnm = false;
};

// [`index`,] `include_data`[, `include_pnm`], converted in signature order.
std::pair<std::size_t, Flags> resource_args(PyObject* args, PyObject* kwargs, const char* function, bool indexed,
                                            bool pnm) {
    std::vector<const char*> names;
    if (indexed) names.push_back("index");
    names.push_back("include_data");
    if (pnm) names.push_back("include_pnm");
    names.push_back(nullptr);
    const std::string format = std::string(indexed ? "O|O" : "|O") + (pnm ? "O:" : ":") + function;
    PyObject* values[3] = {};
    parse_arguments(args, kwargs, format.c_str(), names.data(), &values[0], &values[1], &values[2]);

    PyObject** next = values;
    std::pair<std::size_t, Flags> out{0, {}};
    if (indexed) out.first = index_arg(*next++, {function, "index"});
    out.second.include_data = bool_arg(*next++, {function, "include_data"}, false);
    if (pnm) out.second.include_pnm = bool_arg(*next, {function, "include_pnm"}, false);
    return out;
}

using AppendPage = void (*)(const Document&, const PageRecord&, std::optional<PagePlace>, Flags, const Ref&);

void append_fonts(const Document& document, const PageRecord& page, std::optional<PagePlace> place, Flags flags,
                  const Ref& list) {
    for (const PageFont& font : page_fonts(document, page))
        append(list, font_dict(document, font, place, flags.include_data));
}

void append_images(const Document& document, const PageRecord& page, std::optional<PagePlace> place, Flags flags,
                   const Ref& list) {
    for (const PageImage& image : page_images(document, page))
        append(list, image_dict(image, place, flags.include_data, flags.include_pnm));
}

template <AppendPage Each>
Ref one_page(const State& s, PyObject* args, PyObject* kwargs, const char* function, bool pnm) {
    const auto [index, flags] = resource_args(args, kwargs, function, true, pnm);
    return with_page(s, index, [&](const PageRecord& page) {
        Ref list = new_list();
        Each(s.document, page, std::nullopt, flags, list);
        return list;
    });
}

// Flat over the pages, each entry carrying its page's index and id.
template <AppendPage Each>
Ref all_pages(const State& s, PyObject* args, PyObject* kwargs, const char* function, bool pnm) {
    const Flags flags = resource_args(args, kwargs, function, false, pnm).second;
    const std::vector<PageRecord> pages = s.document.pages();
    Ref list = new_list();
    for (std::size_t i = 0; i < pages.size(); ++i) Each(s.document, pages[i], PagePlace{i, pages[i].id}, flags, list);
    return list;
}

}  // namespace

Ref page_fonts(const State& s, PyObject* args, PyObject* kwargs) {
    return one_page<append_fonts>(s, args, kwargs, "page_fonts", false);
}
Ref fonts(const State& s, PyObject* args, PyObject* kwargs) {
    return all_pages<append_fonts>(s, args, kwargs, "fonts", false);
}
Ref page_images(const State& s, PyObject* args, PyObject* kwargs) {
    return one_page<append_images>(s, args, kwargs, "page_images", true);
}
Ref images(const State& s, PyObject* args, PyObject* kwargs) {
    return all_pages<append_images>(s, args, kwargs, "images", true);
}

}  // namespace quarvel::python
