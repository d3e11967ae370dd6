// Methods that export the document for language models: the LLM document, OCR
// requests, Markdown and page chunks.
// Not built yet: each method raises NotImplementedError until its feature lands.

#include "methods.hpp"

namespace quarvel::python {

namespace {

[[noreturn]] void not_built(const char* name) {
    raise(PyExc_NotImplementedError, std::string(name) + " is not built yet");
}

}  // namespace

Ref to_markdown(const State&) { not_built("to_markdown"); }
Ref page_chunks(const State&, PyObject*, PyObject*) { not_built("page_chunks"); }
Ref llm_document(const State&, PyObject*, PyObject*) { not_built("llm_document"); }
Ref llm_chunks(const State&, PyObject*, PyObject*) { not_built("llm_chunks"); }
Ref ocr_requests(const State&, PyObject*, PyObject*) { not_built("ocr_requests"); }

}  // namespace quarvel::python
