#include <gtest/gtest.h>

#include "metadata.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

using testing_support::document_from_objects;
using testing_support::error_of;

const std::vector<Dictionary::Entry> kWithInfo = {{"Root", Object(ObjectId{1, 0})}, {"Info", Object(ObjectId{2, 0})}};

std::string catalog(std::string_view extra = "") {
    return "1 0 obj << /Type /Catalog /Pages 9 0 R " + std::string(extra) + " >> endobj ";
}

TEST(Metadata, ConvertsValues) {
    const struct {
        const char* info;
        const char* field;  // "title" or a custom key
        const char* expected;
    } cases[] = {
        {"/Title (Report)", "title", "Report"},
        {"/Title <FEFF00C9>", "title", "\xC3\x89"},
        {"/Trapped /True", "trapped", "True"},
        {"/Trapped true", "trapped", "true"},
        {"/Pages 3", "Pages", "3"},
        {"/Ratio -2.50", "Ratio", "-2.5"},
        {"/Whole 2.0", "Whole", "2"},
        {"/Big 123456789012345678901234.5", "Big", "123456789012345690000000"},
        {"/Company (Fran\xE7ois \xA9)", "Company", "Fran\xC3\xA7ois \xC2\xA9"},
        {"/Title 3 0 R", "title", "Referenced"},  // followed once
        {"/Title 4 0 R", "title", ""},            // a reference to a reference gives nothing
        {"/Title 99 0 R", "title", ""},           // missing target: no text, no error
        {"/Title [(a)]", "title", ""},
        {"/List [(a)]", "List", "(absent)"},
    };
    for (const auto& c : cases) {
        const Document doc = document_from_objects(catalog() + "2 0 obj << " + c.info +
                                                       " >> endobj 3 0 obj (Referenced) endobj 4 0 obj 3 0 R endobj",
                                                   kWithInfo);
        const DocumentMetadata m = metadata(doc);
        std::string got;
        if (std::string_view(c.field) == "title") {
            got = m.title;
        } else if (std::string_view(c.field) == "trapped") {
            got = m.trapped;
        } else {
            auto it = m.custom.find(c.field);
            got = it == m.custom.end() ? "(absent)" : it->second;
        }
        EXPECT_EQ(got, c.expected) << c.info;
    }
}

TEST(Metadata, RecordWithoutInfo) {
    const DocumentMetadata m = metadata(document_from_objects(catalog("/Version /1.4")));
    EXPECT_EQ(m.format, "PDF 1.4");
    EXPECT_TRUE(m.title.empty() && m.custom.empty() && !m.xmp && !m.encrypted);
}

TEST(Metadata, XmpAndErrors) {
    const std::string xmp = "3 0 obj << /Length 8 >> stream\n\xEF\xBB\xBF<x>\xFF>\nendstream endobj";
    EXPECT_EQ(metadata_xml(document_from_objects(catalog("/Metadata 3 0 R") + xmp)), "<x>\xEF\xBF\xBD>");
    EXPECT_EQ(metadata_xml(document_from_objects(catalog())), std::nullopt);

    const struct {
        std::string source;
        std::vector<Dictionary::Entry> trailer;
        const char* error;
    } cases[] = {
        {catalog(), {{"Root", Object(ObjectId{1, 0})}, {"Info", Object(ObjectId{7, 0})}},
         "dangling reference to object 7 0"},
        {catalog() + "2 0 obj 5 endobj", kWithInfo, "type mismatch in trailer /Info: expected dictionary"},
        {catalog("/Metadata 2 0 R") + "2 0 obj << >> endobj", kWithInfo,
         "type mismatch in catalog /Metadata: expected stream"},
        {catalog("/Version 1.4"), kWithInfo, "type mismatch in catalog /Version: expected name"},
        {"2 0 obj << >> endobj", {{"Info", Object(ObjectId{2, 0})}}, "missing required entry /Root in trailer"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(error_of([&] { metadata(document_from_objects(c.source, c.trailer)); }), c.error) << c.source;
}

TEST(Metadata, EncryptedOnlyReportsPresence) {
    const Document doc = document_from_objects(
        catalog() + "2 0 obj << /Title (plain) >> endobj",
        {{"Root", Object(ObjectId{1, 0})}, {"Info", Object(ObjectId{2, 0})}, {"Encrypt", Object(Null{})}});
    const DocumentMetadata m = metadata(doc);
    EXPECT_TRUE(m.encrypted);
    EXPECT_EQ(m.title, "plain");
}

}  // namespace
}  // namespace quarvel
