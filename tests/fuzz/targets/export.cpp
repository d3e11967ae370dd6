// The LLM document and Markdown of a loaded document. The first byte picks the LLM
// switches (bits 0-3) and the OCR mode (the rest, modulo 3); the file follows.
#include "fuzz_target.hpp"
#include "llm.hpp"
#include "markdown.hpp"

QUARVEL_FUZZ_TARGET(export) {
    using namespace quarvel;
    fuzz::Reader reader(data);
    const unsigned char switches = reader.byte();
    const Document document = Document::parse(reader.rest());
    const std::size_t page_count = document.pages().size();

    fuzz::refusable([&] {
        const LlmOptions options{(switches & 1) != 0, (switches & 2) != 0, (switches & 4) != 0, (switches & 8) != 0,
                                 static_cast<OcrMode>((switches >> 4) % 3)};
        const LlmDocument llm = document_to_llm(document, options);
        QUARVEL_FUZZ_CHECK(llm.pages.size() == page_count);
        // Every request stands in the list once, in the order the blocks carry them.
        std::size_t held = 0;
        for (const LlmPageChunk& page : llm.pages) {
            for (const LlmBlock& block : page.blocks) {
                QUARVEL_FUZZ_CHECK(block.page_index == page.page_index && !block.html);
                if (!block.ocr_request) continue;
                QUARVEL_FUZZ_CHECK(held < llm.ocr_requests.size());
                QUARVEL_FUZZ_CHECK(block.ocr_request->id == llm.ocr_requests[held++].id);
            }
        }
        QUARVEL_FUZZ_CHECK(held == llm.ocr_requests.size());
        if (options.ocr == OcrMode::Off) QUARVEL_FUZZ_CHECK(llm.ocr_requests.empty());
    });
    fuzz::refusable([&] {
        const std::string markdown = document_to_markdown(document, {});
        QUARVEL_FUZZ_CHECK(markdown.starts_with("# "));
    });
    fuzz::refusable([&] { QUARVEL_FUZZ_CHECK(document_to_markdown_chunks(document).size() == page_count); });
}
