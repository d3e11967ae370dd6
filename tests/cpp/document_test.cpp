#include <gtest/gtest.h>

#include "document.hpp"
#include "inspect.hpp"
#include "parser.hpp"
#include "support.hpp"
#include "trace.hpp"

namespace quarvel {
namespace {

using testing_support::error_of;
Document load(const std::string& name) { return Document::parse(testing_support::read_fixture(name)); }

const char* const kXref = "invalid cross-reference table";
const char* const kHeader = "invalid indirect object header";
const char* const kEof = "unexpected end of PDF data";

class Refusal : public testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(Refusal, GivesExactError) { EXPECT_EQ(error_of([] { load(GetParam().first); }), GetParam().second); }

INSTANTIATE_TEST_SUITE_P(
    Loader, Refusal,
    testing::Values(
        std::pair{"leading_space", "invalid PDF header"}, std::pair{"bad_startxref", "invalid startxref section"},
        std::pair{"in_use_generation_65536", "invalid token at byte 156: expected u16 integer"},
        std::pair{"bad_entry_keyword", kXref}, std::pair{"xref_type_3", kXref}, std::pair{"xref_short_data", kXref},
        std::pair{"xref_huge_index", kXref}, std::pair{"xref_odd_index", kXref},
        std::pair{"xref_entries_beyond_file", kXref}, std::pair{"nested_objects", kXref},
        std::pair{"in_use_generation_string", "invalid token at byte 156: expected integer"},
        std::pair{"xref_missing_w", "missing required entry /W in xref stream /W"},
        std::pair{"xref_w_not_array", "type mismatch in xref stream /W: expected array"},
        std::pair{"xref_w_negative", "type mismatch in xref stream /W: expected non-negative integer"},
        std::pair{"xref_index_not_array", "type mismatch in xref stream /Index: expected array"},
        std::pair{"objstm_owner_not_stream", "type mismatch in object stream: expected stream"},
        std::pair{"wrong_object_number", kHeader}, std::pair{"objstm_first_beyond", kHeader},
        std::pair{"objstm_index_beyond_n", kHeader}, std::pair{"objstm_first_at_end", kEof},
        std::pair{"objstm_huge_n", kEof}, std::pair{"objstm_missing_owner", "dangling reference to object 9 0"},
        std::pair{"objstm_wrong_type", "type mismatch in compressed object owner: expected /ObjStm"},
        std::pair{"deep_nesting", "invalid token at byte 380: array or dictionary nesting is too deep"}),
    [](const auto& info) { return std::string(info.param.first); });

TEST(Loader, HeaderAndStartxref) {
    const std::string good = testing_support::read_fixture("classic");
    for (std::string bytes : {"%PDF-1.x", "%PDF-10.0", "%PDF-1.", ""})
        EXPECT_EQ(error_of([&] { Document::parse(bytes.empty() ? bytes : bytes + good.substr(8)); }),
                  "invalid PDF header")
            << bytes;
    EXPECT_EQ(error_of([] { Document::parse("%PDF-1.7 no startxref here"); }), "invalid startxref section");
}

TEST(Loader, ClassicTableAndObjectStreams) {
    const Document classic = load("classic");
    EXPECT_EQ(classic.version, (PdfVersion{1, 7}));
    EXPECT_EQ(classic.objects.size(), 8u);
    EXPECT_TRUE(std::holds_alternative<XrefFree>(*classic.xref.find({0, 65535})));

    const Document compressed = load("xref_stream_objstm");
    EXPECT_TRUE(compressed.find({1, 0})->as_dictionary()->get("Type")->is_name("Catalog"));
    const auto* entry = std::get_if<XrefCompressed>(compressed.xref.find({3, 0}));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->object_stream, 9u);
    EXPECT_EQ(entry->index, 2u);
    EXPECT_NE(compressed.find({9, 0})->as_stream(), nullptr);  // the object stream stays in the table

    // Entries are found by their index, not by the numbers in the stream's header.
    const Document by_index = load("objstm_index_not_number");
    EXPECT_EQ(*by_index.find({4, 0})->as_string(), "eight");
    EXPECT_EQ(by_index.find({8, 0}), nullptr);
}

TEST(Loader, UpdatesAndGenerations) {
    const Document updated = load("incremental_update");
    EXPECT_EQ(*updated.find({4, 0})->as_dictionary()->get("Title")->as_string(), "New");
    EXPECT_FALSE(updated.trailer.contains("Info"));  // trailers are not merged
    EXPECT_TRUE(updated.trailer.contains("Prev"));

    const Document generations = load("two_generations");
    EXPECT_EQ(*generations.find({5, 0})->as_string(), "gen0");
    EXPECT_EQ(*generations.find({5, 1})->as_string(), "gen1");
    EXPECT_EQ(error_of([&] { generations.resolve(Object(ObjectId{5, 2})); }), "dangling reference to object 5 2");

    EXPECT_EQ(load("prev_loop").objects.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<XrefFree>(*load("free_generation_65536").xref.find({0, 65535})));
}

TEST(Loader, XrefStreamFieldWidths) {
    const Document a = load("xref_w_121");
    EXPECT_EQ(std::get<XrefFree>(*a.xref.find({0, 255})).generation, 255);
    EXPECT_EQ(a.objects.size(), 2u);  // the xref stream itself is not listed
    EXPECT_TRUE(std::holds_alternative<XrefInUse>(*load("xref_w_020").xref.find({1, 0})));
    EXPECT_NO_THROW(load("xref_wide_field_no_entries"));
}

TEST(Loader, CatalogVersionAndRoot) {
    EXPECT_EQ(load("catalog_version_14").effective_version(), (PdfVersion{1, 4}));
    EXPECT_EQ(load("classic").effective_version(), (PdfVersion{1, 7}));
    EXPECT_EQ(error_of([] { load("catalog_version_110").effective_version(); }),
              "type mismatch in catalog /Version: expected name in the form /1.N");
    EXPECT_EQ(error_of([] { load("catalog_version_number").effective_version(); }),
              "type mismatch in catalog /Version: expected name");
    Document no_root = load("classic");
    EXPECT_TRUE(no_root.catalog().get("Type")->is_name("Catalog"));
    no_root.trailer = Dictionary();
    EXPECT_EQ(error_of([&] { no_root.catalog(); }), "missing required entry /Root in trailer");
}

TEST(Loader, MmapMatchesInMemoryAndReportsIo) {
    const std::string path = testing_support::fixture_path("classic");
    EXPECT_EQ(Document::parse_mmap_file(path).objects.size(), 8u);
    EXPECT_EQ(error_of([&] { Document::parse_mmap_file(path + ".missing"); }),
              "failed to open " + path + ".missing: No such file or directory");
}

TEST(Loader, TraceOnlyWhenSubscribed) {
    const std::string bytes = testing_support::read_fixture("xref_stream_objstm");
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

using testing_support::value_or_error;

void append_id(std::string& ids, ObjectId id) { ids.append(ids.empty() ? "" : ",").append(id.to_string()); }

struct TreeCase {
    const char* fixture;
    const char* pages;  // page ids, or the error
    const char* count;  // Count, or the error
};

class PageTree : public testing::TestWithParam<TreeCase> {};

TEST_P(PageTree, WalksOrRefuses) {
    const Document doc = load(GetParam().fixture);
    EXPECT_EQ(value_or_error([&] {
                  std::string ids;
                  for (const PageRecord& page : doc.pages()) append_id(ids, page.id);
                  return ids;
              }),
              GetParam().pages);
    // One page at a time: the same pages, the same errors.
    EXPECT_EQ(value_or_error([&] {
                  std::string ids;
                  for (std::size_t i = 0; const std::optional<PageRecord> page = doc.page_at(i); ++i)
                      append_id(ids, page->id);
                  return ids;
              }),
              GetParam().pages);
    EXPECT_EQ(value_or_error([&] { return std::to_string(doc.page_count()); }), GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PageTree,
    testing::Values(
        TreeCase{"page_tree", "5 0,7 0,4 0,4 0", "7"},
        TreeCase{"page_tree_cycle_to_root", "page tree contains a cycle at object 2 0", "1"},
        TreeCase{"page_tree_leaf_without_type", "missing required entry /Kids in page tree node", "1"},
        TreeCase{"page_tree_direct_root", "type mismatch in catalog /Pages: expected indirect reference", "2"},
        TreeCase{"page_tree_no_pages", "missing required entry /Pages in catalog",
                 "missing required entry /Pages in catalog"},
        TreeCase{"page_tree_bad_type", "type mismatch in page tree node /Type: expected /Pages or /Page", "1"},
        TreeCase{"page_tree_kid_not_reference",
                 "type mismatch in page tree node /Kids item: expected indirect reference", "1"},
        TreeCase{"page_tree_kids_not_array", "type mismatch in page tree node /Kids: expected array", "1"},
        TreeCase{"page_tree_dangling_kid", "dangling reference to object 9 0", "1"},
        TreeCase{"page_tree_node_not_dictionary", "type mismatch in page tree node: expected dictionary", "1"},
        TreeCase{"page_tree_negative_count", "",
                 "type mismatch in page tree root /Count: expected non-negative integer"},
        TreeCase{"page_tree_no_count", "", "missing required entry /Count in page tree root"},
        TreeCase{"page_tree_too_deep", "type mismatch in page tree node: expected page tree of bounded depth", "1"},
        TreeCase{"page_tree_deepest", "1025 0", "1"},
        TreeCase{"page_tree_one_too_deep", "type mismatch in page tree node: expected page tree of bounded depth",
                 "1"},
        TreeCase{"page_tree_shared_blowup", "type mismatch in page tree node: expected page tree of bounded size",
                 "1"}),
    [](const auto& info) { return std::string(info.param.fixture); });

TEST(PageTree, InheritsFromAncestorsOnly) {
    const Document doc = load("page_tree");
    const std::vector<PageRecord> pages = doc.pages();
    ASSERT_EQ(pages.size(), 4u);
    auto text = [](const Object* object) { return object ? object_to_text(*object) : "none"; };
    // Page 5 sits below the untyped node that overrides MediaBox and adds CropBox; all share Resources and Rotate.
    const char* const expected[][3] = {{"[0 0 100 100]", "[1 1 99 99]", "<< /Font << /F9 8 0 R >> >>"},
                                       {"[0 0 100 100]", "[1 1 99 99]", "<< /ProcSet [/PDF /Text] >>"},
                                       {"[0 0 612 792]", "none", "<< /ProcSet [/PDF /Text] >>"},
                                       {"[0 0 612 792]", "none", "<< /ProcSet [/PDF /Text] >>"}};
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const PageAttributes& a = pages[i].inherited;
        SCOPED_TRACE(i);
        EXPECT_EQ(text(a.resources) + " " + text(a.rotate), "20 0 R 90");
        EXPECT_EQ(text(a.media_box), expected[i][0]);
        EXPECT_EQ(text(a.crop_box), expected[i][1]);
        EXPECT_EQ(dictionary_to_text(*doc.page_resource_dictionary(*pages[i].dictionary, a.resources)), expected[i][2]);
        const PageRecord one = *doc.page_at(i);
        EXPECT_TRUE(one.dictionary == pages[i].dictionary && one.inherited.resources == a.resources &&
                    one.inherited.media_box == a.media_box && one.inherited.crop_box == a.crop_box &&
                    one.inherited.rotate == a.rotate);
    }
    // Records borrow the page's own dictionary, the stream's for a stream page.
    EXPECT_EQ(pages[1].dictionary, &doc.find({7, 0})->as_stream()->dictionary);
    EXPECT_EQ(pages[2].dictionary, pages[3].dictionary);

    const Dictionary empty;
    const Object stream_resources(ObjectId{19, 0}), bad_resources(ObjectId{18, 0});
    EXPECT_EQ(doc.page_resource_dictionary(empty, nullptr), nullptr);
    EXPECT_EQ(doc.page_resource_dictionary(empty, &stream_resources), &doc.find({19, 0})->as_stream()->dictionary);
    EXPECT_EQ(error_of([&] { doc.page_resource_dictionary(empty, &bad_resources); }),
              "type mismatch in page /Resources: expected dictionary");
}

Object ref(std::uint32_t number) { return Object(ObjectId{number, 0}); }
const char* const kContentsMismatch = "type mismatch in page /Contents: expected stream or array of streams";

class ContentStreams : public testing::TestWithParam<std::tuple<const char*, Object, const char*>> {};

TEST_P(ContentStreams, FlattensInOrder) {
    const auto& [fixture, contents, expected] = GetParam();
    const Document doc = load(fixture);
    EXPECT_EQ(value_or_error([&] {
                  std::vector<const Stream*> list;
                  doc.collect_content_streams(contents, list);
                  std::string ids;
                  for (const Stream* stream : list)
                      for (const auto& [id, object] : doc.objects)
                          if (object.as_stream() == stream) append_id(ids, id);
                  return ids;
              }),
              expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentStreams,
    testing::Values(std::tuple{"page_tree", ref(9), "9 0"},
                    std::tuple{"page_tree", Object(Array{ref(9), Array{ref(10), ref(11)}}), "9 0,10 0,11 0"},
                    std::tuple{"page_tree", ref(16), "9 0,9 0,10 0,10 0"},  // shared, not a cycle
                    std::tuple{"page_tree", ref(12), kContentsMismatch},
                    std::tuple{"page_tree", ref(13), kContentsMismatch},  // refers to itself
                    std::tuple{"page_tree", Object(Array{ref(14)}), kContentsMismatch},
                    std::tuple{"page_tree", Object(Array{ref(9), ref(99)}), "dangling reference to object 99 0"},
                    std::tuple{"contents_shared_blowup", ref(4), kContentsMismatch}));

std::string stream_source(const std::string& data) {
    return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}
std::string stream_text(const std::string& length, const std::string& shown) {
    return "<< /Length " + length + " >>\nstream\n<" + length + " encoded bytes" + shown + ">\nendstream";
}

TEST(Inspect, ObjectText) {
    const std::pair<std::string, std::string> cases[] = {
        {"1.0", "1"}, {"/A#20B", "/A B"}, {"/caf\xE9", "/caf\xEF\xBF\xBD"}, {"(a\\(b\\)\\\\c)", "(a(b)\\c)"},
        {"<FEFF00E9D83DDE00>", "(\xC3\xA9\xF0\x9F\x98\x80)"},
        {"[1 [/X 2.5] << >> 12 3 R null true -3]", "[1 [/X 2.5] << >> 12 3 R null true -3]"},
        {"<< /Z 1 /A << /K [] >> /M#C3#A9 (t) >>", "<< /A << /K [] >> /M\xC3\xA9 (t) /Z 1 >>"},
        {stream_source("a\r\nb\tc\fd e\n"), stream_text("11", ": a\\n\\nb\tc\fd e\\n")},
        {stream_source(std::string(120, 'x')), stream_text("120", ": " + std::string(120, 'x'))},
        {stream_source(std::string(121, 'x')), stream_text("121", "")},
        {stream_source(std::string("a\0b", 3)), stream_text("3", "")},
        {stream_source("a\x7F"), stream_text("2", "")},
    };
    for (const auto& [source, text] : cases) {
        const std::string object = "1 0 obj\n" + source + "\nendobj";  // streams exist only as indirect objects
        Parser parser(object);
        EXPECT_EQ(object_to_text(parser.parse_indirect_object().second), text) << source;
    }
    EXPECT_EQ(xref_entry_text(XrefFree{7, 65535}), "free next=7 generation=65535");
    EXPECT_EQ(xref_entry_text(XrefInUse{18446744073709551615u, 2}), "in-use offset=18446744073709551615 generation=2");
    EXPECT_EQ(xref_entry_text(XrefCompressed{4294967295u, 3}), "compressed object_stream=4294967295 index=3");
}

TEST(Inspect, DumpAndSummary) {
    const Document doc = load("inspect_dump");
    EXPECT_EQ(dump_objects(doc),
              "1 0 obj % in-use offset=15 generation=0 % dictionary\n<< /Pages 2 0 R /Type /Catalog >>\nendobj\n\n"
              "2 0 obj % in-use offset=64 generation=0 % dictionary\n<< >>\nendobj\n\n"
              "3 0 obj % in-use offset=85 generation=0 % stream\n"
              "<< /Length 4 /N 1 >>\nstream\n<4 encoded bytes: A\\n\\nB>\nendstream\nendobj");
    const PdfObjectSummary summary = object_summary(doc, {2, 0});
    EXPECT_EQ(summary.id, (ObjectId{2, 0}));
    EXPECT_STREQ(summary.kind, "dictionary");
    EXPECT_EQ(summary.xref, "in-use offset=64 generation=0");
    EXPECT_EQ(summary.text, "<< >>");
    EXPECT_EQ(error_of([&] { object_summary(doc, {99, 0}); }), "dangling reference to object 99 0");

    // Every object of an object stream gets a header naming its entry.
    const Document compressed = load("xref_stream_objstm");
    const std::string dump = dump_objects(compressed);
    std::size_t headers = 0;
    for (std::size_t at = dump.find(" obj % "); at != std::string::npos; at = dump.find(" obj % ", at + 1)) ++headers;
    EXPECT_EQ(headers, compressed.objects.size());
    for (const char* header : {"1 0 obj % compressed object_stream=9 index=0 % dictionary\n",
                               "4 0 obj % compressed object_stream=9 index=3 % dictionary\n", "9 0 obj % in-use"})
        EXPECT_NE(dump.find(header), std::string::npos) << header;
}

}  // namespace
}  // namespace quarvel
