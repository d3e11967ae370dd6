#include "incremental.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support.hpp"
#include "writer.hpp"

namespace quarvel {
namespace {

using testing_support::document_from_objects;
using testing_support::error_of;
using testing_support::value_or_error;

const char kObjects[] = "1 0 obj << /Type /Catalog >> endobj 11 0 obj null endobj";

std::vector<Dictionary::Entry> trailer_with(std::vector<Dictionary::Entry> extra) {
    extra.emplace_back("Root", Object(ObjectId{1, 0}));
    return extra;
}

// What the update appends after `source`, which must come back unchanged in front.
std::string appended(std::string_view source, const Document& document, const UpdateObjects& objects,
                     std::optional<ObjectId> info = std::nullopt) {
    return value_or_error([&] {
        const std::string out = append_incremental_update(source, document, objects, info);
        EXPECT_EQ(out.substr(0, source.size()), source);
        return out.substr(source.size());
    });
}

TEST(Incremental, WorkedExampleIsByteExact) {
    Document document = document_from_objects(kObjects);
    document.start_xref = 900;
    const std::string source = std::string(999, 'x') + "\n";
    EXPECT_EQ(appended(source, document, {{ObjectId{12, 0}, "<< /Producer (quarvel) >>"}}, ObjectId{12, 0}),
              "12 0 obj\n<< /Producer (quarvel) >>\nendobj\n"
              "xref\n12 1\n0000001000 00000 n \n"
              "trailer\n<< /Size 13 /Root 1 0 R /Info 12 0 R /Prev 900 >>\nstartxref\n1042\n%%EOF\n");
}

TEST(Incremental, Engine) {
    const struct {
        const char* source;
        std::vector<Dictionary::Entry> trailer;
        UpdateObjects objects;
        std::string expected;
    } cases[] = {
        // One line feed before the first object, unless the source ends with one; one
        // subsection per object, in number order, whatever the writing order.
        {"%x", {}, {{{5, 0}, "A"}, {{3, 2}, "B"}},
         "\n5 0 obj\nA\nendobj\n3 2 obj\nB\nendobj\nxref\n3 1\n0000000020 00002 n \n5 1\n0000000003 00000 n \n"
         "trailer\n<< /Size 12 /Root 1 0 R /Prev 7 >>\nstartxref\n37\n%%EOF\n"},
        {"", {}, {}, "\nxref\ntrailer\n<< /Size 12 /Root 1 0 R /Prev 7 >>\nstartxref\n1\n%%EOF\n"},
        // A direct Info is dropped, a referenced one kept; /ID is repeated as stored.
        {"%\n", {{"Info", Dictionary({{"Title", String{"t"}}})}}, {}, "xref\ntrailer\n<< /Size 12 /Root 1 0 R /Prev 7"},
        {"%\n", {{"Info", ObjectId{4, 0}}, {"ID", Array{String{"\x01\x02"}, String{"ab"}}}}, {},
         "xref\ntrailer\n<< /Size 12 /Root 1 0 R /Info 4 0 R /ID [<0102> (ab)] /Prev 7"},
        // /Size never shrinks below the old value, and ignores one that is no count.
        {"%\n", {{"Size", Integer{40}}}, {{{20, 0}, "C"}}, "<< /Size 40 /Root"},
        {"%\n", {{"Size", Integer{4}}}, {{{20, 0}, "C"}}, "<< /Size 21 /Root"},
        {"%\n", {{"Size", Integer{-50}}}, {}, "<< /Size 12 /Root"},
        {"%\n", {{"Size", 50.0}}, {}, "<< /Size 12 /Root"},
    };
    for (const auto& c : cases) {
        Document document = document_from_objects(kObjects, trailer_with(c.trailer));
        document.start_xref = 7;
        const std::string out = appended(c.source, document, c.objects);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
}

TEST(Incremental, EngineRefuses) {
    const Stream stream{Dictionary(), ""};
    const std::pair<std::vector<Dictionary::Entry>, std::string> cases[] = {
        {{}, "missing required entry /Root in trailer"},
        {{{"Root", Object(stream)}}, "type mismatch in incremental trailer object: expected scalar object"},
        // Checked before anything else.
        {{{"Encrypt", ObjectId{9, 0}}}, "type mismatch in trailer /Encrypt: expected unencrypted document"},
    };
    for (const auto& [trailer, message] : cases) {
        const Document document = document_from_objects(kObjects, trailer);
        EXPECT_EQ(appended("%\n", document, {{{12, 0}, "A"}}), message);
    }
}

// A copy of `source` with objects replaced or added through an update of its own.
std::string revised(const std::string& source, const UpdateObjects& objects) {
    return append_incremental_update(source, Document::parse(source), objects, std::nullopt);
}

// The body of the last object written as `number` 0, as it stands in the file.
std::string body_of(const std::string& pdf, std::uint32_t number) {
    std::string header = "\n";  // built piecewise: g++ 12 warns falsely (-Wrestrict) on "\n" + string
    header.append(std::to_string(number)).append(" 0 obj\n");
    const std::size_t start = pdf.rfind(header);
    if (start == std::string::npos) return "absent";
    const std::size_t body = start + header.size();
    return pdf.substr(body, pdf.find("\nendobj\n", body) - body);
}

// From the last "xref" to the end of the trailer dictionary.
std::string last_section(const std::string& pdf) {
    const std::size_t start = pdf.rfind("\nxref\n") + 1;
    return pdf.substr(start, pdf.rfind("\nstartxref") - start);
}

TEST(Incremental, Metadata) {
    const std::string base = revised(write_text_pdf({"a"}, std::nullopt, std::nullopt),
                                     {{{5, 0},
                                       "<< /Title (A) /Producer (B) /Author <FEFF00E9> /Subject (Caf\\351) "
                                       "/Keywords (  ) /CreationDate (D:2020) /Zz 3 0 R /A#20b true >>"}});
    const struct {
        MetadataUpdate update;
        std::string info;
    } cases[] = {
        // Current values stay byte for byte, the producer becomes quarvel, every other entry
        // follows in key order, references as references.
        {{}, "<< /Title (A) /Author <FEFF00E9> /Subject <436166E9> /Producer (quarvel) /A#20b true "
             "/CreationDate (D:2020) /Zz 3 0 R >>"},
        {{"", "x", "\xC3\xA9", "k", "c", "p"}, "<< /Author (x) /Subject <FEFF00E9> /Keywords (k) /Creator (c) "
                                               "/Producer (p) /A#20b true /CreationDate (D:2020) /Zz 3 0 R >>"},
    };
    const std::string prev = std::to_string(Document::parse(base).start_xref);
    for (const auto& c : cases) {
        const std::string out = update_metadata_incremental(base, c.update);
        EXPECT_EQ(out.substr(0, base.size()), base);
        EXPECT_EQ(body_of(out, 6), c.info);
        const std::string section = last_section(out);
        EXPECT_EQ(section.substr(section.find("trailer")), "trailer\n<< /Size 7 /Root 1 0 R /Info 6 0 R /Prev " + prev + " >>");
    }
    // Objects the loader does not see may sit below the old /Size: new numbers start there.
    std::string sized = write_text_pdf({"a"}, std::nullopt, std::nullopt);
    sized.replace(sized.find("/Size 6"), 7, "/Size 30");
    const std::string out = update_metadata_incremental(sized, {});
    EXPECT_EQ(body_of(out, 30), "<< /Producer (quarvel) >>");
    EXPECT_NE(last_section(out).find("<< /Size 31 /Root"), std::string::npos);
}

TEST(Incremental, Annotations) {
    const std::string base = write_text_pdf({"a", "b"}, std::nullopt, std::nullopt);  // pages 3 and 5, objects 1-7
    const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R";
    const AnnotationRect rect{1, 2.5, -3, 1e3};
    const std::string note = "<< /Contents (n\\(1\\)) /Rect [1 2.5 -3 1000] /Subtype /Text /Type /Annot >>";
    const struct {
        UpdateObjects page;
        std::string annots;  // the page's new /Annots, or the error
        std::uint32_t number;
    } cases[] = {
        {{{{3, 0}, page + " >>"}}, "[8 0 R]", 8},
        {{{{3, 0}, page + " /Annots [5 0 R] >>"}}, "[5 0 R 8 0 R]", 8},
        {{{{3, 0}, page + " /Annots 9 0 R >>"}, {{9, 0}, "[5 0 R]"}}, "[5 0 R 10 0 R]", 10},
        {{{{3, 0}, page + " /Annots null >>"}}, "type mismatch in page /Annots: expected array", 0},
        {{{{3, 0}, page + " /Annots 4 >>"}}, "type mismatch in page /Annots: expected array", 0},
        {{{{3, 0}, page + " /Annots 9 0 R >>"}, {{9, 0}, "<< >>"}}, "type mismatch in page /Annots: expected array", 0},
        {{{{3, 0}, page + " /Annots 42 0 R >>"}}, "dangling reference to object 42 0", 0},
    };
    for (const auto& c : cases) {
        const std::string source = revised(base, c.page);
        const std::string out = value_or_error([&] { return add_text_annotation_incremental(source, 0, rect, "n(1)"); });
        if (!c.number) {
            EXPECT_EQ(out, c.annots);
            continue;
        }
        // Only the page and the note are written: an indirect /Annots array stays as it was.
        const std::string section = last_section(out);
        EXPECT_EQ(section.substr(0, 9), "xref\n3 1\n") << section;
        EXPECT_EQ(section.substr(29, 4 + std::to_string(c.number).size()), std::to_string(c.number) + " 1\n" + "0");
        EXPECT_EQ(body_of(out, c.number), note);
        EXPECT_EQ(body_of(out, 3),
                  "<< /Annots " + c.annots + " /Contents 4 0 R /MediaBox [0 0 612 792] /Parent 2 0 R /Type /Page >>");
    }
    EXPECT_EQ(body_of(add_uri_link_incremental(base, 1, {0, 0, 1, 1}, "https://x.test/?a=(b)"), 8),
              "<< /A << /S /URI /URI (https://x.test/?a=\\(b\\)) >> /Rect [0 0 1 1] /Subtype /Link /Type /Annot >>");
    EXPECT_EQ(body_of(add_text_annotation_incremental(base, 1, rect, "\xC3\xA9"), 8).substr(0, 26),
              "<< /Contents <FEFF00E9> /R");
}

TEST(Incremental, AnnotationErrors) {
    const std::string base = write_text_pdf({"a", "b"}, std::nullopt, std::nullopt);
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(error_of([&] { add_text_annotation_incremental(base, 2, {0, 0, 1, 1}, "x"); }),
              "type mismatch in page index: expected existing page");
    // The rectangle is checked before the source is even loaded.
    for (const AnnotationRect& rect : {AnnotationRect{nan, 0, 1, 1}, AnnotationRect{0, 0, 1, -inf}}) {
        EXPECT_EQ(error_of([&] { add_text_annotation_incremental("not a pdf", 0, rect, "x"); }),
                  "type mismatch in annotation rect: expected finite numbers");
        EXPECT_EQ(error_of([&] { add_uri_link_incremental("not a pdf", 9, rect, "x"); }),
                  "type mismatch in annotation rect: expected finite numbers");
    }
}

TEST(Incremental, UpdatesChain) {
    const std::string first = add_text_annotation_incremental(write_text_pdf({"a"}, "T", std::nullopt), 0,
                                                              {0, 0, 1, 1}, "one");
    MetadataUpdate title;
    title.title = "T2";
    const std::string second = update_metadata_incremental(first, title);
    const Document loaded = Document::parse(first);
    EXPECT_EQ(update_metadata_incremental(first, title, &loaded), second);
    const Document document = Document::parse(second);
    const std::size_t first_xref = Document::parse(first).start_xref;
    EXPECT_EQ(first.substr(first_xref, 5), "xref\n");
    EXPECT_NE(second.find("/Info 7 0 R /Prev " + std::to_string(first_xref) + " >>"), std::string::npos);
    EXPECT_EQ(body_of(second, 6).substr(0, 16), "<< /Contents (on");
    EXPECT_EQ(body_of(second, 7), "<< /Title (T2) /Producer (quarvel) >>");
    EXPECT_EQ(document.trailer.get("Size")->as_integer() ? *document.trailer.get("Size")->as_integer() : 0, 8);
}

}  // namespace
}  // namespace quarvel
