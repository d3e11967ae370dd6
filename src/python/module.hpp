// Pieces the module's execution hook puts together.
#pragma once

#include "pyref.hpp"

namespace quarvel::python {

// The Document type, created on first use and kept for the life of the process.
PyObject* document_type();

// write_text_pdf and any later module-level functions.
extern PyMethodDef module_functions[];

// Module-level hooks for the pure-Python modules beside the extension; not in __all__.
extern PyMethodDef private_functions[];
// _set_trace_hook(callback, level), for the logging bridge.
PyObject* set_trace_hook(PyObject* module, PyObject* args, PyObject* kwargs);
// limits.cpp: set_decoded_size_limit(limit), public but not in __all__.
extern PyMethodDef limit_functions[];

}  // namespace quarvel::python
