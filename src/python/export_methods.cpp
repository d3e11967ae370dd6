// Methods that export the document for language models: the LLM document, OCR
// requests, Markdown and page chunks.

#include <optional>
#include <utility>
#include <vector>

#include "font.hpp"
#include "image.hpp"
#include "llm.hpp"
#include "markdown.hpp"
#include "methods.hpp"
#include "records.hpp"

namespace quarvel::python {

namespace {

OcrMode ocr_arg(PyObject* object, Arg arg) {
    if (object == nullptr) return OcrMode::Auto;
    const std::optional<OcrMode> mode = parse_ocr_mode(str_arg(object, arg));
    if (!mode) raise(PyExc_ValueError, "ocr must be one of 'off', 'auto', or 'always'");
    return *mode;
}

// The five arguments of llm_document and llm_chunks, converted in signature order.
LlmOptions llm_args(PyObject* args, PyObject* kwargs, const char* format, const char* function) {
    static const char* const names[] = {"include_text", "include_images", "include_links", "include_annotations",
                                        "ocr", nullptr};
    PyObject* values[5] = {};
    parse_arguments(args, kwargs, format, names, &values[0], &values[1], &values[2], &values[3], &values[4]);
    LlmOptions options;
    options.include_text = bool_arg(values[0], {function, names[0]}, true);
    options.include_images = bool_arg(values[1], {function, names[1]}, true);
    options.include_links = bool_arg(values[2], {function, names[2]}, true);
    options.include_annotations = bool_arg(values[3], {function, names[3]}, true);
    options.ocr = ocr_arg(values[4], {function, names[4]});
    return options;
}

Ref ocr_request_dict(const OcrRequest& request) {
    return DictBuilder()
        .set("id", new_str(request.id))
        .set("target", new_str(ocr_target_text(request.target)))
        .set("page_index", new_uint(request.page_index))
        .set("page_number", new_uint(request.page_number))
        .set("page_id", new_str(request.page_id.reference_string()))
        .set("object_id", optional_id(request.object_id))
        .set("resource_path", optional_text(request.resource_path))
        .set("bbox", box_value(request.bbox))
        .set("width", optional_int(request.width))
        .set("height", optional_int(request.height))
        .set("reason", new_str(ocr_reason_text(request.reason)))
        .set("suggested_dpi", new_uint(request.suggested_dpi))
        .finish();
}

Ref ocr_request_list(const std::vector<OcrRequest>& requests) {
    Ref list = new_list();
    for (const OcrRequest& request : requests) append(list, ocr_request_dict(request));
    return list;
}

Ref llm_image_dict(const LlmImage& image) {
    Ref filters = new_list();
    for (const std::string& filter : image.filters) append(filters, new_str(filter));
    return DictBuilder()
        .set("name", new_str(image.name))
        .set("resource_path", new_str(image.resource_path))
        .set("width", optional_int(image.width))
        .set("height", optional_int(image.height))
        .set("bits_per_component", optional_int(image.bits_per_component))
        .set("color_space", optional_text(image.color_space))
        .set("filters", std::move(filters))
        .set("encoded_length", new_uint(image.encoded_length))
        .finish();
}

Ref llm_block_dict(const LlmBlock& block) {
    return DictBuilder()
        .set("id", new_str(block.id))
        .set("kind", new_str(llm_block_kind_text(block.kind)))
        .set("page_index", new_uint(block.page_index))
        .set("bbox", box_value(block.bbox))
        .set("text", optional_text(block.text))
        .set("html", optional_text(block.html))
        .set("markdown", optional_text(block.markdown))
        .set("object_id", optional_id(block.object_id))
        .set("target", optional_text(block.target))
        .set("image", block.image ? llm_image_dict(*block.image) : new_none())
        .set("ocr_request", block.ocr_request ? ocr_request_dict(*block.ocr_request) : new_none())
        .finish();
}

Ref llm_page_dict(const LlmPageChunk& page) {
    Ref blocks = new_list();
    for (const LlmBlock& block : page.blocks) append(blocks, llm_block_dict(block));
    return DictBuilder()
        .set("page_index", new_uint(page.page_index))
        .set("page_number", new_uint(page.page_number))
        .set("page_label", new_str(page.page_label))
        .set("page_id", new_str(page.page_id.reference_string()))
        .set("media_box", box_value(page.media_box))
        .set("crop_box", box_value(page.crop_box))
        .set("rotate", optional_int(page.rotate))
        .set("text", new_str(page.text))
        .set("metadata", metadata_dict(page.metadata))
        .set("blocks", std::move(blocks))
        .finish();
}

Ref llm_page_list(const std::vector<LlmPageChunk>& pages) {
    Ref list = new_list();
    for (const LlmPageChunk& page : pages) append(list, llm_page_dict(page));
    return list;
}

}  // namespace

Ref to_markdown(const State& s) { return new_str(document_to_markdown(s.document, MarkdownOptions{})); }

Ref page_chunks(const State& s, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"include_fonts", "include_images", nullptr};
    PyObject* values[2] = {};
    parse_arguments(args, kwargs, "|OO:page_chunks", names, &values[0], &values[1]);
    const bool include_fonts = bool_arg(values[0], {"page_chunks", names[0]}, false);
    const bool include_images = bool_arg(values[1], {"page_chunks", names[1]}, false);

    const std::vector<MarkdownPageChunk> chunks = document_to_markdown_chunks(s.document);
    std::vector<PageRecord> pages;
    if (include_fonts || include_images) pages = s.document.pages();
    Ref list = new_list();
    for (const MarkdownPageChunk& chunk : chunks) {
        DictBuilder dict;
        dict.set("page_index", new_uint(chunk.page_index))
            .set("page_number", new_uint(chunk.page_number))
            .set("page_label", new_str(chunk.page_label))
            .set("page_id", new_str(chunk.page_id.reference_string()))
            .set("text", new_str(chunk.text))
            .set("metadata", metadata_dict(chunk.metadata));
        if (include_fonts || include_images) {
            if (chunk.page_index >= pages.size()) raise(PyExc_ValueError, "page index out of range");
            const PageRecord& page = pages[chunk.page_index];
            const PagePlace place{static_cast<std::size_t>(chunk.page_index), page.id};
            if (include_fonts) {
                Ref fonts = new_list();
                for (const PageFont& font : page_fonts(s.document, page))
                    append(fonts, font_dict(s.document, font, place, false));
                dict.set("fonts", std::move(fonts));
            }
            if (include_images) {
                Ref images = new_list();
                for (const PageImage& image : page_images(s.document, page))
                    append(images, image_dict(image, place, false, false));
                dict.set("images", std::move(images));
            }
        }
        append(list, dict.finish());
    }
    return list;
}

Ref llm_document(const State& s, PyObject* args, PyObject* kwargs) {
    const LlmOptions options = llm_args(args, kwargs, "|OOOOO:llm_document", "llm_document");
    const LlmDocument document = document_to_llm(s.document, options);
    return DictBuilder()
        .set("metadata", metadata_dict(document.metadata))
        .set("pages", llm_page_list(document.pages))
        .set("ocr_requests", ocr_request_list(document.ocr_requests))
        .finish();
}

Ref llm_chunks(const State& s, PyObject* args, PyObject* kwargs) {
    const LlmOptions options = llm_args(args, kwargs, "|OOOOO:llm_chunks", "llm_chunks");
    return llm_page_list(document_to_llm(s.document, options).pages);
}

Ref ocr_requests(const State& s, PyObject* args, PyObject* kwargs) {
    static const char* const names[] = {"ocr", nullptr};
    PyObject* ocr = nullptr;
    parse_arguments(args, kwargs, "|O:ocr_requests", names, &ocr);
    LlmOptions options;
    options.ocr = ocr_arg(ocr, {"ocr_requests", "ocr"});
    return ocr_request_list(document_to_llm(s.document, options).ocr_requests);
}

}  // namespace quarvel::python
