// The LLM document: per-page typed blocks with stable ids, and the pages and images
// whose text an external OCR engine must supply.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "document.hpp"
#include "metadata.hpp"

namespace quarvel {

enum class OcrMode : std::uint8_t { Off, Auto, Always };
enum class OcrReason : std::uint8_t { NoText, ImageMayContainText, Forced };
enum class OcrTarget : std::uint8_t { Page, Image };
enum class LlmBlockKind : std::uint8_t { Text, Image, Link, Annotation, OcrPlaceholder };

// "off", "none", "false" / "auto" / "always", "force", "true"; exact and case-sensitive.
std::optional<OcrMode> parse_ocr_mode(std::string_view text);
// "no_text", "image_may_contain_text", "forced".
const char* ocr_reason_text(OcrReason reason);
// The variant name, as the placeholder comment shows it: "NoText", ...
const char* ocr_reason_name(OcrReason reason);
// "page" or "image".
const char* ocr_target_text(OcrTarget target);
// "text", "image", "link", "annotation", "ocr_placeholder".
const char* llm_block_kind_text(LlmBlockKind kind);

// The policy: whether an image of a page, or the page itself, needs OCR, and why.
std::optional<OcrReason> image_ocr_reason(OcrMode mode, bool page_has_text);
std::optional<OcrReason> page_ocr_reason(OcrMode mode, bool page_has_text, bool page_has_images);

struct LlmOptions {
    bool include_text = true;
    bool include_images = true;
    bool include_links = true;
    bool include_annotations = true;
    OcrMode ocr = OcrMode::Auto;
};

struct OcrRequest {
    std::string id;
    OcrTarget target = OcrTarget::Page;
    std::uint64_t page_index = 0;
    std::uint64_t page_number = 0;
    ObjectId page_id;
    std::optional<ObjectId> object_id;
    std::optional<std::string> resource_path;
    std::optional<Rect> bbox;
    std::optional<std::int64_t> width;
    std::optional<std::int64_t> height;
    OcrReason reason = OcrReason::NoText;
    std::uint16_t suggested_dpi = 200;
};

struct LlmImage {
    std::optional<std::int64_t> width;
    std::optional<std::int64_t> height;
    std::optional<std::int64_t> bits_per_component;
    std::string name;
    std::string resource_path;
    std::vector<std::string> filters;
    std::optional<std::string> color_space;
    std::uint64_t encoded_length = 0;
};

// One record for every kind; the fields a kind does not use stay absent.
struct LlmBlock {
    std::string id;
    LlmBlockKind kind = LlmBlockKind::Text;
    std::uint64_t page_index = 0;
    std::optional<Rect> bbox;
    std::optional<std::string> text;
    std::optional<std::string> html;  // no kind fills it
    std::optional<std::string> markdown;
    std::optional<ObjectId> object_id;
    std::optional<std::string> target;
    std::optional<LlmImage> image;
    std::optional<OcrRequest> ocr_request;
};

struct LlmPageChunk {
    std::uint64_t page_index = 0;
    std::uint64_t page_number = 0;
    std::string page_label;
    ObjectId page_id;
    std::optional<Rect> media_box;
    std::optional<Rect> crop_box;
    std::optional<std::int64_t> rotate;
    std::string text;  // as extracted, untrimmed
    DocumentMetadata metadata;
    std::vector<LlmBlock> blocks;
};

struct LlmDocument {
    DocumentMetadata metadata;
    std::vector<LlmPageChunk> pages;
    // In page order; within a page the image requests, then the page request.
    std::vector<OcrRequest> ocr_requests;
};

// Throws the first PdfError of the metadata, page list, labels, text, image, link
// or annotation listing; malformed presentation values only leave fields absent.
LlmDocument document_to_llm(const Document& document, LlmOptions options);

// The page's own entry, else the inherited one, by the box rule.
std::optional<Rect> page_box(const PageRecord& page, const char* key);
// The label of page `index`, or its decimal number when `labels` ends before it.
std::string page_label_or_number(const std::vector<std::string>& labels, std::size_t index);

}  // namespace quarvel
