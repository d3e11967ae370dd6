#include <gtest/gtest.h>

#include "document.hpp"
#include "support.hpp"
#include "trace.hpp"

namespace quarvel {
namespace {

using testing_support::fixture_path;
std::string fixture(const std::string& name) { return testing_support::read_fixture(name); }

std::string load_error(std::string_view bytes) {
    try {
        Document::parse(bytes);
    } catch (const PdfError& e) {
        return e.text();
    }
    return "";
}

struct RefusalCase {
    const char* fixture;
    const char* error;
};

class Refusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, GivesExactError) {
    EXPECT_EQ(load_error(fixture(GetParam().fixture)), GetParam().error) << GetParam().fixture;
}

INSTANTIATE_TEST_SUITE_P(
    Loader, Refusal,
    testing::Values(
        RefusalCase{"leading_space", "invalid PDF header"},
        RefusalCase{"bad_startxref", "invalid startxref section"},
        RefusalCase{"in_use_generation_65536", "invalid token at byte 156: expected u16 integer"},
        RefusalCase{"bad_entry_keyword", "invalid cross-reference table"},
        RefusalCase{"wrong_object_number", "invalid indirect object header"},
        RefusalCase{"objstm_missing_owner", "dangling reference to object 9 0"},
        RefusalCase{"objstm_wrong_type", "type mismatch in compressed object owner: expected /ObjStm"},
        RefusalCase{"objstm_first_at_end", "unexpected end of PDF data"},
        RefusalCase{"objstm_first_beyond", "invalid indirect object header"},
        RefusalCase{"objstm_huge_n", "unexpected end of PDF data"},
        RefusalCase{"objstm_index_beyond_n", "invalid indirect object header"},
        RefusalCase{"xref_type_3", "invalid cross-reference table"},
        RefusalCase{"xref_short_data", "invalid cross-reference table"},
        RefusalCase{"xref_huge_index", "invalid cross-reference table"},
        RefusalCase{"xref_missing_w", "missing required entry /W in xref stream /W"},
        RefusalCase{"xref_odd_index", "invalid cross-reference table"},
        RefusalCase{"deep_nesting", "invalid token at byte 380: array or dictionary nesting is too deep"}),
    [](const auto& info) { return std::string(info.param.fixture); });

TEST(Loader, HeaderRules) {
    const std::string good = fixture("classic");
    for (const char* header : {"%PDF-1.x", "%PDF-10.0", "%PDF-1."}) {
        std::string bytes = header + good.substr(8);
        EXPECT_EQ(load_error(bytes), "invalid PDF header") << header;
    }
    EXPECT_EQ(load_error(""), "invalid PDF header");
    EXPECT_EQ(load_error("%PDF-1.7 no startxref here"), "invalid startxref section");
}

TEST(Loader, ClassicTable) {
    Document doc = Document::parse(fixture("classic"));
    EXPECT_EQ(doc.version, (PdfVersion{1, 7}));
    EXPECT_TRUE(doc.trailer.contains("Root"));
    EXPECT_EQ(doc.objects.size(), 8u);
    EXPECT_NE(doc.find({4, 0}), nullptr);
    EXPECT_TRUE(std::holds_alternative<XrefFree>(*doc.xref.find({0, 65535})));
}

TEST(Loader, ObjectStreams) {
    Document doc = Document::parse(fixture("xref_stream_objstm"));
    ASSERT_NE(doc.find({1, 0}), nullptr);
    EXPECT_TRUE(doc.find({1, 0})->as_dictionary()->get("Type")->is_name("Catalog"));
    const auto* entry = std::get_if<XrefCompressed>(doc.xref.find({3, 0}));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->object_stream, 9u);
    EXPECT_EQ(entry->index, 2u);
    // The object stream itself stays in the table.
    EXPECT_NE(doc.find({9, 0})->as_stream(), nullptr);
}

TEST(Loader, ObjectStreamUsesIndexNotHeaderNumber) {
    Document doc = Document::parse(fixture("objstm_index_not_number"));
    EXPECT_EQ(*doc.find({4, 0})->as_string(), "eight");
    EXPECT_EQ(doc.find({8, 0}), nullptr);
}

TEST(Loader, IncrementalUpdateNewestWinsAndTrailerIsNotMerged) {
    Document doc = Document::parse(fixture("incremental_update"));
    EXPECT_EQ(*doc.find({4, 0})->as_dictionary()->get("Title")->as_string(), "New");
    EXPECT_FALSE(doc.trailer.contains("Info"));
    EXPECT_TRUE(doc.trailer.contains("Prev"));
}

TEST(Loader, BothGenerationsRetained) {
    Document doc = Document::parse(fixture("two_generations"));
    EXPECT_EQ(*doc.find({5, 0})->as_string(), "gen0");
    EXPECT_EQ(*doc.find({5, 1})->as_string(), "gen1");
}

TEST(Loader, PrevLoopEndsChain) { EXPECT_EQ(Document::parse(fixture("prev_loop")).objects.size(), 2u); }

TEST(Loader, FreeEntryGenerationAboveU16IsClamped) {
    Document doc = Document::parse(fixture("free_generation_65536"));
    EXPECT_TRUE(std::holds_alternative<XrefFree>(*doc.xref.find({0, 65535})));
}

TEST(Loader, XrefStreamFieldWidths) {
    Document a = Document::parse(fixture("xref_w_121"));
    EXPECT_EQ(std::get<XrefFree>(*a.xref.find({0, 255})).generation, 255);
    EXPECT_EQ(a.objects.size(), 2u);  // the xref stream itself is not listed
    Document b = Document::parse(fixture("xref_w_020"));
    EXPECT_TRUE(std::holds_alternative<XrefInUse>(*b.xref.find({1, 0})));
    EXPECT_NO_THROW(Document::parse(fixture("xref_wide_field_no_entries")));
}

TEST(Loader, EffectiveVersion) {
    EXPECT_EQ(Document::parse(fixture("catalog_version_14")).effective_version(), (PdfVersion{1, 4}));
    EXPECT_EQ(Document::parse(fixture("classic")).effective_version(), (PdfVersion{1, 7}));
    try {
        Document::parse(fixture("catalog_version_110")).effective_version();
        FAIL();
    } catch (const PdfError& e) {
        EXPECT_STREQ(e.what(), "type mismatch in catalog /Version: expected name in the form /1.N");
    }
}

TEST(Loader, LookupRules) {
    Document doc = Document::parse(fixture("two_generations"));
    EXPECT_TRUE(doc.catalog().get("Type")->is_name("Catalog"));
    try {
        doc.resolve(Object(ObjectId{5, 2}));
        FAIL();
    } catch (const PdfError& e) {
        EXPECT_STREQ(e.what(), "dangling reference to object 5 2");
    }
    Document no_root = Document::parse(fixture("classic"));
    no_root.trailer = Dictionary();
    EXPECT_THROW(
        {
            try {
                no_root.catalog();
            } catch (const PdfError& e) {
                EXPECT_STREQ(e.what(), "missing required entry /Root in trailer");
                throw;
            }
        },
        PdfError);
}

TEST(Loader, MmapMatchesInMemoryAndReportsIo) {
    const std::string path = fixture_path("classic");
    EXPECT_EQ(Document::parse_mmap_file(path).objects.size(), 8u);
    try {
        Document::parse_mmap_file(path + ".missing");
        FAIL();
    } catch (const PdfError& e) {
        EXPECT_EQ(e.text(), "failed to open " + path + ".missing: No such file or directory");
    }
}

TEST(Loader, TraceOnlyWhenSubscribed) {
    const std::string bytes = fixture("xref_stream_objstm");
    testing_support::TraceRecorder recorder;
    trace::set_subscriber(&recorder, trace::Level::Trace);
    Document::parse(bytes);
    trace::set_subscriber(nullptr);
    const std::size_t detached = recorder.lines.size();
    Document::parse(bytes);
    EXPECT_EQ(recorder.lines.size(), detached);
    for (const char* name : {"parse", "parse_xref_chain", "parse_xref_stream", "parsed PDF header and startxref",
                             "parsed xref section", "parsed indirect object", "parsed compressed object",
                             "parsed PDF object graph"})
        EXPECT_TRUE(recorder.saw(std::string("quarvel::document ") + name)) << name;
}

}  // namespace
}  // namespace quarvel
