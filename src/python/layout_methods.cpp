// Methods over text with positions: words and lines from glyph positions.
// Not built yet: each method raises NotImplementedError until its feature lands.

#include "methods.hpp"

namespace quarvel::python {

namespace {

[[noreturn]] void not_built(const char* name) {
    raise(PyExc_NotImplementedError, std::string(name) + " is not built yet");
}

}  // namespace

Ref page_layout_texts(const State&) { not_built("page_layout_texts"); }
Ref layout_text(const State&) { not_built("layout_text"); }
Ref page_words(const State&, PyObject*, PyObject*) { not_built("page_words"); }
Ref page_layout_text(const State&, PyObject*, PyObject*) { not_built("page_layout_text"); }

}  // namespace quarvel::python
