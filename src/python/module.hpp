// Pieces the module's execution hook puts together.
#pragma once

#include "pyref.hpp"

namespace quarvel::python {

// The Document type, created on first use and kept for the life of the process.
PyObject* document_type();

// write_text_pdf and any later module-level functions.
extern PyMethodDef module_functions[];

}  // namespace quarvel::python
