// Methods over page resources: fonts and images.
// Not built yet: each method raises NotImplementedError until its feature lands.

#include "methods.hpp"

namespace quarvel::python {

namespace {

[[noreturn]] void not_built(const char* name) {
    raise(PyExc_NotImplementedError, std::string(name) + " is not built yet");
}

}  // namespace

Ref page_fonts(const State&, PyObject*, PyObject*) { not_built("page_fonts"); }
Ref fonts(const State&, PyObject*, PyObject*) { not_built("fonts"); }
Ref page_images(const State&, PyObject*, PyObject*) { not_built("page_images"); }
Ref images(const State&, PyObject*, PyObject*) { not_built("images"); }

}  // namespace quarvel::python
