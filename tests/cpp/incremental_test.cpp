#include "incremental.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "support.hpp"
#include "writer.hpp"

namespace quarvel {
namespace {

using testing_support::document_from_objects;
using testing_support::value_or_error;

const Object kRoot = ObjectId{1, 0};

// What the update appends after `source`, which must stay in front unchanged; or the error.
std::string appended(std::string_view source, const Document& document, const UpdateObjects& objects,
                     std::optional<ObjectId> info = std::nullopt) {
    return value_or_error([&] {
        const std::string out = append_incremental_update(source, document, objects, info);
        EXPECT_EQ(out.substr(0, source.size()), source);
        return out.substr(source.size());
    });
}

TEST(Incremental, WorkedExampleIsByteExact) {
    Document document = document_from_objects("1 0 obj << >> endobj 11 0 obj null endobj");
    document.start_xref = 900;
    EXPECT_EQ(appended(std::string(999, 'x') + "\n", document, {{{12, 0}, "<< /Producer (quarvel) >>"}}, ObjectId{12, 0}),
              "12 0 obj\n<< /Producer (quarvel) >>\nendobj\nxref\n12 1\n0000001000 00000 n \n"
              "trailer\n<< /Size 13 /Root 1 0 R /Info 12 0 R /Prev 900 >>\nstartxref\n1042\n%%EOF\n");
}

TEST(Incremental, Engine) {
    const struct {
        const char* source;
        std::vector<Dictionary::Entry> trailer;
        UpdateObjects objects;
        std::string expected;  // a part of what is appended, or the error
    } cases[] = {
        // One line feed before the first object unless the source ends with one; one
        // subsection per object, in number order whatever the writing order.
        {"%x", {{"Root", kRoot}}, {{{5, 0}, "A"}, {{3, 2}, "B"}},
         "\n5 0 obj\nA\nendobj\n3 2 obj\nB\nendobj\nxref\n3 1\n0000000020 00002 n \n5 1\n0000000003 00000 n \n"
         "trailer\n<< /Size 12 /Root 1 0 R /Prev 7 >>\nstartxref\n37\n%%EOF\n"},
        {"", {{"Root", kRoot}}, {}, "\nxref\ntrailer\n<< /Size 12 /Root 1 0 R /Prev 7 >>\nstartxref\n1\n%%EOF\n"},
        // A direct Info is dropped, a referenced one kept; /ID is repeated as stored.
        {"%\n", {{"Root", kRoot}, {"Info", Dictionary()}}, {}, "<< /Size 12 /Root 1 0 R /Prev 7 >>"},
        {"%\n", {{"Root", kRoot}, {"Info", ObjectId{4, 0}}, {"ID", Array{String{"\x01"}, String{"ab"}}}}, {},
         "<< /Size 12 /Root 1 0 R /Info 4 0 R /ID [<01> (ab)] /Prev 7 >>"},
        // /Size never shrinks, and ignores an old value that is no count.
        {"%\n", {{"Root", kRoot}, {"Size", Integer{40}}}, {{{20, 0}, "C"}}, "<< /Size 40 /Root"},
        {"%\n", {{"Root", kRoot}, {"Size", Integer{-50}}}, {{{20, 0}, "C"}}, "<< /Size 21 /Root"},
        {"%\n", {}, {}, "missing required entry /Root in trailer"},
        {"%\n", {{"Root", Stream{}}}, {}, "type mismatch in incremental trailer object: expected scalar object"},
        {"%\n", {{"Encrypt", ObjectId{9, 0}}}, {}, "type mismatch in trailer /Encrypt: expected unencrypted document"},
    };
    for (const auto& c : cases) {
        Document document = document_from_objects("1 0 obj << >> endobj 11 0 obj null endobj", c.trailer);
        document.start_xref = 7;
        const std::string out = appended(c.source, document, c.objects);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
}

// The body of the last object written as `number` 0.
std::string body_of(const std::string& pdf, std::uint32_t number) {
    std::string header = "\n";  // built piecewise: g++ 12 warns falsely (-Wrestrict) on "\n" + string
    header.append(std::to_string(number)).append(" 0 obj\n");
    const std::size_t start = pdf.rfind(header);
    if (start == std::string::npos) return "absent";
    const std::size_t body = start + header.size();
    return pdf.substr(body, pdf.find("\nendobj\n", body) - body);
}

// `source` with objects replaced or added through an update of its own.
std::string revised(const std::string& source, const UpdateObjects& objects) {
    return append_incremental_update(source, Document::parse(source), objects, std::nullopt);
}

TEST(Incremental, Metadata) {
    const std::string base =
        revised(write_text_pdf({"a"}, std::nullopt, std::nullopt),
                {{{5, 0}, "<< /Title (A) /Producer (B) /Author <FEFF00E9> /Subject (Caf\\351) /Keywords (  ) "
                          "/CreationDate (D:2020) /Zz 3 0 R /A#20b true >>"}});
    // Current values stay byte for byte, the producer becomes quarvel, and every other
    // entry follows in key order, references as references.
    EXPECT_EQ(body_of(update_metadata_incremental(base, {}), 6),
              "<< /Title (A) /Author <FEFF00E9> /Subject <436166E9> /Producer (quarvel) /A#20b true "
              "/CreationDate (D:2020) /Zz 3 0 R >>");
    const std::string out = update_metadata_incremental(base, {"", "x", "\xC3\xA9", "k", "c", "p"});
    EXPECT_EQ(body_of(out, 6), "<< /Author (x) /Subject <FEFF00E9> /Keywords (k) /Creator (c) /Producer (p) "
                               "/A#20b true /CreationDate (D:2020) /Zz 3 0 R >>");
    EXPECT_NE(out.find("<< /Size 7 /Root 1 0 R /Info 6 0 R /Prev "), std::string::npos);
    // Objects the loader does not see may sit below the old /Size: new numbers start there.
    std::string sized = write_text_pdf({"a"}, std::nullopt, std::nullopt);
    sized.replace(sized.find("/Size 6"), 7, "/Size 30");
    const Document loaded = Document::parse(sized);
    EXPECT_EQ(body_of(update_metadata_incremental(sized, {}, &loaded), 30), "<< /Producer (quarvel) >>");
}

TEST(Incremental, Annotations) {
    const std::string base = write_text_pdf({"a", "b"}, std::nullopt, std::nullopt);  // pages 3 and 5, objects 1-7
    const std::string page = "<< /Type /Page /Parent 2 0 R /Contents 4 0 R";
    const std::pair<UpdateObjects, std::string> cases[] = {
        {{{{3, 0}, page + " >>"}}, "[8 0 R]"},
        {{{{3, 0}, page + " /Annots [5 0 R] >>"}}, "[5 0 R 8 0 R]"},
        {{{{3, 0}, page + " /Annots 9 0 R >>"}, {{9, 0}, "[5 0 R]"}}, "[5 0 R 10 0 R]"},
        {{{{3, 0}, page + " /Annots null >>"}}, "type mismatch in page /Annots: expected array"},
        {{{{3, 0}, page + " /Annots 4 >>"}}, "type mismatch in page /Annots: expected array"},
        {{{{3, 0}, page + " /Annots 9 0 R >>"}, {{9, 0}, "<< >>"}}, "type mismatch in page /Annots: expected array"},
        {{{{3, 0}, page + " /Annots 42 0 R >>"}}, "dangling reference to object 42 0"},
        {{}, "type mismatch in page index: expected existing page"},
    };
    for (const auto& [objects, annots] : cases) {
        const std::string source = revised(base, objects);
        const std::size_t index = objects.empty() ? 2 : 0;
        const std::string out =
            value_or_error([&] { return add_text_annotation_incremental(source, index, {1, 2.5, -3, 1e3}, "n(1)"); });
        if (annots[0] != '[') {
            EXPECT_EQ(out, annots);
            continue;
        }
        // The page gets a direct array; an indirect one is left as it was.
        EXPECT_EQ(out.find("\n9 0 obj\n", source.size()), std::string::npos);
        EXPECT_EQ(body_of(out, 3), "<< /Annots " + annots + " /Contents 4 0 R /Parent 2 0 R /Type /Page >>");
        EXPECT_EQ(body_of(out, objects.size() > 1 ? 10 : 8),
                  "<< /Contents (n\\(1\\)) /Rect [1 2.5 -3 1000] /Subtype /Text /Type /Annot >>");
    }
    EXPECT_EQ(body_of(add_uri_link_incremental(base, 1, {0, 0, 1, 1}, "https://x.test/?a=(b)"), 8),
              "<< /A << /S /URI /URI (https://x.test/?a=\\(b\\)) >> /Rect [0 0 1 1] /Subtype /Link /Type /Annot >>");
    EXPECT_EQ(body_of(add_text_annotation_incremental(base, 1, {0, 0, 1, 1}, "\xC3\xA9"), 8).substr(0, 26),
              "<< /Contents <FEFF00E9> /R");
    // The rectangle is checked before the source is even loaded.
    EXPECT_EQ(value_or_error([] { return add_uri_link_incremental("no pdf", 9, {0, 0, std::nan(""), 1}, "x"); }),
              "type mismatch in annotation rect: expected finite numbers");
    EXPECT_EQ(value_or_error([] { return add_text_annotation_incremental("no pdf", 0, {0, 0, 1, -INFINITY}, ""); }),
              "type mismatch in annotation rect: expected finite numbers");
}

}  // namespace
}  // namespace quarvel
