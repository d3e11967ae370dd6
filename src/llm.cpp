#include "llm.hpp"

#include <utility>

#include "destination.hpp"
#include "image.hpp"
#include "link.hpp"
#include "page_label.hpp"
#include "text.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

// "page-N" followed by `suffix`.
std::string page_id_text(std::uint64_t page_number, std::string_view suffix) {
    std::string id = "page-" + std::to_string(page_number);
    id.append(suffix);
    return id;
}

std::string numbered_id(std::uint64_t page_number, std::string_view kind, std::size_t k) {
    std::string id = page_id_text(page_number, "-");
    id.append(kind).append("-").append(std::to_string(k));
    return id;
}

LlmImage llm_image(const PageImage& image) {
    LlmImage out;
    out.width = image.width();
    out.height = image.height();
    out.bits_per_component = image.bits_per_component();
    out.name = image.name;
    out.resource_path = image.resource_path();
    out.filters = image.filters();
    out.color_space = image.color_space();
    out.encoded_length = image.stream->data.size();
    return out;
}

// Everything one page contributes, with the page's place and box already known.
class PageBuilder {
public:
    PageBuilder(const PageRecord& page, std::size_t index, const LlmOptions& options, LlmDocument& out)
        : page_(page), options_(options), out_(out), index_(index), number_(index + 1),
          media_box_(page_box(page, "MediaBox")) {}

    void add_text(const std::string& text, std::string_view trimmed) {
        if (!options_.include_text || trimmed.empty()) return;
        LlmBlock& block = add(page_id_text(number_, "-text"), LlmBlockKind::Text);
        block.bbox = media_box_;
        block.text = text;
        block.markdown = std::string(trimmed);
        block.object_id = page_.id;
    }

    // Whether the page counts as having images.
    bool add_images(const Document& document, bool has_text) {
        if (!options_.include_images) return false;
        const std::vector<PageImage> images = page_images(document, page_);
        for (std::size_t k = 1; k <= images.size(); ++k) {
            LlmImage image = llm_image(images[k - 1]);
            LlmBlock& block = add(numbered_id(number_, "image", k), LlmBlockKind::Image);
            block.markdown = "![" + image.name + "](" + image.resource_path + ")";
            block.object_id = images[k - 1].object_id;
            if (const std::optional<OcrReason> reason = image_ocr_reason(options_.ocr, has_text)) {
                OcrRequest request = new_request(block.id + "-ocr", OcrTarget::Image, *reason);
                request.object_id = block.object_id;
                request.resource_path = image.resource_path;
                request.width = image.width;
                request.height = image.height;
                block.ocr_request = request;
                out_.ocr_requests.push_back(std::move(request));
            }
            block.image = std::move(image);
        }
        return !images.empty();
    }

    void add_links(const Document& document) {
        if (!options_.include_links) return;
        const std::vector<Link> links = page_links(document, page_);
        for (std::size_t k = 1; k <= links.size(); ++k) {
            const Link& link = links[k - 1];
            LlmBlock& block = add(numbered_id(number_, "link", k), LlmBlockKind::Link);
            if (link.target) block.target = link_target_text(*link.target);
            block.bbox = annotation_rect(*link.dictionary);
            block.text = annotation_contents(*link.dictionary);
            block.markdown = block.target;
            block.object_id = link.annotation_id;
        }
    }

    void add_annotations(const Document& document) {
        if (!options_.include_annotations) return;
        const std::vector<PageAnnotation> annotations = page_annotations(document, page_);
        for (std::size_t k = 1; k <= annotations.size(); ++k) {
            const PageAnnotation& annotation = annotations[k - 1];
            const Object* subtype = annotation.dictionary->get("Subtype");
            if (subtype && subtype->is_name("Link")) continue;
            LlmBlock& block = add(numbered_id(number_, "annotation", k), LlmBlockKind::Annotation);
            block.bbox = annotation_rect(*annotation.dictionary);
            block.text = annotation_contents(*annotation.dictionary);
            block.markdown = block.text;
            block.target = annotation_subtype(*annotation.dictionary);
            block.object_id = annotation.id;
        }
    }

    void add_placeholder(bool has_text, bool has_images) {
        const std::optional<OcrReason> reason = page_ocr_reason(options_.ocr, has_text, has_images);
        if (!reason) return;
        OcrRequest request = new_request(page_id_text(number_, "-ocr"), OcrTarget::Page, *reason);
        request.object_id = page_.id;
        request.bbox = media_box_;
        out_.ocr_requests.push_back(request);
        LlmBlock& block = add(request.id, LlmBlockKind::OcrPlaceholder);
        block.bbox = media_box_;
        block.markdown = std::string("<!-- OCR placeholder: ") + ocr_reason_name(*reason) + " page " +
                         std::to_string(number_) + " -->";
        block.target = "page";
        block.object_id = page_.id;
        block.ocr_request = std::move(request);
    }

    LlmPageChunk finish(std::string label, std::string text, const DocumentMetadata& metadata) {
        LlmPageChunk chunk;
        chunk.page_index = index_;
        chunk.page_number = number_;
        chunk.page_label = std::move(label);
        chunk.page_id = page_.id;
        chunk.media_box = media_box_;
        chunk.crop_box = page_box(page_, "CropBox");
        const Object* rotate = page_.dictionary->get("Rotate");
        if (!rotate) rotate = page_.inherited.rotate;
        if (const Integer* value = rotate ? rotate->as_integer() : nullptr) chunk.rotate = *value;
        chunk.text = std::move(text);
        chunk.metadata = metadata;
        chunk.blocks = std::move(blocks_);
        return chunk;
    }

private:
    LlmBlock& add(std::string id, LlmBlockKind kind) {
        LlmBlock& block = blocks_.emplace_back();
        block.id = std::move(id);
        block.kind = kind;
        block.page_index = index_;
        return block;
    }

    OcrRequest new_request(std::string id, OcrTarget target, OcrReason reason) const {
        OcrRequest request;
        request.id = std::move(id);
        request.target = target;
        request.page_index = index_;
        request.page_number = number_;
        request.page_id = page_.id;
        request.reason = reason;
        return request;
    }

    const PageRecord& page_;
    const LlmOptions& options_;
    LlmDocument& out_;
    std::uint64_t index_;
    std::uint64_t number_;
    std::optional<Rect> media_box_;
    std::vector<LlmBlock> blocks_;
};

}  // namespace

std::optional<OcrMode> parse_ocr_mode(std::string_view text) {
    if (text == "off" || text == "none" || text == "false") return OcrMode::Off;
    if (text == "auto") return OcrMode::Auto;
    if (text == "always" || text == "force" || text == "true") return OcrMode::Always;
    return std::nullopt;
}

const char* ocr_reason_text(OcrReason reason) {
    switch (reason) {
        case OcrReason::NoText: return "no_text";
        case OcrReason::ImageMayContainText: return "image_may_contain_text";
        case OcrReason::Forced: return "forced";
    }
    return "";
}

const char* ocr_reason_name(OcrReason reason) {
    switch (reason) {
        case OcrReason::NoText: return "NoText";
        case OcrReason::ImageMayContainText: return "ImageMayContainText";
        case OcrReason::Forced: return "Forced";
    }
    return "";
}

const char* ocr_target_text(OcrTarget target) { return target == OcrTarget::Page ? "page" : "image"; }

const char* llm_block_kind_text(LlmBlockKind kind) {
    switch (kind) {
        case LlmBlockKind::Text: return "text";
        case LlmBlockKind::Image: return "image";
        case LlmBlockKind::Link: return "link";
        case LlmBlockKind::Annotation: return "annotation";
        case LlmBlockKind::OcrPlaceholder: return "ocr_placeholder";
    }
    return "";
}

std::optional<OcrReason> image_ocr_reason(OcrMode mode, bool page_has_text) {
    if (mode == OcrMode::Always) return OcrReason::Forced;
    if (mode == OcrMode::Auto && page_has_text) return OcrReason::ImageMayContainText;
    return std::nullopt;
}

std::optional<OcrReason> page_ocr_reason(OcrMode mode, bool page_has_text, bool page_has_images) {
    if (mode == OcrMode::Always) return OcrReason::Forced;
    if (mode == OcrMode::Auto && !page_has_text && page_has_images) return OcrReason::NoText;
    return std::nullopt;
}

std::optional<Rect> page_box(const PageRecord& page, const char* key) {
    const Object* own = page.dictionary->get(key);
    if (own) return rectangle(own);
    return rectangle(std::string_view(key) == "MediaBox" ? page.inherited.media_box : page.inherited.crop_box);
}

std::string page_label_or_number(const std::vector<std::string>& labels, std::size_t index) {
    return index < labels.size() ? labels[index] : std::to_string(index + 1);
}

LlmDocument document_to_llm(const Document& document, LlmOptions options) {
    LlmDocument out;
    out.metadata = metadata(document);
    const std::vector<PageRecord> pages = document.pages();
    const std::vector<std::string> labels = page_labels(document);
    std::vector<std::string> texts = page_texts(document, pages);

    out.pages.reserve(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string_view trimmed = trim_white_space(texts[i]);
        const bool has_text = !trimmed.empty();
        PageBuilder builder(pages[i], i, options, out);
        builder.add_text(texts[i], trimmed);
        const bool has_images = builder.add_images(document, has_text);
        builder.add_links(document);
        builder.add_annotations(document);
        builder.add_placeholder(has_text, has_images);
        out.pages.push_back(builder.finish(page_label_or_number(labels, i), std::move(texts[i]), out.metadata));
    }
    return out;
}

}  // namespace quarvel
