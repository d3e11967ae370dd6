#include "incremental.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>

#include "metadata.hpp"
#include "unicode.hpp"
#include "writer.hpp"

namespace quarvel {

namespace {

constexpr std::uint64_t kMaxObjectNumber = std::numeric_limits<std::uint32_t>::max();

// Decimal digits, zero-padded to `width` for the fixed-width fields of a table row.
void append_decimal(std::string& out, std::uint64_t value, std::size_t width = 0) {
    char buffer[24];
    char* end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    const auto digits = static_cast<std::size_t>(end - buffer);
    if (digits < width) out.append(width - digits, '0');
    out.append(buffer, end);
}

std::uint64_t after_highest_loaded(const Document& document) {
    // The table is sorted by id, so its last entry holds the highest number.
    return document.objects.empty() ? 1 : std::prev(document.objects.end())->first.number + std::uint64_t{1};
}

std::optional<std::uint64_t> old_size(const Document& document) {
    const Object* size = document.trailer.get("Size");
    const Integer* value = size ? size->as_integer() : nullptr;
    if (!value || *value < 0) return std::nullopt;
    return static_cast<std::uint64_t>(*value);
}

// Above every loaded object, and at or above the old /Size: a hybrid-reference file
// counts objects there that the loader never saw, and a new object must not replace one.
ObjectId new_object_id(const Document& document) {
    std::uint64_t number = after_highest_loaded(document);
    if (std::optional<std::uint64_t> size = old_size(document); size && *size <= kMaxObjectNumber)
        number = std::max(number, *size);
    if (number > kMaxObjectNumber) throw PdfError::type_mismatch("new object number", "number at most 4294967295");
    return ObjectId{static_cast<std::uint32_t>(number), 0};
}

void append_object(std::string& out, ObjectId id, std::string_view body) {
    append_decimal(out, id.number);
    out.push_back(' ');
    append_decimal(out, id.generation);
    out += " obj\n";
    out += body;
    out += "\nendobj\n";
}

// One Info field of the update and where its current value lives.
struct InfoField {
    std::string_view key;
    std::optional<std::string> MetadataUpdate::*requested;
    std::string DocumentMetadata::*current;
};
constexpr InfoField kKeptFields[] = {
    {"Title", &MetadataUpdate::title, &DocumentMetadata::title},
    {"Author", &MetadataUpdate::author, &DocumentMetadata::author},
    {"Subject", &MetadataUpdate::subject, &DocumentMetadata::subject},
    {"Keywords", &MetadataUpdate::keywords, &DocumentMetadata::keywords},
    {"Creator", &MetadataUpdate::creator, &DocumentMetadata::creator},
};

bool is_rewritten_key(std::string_view key) {
    return key == "Producer" || std::any_of(std::begin(kKeptFields), std::end(kKeptFields),
                                            [key](const InfoField& field) { return field.key == key; });
}

// A current string value is copied as stored: decoding and re-encoding it would lose
// bytes that are neither UTF-8 nor UTF-16 (PDFDocEncoding accents, for one).
void push_current_entry(std::string& body, const Document& document, std::string_view key, std::string_view text,
                        const Dictionary* info) {
    if (trim_white_space(text).empty()) return;
    const Object* stored = info ? info->get(key) : nullptr;
    if (stored && stored->as_reference()) stored = document.find(*stored->as_reference());
    if (stored && stored->as_string()) {
        body += " /";
        body += key;
        body.push_back(' ');
        body += object_literal(*stored);
    } else {
        push_info_entry(body, key, text);
    }
}

Array rect_array(const AnnotationRect& rect) {
    for (double value : rect)
        if (!std::isfinite(value)) throw PdfError::type_mismatch("annotation rect", "finite numbers");
    return Array(rect.begin(), rect.end());
}

// The references already on the page, from a direct array or one reference to an array.
Array page_annotation_list(const Document& document, const Object* annots) {
    if (!annots) return {};
    const Object* value = annots;
    if (const ObjectId* id = annots->as_reference()) {
        value = document.find(*id);
        if (!value) throw PdfError::dangling_reference(*id);
    }
    const Array* items = value->as_array();
    if (!items) throw PdfError::type_mismatch("page /Annots", "array");
    return *items;
}

}  // namespace

std::string append_incremental_update(std::string_view source, const Document& document,
                                      const UpdateObjects& objects, std::optional<ObjectId> info_override) {
    const Dictionary& trailer = document.trailer;
    // A trailer without /Encrypt would make readers take the old enciphered objects as
    // plain ones, and the new objects cannot be enciphered.
    if (trailer.contains("Encrypt")) throw PdfError::type_mismatch("trailer /Encrypt", "unencrypted document");
    const Object* root = trailer.get("Root");
    if (!root) throw PdfError::missing_entry("trailer", "Root");
    const std::string root_text = object_literal(*root);
    std::optional<ObjectId> info = info_override;
    if (const Object* old_info = trailer.get("Info"); !info && old_info && old_info->as_reference())
        info = *old_info->as_reference();
    const Object* file_id = trailer.get("ID");
    const std::string id_text = file_id ? object_literal(*file_id) : std::string();

    std::uint64_t size = after_highest_loaded(document);
    std::size_t appended = 256 + root_text.size() + id_text.size();
    for (const auto& [id, body] : objects) {
        size = std::max(size, id.number + std::uint64_t{1});
        appended += body.size() + 64;
    }
    if (std::optional<std::uint64_t> old = old_size(document)) size = std::max(size, *old);

    std::string out;
    out.reserve(source.size() + appended);
    out.append(source);
    if (out.empty() || out.back() != '\n') out.push_back('\n');

    std::vector<std::pair<ObjectId, std::size_t>> offsets;
    offsets.reserve(objects.size());
    for (const auto& [id, body] : objects) {
        offsets.emplace_back(id, out.size());
        append_object(out, id, body);
    }
    std::stable_sort(offsets.begin(), offsets.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    const std::size_t xref_offset = out.size();
    out += "xref\n";
    for (const auto& [id, offset] : offsets) {
        append_decimal(out, id.number);
        out += " 1\n";
        append_decimal(out, offset, 10);
        out.push_back(' ');
        append_decimal(out, id.generation, 5);
        out += " n \n";
    }
    out += "trailer\n<< /Size ";
    append_decimal(out, size);
    out += " /Root ";
    out += root_text;
    if (info) {
        out += " /Info ";
        out += info->reference_string();
    }
    if (file_id) {
        out += " /ID ";
        out += id_text;
    }
    out += " /Prev ";
    append_decimal(out, document.start_xref);
    out += " >>\nstartxref\n";
    append_decimal(out, xref_offset);
    out += "\n%%EOF\n";
    return out;
}

std::string update_metadata_incremental(std::string_view source, const MetadataUpdate& update,
                                        const Document* parsed) {
    std::optional<Document> loaded;
    const Document& document = parsed ? *parsed : loaded.emplace(Document::parse(source));
    const DocumentMetadata current = metadata(document);
    const ObjectId id = new_object_id(document);
    const Dictionary* info = info_dictionary(document);

    std::string body = "<<";
    for (const InfoField& field : kKeptFields) {
        if (const std::optional<std::string>& requested = update.*field.requested)
            push_info_entry(body, field.key, *requested);
        else
            push_current_entry(body, document, field.key, current.*field.current, info);
    }
    push_info_entry(body, "Producer", update.producer ? std::string_view(*update.producer) : "quarvel");
    // Dates, trapping and private entries stay as they were, references included.
    if (info) {
        for (const auto& [key, value] : *info) {
            if (is_rewritten_key(key)) continue;
            body.push_back(' ');
            body += object_literal(Name{key});
            body.push_back(' ');
            body += object_literal(value);
        }
    }
    body += " >>";

    UpdateObjects objects;
    objects.emplace_back(id, std::move(body));
    return append_incremental_update(source, document, objects, id);
}

std::string add_text_annotation_incremental(std::string_view source, std::size_t page_index,
                                            const AnnotationRect& rect, std::string_view contents,
                                            const Document* parsed) {
    // UTF-16 rather than raw UTF-8 for anything beyond ASCII: other readers take a
    // string without a byte-order mark as PDFDocEncoding.
    const Dictionary annotation({{"Contents", String{text_string_bytes(contents)}},
                                 {"Rect", rect_array(rect)},
                                 {"Subtype", Name{"Text"}},
                                 {"Type", Name{"Annot"}}});
    return add_annotation_incremental(source, page_index, annotation, parsed);
}

std::string add_uri_link_incremental(std::string_view source, std::size_t page_index, const AnnotationRect& rect,
                                     std::string_view uri, const Document* parsed) {
    const Dictionary action({{"S", Name{"URI"}}, {"URI", String{std::string(uri)}}});
    const Dictionary annotation(
        {{"A", action}, {"Rect", rect_array(rect)}, {"Subtype", Name{"Link"}}, {"Type", Name{"Annot"}}});
    return add_annotation_incremental(source, page_index, annotation, parsed);
}

std::string add_annotation_incremental(std::string_view source, std::size_t page_index, const Dictionary& annotation,
                                       const Document* parsed) {
    std::optional<Document> loaded;
    const Document& document = parsed ? *parsed : loaded.emplace(Document::parse(source));
    const std::vector<PageRecord> pages = document.pages();
    if (page_index >= pages.size()) throw PdfError::type_mismatch("page index", "existing page");
    const PageRecord& page = pages[page_index];
    const ObjectId annotation_id = new_object_id(document);

    // An indirect /Annots array is left as it is; the page gets its own direct copy.
    Dictionary page_copy = *page.dictionary;
    Array annotations = page_annotation_list(document, page_copy.get("Annots"));
    annotations.emplace_back(annotation_id);
    page_copy.set("Annots", std::move(annotations));

    UpdateObjects objects;
    objects.emplace_back(page.id, object_literal(page_copy));
    objects.emplace_back(annotation_id, object_literal(annotation));
    return append_incremental_update(source, document, objects, std::nullopt);
}

}  // namespace quarvel
