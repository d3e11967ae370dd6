#include <gtest/gtest.h>

#include "llm.hpp"
#include "markdown.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

using testing_support::document_from_objects;
using testing_support::stream_object;
using testing_support::value_or_error;

// A catalog with `catalog_extra`, and one page per entry of `pages` (objects 3, 4, ...).
std::string page_tree(const std::vector<std::string>& pages, std::string_view catalog_extra = "",
                      std::string_view count = "") {
    std::string kids, objects;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        kids += std::to_string(3 + i) + " 0 R ";
        objects += std::to_string(3 + i) + " 0 obj << /Type /Page /Parent 2 0 R " + pages[i] + " >> endobj ";
    }
    return "1 0 obj << /Type /Catalog /Pages 2 0 R " + std::string(catalog_extra) + " >> endobj " +
           "2 0 obj << /Type /Pages /MediaBox [0 0 612 792] /Kids [" + kids + "] /Count " +
           (count.empty() ? std::to_string(pages.size()) : std::string(count)) + " >> endobj " + objects;
}

Document loaded(const std::string& source, std::string_view info = "") {
    std::vector<Dictionary::Entry> trailer = {{"Root", Object(ObjectId{1, 0})}};
    if (!info.empty()) trailer.emplace_back("Info", Object(ObjectId{90, 0}));
    Document doc = document_from_objects(source + (info.empty() ? "" : "90 0 obj " + std::string(info) + " endobj "),
                                         std::move(trailer));
    doc.version = {1, 7};
    return doc;
}

std::string box_text(const std::optional<Rect>& box) {
    if (!box) return "-";
    std::string out;
    for (double v : *box) {
        if (!out.empty()) out.push_back(',');
        out.append(format_real(v));
    }
    return out;
}

// One line per block and one per request.
std::string describe(const LlmDocument& doc) {
    std::string out;
    for (const LlmPageChunk& page : doc.pages) {
        out += "page " + page.page_label + " box=" + box_text(page.media_box) + "\n";
        for (const LlmBlock& block : page.blocks) {
            out += "  " + block.id + " " + llm_block_kind_text(block.kind) + " bbox=" + box_text(block.bbox);
            if (block.object_id) out += " obj=" + block.object_id->reference_string();
            if (block.target) out += " target=" + *block.target;
            if (block.text) out += " text=" + *block.text;
            if (block.markdown) out += " md=" + *block.markdown;
            if (block.ocr_request) out += " req=" + block.ocr_request->id;
            EXPECT_FALSE(block.html);
            out += "\n";
        }
    }
    for (const OcrRequest& request : doc.ocr_requests) {
        out += request.id + " " + ocr_target_text(request.target) + " " + ocr_reason_text(request.reason) +
               " bbox=" + box_text(request.bbox);
        if (request.object_id) out += " obj=" + request.object_id->reference_string();
        if (request.resource_path) out += " path=" + *request.resource_path;
        if (request.width) out += " w=" + std::to_string(*request.width);
        out += " dpi=" + std::to_string(request.suggested_dpi) + "\n";
    }
    return out;
}

std::string llm_text(const Document& doc, LlmOptions options = {}) {
    return value_or_error([&] { return describe(document_to_llm(doc, options)); });
}

const std::string kImage = stream_object(20, "/Subtype /Image /Width 4 /Height 2 /BitsPerComponent 8", "");

// One page with or without text and an image, under each mode: the requests made.
struct PolicyCase {
    OcrMode mode;
    bool text;
    bool image;
    const char* requests;  // "id reason; " each
};

class OcrPolicy : public testing::TestWithParam<PolicyCase> {};

TEST_P(OcrPolicy, DecidesRequests) {
    const PolicyCase& c = GetParam();
    const std::string page = std::string("/Contents 10 0 R /Resources << /XObject << ") +
                             (c.image ? "/Im0 20 0 R" : "") + " >> >>";
    const Document doc = loaded(page_tree({page}) +
                                stream_object(10, "", c.text ? "BT (Hi) Tj ET" : "BT ( \t) Tj ET") + kImage);
    LlmOptions options;
    options.ocr = c.mode;
    const LlmDocument result = document_to_llm(doc, options);
    std::string requests;
    for (const OcrRequest& request : result.ocr_requests)
        requests += request.id + " " + ocr_reason_text(request.reason) + "; ";
    EXPECT_EQ(requests, c.requests);
    // Each request is also held by the block it concerns, and nowhere else.
    std::size_t held = 0;
    for (const LlmBlock& block : result.pages[0].blocks) {
        if (!block.ocr_request) continue;
        ASSERT_LT(held, result.ocr_requests.size());
        EXPECT_EQ(block.ocr_request->id, result.ocr_requests[held++].id);
    }
    EXPECT_EQ(held, result.ocr_requests.size());
}

INSTANTIATE_TEST_SUITE_P(
    Table, OcrPolicy,
    testing::Values(PolicyCase{OcrMode::Off, true, true, ""}, PolicyCase{OcrMode::Off, true, false, ""},
                    PolicyCase{OcrMode::Off, false, true, ""}, PolicyCase{OcrMode::Off, false, false, ""},
                    PolicyCase{OcrMode::Auto, true, true, "page-1-image-1-ocr image_may_contain_text; "},
                    PolicyCase{OcrMode::Auto, true, false, ""},
                    PolicyCase{OcrMode::Auto, false, true, "page-1-ocr no_text; "},
                    PolicyCase{OcrMode::Auto, false, false, ""},
                    PolicyCase{OcrMode::Always, true, true, "page-1-image-1-ocr forced; page-1-ocr forced; "},
                    PolicyCase{OcrMode::Always, true, false, "page-1-ocr forced; "},
                    PolicyCase{OcrMode::Always, false, true, "page-1-image-1-ocr forced; page-1-ocr forced; "},
                    PolicyCase{OcrMode::Always, false, false, "page-1-ocr forced; "}));

TEST(LlmDocument, NumbersBlocksAndCopiesRequests) {
    const std::string annots =
        "/Annots [<< /Subtype /Link /Rect [1 2 3 4] /A << /S /URI /URI (https://a.example) >> /Contents (go) >> "
        "30 0 R << /Subtype /Link /Dest [3 0 R /Fit] /Rect [1 2 3] >> "
        "<< /Subtype /Highlight /Rect 31 0 R /Contents <FEFF00C9> >> << /Subtype (Text) >>]";
    const Document doc = loaded(
        page_tree({"", "/MediaBox [0 0 5]", "/Contents 10 0 R /Resources << /XObject << /B 20 0 R /A 21 0 R >> >> " +
                                                annots},
                  "/PageLabels << /Nums [0 << /S /r >>] >>", "2") +
        stream_object(10, "", "BT ( Text \n) Tj ET") + kImage +
        stream_object(21, "/Subtype /Image /Width 1.0 /ColorSpace /DeviceRGB /Filter [/AHx /Fl]", "00") +
        "30 0 obj << /Subtype /Text /Rect [0 0 1 1] /Contents (note) >> endobj 31 0 obj [0 0 1 1] endobj");
    LlmOptions options;
    options.ocr = OcrMode::Always;
    EXPECT_EQ(llm_text(doc, options),
              "page i box=0,0,612,792\n"
              "  page-1-ocr ocr_placeholder bbox=0,0,612,792 obj=3 0 R target=page "
              "md=<!-- OCR placeholder: Forced page 1 --> req=page-1-ocr\n"
              "page ii box=-\n"
              "  page-2-ocr ocr_placeholder bbox=- obj=4 0 R target=page "
              "md=<!-- OCR placeholder: Forced page 2 --> req=page-2-ocr\n"
              // The label list follows /Count, which ends before the last page.
              "page 3 box=0,0,612,792\n"
              "  page-3-text text bbox=0,0,612,792 obj=5 0 R text= Text \n md=Text\n"
              "  page-3-image-1 image bbox=- obj=21 0 R md=![A](A) req=page-3-image-1-ocr\n"
              "  page-3-image-2 image bbox=- obj=20 0 R md=![B](B) req=page-3-image-2-ocr\n"
              "  page-3-link-1 link bbox=1,2,3,4 target=https://a.example text=go md=https://a.example\n"
              "  page-3-link-2 link bbox=- target=[3 0 R /Fit] md=[3 0 R /Fit]\n"
              "  page-3-annotation-2 annotation bbox=0,0,1,1 obj=30 0 R target=Text text=note md=note\n"
              "  page-3-annotation-4 annotation bbox=- target=Highlight text=\xC3\x89 md=\xC3\x89\n"
              "  page-3-annotation-5 annotation bbox=-\n"
              "  page-3-ocr ocr_placeholder bbox=0,0,612,792 obj=5 0 R target=page "
              "md=<!-- OCR placeholder: Forced page 3 --> req=page-3-ocr\n"
              "page-1-ocr page forced bbox=0,0,612,792 obj=3 0 R dpi=200\n"
              "page-2-ocr page forced bbox=- obj=4 0 R dpi=200\n"
              "page-3-image-1-ocr image forced bbox=- obj=21 0 R path=A dpi=200\n"
              "page-3-image-2-ocr image forced bbox=- obj=20 0 R path=B w=4 dpi=200\n"
              "page-3-ocr page forced bbox=0,0,612,792 obj=5 0 R dpi=200\n");

    const LlmDocument result = document_to_llm(doc, {});
    const LlmImage& image = *result.pages[2].blocks[1].image;
    EXPECT_EQ(image.width, std::nullopt);  // a Real
    EXPECT_EQ(image.filters, (std::vector<std::string>{"AHx", "Fl"}));
    EXPECT_EQ(image.color_space, "/DeviceRGB");
    EXPECT_EQ(image.encoded_length, 2u);
    EXPECT_EQ(result.pages[2].text, " Text \n");
}

TEST(LlmDocument, SwitchesLeaveBlocksOutAndListingErrorsEndIt) {
    const std::string page = "/Contents 10 0 R /Resources << /XObject << /Im0 20 0 R >> >> /Annots [<< /Subtype "
                             "/Square >>]";
    const Document doc = loaded(page_tree({page}) + stream_object(10, "", "") + kImage);
    // Without image blocks a scanned page has nothing that asks for OCR.
    EXPECT_EQ(llm_text(doc, {false, false, false, false, OcrMode::Auto}), "page 1 box=0,0,612,792\n");
    EXPECT_EQ(llm_text(doc, {true, false, true, true, OcrMode::Auto}),
              "page 1 box=0,0,612,792\n  page-1-annotation-1 annotation bbox=- target=Square\n");

    for (const auto& [bad, error] : std::vector<std::pair<std::string, std::string>>{
             {"/Resources << /XObject 7 >>", "type mismatch in page /Resources /XObject: expected dictionary"},
             {"/Resources << /XObject << /I 21 0 R >> >>", "type mismatch in stream /Filter: expected name or array"},
             {"/Annots 5", "type mismatch in page /Annots: expected array"}}) {
        const Document broken = loaded(page_tree({bad}) + stream_object(21, "/Subtype /Image /Filter 3", ""));
        EXPECT_EQ(llm_text(broken), error) << bad;
    }
}

TEST(Markdown, RendersSectionsAndEscapesCells) {
    const std::string outline = "/Outlines 40 0 R";
    const std::string objects =
        "40 0 obj << /First 41 0 R >> endobj 41 0 obj << /Title (Intro) /First 42 0 R >> endobj "
        "42 0 obj << /Title ( Scope|x) >> endobj ";
    const std::string references = "References\n[1] A. Author, A paper, 2020.";
    const Document doc =
        loaded(page_tree({"", "/Contents 10 0 R"}, outline) + objects +
                   stream_object(10, "", "BT ( Body text ) Tj T* (" + references.substr(0, 10) + ") Tj T* (" +
                                             references.substr(11) + ") Tj ET"),
               "<< /Title ( ) /Author (a|b\nc) /Subject (  ) /Producer (P\\rQ\\r\\nR) >>");
    EXPECT_EQ(document_to_markdown(doc, {}),
              "# PDF Document\n\n"
              "## Metadata\n\n| Field | Value |\n| --- | --- |\n"
              "|Author|a\\|b<br>c|\n|Producer|P<br>Q<br>R|\n|Format|PDF 1.7|\n\n"
              "## Outline\n\n- Intro\n  -  Scope|x\n\n"
              "## Page 1\n\n## Page 2\n\nBody text \n" + references + "\n\n"
              "## Extracted References\n\n" + references + "\n");
    EXPECT_EQ(document_to_markdown(doc, {false, false, false, false}), "# PDF Document\n\nBody text \n" +
                                                                            references + "\n\n");

    // A cycle in the outline costs only its section; the title is trimmed.
    const Document cyclic = loaded(page_tree({}, outline) + "40 0 obj << /First 41 0 R >> endobj "
                                                            "41 0 obj << /Title (A) /Next 41 0 R >> endobj ",
                                   "<< /Title ( Ti\ttle\n) >>");
    EXPECT_EQ(document_to_markdown(cyclic, {false, true, true, true}), "# Ti\ttle\n\n");
}

TEST(Markdown, ChunksCarryLabelsTextAndMetadata) {
    const Document doc = loaded(page_tree({"/Contents 10 0 R", ""}, "/PageLabels << /Nums [0 << /P (A-) >>] >>", "1") +
                                    stream_object(10, "", "BT ( x ) Tj ET"),
                                "<< /Author (Ada) >>");
    const std::vector<MarkdownPageChunk> chunks = document_to_markdown_chunks(doc);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].page_label, "A-");
    EXPECT_EQ(chunks[0].text, " x ");
    EXPECT_EQ(chunks[1].page_label, "2");
    EXPECT_EQ(chunks[1].page_number, 2u);
    EXPECT_EQ(chunks[1].page_id, (ObjectId{4, 0}));
    EXPECT_EQ(chunks[1].metadata.author, "Ada");
}

}  // namespace
}  // namespace quarvel
