#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "error.hpp"
#include "parser.hpp"

namespace quarvel {
namespace {

Object ref(std::uint32_t number, std::uint16_t generation) { return Object(ObjectId{number, generation}); }
Object name(std::string bytes) { return Object(Name{std::move(bytes)}); }
Object arr(std::vector<Object> items) { return Object(Array(std::move(items))); }
Dictionary dict(std::vector<Dictionary::Entry> entries) { return Dictionary(std::move(entries)); }
Object stream(Dictionary d, std::string data) { return Object(Stream{std::move(d), std::move(data)}); }
Dictionary length(Object value) { return dict({{"Length", std::move(value)}}); }

std::string nested(unsigned units, const char* open, const char* close) {
    std::string s;
    for (unsigned i = 0; i < units; ++i) s += open;
    for (unsigned i = 0; i < units; ++i) s += close;
    return s;
}

struct ObjectCase {
    std::string input;
    Object expected;
    std::uint64_t end;  // position afterwards
};

class ParseObjectCases : public ::testing::TestWithParam<ObjectCase> {};

TEST_P(ParseObjectCases, Parses) {
    Parser parser(GetParam().input);
    EXPECT_EQ(parser.parse_object(), GetParam().expected) << GetParam().input;
    EXPECT_EQ(parser.pos(), GetParam().end) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Objects, ParseObjectCases,
    ::testing::Values(
        ObjectCase{"[1 2 R 3]", arr({ref(1, 2), Object(3)}), 9},
        ObjectCase{"[1 2 3]", arr({Object(1), Object(2), Object(3)}), 7},
        ObjectCase{"[1 2]", arr({Object(1), Object(2)}), 5},
        ObjectCase{"4294967295 65535 R", ref(4294967295u, 65535), 18},
        ObjectCase{"1 2 %c\r R/X", ref(1, 2), 9},
        // the lookahead restores the position, dropping lexer errors
        ObjectCase{"1 0 obj", Object(1), 1},
        ObjectCase{"1 0 RG", Object(1), 1},
        ObjectCase{"1 0.0 R", Object(1), 1},
        ObjectCase{"1 0", Object(1), 1},
        ObjectCase{"1 -", Object(1), 1},
        ObjectCase{"1 0 )", Object(1), 1},
        ObjectCase{"true false", Object(true), 4},
        ObjectCase{"(a b)<4142>", Object(String{"a b"}), 5},
        ObjectCase{"<< /A 1 /A 2 >>", Object(dict({{"A", Object(2)}})), 15},
        ObjectCase{"<</Type/Page/Parent 3 0 R/Kids[4 0 R 5]/Z<</N null/R -2.5>>>>",
                   Object(dict({{"Type", name("Page")},
                                {"Parent", ref(3, 0)},
                                {"Kids", arr({ref(4, 0), Object(5)})},
                                {"Z", Object(dict({{"N", Object(Null{})}, {"R", Object(-2.5)}}))}})),
                   61}));

struct IndirectCase {
    std::string input;
    ObjectId id;
    Object body;
};

class ParseIndirectCases : public ::testing::TestWithParam<IndirectCase> {};

TEST_P(ParseIndirectCases, Parses) {
    const IndirectCase& c = GetParam();
    Parser parser(c.input);
    const auto [id, body] = parser.parse_indirect_object();
    EXPECT_EQ(id, c.id) << c.input;
    EXPECT_EQ(body, c.body) << c.input;
    EXPECT_EQ(parser.pos(), c.input.rfind("endobj") + 6) << c.input;
}

INSTANTIATE_TEST_SUITE_P(
    Indirect, ParseIndirectCases,
    ::testing::Values(
        IndirectCase{"1 0 obj 5 endobj", {1, 0}, Object(5)},
        IndirectCase{"4294967295 65535 obj 2 0 R endobj", {4294967295u, 65535}, ref(2, 0)},
        IndirectCase{"1 0 obj << /Length 5 >> stream\nhello\nendstream endobj", {1, 0},
                     stream(length(Object(5)), "hello")},
        IndirectCase{"1 0 obj <</Length 3>>stream\rabc %c\n endstream endobj", {1, 0},
                     stream(length(Object(3)), "abc")},
        IndirectCase{"1 0 obj <</Length 0>>stream\r\nendstream endobj", {1, 0}, stream(length(Object(0)), "")},
        // a direct length is trusted over an embedded keyword
        IndirectCase{"1 0 obj <</Length 9>>stream\nendstream\nendstream endobj", {1, 0},
                     stream(length(Object(9)), "endstream")},
        // no usable length: search, then drop one end-of-line
        IndirectCase{"1 0 obj << /Length 8 0 R >> stream\nhello\nendstream endobj", {1, 0},
                     stream(length(ref(8, 0)), "hello")},
        IndirectCase{"1 0 obj <<>>stream\r\nhello\n\r\nendstream endobj", {1, 0}, stream({}, "hello\n")},
        IndirectCase{"1 0 obj <</Length -1>>stream\nhi\r\rendstream endobj", {1, 0},
                     stream(length(Object(-1)), "hi\r")},
        IndirectCase{"1 0 obj <</Length 5.0>>stream\nabcendstream endobj", {1, 0},
                     stream(length(Object(5.0)), "abc")}));

enum class Op { Object, Dictionary, Indirect, U64, Peek };

struct ErrorCase {
    Op op;
    std::string input;
    PdfError::Kind kind;
    std::string message;  // empty for UnexpectedEof
};

class ParserErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParserErrors, Fails) {
    const ErrorCase& c = GetParam();
    Parser parser(c.input);
    try {
        switch (c.op) {
            case Op::Object: parser.parse_object(); break;
            case Op::Dictionary: parser.parse_dictionary_object(); break;
            case Op::Indirect: parser.parse_indirect_object(); break;
            case Op::U64: parser.expect_u64(); break;
            case Op::Peek: parser.peek_is_keyword("stream"); break;
        }
        FAIL() << "no error for " << c.input;
    } catch (const PdfError& e) {
        EXPECT_EQ(e.kind(), c.kind) << c.input;
        EXPECT_EQ(e.text(), c.message.empty() ? "unexpected end of PDF data" : c.message) << c.input;
    }
}

constexpr auto kEof = PdfError::Kind::UnexpectedEof;
constexpr auto kBad = PdfError::Kind::InvalidToken;
std::string at(int offset, const char* message) {
    return "invalid token at byte " + std::to_string(offset) + ": " + message;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ParserErrors,
    ::testing::Values(
        ErrorCase{Op::Object, " NULL", kBad, at(1, "unexpected keyword NULL")},
        ErrorCase{Op::Object, "[R]", kBad, at(1, "unexpected keyword R")},
        ErrorCase{Op::Object, "\xff", kBad, at(0, "unexpected keyword \xef\xbf\xbd")},
        ErrorCase{Op::Object, "]", kBad, at(0, "unexpected token ArrayEnd")},
        ErrorCase{Op::Object, "<< /A >>", kBad, at(6, "unexpected token DictEnd")},
        ErrorCase{Op::Object, "<</A 1 (k) 2>>", kBad, at(7, "expected dictionary key")},
        ErrorCase{Op::Object, "-1 0 R", kBad, at(3, "invalid object number")},
        ErrorCase{Op::Object, "4294967296 0 R", kBad, at(11, "invalid object number")},
        ErrorCase{Op::Object, "1 70000 R", kBad, at(2, "invalid generation number")},
        ErrorCase{Op::Object, "1 -1 R", kBad, at(2, "invalid generation number")},
        ErrorCase{Op::Object, "[1 2", kEof, ""},
        ErrorCase{Op::Object, "[ )", kBad, at(2, "unexpected byte 0x29")},
        ErrorCase{Op::Object, nested(kMaxNestingDepth + 1, "[", "]"), kBad,
                  at(256, "array or dictionary nesting is too deep")},
        ErrorCase{Op::Object, nested(kMaxNestingDepth / 2 + 1, "<</A[", "]>>"), kBad,
                  at(640, "array or dictionary nesting is too deep")},
        ErrorCase{Op::Object, std::string(1'000'000, '['), kBad, at(256, "array or dictionary nesting is too deep")},
        ErrorCase{Op::Dictionary, "  [1] ", kBad, at(5, "expected dictionary object")},
        ErrorCase{Op::Dictionary, "5 0 obj", kBad, at(1, "expected dictionary object")},
        ErrorCase{Op::U64, "-1", kBad, at(0, "expected u64 integer")},
        ErrorCase{Op::U64, "1.5", kBad, at(0, "expected integer")},
        ErrorCase{Op::Peek, " %c", kEof, ""},
        ErrorCase{Op::Indirect, "4294967296 0 obj", kBad, at(0, "expected u32 integer")},
        ErrorCase{Op::Indirect, "1 65536 obj", kBad, at(2, "expected u16 integer")},
        ErrorCase{Op::Indirect, "1.0 0 obj", kBad, at(0, "expected integer")},
        ErrorCase{Op::Indirect, "1 0 objx 5 endobj", kBad, at(4, "expected keyword obj")},
        ErrorCase{Op::Indirect, "1 0 obj 5 endobjx", kBad, at(10, "expected keyword endobj")},
        ErrorCase{Op::Indirect, "1 0 obj (x) stream\nendstream endobj", kBad, at(12, "expected keyword endobj")},
        ErrorCase{Op::Indirect, "1 0 obj << >>", kEof, ""},
        ErrorCase{Op::Indirect, "1 0 obj <</Length 3>>stream\nhello\nendstream endobj", kBad,
                  at(31, "expected keyword endstream")},
        ErrorCase{Op::Indirect, "1 0 obj <</Length 7>>stream\nhello\nendstream endobj", kBad,
                  at(35, "expected keyword endstream")},
        ErrorCase{Op::Indirect, "1 0 obj <</Length 17>>stream\nhello\nendstream", kEof, ""},
        ErrorCase{Op::Indirect, "1 0 obj <</Length 9223372036854775807>>stream\nx", kEof, ""},
        ErrorCase{Op::Indirect, "1 0 obj <</Length 5>>stream hello\nendstream endobj", kBad,
                  at(27, "stream keyword must be followed by an end-of-line marker")},
        ErrorCase{Op::Indirect, "1 0 obj <<>>stream", kBad,
                  at(18, "stream keyword must be followed by an end-of-line marker")},
        ErrorCase{Op::Indirect, "1 0 obj <</Length 1 0 R>>stream\r\nhello endstrea", PdfError::Kind::Unsupported,
                  "unsupported PDF feature at byte 33: indirect stream length"}));

TEST(Parser, BoundsAndLookahead) {
    EXPECT_NO_THROW(Parser(nested(kMaxNestingDepth, "[", "]")).parse_object());
    EXPECT_NO_THROW(Parser(nested(kMaxNestingDepth / 2, "<</A[", "]>>")).parse_object());

    Parser numbers("65535 4294967295 9223372036854775807");
    EXPECT_EQ(numbers.expect_u16(), 65535u);
    EXPECT_EQ(numbers.expect_u32(), 4294967295u);
    EXPECT_EQ(numbers.expect_u64(), 9223372036854775807u);

    Parser peek("  stream\n");
    EXPECT_TRUE(peek.peek_is_keyword("stream"));
    EXPECT_FALSE(peek.peek_is_keyword("strea"));
    EXPECT_EQ(peek.pos(), 0u);

    EXPECT_EQ(find_bytes("endstrea"), std::nullopt);
    EXPECT_EQ(find_bytes(std::string(100000, 'e') + "endstreamendstream"), 100000u);
}

}  // namespace
}  // namespace quarvel
