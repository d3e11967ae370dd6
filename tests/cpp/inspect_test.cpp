#include <gtest/gtest.h>


#include "document.hpp"
#include "support.hpp"
#include "inspect.hpp"
#include "parser.hpp"

namespace quarvel {
namespace {

std::string fixture(const std::string& name) { return testing_support::read_fixture(name); }

struct TextCase {
    const char* name;
    std::string source;  // PDF syntax
    std::string text;
};

class ObjectText : public testing::TestWithParam<TextCase> {};

TEST_P(ObjectText, Renders) {
    // Streams exist only as indirect objects.
    const std::string source = "1 0 obj\n" + GetParam().source + "\nendobj";
    Parser parser(source);
    EXPECT_EQ(object_to_text(parser.parse_indirect_object().second), GetParam().text) << GetParam().source;
}

std::string stream_source(const std::string& data) {
    return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

const std::string k120(120, 'x');
const std::string k121(121, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, ObjectText,
    testing::Values(
        TextCase{"whole_real", "1.0", "1"},
        TextCase{"fraction", ".5", "0.5"},
        TextCase{"negative_real", "-2.25", "-2.25"},
        TextCase{"escaped_name", "/A#20B", "/A B"},
        TextCase{"invalid_utf8_name", "/caf\xE9", "/caf\xEF\xBF\xBD"},
        TextCase{"string_escapes", "(a\\(b\\)\\\\c)", "(a(b)\\c)"},
        TextCase{"utf16_string", "<FEFF00E9D83DDE00>", "(\xC3\xA9\xF0\x9F\x98\x80)"},
        TextCase{"empty_array", "[]", "[]"},
        TextCase{"empty_dictionary", "<<>>", "<< >>"},
        TextCase{"nested_array", "[1 [/X 2.5] << >> 12 3 R null true -3]",
                 "[1 [/X 2.5] << >> 12 3 R null true -3]"},
        TextCase{"sorted_keys", "<< /Z 1 /A << /K [] >> /M#C3#A9 (t) >>",
                 "<< /A << /K [] >> /M\xC3\xA9 (t) /Z 1 >>"},
        TextCase{"stream_hello", stream_source("hello"),
                 "<< /Length 5 >>\nstream\n<5 encoded bytes: hello>\nendstream"},
        TextCase{"stream_line_ends", stream_source("a\r\nb\tc\fd e\n"),
                 "<< /Length 11 >>\nstream\n<11 encoded bytes: a\\n\\nb\tc\fd e\\n>\nendstream"},
        TextCase{"stream_120", stream_source(k120),
                 "<< /Length 120 >>\nstream\n<120 encoded bytes: " + k120 + ">\nendstream"},
        TextCase{"stream_121", stream_source(k121), "<< /Length 121 >>\nstream\n<121 encoded bytes>\nendstream"},
        TextCase{"stream_nul", stream_source(std::string("a\0b", 3)),
                 "<< /Length 3 >>\nstream\n<3 encoded bytes>\nendstream"},
        TextCase{"stream_del", stream_source("a\x7F"), "<< /Length 2 >>\nstream\n<2 encoded bytes>\nendstream"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ObjectText, XrefEntries) {
    EXPECT_EQ(xref_entry_text(XrefFree{7, 65535}), "free next=7 generation=65535");
    EXPECT_EQ(xref_entry_text(XrefInUse{18446744073709551615u, 2}),
              "in-use offset=18446744073709551615 generation=2");
    EXPECT_EQ(xref_entry_text(XrefCompressed{4294967295u, 3}), "compressed object_stream=4294967295 index=3");
}

TEST(Inspect, DumpLayout) {
    const Document doc = Document::parse(fixture("inspect_dump"));
    EXPECT_EQ(doc.dump_objects(),
              "1 0 obj % in-use offset=15 generation=0 % dictionary\n"
              "<< /Pages 2 0 R /Type /Catalog >>\n"
              "endobj\n\n"
              "2 0 obj % in-use offset=64 generation=0 % dictionary\n"
              "<< >>\n"
              "endobj\n\n"
              "3 0 obj % in-use offset=85 generation=0 % stream\n"
              "<< /Length 4 /N 1 >>\nstream\n<4 encoded bytes: A\\n\\nB>\nendstream\n"
              "endobj");
}

TEST(Inspect, DumpOfObjectStreamsNamesEveryEntry) {
    const Document doc = Document::parse(fixture("xref_stream_objstm"));
    const std::string dump = doc.dump_objects();
    std::istringstream lines(dump);
    std::size_t headers = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" obj % ") == std::string::npos) continue;
        ++headers;
        EXPECT_TRUE(line.find("% in-use offset=") != std::string::npos ||
                    line.find("% compressed object_stream=9 index=") != std::string::npos)
            << line;
    }
    EXPECT_EQ(headers, doc.objects.size());
    EXPECT_NE(dump.find("1 0 obj % compressed object_stream=9 index=0 % dictionary\n"), std::string::npos);
}

TEST(Inspect, ObjectSummary) {
    const Document doc = Document::parse(fixture("inspect_dump"));
    const PdfObjectSummary summary = doc.object_summary({2, 0});
    EXPECT_EQ(summary.id, (ObjectId{2, 0}));
    EXPECT_STREQ(summary.kind, "dictionary");
    EXPECT_EQ(summary.xref, "in-use offset=64 generation=0");
    EXPECT_EQ(summary.text, "<< >>");

    try {
        doc.object_summary({99, 0});
        ADD_FAILURE() << "no error";
    } catch (const PdfError& e) {
        EXPECT_EQ(e.text(), "dangling reference to object 99 0");
    }
}

}  // namespace
}  // namespace quarvel
