#include <gtest/gtest.h>

#include <algorithm>

#include "image.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

using namespace std::string_literals;
using testing_support::stream_object;

const std::string kHead =
    "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj 2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj ";

// Page 3 with `resources` and the extra objects.
Document one_page(std::string_view resources, std::string_view objects) {
    return testing_support::document_from_objects(kHead + "3 0 obj << /Type /Page /Resources " +
                                                  std::string(resources) + " >> endobj " + std::string(objects));
}

// "path id; " per image, or the error.
std::string describe_images(const Document& doc) {
    return testing_support::value_or_error([&] {
        std::string out;
        for (const PageImage& image : page_images(doc, doc.pages()[0])) {
            EXPECT_EQ(image.name, image.xobject_path.back());
            out += image.resource_path();
            if (image.object_id) out.append(" ").append(image.object_id->reference_string());
            out += "; ";
        }
        return out;
    });
}

std::string form(int number, std::string_view xobjects) {
    return stream_object(number, "/Subtype /Form /Resources << /XObject << " + std::string(xobjects) + " >> >>", "");
}

const std::string kImage5 = stream_object(5, "/Subtype /Image", "");

class ImageListing : public testing::TestWithParam<std::tuple<const char*, std::string, const char*>> {};

TEST_P(ImageListing, WalksResources) {
    const auto& [resources, objects, expected] = GetParam();
    EXPECT_EQ(describe_images(one_page(resources, objects)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, ImageListing,
    testing::Values(
        std::tuple{"<< /Font << >> >>", "", ""},
        // Depth first in key order; skipped: no /Subtype, other subtypes, a form without /Resources.
        std::tuple{"<< /XObject << /Im2 5 0 R /Im1 5 0 R /Fm0 6 0 R /PS 8 0 R /Plain 9 0 R /Bare 10 0 R >> >>",
                   kImage5 + form(6, "/Fm1 7 0 R") + form(7, "/Im1 5 0 R") + stream_object(8, "/Subtype /PS", "") +
                       stream_object(9, "/Subtype (Image)", "") + stream_object(10, "/Subtype /Form", ""),
                   "Fm0/Fm1/Im1 5 0 R; Im1 5 0 R; Im2 5 0 R; "},
        std::tuple{"<< /XObject 4 0 R >>", "4 0 obj << /B 6 0 R /A 6 0 R >> endobj " + kImage5 + form(6, "/Im 5 0 R"),
                   "A/Im 5 0 R; B/Im 5 0 R; "},
        std::tuple{"<< /XObject << /A 6 0 R >> >>", form(6, "/B 7 0 R") + form(7, "/C 6 0 R"),
                   "XObject resource tree contains a cycle at object 6 0"},
        std::tuple{"<< /XObject << /X << /Subtype /Image >> >> >>", "",
                   "type mismatch in page /Resources /XObject item: expected stream"},
        std::tuple{"<< /XObject << /X 9 0 R >> >>", "", "dangling reference to object 9 0"},
        std::tuple{"<< /XObject << /F 6 0 R >> >>", stream_object(6, "/Subtype /Form /Resources << /XObject 4 >>", ""),
                   "type mismatch in page /Resources /XObject: expected dictionary"},
        std::tuple{"<< /XObject << /F 6 0 R >> >>", stream_object(6, "/Subtype /Form /Resources [1]", ""),
                   "type mismatch in form XObject /Resources: expected dictionary"}));

// Forms F1..F<levels>, each listing the one below twice (F1: a skipped leaf twice),
// and a page listing the top form and `extra` skipped entries.
Document shared_forms(int levels, std::size_t extra) {
    std::string objects = stream_object(4, "/Subtype /PS", "");
    for (int level = 1; level <= levels; ++level) {
        const std::string below = level == 1 ? "4 0 R" : std::to_string(4 + level - 1) + " 0 R";
        objects += form(4 + level, "/A " + below + " /B " + below);
    }
    std::string page = "<< /XObject << /Top " + std::to_string(4 + levels) + " 0 R";
    for (std::size_t i = 0; i < extra; ++i) page += " /E" + std::to_string(i) + " 4 0 R";
    return one_page(page + " >> >>", objects);
}

TEST(ImageListing, ExaminesABoundedNumberOfEntries) {
    const std::string too_many = "type mismatch in page /Resources /XObject: expected resource tree of bounded size";
    // 15 levels: 2^16 - 1 entries with the top one; the budget is 4 per object plus 65536.
    const std::size_t budget = xobject_entry_budget(shared_forms(15, 0));
    ASSERT_EQ(budget, 4 * 19 + 65536u);
    EXPECT_EQ(describe_images(shared_forms(15, budget - 65535)), "");
    EXPECT_EQ(describe_images(shared_forms(15, budget - 65535 + 1)), too_many);
    // 2^41 entries if walked out.
    EXPECT_EQ(describe_images(shared_forms(40, 0)), too_many);
}

TEST(ImageListing, DeepFormChainNeedsNoDeepStack) {
    constexpr int kDepth = 20000;
    std::string objects = kImage5;
    for (int n = 6; n < 6 + kDepth; ++n) objects += form(n, "/F " + std::to_string(n + 1) + " 0 R");
    objects += form(6 + kDepth, "/Im 5 0 R");
    const Document doc = one_page("<< /XObject << /F 6 0 R >> >>", objects);
    const std::vector<PageImage> images = page_images(doc, doc.pages()[0]);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].xobject_path.size(), kDepth + 2u);
    // An image in every form of a chain: the paths copied grow with the square of its
    // length, and are charged to the budget.
    for (const auto& [depth, expected] : {std::pair{300, 301u}, std::pair{2000, 0u}}) {
        objects = kImage5;
        for (int n = 6; n < 6 + depth; ++n) objects += form(n, "/Im 5 0 R /F " + std::to_string(n + 1) + " 0 R");
        const Document chain = one_page("<< /XObject << /F 6 0 R >> >>", objects + form(6 + depth, "/Im 5 0 R"));
        const std::string got = describe_images(chain);
        if (expected)
            EXPECT_EQ(std::count(got.begin(), got.end(), ';'), expected);
        else
            EXPECT_EQ(got, "type mismatch in page /Resources /XObject: expected resource tree of bounded size");
    }
}

// Decodes object 5, an image stream with `entries` and `data`: its PNM, or the error.
std::string pnm_of(const std::string& entries, const std::string& data) {
    const Document doc = testing_support::document_from_objects(stream_object(5, "/Subtype /Image " + entries, data));
    const PageImage image{"Im", {"Im"}, doc.find({5, 0})->as_stream(), ObjectId{5, 0}};
    return testing_support::value_or_error([&] { return image.decoded_image().to_pnm(); });
}

class ImageDecoding : public testing::TestWithParam<std::tuple<std::string, std::string, std::string>> {};

TEST_P(ImageDecoding, GivesPnmOrError) {
    const auto& [entries, data, expected] = GetParam();
    EXPECT_EQ(pnm_of(entries, data), expected);
}

const std::string kGray = "/BitsPerComponent 8 /ColorSpace /DeviceGray ";
const std::string kRgb = "/BitsPerComponent 8 /ColorSpace /DeviceRGB ";
const std::string kCmyk = "/BitsPerComponent 8 /ColorSpace /DeviceCMYK ";
const std::string kImage = "failed to decode /Image stream: ";
const std::string kShort = kImage + "decoded ";

INSTANTIATE_TEST_SUITE_P(
    Samples, ImageDecoding,
    testing::Values(
        // Bytes beyond Width * Height * components are ignored.
        std::tuple{kGray + "/Width 2 /Height 3", "abcdefg"s, "P5\n2 3\n255\nabcdef"s},
        std::tuple{kRgb + "/Width 1 /Height 1 /Filter /AHx", "0A0B0C>"s, "P6\n1 1\n255\n\x0a\x0b\x0c"s},
        // White, black, and components that would wrap below zero.
        std::tuple{kCmyk + "/Width 3 /Height 1", "\0\0\0\0\0\0\0\xff\x80\0\0\xc8"s,
                   "P6\n3 1\n255\n\xff\xff\xff\0\0\0\0\x37\x37"s},
        std::tuple{kGray + "/Width 0 /Height 1", "x"s, "type mismatch in image /Width: expected positive integer"s},
        std::tuple{kGray + "/Width 1", "x"s, "type mismatch in image /Height: expected positive integer"s},
        std::tuple{"/ColorSpace /DeviceGray /BitsPerComponent 1 /Width 1 /Height 1"s, "x"s,
                   kImage + "only 8-bit image components can be decoded to pixels"},
        std::tuple{"/BitsPerComponent 8 /Width 1 /Height 1"s, "x"s,
                   "missing required entry /ColorSpace in image XObject"s},
        std::tuple{kRgb + "/Width 1 /Height 1 /Filter /DCT", "x"s,
                   "failed to decode /DCT stream: filter is not supported yet"s},
        // 2^40 pixels claimed over two bytes: refused before any pixel buffer exists.
        std::tuple{kGray + "/Width 1048576 /Height 1048576", "xy"s,
                   kShort + "image data is shorter than Width * Height"},
        std::tuple{kRgb + "/Width 2 /Height 1", "abcde"s, kShort + "RGB image data is shorter than Width * Height * 3"},
        std::tuple{kCmyk + "/Width 1 /Height 1", "abc"s, kShort + "CMYK image data is shorter than Width * Height * 4"},
        std::tuple{kGray + "/Width 4294967296 /Height 4294967296", "x"s, kImage + "image dimensions overflow"},
        std::tuple{kRgb + "/Width 2147483648 /Height 4294967296", "x"s, kImage + "RGB image dimensions overflow"},
        std::tuple{kCmyk + "/Width 2147483648 /Height 2147483648", "x"s, kImage + "CMYK image dimensions overflow"},
        // The text form of a reference is not the name it points to.
        std::tuple{"/BitsPerComponent 8 /ColorSpace 6 0 R /Width 1 /Height 1"s, "x"s,
                   kImage + "unsupported image color space 6 0 R"}));

}  // namespace
}  // namespace quarvel
