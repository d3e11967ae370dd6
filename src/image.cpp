#include "image.hpp"

#include <algorithm>

#include "inspect.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

constexpr std::size_t kEntriesPerObject = 4;
constexpr std::size_t kEntrySlack = 65536;

std::optional<std::int64_t> integer_entry(const Dictionary& dictionary, std::string_view key) {
    const Object* value = dictionary.get(key);
    const Integer* integer = value ? value->as_integer() : nullptr;
    if (!integer) return std::nullopt;
    return *integer;
}

std::uint64_t positive_entry(const Dictionary& dictionary, std::string_view key, std::string_view context) {
    const std::optional<std::int64_t> value = integer_entry(dictionary, key);
    if (!value || *value <= 0) throw PdfError::type_mismatch(context, "positive integer");
    return static_cast<std::uint64_t>(*value);
}

PdfError image_error(std::string message) { return PdfError::decode("Image", std::move(message)); }

// `pixels` × `components`, or the overflow error.
std::uint64_t sample_count(std::uint64_t pixels, std::uint64_t components, const char* overflow) {
    std::uint64_t count = 0;
    if (__builtin_mul_overflow(pixels, components, &count)) throw image_error(overflow);
    return count;
}

// The first `count` decoded bytes; reuses the decoded buffer when there is one.
std::string leading_samples(std::string_view data, std::string& owned, std::uint64_t count) {
    if (!owned.empty() && data.data() == owned.data()) {
        owned.resize(static_cast<std::size_t>(count));
        return std::move(owned);
    }
    return std::string(data.substr(0, static_cast<std::size_t>(count)));
}

// R = 255 - C - K clamped at 0, and so on; never wraps.
std::string cmyk_to_rgb(std::string_view cmyk, std::uint64_t pixels) {
    std::string rgb(static_cast<std::size_t>(pixels) * 3, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(cmyk.data());
    for (std::size_t i = 0, n = static_cast<std::size_t>(pixels); i < n; ++i, in += 4) {
        const int k = in[3];
        for (std::size_t c = 0; c < 3; ++c) rgb[3 * i + c] = static_cast<char>(std::max(0, 255 - in[c] - k));
    }
    return rgb;
}

}  // namespace

std::string DecodedImage::to_pnm() const {
    std::string header = rgb ? "P6\n" : "P5\n";
    header += std::to_string(width);
    header += ' ';
    header += std::to_string(height);
    header += "\n255\n";
    std::string out;
    out.reserve(header.size() + samples.size());
    out += header;
    out += samples;
    return out;
}

std::optional<std::int64_t> PageImage::width() const { return integer_entry(stream->dictionary, "Width"); }
std::optional<std::int64_t> PageImage::height() const { return integer_entry(stream->dictionary, "Height"); }
std::optional<std::int64_t> PageImage::bits_per_component() const {
    return integer_entry(stream->dictionary, "BitsPerComponent");
}

std::optional<std::string> PageImage::color_space() const {
    const Object* value = stream->dictionary.get("ColorSpace");
    if (!value) return std::nullopt;
    return object_to_text(*value);
}

std::vector<std::string> PageImage::filters() const {
    std::vector<std::string> names;
    for (std::string_view name : stream->filters()) names.push_back(lossy_utf8(name));
    return names;
}

std::string PageImage::resource_path() const {
    std::string joined;
    for (std::size_t i = 0; i < xobject_path.size(); ++i) {
        if (i > 0) joined += '/';
        joined += xobject_path[i];
    }
    return joined;
}

DecodedImage PageImage::decoded_image() const {
    const Dictionary& dictionary = stream->dictionary;
    DecodedImage image;
    image.width = positive_entry(dictionary, "Width", "image /Width");
    image.height = positive_entry(dictionary, "Height", "image /Height");
    if (bits_per_component() != 8) throw image_error("only 8-bit image components can be decoded to pixels");
    const std::optional<std::string> space = color_space();
    if (!space) throw PdfError::missing_entry("image XObject", "ColorSpace");

    std::string owned;
    const std::string_view data = stream->decoded_data_cow(owned);
    const std::uint64_t pixels = sample_count(image.width, image.height, "image dimensions overflow");
    // Every length is checked against the decoded data before a buffer is sized by it.
    if (*space == "/DeviceGray") {
        if (data.size() < pixels) throw image_error("decoded image data is shorter than Width * Height");
        image.samples = leading_samples(data, owned, pixels);
        image.rgb = false;
    } else if (*space == "/DeviceRGB") {
        const std::uint64_t count = sample_count(pixels, 3, "RGB image dimensions overflow");
        if (data.size() < count) throw image_error("decoded RGB image data is shorter than Width * Height * 3");
        image.samples = leading_samples(data, owned, count);
        image.rgb = true;
    } else if (*space == "/DeviceCMYK") {
        const std::uint64_t count = sample_count(pixels, 4, "CMYK image dimensions overflow");
        if (data.size() < count) throw image_error("decoded CMYK image data is shorter than Width * Height * 4");
        image.samples = cmyk_to_rgb(data, pixels);
        image.rgb = true;
    } else {
        throw image_error("unsupported image color space " + *space);
    }
    return image;
}

std::size_t xobject_entry_budget(const Document& document) {
    return document.objects.size() * kEntriesPerObject + kEntrySlack;
}

std::vector<PageImage> page_images(const Document& document, const PageRecord& page) {
    std::vector<PageImage> images;
    const Dictionary* resources = document.page_resource_dictionary(*page.dictionary, page.inherited.resources);
    if (!resources) return images;
    std::vector<std::string> path;
    std::set<ObjectId> visited;
    std::size_t entries_left = xobject_entry_budget(document);
    collect_resource_images(document, *resources, path, visited, images, entries_left);
    return images;
}

void collect_resource_images(const Document& document, const Dictionary& resources, std::vector<std::string>& path,
                             std::set<ObjectId>& visited, std::vector<PageImage>& out, std::size_t& entries_left) {
    // One frame per XObject dictionary being walked; every frame above the first
    // belongs to a form whose name is on `path`. A form reached by reference holds
    // one frame while it is in the visited set, so the depth is bounded by the number
    // of distinct form objects, and, like all the work, by the entry budget.
    using Entry = decltype(Dictionary().begin());
    struct Frame {
        Entry next;
        Entry end;
        std::optional<ObjectId> form;
    };
    std::vector<Frame> stack;
    auto enter = [&](const Dictionary& dictionary, std::optional<ObjectId> form) {
        const Object* xobjects = dictionary.get("XObject");
        if (!xobjects) return false;
        const Dictionary& entries = document.resolve_to_dictionary(*xobjects, "page /Resources /XObject");
        stack.push_back(Frame{entries.begin(), entries.end(), form});
        return true;
    };

    enter(resources, std::nullopt);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.end) {
            if (top.form) visited.erase(*top.form);
            stack.pop_back();
            if (!stack.empty()) path.pop_back();
            continue;
        }
        const auto& [key, value] = *top.next++;  // `top` dies when enter() grows the stack
        if (entries_left == 0)
            throw PdfError::type_mismatch("page /Resources /XObject", "resource tree of bounded size");
        --entries_left;

        const ObjectId* id = value.as_reference();
        const Stream* stream = document.resolve(value).as_stream();
        if (!stream) throw PdfError::type_mismatch("page /Resources /XObject item", "stream");
        const Object* subtype = stream->dictionary.get("Subtype");
        if (!subtype) continue;
        if (subtype->is_name("Image")) {
            // The record copies the names of the forms above it: charged for them, a long
            // chain of nested forms cannot make its output quadratic.
            if (path.size() > entries_left)
                throw PdfError::type_mismatch("page /Resources /XObject", "resource tree of bounded size");
            entries_left -= path.size();
            std::string name = lossy_utf8(key);
            path.push_back(name);
            out.push_back(PageImage{std::move(name), path, stream, id ? std::optional(*id) : std::nullopt});
            path.pop_back();
        } else if (subtype->is_name("Form")) {
            const Object* form_resources = stream->dictionary.get("Resources");
            if (!form_resources) continue;
            if (id && !visited.insert(*id).second) throw PdfError::xobject_cycle(*id);
            const Dictionary& inner = document.resolve_to_dictionary(*form_resources, "form XObject /Resources");
            path.push_back(lossy_utf8(key));
            if (!enter(inner, id ? std::optional(*id) : std::nullopt)) {
                path.pop_back();
                if (id) visited.erase(*id);
            }
        }
    }
}

}  // namespace quarvel
