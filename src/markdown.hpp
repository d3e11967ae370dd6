// Markdown of a whole document, and the document cut into per-page chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "document.hpp"
#include "metadata.hpp"
#include "outline.hpp"

namespace quarvel {

struct MarkdownOptions {
    bool include_metadata = true;
    bool include_outline = true;
    bool include_page_headings = true;
    bool include_references = true;
};

struct MarkdownPageChunk {
    std::string page_label;
    std::string text;  // as extracted, untrimmed
    DocumentMetadata metadata;
    std::uint64_t page_index = 0;
    std::uint64_t page_number = 0;
    ObjectId page_id;
};

// Throws the metadata, page-list or text error; a broken outline only drops its section.
std::string document_to_markdown(const Document& document, MarkdownOptions options);
std::vector<MarkdownPageChunk> document_to_markdown_chunks(const Document& document);

// One list line: two spaces per level, "- ", the title as stored. The outline comes flat,
// children right after their parent, so the items are pushed in order.
void push_outline_item(std::string& out, const OutlineItem& item, std::size_t depth);

}  // namespace quarvel
