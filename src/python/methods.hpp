// Every method of the Python Document, one small function each, grouped by file.
#pragma once

#include "document_state.hpp"

namespace quarvel::python {

// document_type.cpp: constructors.
Ref parse(PyObject* args, PyObject* kwargs);
Ref open(PyObject* args, PyObject* kwargs);
Ref open_mmap(PyObject* args, PyObject* kwargs);

// structure_methods.cpp: the file, its objects, pages and text.
Ref source_bytes(const State& s);
Ref version(const State& s);
Ref effective_version(const State& s);
Ref page_count(const State& s);
Ref object_count(const State& s);
Ref xref(const State& s);
Ref objects(const State& s);
Ref object(const State& s, PyObject* args, PyObject* kwargs);
Ref object_text(const State& s, PyObject* args, PyObject* kwargs);
Ref dump_objects(const State& s);
Ref text(const State& s);
Ref references_text(const State& s);
Ref page_texts(const State& s);
Ref page_text(const State& s, PyObject* args, PyObject* kwargs);
Ref pages(const State& s);

// navigation_methods.cpp: metadata, labels, outlines, annotations, links,
// destinations, attachments and form fields.
Ref metadata(const State& s);
Ref metadata_xml(const State& s);
Ref page_labels(const State& s);
Ref outlines(const State& s);
Ref page_annotations(const State& s, PyObject* args, PyObject* kwargs);
Ref page_links(const State& s, PyObject* args, PyObject* kwargs);
Ref named_destinations(const State& s);
Ref embedded_files(const State& s, PyObject* args, PyObject* kwargs);
Ref form_fields(const State& s);

// resource_methods.cpp: fonts and images.
Ref page_fonts(const State& s, PyObject* args, PyObject* kwargs);
Ref fonts(const State& s, PyObject* args, PyObject* kwargs);
Ref page_images(const State& s, PyObject* args, PyObject* kwargs);
Ref images(const State& s, PyObject* args, PyObject* kwargs);

// export_methods.cpp: the LLM document, OCR requests, Markdown and page chunks.
Ref to_markdown(const State& s);
Ref page_chunks(const State& s, PyObject* args, PyObject* kwargs);
Ref llm_document(const State& s, PyObject* args, PyObject* kwargs);
Ref llm_chunks(const State& s, PyObject* args, PyObject* kwargs);
Ref ocr_requests(const State& s, PyObject* args, PyObject* kwargs);

// write_methods.cpp: incremental updates of the source bytes.
Ref with_metadata(const State& s, PyObject* args, PyObject* kwargs);
Ref with_text_annotation(const State& s, PyObject* args, PyObject* kwargs);
Ref with_uri_link(const State& s, PyObject* args, PyObject* kwargs);

// layout_methods.cpp: words and lines from glyph positions.
Ref page_words(const State& s, PyObject* args, PyObject* kwargs);
Ref page_layout_text(const State& s, PyObject* args, PyObject* kwargs);
Ref page_layout_texts(const State& s);
Ref layout_text(const State& s);

}  // namespace quarvel::python
