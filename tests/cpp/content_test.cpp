#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content.hpp"
#include "error.hpp"

namespace quarvel {
namespace {

using namespace std::string_literals;

void render(std::string& out, const Object& o) {
    if (const Integer* i = o.as_integer()) {
        out += std::to_string(*i);
    } else if (const Real* r = o.as_real()) {
        out += format_real(*r) + "r";
    } else if (const std::string* n = o.as_name()) {
        out += "/" + *n;
    } else if (const std::string* s = o.as_string()) {
        out += "(" + *s + ")";
    } else if (const ObjectId* id = o.as_reference()) {
        out += id->reference_string();
    } else if (const Array* a = o.as_array()) {
        out += "[";
        for (const Object& item : *a) {
            if (out.back() != '[') out += " ";
            render(out, item);
        }
        out += "]";
    } else if (const Dictionary* d = o.as_dictionary()) {
        out += "<<";
        for (const auto& [key, value] : *d) {
            if (out.back() != '<') out += " ";
            out += "/" + key + " ";
            render(out, value);
        }
        out += ">>";
    } else {
        out += o.is_null() ? "null" : *o.as_bool() ? "true" : "false";
    }
}

// "operands op; operands op; ..."
std::string render(const std::vector<ContentOperation>& ops) {
    std::string out;
    for (const ContentOperation& op : ops) {
        if (!out.empty()) out += "; ";
        for (const Object& o : op.operands) {
            render(out, o);
            out += " ";
        }
        out += op.op;
    }
    return out;
}

struct OpsCase {
    std::string input;
    std::string expected;
};

class ContentOps : public ::testing::TestWithParam<OpsCase> {};

TEST_P(ContentOps, Parses) {
    EXPECT_EQ(render(parse_content_operations(GetParam().input)), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentOps,
    ::testing::Values(
        OpsCase{"", ""},
        OpsCase{" \r\n% only a comment\n  %another", ""},
        OpsCase{"BT /F1 12 Tf (Hi) Tj ET", "BT; /F1 12 Tf; (Hi) Tj; ET"},
        OpsCase{"q 1 0 0 1 72.5 -.5 cm Q", "q; 1 0 0 1 72.5r -0.5r cm; Q"},
        // the end of the data inside a comment or a truncated token is just the end
        OpsCase{"ET % no line end", "ET"},
        OpsCase{"ET <4142", "ET"},
        // references need a look-ahead of two tokens; anything else is re-read as is
        OpsCase{"5 0 R Do", "5 0 R Do"},
        OpsCase{"5 0 Td", "5 0 Td"},
        OpsCase{"1 2 3 0 R x", "1 2 3 0 R x"},
        OpsCase{"1 R x", "1 R; x"},
        OpsCase{"4294967295 65535 R Do", "4294967295 65535 R Do"},
        OpsCase{"[1 0 R 2 0 R 3] x", "[1 0 R 2 0 R 3] x"},
        OpsCase{"<</A 7 0 R /B 8>> x", "<</A 7 0 R /B 8>> x"},
        OpsCase{"[ (A) -250 (B) ] TJ", "[(A) -250 (B)] TJ"},
        OpsCase{"/P <</MCID 3>> BDC", "/P <</MCID 3>> BDC"},
        OpsCase{"<</A 1 /A 2 /B [[] <<>>]>> x", "<</A 2 /B [[] <<>>]>> x"},
        OpsCase{"true false null x", "true false null x"},
        // literals are values inside arrays and dictionaries too
        OpsCase{"[true false null] x", "[true false null] x"},
        OpsCase{"/Span <</IM true /N null>> BDC", "/Span <</IM true /N null>> BDC"},
        // inline images: the data is skipped raw up to a free-standing EI
        OpsCase{"q BI /W 4 /H 1 /IM true /F [/AHx] ID \x01)(\xff\x01" "EI EIx aEI \nEI Q"s,
                "q; BI; /W 4 /H 1 /IM true /F [/AHx] ID; EI; Q"},
        OpsCase{"BI ID EI EI", "BI; ID; EI; EI"},
        OpsCase{"BI ID >> EI", "BI; ID; EI"},
        OpsCase{"BI ID x EI/X Do", "BI; ID; EI; /X Do"},
        OpsCase{"BI /W 1 ID \x80(\n EI\x80", "BI; /W 1 ID"},
        OpsCase{"BI /W 1 ID", "BI; /W 1 ID"}));

struct ErrorCase {
    std::string input;
    PdfError::Kind kind;
    std::string text;
};

std::string repeat(std::string_view unit, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += unit;
    return out;
}

class ContentErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ContentErrors, Fails) {
    const ErrorCase& c = GetParam();
    try {
        parse_content_operations(c.input);
        FAIL() << "no error for " << c.input;
    } catch (const PdfError& e) {
        EXPECT_EQ(e.kind(), c.kind) << c.input;
        EXPECT_EQ(e.text(), c.text) << c.input;
    }
}

constexpr auto kBad = PdfError::Kind::InvalidToken;
constexpr auto kEof = PdfError::Kind::UnexpectedEof;

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentErrors,
    ::testing::Values(
        ErrorCase{"1 0 0 1 0 0", kBad, "invalid token at byte 11: content stream ended with dangling operands"},
        ErrorCase{"q 5 <41", kBad, "invalid token at byte 7: content stream ended with dangling operands"},
        ErrorCase{"[ foo ] TJ", kBad, "invalid token at byte 5: unexpected content token Keyword([102, 111, 111])"},
        ErrorCase{"[ R ] TJ", kBad, "invalid token at byte 3: unexpected content token Keyword([82])"},
        ErrorCase{"q ] Q", kBad, "invalid token at byte 3: unexpected content token ArrayEnd"},
        ErrorCase{">> x", kBad, "invalid token at byte 2: unexpected content token DictEnd"},
        ErrorCase{"<</A>> x", kBad, "invalid token at byte 6: unexpected content token DictEnd"},
        ErrorCase{"<< 1 2 >> x", kBad, "invalid token at byte 3: expected content dictionary key"},
        ErrorCase{"4294967296 0 R Do", kBad, "invalid token at byte 10: invalid object number"},
        ErrorCase{"[-1 0 R] x", kBad, "invalid token at byte 3: invalid object number"},
        ErrorCase{"1 65536 R Do", kBad, "invalid token at byte 1: invalid generation"},
        // inside an array the end of the data is an error, not the end
        ErrorCase{"[1 2", kEof, "unexpected end of PDF data"},
        ErrorCase{"<</A 1", kEof, "unexpected end of PDF data"},
        // lexer errors pass through, also after a discarded look-ahead
        ErrorCase{"5 0 ) x", kBad, "invalid token at byte 4: unexpected byte 0x29"},
        ErrorCase{std::string(300, '['), kBad, "invalid token at byte 256: array or dictionary nesting is too deep"},
        ErrorCase{"q " + repeat("<</a", 300), kBad,
                  "invalid token at byte 1026: array or dictionary nesting is too deep"}));

TEST(ContentParser, VisitsOperationsBeforeTheError) {
    std::vector<std::string> seen;
    EXPECT_THROW(for_each_content_operation("BT /F1 9 Tf ET [1",
                                            [&](std::string_view op, std::vector<Object>& operands) {
                                                seen.emplace_back(op);
                                                seen.back() += std::to_string(operands.size());
                                            }),
                 PdfError);
    EXPECT_EQ(seen, (std::vector<std::string>{"BT0", "Tf2", "ET0"}));
}

}  // namespace
}  // namespace quarvel
