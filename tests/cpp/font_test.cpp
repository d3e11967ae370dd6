#include <gtest/gtest.h>

#include "font.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

using testing_support::stream_object;

// Page 3 with `page_entries` and the extra objects; each font as "name [id] [key=value...]; ", or the error.
std::string describe_fonts(std::string_view page_entries, std::string_view objects) {
    const Document doc = testing_support::document_from_objects(
        "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj 2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj "
        "3 0 obj << /Type /Page " +
        std::string(page_entries) + " >> endobj " + std::string(objects));
    auto id = [](const std::optional<ObjectId>& id) {
        return id ? std::string(" ").append(id->reference_string()) : "";
    };
    return testing_support::value_or_error([&] {
        std::string out;
        for (const PageFont& font : page_fonts(doc, doc.pages()[0])) {
            out += font.resource_name + id(font.object_id);
            if (auto encoding = font.encoding()) out += " encoding=" + *encoding;
            if (auto descriptor_id = font.descriptor_id()) out += " descriptor_id=" + descriptor_id->reference_string();
            if (auto descriptor = font_descriptor(doc, font)) {
                out.append(" descriptor").append(id(descriptor->object_id));
                if (auto ascent = descriptor->metric("Ascent")) out += " ascent=" + *ascent;
                if (auto program = embedded_font(doc, *descriptor)) {
                    out.append(" ").append(program->kind).append(id(program->object_id));
                    if (auto length = program->declared_length("Length1")) out += " length1=" + std::to_string(*length);
                }
            }
            out += "; ";
        }
        return out;
    });
}

class Fonts : public testing::TestWithParam<std::tuple<const char*, std::string, const char*>> {};

TEST_P(Fonts, Lists) {
    const auto& [page_entries, objects, expected] = GetParam();
    EXPECT_EQ(describe_fonts(page_entries, objects), expected);
}

const std::string kProgram7 = stream_object(7, "/Length1 12", "prog");
const std::string kProgram8 = stream_object(8, "/Length1 2.5", "prog");

INSTANTIATE_TEST_SUITE_P(
    Resources, Fonts,
    testing::Values(
        std::tuple{"/Resources << /ProcSet [/PDF] >>", "", ""},
        std::tuple{"/Resources << /Font << /F2 5 0 R /F10 << /Widths 9 0 R >> /F1 5 0 R >> >>",
                   "5 0 obj << /Type /Font /Encoding /WinAnsiEncoding /Widths (none) >> endobj",
                   "F1 5 0 R encoding=/WinAnsiEncoding; F10; F2 5 0 R encoding=/WinAnsiEncoding; "},
        std::tuple{"/Resources 4 0 R",
                   "4 0 obj << /Font 5 0 R >> endobj 5 0 obj << /F1 << /Encoding << /A 1 >> >> >> endobj",
                   "F1 encoding=<< /A 1 >>; "},
        std::tuple{"/Resources << /Font 7 >>", "", "type mismatch in page /Resources /Font: expected dictionary"},
        std::tuple{"/Resources << /Font << /F1 << >> /F2 7 >> >>", "",
                   "type mismatch in font resource: expected dictionary"},
        std::tuple{"/Resources << /Font << /F1 9 0 R >> >>", "", "dangling reference to object 9 0"},
        // FontFile2 wins over FontFile3; a real Length1 is no declared length.
        std::tuple{"/Resources << /Font << /F1 << /FontDescriptor << /Ascent 718 /FontFile3 7 0 R "
                   "/FontFile2 8 0 R >> >> >> >>",
                   kProgram7 + kProgram8, "F1 descriptor ascent=718 FontFile2 8 0 R; "},
        std::tuple{"/Resources << /Font << /F1 << /FontDescriptor 6 0 R >> >> >>",
                   "6 0 obj << /FontFile 7 0 R /FontFile2 8 0 R >> endobj " + kProgram7 + kProgram8,
                   "F1 descriptor_id=6 0 R descriptor 6 0 R FontFile 7 0 R length1=12; "},
        std::tuple{"/Resources << /Font << /F1 << /FontDescriptor << /FontFile3 << /Length1 1 >> >> >> >> >>", "",
                   "type mismatch in FontFile3: expected stream"},
        std::tuple{"/Resources << /Font << /F1 << /FontDescriptor [1] >> >> >>", "",
                   "type mismatch in font /FontDescriptor: expected dictionary"},
        std::tuple{"/Resources << /Font << /F1 << /FontDescriptor 9 0 R >> >> >>", "",
                   "dangling reference to object 9 0"}));

}  // namespace
}  // namespace quarvel
