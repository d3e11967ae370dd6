// Image XObjects a page declares (also through form XObjects), and their samples as
// raw pixels or a PNM file when the image is plain 8-bit gray, RGB or CMYK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "document.hpp"

namespace quarvel {

struct DecodedImage {
    std::string samples;  // row-major, top row first, 1 or 3 bytes per pixel
    std::uint64_t width = 0;
    std::uint64_t height = 0;
    bool rgb = false;  // also for converted CMYK

    std::size_t components() const { return rgb ? 3 : 1; }
    // Binary PGM (P5) or PPM (P6), maxval 255.
    std::string to_pnm() const;
};

// One image XObject of a page. Borrows from the Document.
struct PageImage {
    std::string name;                       // lossy UTF-8
    std::vector<std::string> xobject_path;  // form names passed through, then `name`
    const Stream* stream = nullptr;
    std::optional<ObjectId> object_id;  // when the XObject entry was a reference

    // The stream dictionary's value when an Integer, unchecked.
    std::optional<std::int64_t> width() const;
    std::optional<std::int64_t> height() const;
    std::optional<std::int64_t> bits_per_component() const;
    // Object text of /ColorSpace.
    std::optional<std::string> color_space() const;
    // Throws PdfError for a malformed /Filter.
    std::vector<std::string> filters() const;
    // `xobject_path` joined by "/".
    std::string resource_path() const;
    // Throws PdfError for anything but 8-bit DeviceGray, DeviceRGB or DeviceCMYK
    // samples behind supported filters, or too little data.
    DecodedImage decoded_image() const;
};

// How many XObject entries listing one page may examine: forms that share sub-forms
// are walked once per use, which honest files keep small and hostile ones make exponential.
std::size_t xobject_entry_budget(const Document& document);

// Depth-first, in key order, a form's images at the form's position. Throws PdfError
// for malformed resources, a form that contains itself, or more entries than the budget.
std::vector<PageImage> page_images(const Document& document, const PageRecord& page);
// The walker behind page_images: `path` names the forms above `resources`, `visited`
// holds the forms being walked; both are as given again when it returns normally.
void collect_resource_images(const Document& document, const Dictionary& resources, std::vector<std::string>& path,
                             std::set<ObjectId>& visited, std::vector<PageImage>& out, std::size_t& entries_left);

}  // namespace quarvel
