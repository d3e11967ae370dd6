#include "markdown.hpp"

#include <string_view>
#include <utility>

#include "llm.hpp"
#include "page_label.hpp"
#include "text.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

// A table cell: bars escaped, line breaks as HTML breaks. A carriage return (alone or
// before a line feed) ends a Markdown line as well, so it is one break too.
void push_cell(std::string& out, std::string_view value) {
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '|') {
            out += "\\|";
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out += "<br>";
        } else {
            out += c;
        }
    }
}

void push_metadata(std::string& out, const DocumentMetadata& metadata) {
    const std::pair<const char*, const std::string*> rows[] = {
        {"Author", &metadata.author},          {"Subject", &metadata.subject},
        {"Keywords", &metadata.keywords},      {"Creator", &metadata.creator},
        {"Producer", &metadata.producer},      {"Created", &metadata.creation_date},
        {"Modified", &metadata.modification_date}, {"Format", &metadata.format},
    };
    bool any = false;
    for (const auto& [label, value] : rows) {
        if (trim_white_space(*value).empty()) continue;
        if (!any) out += "## Metadata\n\n| Field | Value |\n| --- | --- |\n";
        any = true;
        out.append("|").append(label).append("|");
        push_cell(out, *value);
        out += "|\n";
    }
    if (any) out += '\n';
}

void push_outline(std::string& out, const Document& document) {
    std::vector<OutlineItem> items;
    try {
        items = outlines(document);
    } catch (const PdfError&) {
        return;  // a broken outline costs its section, not the export
    }
    if (items.empty()) return;
    out += "## Outline\n\n";
    for (const OutlineItem& item : items) push_outline_item(out, item, item.depth);
    out += '\n';
}

}  // namespace

void push_outline_item(std::string& out, const OutlineItem& item, std::size_t depth) {
    out.append(2 * depth, ' ').append("- ").append(item.title).append("\n");
}

std::string document_to_markdown(const Document& document, MarkdownOptions options) {
    const DocumentMetadata meta = metadata(document);
    std::string out = "# ";
    const std::string_view title = trim_white_space(meta.title);
    out.append(title.empty() ? std::string_view("PDF Document") : title).append("\n\n");
    if (options.include_metadata) push_metadata(out, meta);
    if (options.include_outline) push_outline(out, document);

    const std::vector<PageRecord> pages = document.pages();
    const std::vector<std::string> texts = page_texts(document, pages);
    std::string whole;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (options.include_page_headings) out.append("## Page ").append(std::to_string(i + 1)).append("\n\n");
        if (options.include_references) {
            if (!whole.empty()) whole += '\n';
            whole += texts[i];
        }
        const std::string_view trimmed = trim_white_space(texts[i]);
        if (!trimmed.empty()) out.append(trimmed).append("\n\n");
    }
    if (options.include_references) {
        if (const std::optional<std::string_view> section = extract_references_section(whole))
            out.append("## Extracted References\n\n").append(trim_white_space(*section)).append("\n");
    }
    return out;
}

std::vector<MarkdownPageChunk> document_to_markdown_chunks(const Document& document) {
    const DocumentMetadata meta = metadata(document);
    const std::vector<PageRecord> pages = document.pages();
    const std::vector<std::string> labels = page_labels(document);
    std::vector<std::string> texts = page_texts(document, pages);
    std::vector<MarkdownPageChunk> chunks;
    chunks.reserve(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        chunks.push_back(MarkdownPageChunk{page_label_or_number(labels, i), std::move(texts[i]), meta, i, i + 1,
                                           pages[i].id});
    }
    return chunks;
}

}  // namespace quarvel
