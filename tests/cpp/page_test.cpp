#include <gtest/gtest.h>


#include "document.hpp"
#include "support.hpp"
#include "inspect.hpp"

namespace quarvel {
namespace {

std::string fixture(const std::string& name) { return testing_support::read_fixture(name); }

template <class F>
std::string outcome(F&& run) {
    try {
        return run();
    } catch (const PdfError& e) {
        return e.text();
    }
}

std::string text_or_none(const Object* object) { return object ? object_to_text(*object) : "none"; }

void append_id(std::string& ids, ObjectId id) {
    if (!ids.empty()) ids += ',';
    ids += id.to_string();
}

struct TreeCase {
    const char* fixture;
    const char* pages;  // page ids, or the error
    const char* count;  // Count, or the error
};

class PageTree : public testing::TestWithParam<TreeCase> {};

TEST_P(PageTree, WalksOrRefuses) {
    const Document doc = Document::parse(fixture(GetParam().fixture));
    EXPECT_EQ(outcome([&] {
                  std::string ids;
                  for (const PageRecord& page : doc.pages()) append_id(ids, page.id);
                  return ids;
              }),
              GetParam().pages);
    EXPECT_EQ(outcome([&] { return std::to_string(doc.page_count()); }), GetParam().count);
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
        TreeCase{"page_tree_negative_count", "", "type mismatch in page tree root /Count: expected non-negative integer"},
        TreeCase{"page_tree_no_count", "", "missing required entry /Count in page tree root"},
        TreeCase{"page_tree_too_deep", "type mismatch in page tree node: expected page tree of bounded depth", "1"},
        TreeCase{"page_tree_shared_blowup", "type mismatch in page tree node: expected page tree of bounded size",
                 "1"}),
    [](const auto& info) { return std::string(info.param.fixture); });

TEST(PageTree, InheritsFromAncestorsOnly) {
    const Document doc = Document::parse(fixture("page_tree"));
    const std::vector<PageRecord> pages = doc.pages();
    ASSERT_EQ(pages.size(), 4u);
    struct Expected {
        const char* resources;
        const char* media_box;
        const char* crop_box;
        const char* rotate;
        const char* effective_resources;
    };
    // Page 5 sits below the untyped node that overrides MediaBox and adds CropBox.
    const Expected expected[] = {
        {"20 0 R", "[0 0 100 100]", "[1 1 99 99]", "90", "<< /Font << /F9 8 0 R >> >>"},
        {"20 0 R", "[0 0 100 100]", "[1 1 99 99]", "90", "<< /ProcSet [/PDF /Text] >>"},
        {"20 0 R", "[0 0 612 792]", "none", "90", "<< /ProcSet [/PDF /Text] >>"},
        {"20 0 R", "[0 0 612 792]", "none", "90", "<< /ProcSet [/PDF /Text] >>"},
    };
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const PageAttributes& a = pages[i].inherited;
        SCOPED_TRACE(i);
        EXPECT_EQ(text_or_none(a.resources), expected[i].resources);
        EXPECT_EQ(text_or_none(a.media_box), expected[i].media_box);
        EXPECT_EQ(text_or_none(a.crop_box), expected[i].crop_box);
        EXPECT_EQ(text_or_none(a.rotate), expected[i].rotate);
        const Dictionary* resources = doc.page_resource_dictionary(*pages[i].dictionary, a.resources);
        ASSERT_NE(resources, nullptr);
        EXPECT_EQ(dictionary_to_text(*resources), expected[i].effective_resources);
    }
    // Records borrow the page's own dictionary, the stream's for a stream page.
    EXPECT_EQ(pages[1].dictionary, &doc.find({7, 0})->as_stream()->dictionary);
    EXPECT_EQ(pages[2].dictionary, pages[3].dictionary);
}

TEST(PageTree, ResourceDictionaryLookup) {
    const Document doc = Document::parse(fixture("page_tree"));
    const Dictionary empty;
    const Object stream_resources(ObjectId{19, 0});
    const Object bad_resources(ObjectId{18, 0});
    EXPECT_EQ(doc.page_resource_dictionary(empty, nullptr), nullptr);
    EXPECT_EQ(doc.page_resource_dictionary(empty, &stream_resources), &doc.find({19, 0})->as_stream()->dictionary);
    EXPECT_EQ(outcome([&] { return std::to_string(!!doc.page_resource_dictionary(empty, &bad_resources)); }),
              "type mismatch in page /Resources: expected dictionary");
}

struct ContentsCase {
    const char* name;
    Object contents;
    const char* result;  // stream ids, or the error
};

class ContentStreams : public testing::TestWithParam<ContentsCase> {};

TEST_P(ContentStreams, FlattensInOrder) {
    const Document doc = Document::parse(fixture("page_tree"));
    EXPECT_EQ(outcome([&] {
                  std::vector<const Stream*> list;
                  doc.collect_content_streams(GetParam().contents, list);
                  std::string ids;
                  for (const Stream* stream : list) {
                      for (const auto& [id, object] : doc.objects)
                          if (object.as_stream() == stream) append_id(ids, id);
                  }
                  return ids;
              }),
              GetParam().result);
}

Object ref(std::uint32_t number) { return Object(ObjectId{number, 0}); }

const char* const kContentsMismatch = "type mismatch in page /Contents: expected stream or array of streams";

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentStreams,
    testing::Values(
        ContentsCase{"single", ref(9), "9 0"},
        ContentsCase{"nested", Array{ref(9), Array{ref(10), ref(11)}}, "9 0,10 0,11 0"},
        ContentsCase{"shared_not_cycle", ref(16), "9 0,9 0,10 0,10 0"},
        ContentsCase{"dictionary", ref(12), kContentsMismatch},
        ContentsCase{"self_reference", ref(13), kContentsMismatch},
        ContentsCase{"two_step_cycle", Array{ref(14)}, kContentsMismatch},
        ContentsCase{"dangling", Array{ref(9), ref(99)}, "dangling reference to object 99 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ContentStreams, SharedArraysAreBounded) {
    const Document doc = Document::parse(fixture("contents_shared_blowup"));
    std::vector<const Stream*> list;
    EXPECT_EQ(outcome([&] {
                  doc.collect_content_streams(ref(4), list);
                  return std::string();
              }),
              kContentsMismatch);
}

}  // namespace
}  // namespace quarvel
