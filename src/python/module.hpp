// Pieces the module's execution hook puts together.
#pragma once

#include "pyref.hpp"

namespace quarvel::python {

// The Document type, created on first use and kept for the life of the process.
PyObject* document_type();

// write_text_pdf and any later module-level functions; only write_text_pdf is in __all__.
extern PyMethodDef module_functions[];

// limits.cpp: set_decoded_size_limit(limit).
PyObject* set_decoded_size_limit(PyObject* module, PyObject* args, PyObject* kwargs);

}  // namespace quarvel::python
