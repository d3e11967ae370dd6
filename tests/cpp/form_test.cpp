#include <gtest/gtest.h>

#include "embedded_file.hpp"
#include "form.hpp"
#include "inspect.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

using testing_support::document_from_objects;
using testing_support::value_or_error;

std::string fields_text(const Document& doc) {
    std::string out;
    for (const FormField& field : form_fields(doc)) {
        out += field.id ? field.id->to_string() : "-";
        out.append(" ").append(field.name.value_or("-")).append(" ").append(field.full_name.value_or("-"));
        out.append(" ").append(field.field_type ? form_field_type_text(*field.field_type) : "-");
        out.append(" ").append(field.value ? object_to_text(*field.value) : "-");
        out.append(" ").append(field.flags ? std::to_string(*field.flags) : "-").append(" [");
        for (ObjectId widget : field.widgets) out += widget.to_string() + ",";
        out += "];";
    }
    return out;
}

std::string form(const std::string& fields, const std::string& objects = "") {
    return "1 0 obj << /AcroForm << /Fields " + fields + " >> >> endobj " + objects;
}

// Objects 2 .. last-1 each listing the next one `copies` times as a kid, with a /T each.
std::string chain(int last, int copies) {
    std::string out;
    for (int n = 2; n < last; ++n) {
        std::string kids;
        for (int k = 0; k < copies; ++k) kids += std::to_string(n + 1) + " 0 R ";
        out += std::to_string(n) + " 0 obj << /T (x) /Kids [" + kids + "] >> endobj ";
    }
    return out + std::to_string(last) + " 0 obj << /T (leaf) >> endobj";
}

TEST(Form, TerminalFieldsWithInheritedAttributes) {
    const std::pair<std::string, std::string> cases[] = {
        {"1 0 obj << >> endobj", ""},
        {"1 0 obj << /AcroForm << >> >> endobj", ""},
        {form("[2 0 R]", "2 0 obj << /T (Name) /FT /Tx /Kids [3 0 R 4 0 R] >> endobj "
                         "3 0 obj << /Subtype /Widget >> endobj 4 0 obj << /Type /Annot /Subtype /Text >> endobj"),
         "2 0 Name Name Text - - [3 0,4 0,];"},
        {form("[2 0 R]", "2 0 obj << /T (form) /FT /Ch /Ff 4096 /Kids 5 0 R >> endobj "
                         "3 0 obj << /T (address) /Kids [4 0 R] /V 7 >> endobj "
                         "4 0 obj << /T (city) /V (Paris) /Ff (x) /FT (Tx) >> endobj 5 0 obj [3 0 R] endobj"),
         "4 0 city form.address.city Choice (Paris) 4096 [];"},
        // A merged field and widget lists itself when it has an id; an empty /T adds no level.
        {form("[2 0 R << /T (m) /Subtype /Widget >> 3 0 R]",
              "2 0 obj << /T (m) /Subtype /Widget /FT /Btn >> endobj 3 0 obj << /T (p) /Kids [4 0 R] >> endobj "
              "4 0 obj << /T () /FT /Foo >> endobj"),
         "2 0 m m Button - - [2 0,];- m m - - - [];4 0  p Unknown([70, 111, 111]) - - [];"},
        // A widget with a field key is a child field; a field reached twice is listed twice.
        {form("[2 0 R 2 0 R]", "2 0 obj << /T (p) /Kids [3 0 R] >> endobj 3 0 obj << /Subtype /Widget /T (c) >> endobj"),
         "3 0 c p.c - - - [3 0,];3 0 c p.c - - - [3 0,];"},
        {form("[<< /Kids [<< /T (a) >>] >>]"), "- a a - - - [];"},
        {form("[2 0 R]", "2 0 obj << /T (a) /Kids [3 0 R] >> endobj 3 0 obj << /Kids [2 0 R] >> endobj"),
         "form field tree contains a cycle at object 2 0"},
        {form("[2 0 R]", "2 0 obj << /T (a) /Kids [<< /Subtype /Widget >>] >> endobj"),
         "type mismatch in form field widget: expected indirect reference"},
        {form("5"), "type mismatch in AcroForm /Fields: expected array"},
        {"1 0 obj << /AcroForm 5 >> endobj", "type mismatch in catalog /AcroForm: expected dictionary"},
        {form("[9 0 R]"), "dangling reference to object 9 0"},
        {form("[5]"), "type mismatch in form field: expected dictionary"},
        {form("[<< /Kids 5 >>]"), "type mismatch in form field /Kids: expected array"},
        {form("[<< /Kids [5] >>]"), "type mismatch in form field kid: expected dictionary"},
        {form("[<< /Kids [9 0 R] >>]"), "dangling reference to object 9 0"},
        // Each level lists the next twice: 2^64 leaves if walked naively.
        {form("[2 0 R]", chain(66, 2)), "type mismatch in AcroForm /Fields: expected field tree of bounded size"},
        {form("[2 0 R]", chain(1100, 1)), "type mismatch in form field: expected field tree of bounded depth"},
    };
    for (const auto& [source, expected] : cases)
        EXPECT_EQ(value_or_error([&] { return fields_text(document_from_objects(source)); }), expected) << source;

    // A field read many times cannot list a long widget array each time.
    std::string fields = "[", widgets;
    for (int i = 0; i < 100; ++i) fields += "2 0 R ";
    for (int i = 0; i < 1000; ++i) widgets += "3 0 R ";
    const Document doc = document_from_objects(
        form(fields + "]", "2 0 obj << /T (w) /Kids [" + widgets + "] >> endobj 3 0 obj << /Subtype /Widget >> endobj"));
    EXPECT_EQ(testing_support::error_of([&] { form_fields(doc); }),
              "type mismatch in AcroForm /Fields: expected field tree of bounded size");
}

TEST(EmbeddedFile, ListsAttachmentsByName) {
    const auto names = [](const std::string& tree, const std::string& objects) {
        return "1 0 obj << /Names << /EmbeddedFiles << /Names " + tree + " >> >> >> endobj " + objects;
    };
    const std::string streams = "4 0 obj << /Params << /Size 3 >> /Length 3 >> stream\nbbb\nendstream endobj "
                                "5 0 obj << /Params 6 0 R /Length 3 >> stream\naaa\nendstream endobj "
                                "6 0 obj << /Size 3 >> endobj";
    const std::pair<std::string, std::string> cases[] = {
        {"1 0 obj << >> endobj", ""},
        {"1 0 obj << /Names << >> >> endobj", ""},
        {names("[(b.txt) 2 0 R (a.txt) 3 0 R]",
               "2 0 obj << /F (b) /EF << /F 5 0 R >> >> endobj "
               "3 0 obj << /UF (\xE9.txt) /F (x) /Desc (d) /EF << /F 5 0 R /UF 4 0 R >> >> endobj " + streams),
         "a.txt \xC3\xA9.txt d bbb 3;b.txt b - aaa -;"},
        {names("[(u) << /EF << /Unix 5 0 R /Mac 4 0 R >> >>]", streams), "u - - aaa -;"},
        {names("[(a) << /EF << /F (x) >> >>]", ""),
         "type mismatch in file specification /EF entry: expected indirect reference"},
        {names("[(a) (file.txt)]", ""), "type mismatch in embedded file specification: expected dictionary"},
        {names("[(a) << /F (x) >>]", ""), "missing required entry /EF in embedded file specification"},
        {names("[(a) << /EF << >> >>]", ""), "missing required entry /F in file specification /EF"},
        {names("[(a) << /EF << /F 6 0 R >> >>]", streams),
         "type mismatch in file specification /EF entry: expected stream"},
        {names("[(a) << /EF 5 >>]", ""), "type mismatch in file specification /EF: expected dictionary"},
        {"1 0 obj << /Names 5 >> endobj", "type mismatch in catalog /Names: expected dictionary"},
    };
    for (const auto& [source, expected] : cases) {
        EXPECT_EQ(value_or_error([&] {
                      const Document doc = document_from_objects(source);
                      std::string out;
                      for (const EmbeddedFile& file : embedded_files(doc)) {
                          const std::optional<Integer> size = file.declared_size();
                          out.append(file.name).append(" ").append(file.file_name.value_or("-")).append(" ");
                          out.append(file.description.value_or("-")).append(" ").append(file.stream->data);
                          out.append(" ").append(size ? std::to_string(*size) : "-").append(";");
                      }
                      return out;
                  }),
                  expected)
            << source;
    }
}

}  // namespace
}  // namespace quarvel
