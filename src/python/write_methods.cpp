// Methods that return an incrementally updated copy of the source bytes.
// Not built yet: each method raises NotImplementedError until its feature lands.

#include "methods.hpp"

namespace quarvel::python {

namespace {

[[noreturn]] void not_built(const char* name) {
    raise(PyExc_NotImplementedError, std::string(name) + " is not built yet");
}

}  // namespace

Ref with_metadata(const State&, PyObject*, PyObject*) { not_built("with_metadata"); }
Ref with_text_annotation(const State&, PyObject*, PyObject*) { not_built("with_text_annotation"); }
Ref with_uri_link(const State&, PyObject*, PyObject*) { not_built("with_uri_link"); }

}  // namespace quarvel::python
