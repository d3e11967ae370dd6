#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "inspect.hpp"
#include "parser.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

std::string nested(unsigned units, const char* open, const char* close) {
    std::string s;
    for (unsigned i = 0; i < units; ++i) s += open;
    for (unsigned i = 0; i < units; ++i) s += close;
    return s;
}

enum class Op { Object, Dictionary, Indirect, U64, Peek };

struct Case {
    Op op;
    std::string input;
    std::string expected;  // the result's text, then " @position" unless at the end; or the error
};

std::string parse(Op op, const std::string& input) {
    Parser parser(input);
    std::string out;
    switch (op) {
        case Op::Object: out = object_to_text(parser.parse_object()); break;
        case Op::Dictionary: out = dictionary_to_text(parser.parse_dictionary_object()); break;
        case Op::U64: out = std::to_string(parser.expect_u64()); break;
        case Op::Peek: out = parser.peek_is_keyword("stream") ? "true" : "false"; break;
        case Op::Indirect:
            const auto [id, body] = parser.parse_indirect_object();
            const Stream* stream = body.as_stream();
            out = id.to_string() + ": " + (stream ? "stream " + stream->data : object_to_text(body));
    }
    return parser.pos() == input.size() ? out : out + " @" + std::to_string(parser.pos());
}

class ParserCases : public ::testing::TestWithParam<Case> {};

TEST_P(ParserCases, Parse) {
    const Case& c = GetParam();
    EXPECT_EQ(testing_support::value_or_error([&] { return parse(c.op, c.input); }), c.expected) << c.input;
}

const std::string kEof = "unexpected end of PDF data";
std::string at(int offset, const char* message) {
    return "invalid token at byte " + std::to_string(offset) + ": " + message;
}
const std::string kDeep = at(256, "array or dictionary nesting is too deep");
const std::string kNoEol = "stream keyword must be followed by an end-of-line marker";

INSTANTIATE_TEST_SUITE_P(
    Cases, ParserCases,
    ::testing::Values(
        Case{Op::Object, "[1 2 R 3]", "[1 2 R 3]"}, Case{Op::Object, "[1 2]", "[1 2]"},
        Case{Op::Object, "4294967295 65535 R", "4294967295 65535 R"}, Case{Op::Object, "1 2 %c\r R/X", "1 2 R @9"},
        // the lookahead restores the position, dropping lexer errors
        Case{Op::Object, "1 0 obj", "1 @1"}, Case{Op::Object, "1 0 RG", "1 @1"}, Case{Op::Object, "1 0.0 R", "1 @1"},
        Case{Op::Object, "1 0", "1 @1"}, Case{Op::Object, "1 -", "1 @1"}, Case{Op::Object, "1 0 )", "1 @1"},
        Case{Op::Object, "true false", "true @4"}, Case{Op::Object, "(a b)<4142>", "(a b) @5"},
        Case{Op::Object, "<< /A 1 /A 2 >>", "<< /A 2 >>"},
        Case{Op::Object, "<</Type/Page/Parent 3 0 R/Kids[4 0 R 5]/Z<</N null/R -2.5>>>>",
             "<< /Kids [4 0 R 5] /Parent 3 0 R /Type /Page /Z << /N null /R -2.5 >> >>"},
        Case{Op::Indirect, "1 0 obj 5 endobj", "1 0: 5"},
        Case{Op::Indirect, "4294967295 65535 obj 2 0 R endobj", "4294967295 65535: 2 0 R"},
        Case{Op::Indirect, "1 0 obj << /Length 5 >> stream\nhello\nendstream endobj", "1 0: stream hello"},
        Case{Op::Indirect, "1 0 obj <</Length 3>>stream\rabc %c\n endstream endobj", "1 0: stream abc"},
        Case{Op::Indirect, "1 0 obj <</Length 0>>stream\r\nendstream endobj", "1 0: stream "},
        // a direct length is trusted over an embedded keyword
        Case{Op::Indirect, "1 0 obj <</Length 9>>stream\nendstream\nendstream endobj", "1 0: stream endstream"},
        // no usable length: search, then drop one end-of-line
        Case{Op::Indirect, "1 0 obj << /Length 8 0 R >> stream\nhello\nendstream endobj", "1 0: stream hello"},
        Case{Op::Indirect, "1 0 obj <<>>stream\r\nhello\n\r\nendstream endobj", "1 0: stream hello\n"},
        Case{Op::Indirect, "1 0 obj <</Length -1>>stream\nhi\r\rendstream endobj", "1 0: stream hi\r"},
        Case{Op::Indirect, "1 0 obj <</Length 5.0>>stream\nabcendstream endobj", "1 0: stream abc"},
        Case{Op::U64, "9223372036854775807", "9223372036854775807"},
        Case{Op::Peek, "  stream\n", "true @0"}, Case{Op::Dictionary, "<</A 1>>", "<< /A 1 >>"},
        Case{Op::Object, " NULL", at(1, "unexpected keyword NULL")},
        Case{Op::Object, "[R]", at(1, "unexpected keyword R")},
        Case{Op::Object, "\xff", at(0, "unexpected keyword \xef\xbf\xbd")},
        Case{Op::Object, "]", at(0, "unexpected token ArrayEnd")},
        Case{Op::Object, "<< /A >>", at(6, "unexpected token DictEnd")},
        Case{Op::Object, "<</A 1 (k) 2>>", at(7, "expected dictionary key")},
        Case{Op::Object, "-1 0 R", at(3, "invalid object number")},
        Case{Op::Object, "4294967296 0 R", at(11, "invalid object number")},
        Case{Op::Object, "1 70000 R", at(2, "invalid generation number")},
        Case{Op::Object, "1 -1 R", at(2, "invalid generation number")},
        Case{Op::Object, "[1 2", kEof}, Case{Op::Peek, " %c", kEof},
        Case{Op::Object, "[ )", at(2, "unexpected byte 0x29")},
        Case{Op::Object, nested(kMaxNestingDepth + 1, "[", "]"), kDeep},
        Case{Op::Object, nested(kMaxNestingDepth / 2 + 1, "<</A[", "]>>"),
                  at(640, "array or dictionary nesting is too deep")},
        Case{Op::Object, std::string(1'000'000, '['), kDeep},
        Case{Op::Dictionary, "  [1] ", at(5, "expected dictionary object")},
        Case{Op::Dictionary, "5 0 obj", at(1, "expected dictionary object")},
        Case{Op::U64, "-1", at(0, "expected u64 integer")}, Case{Op::U64, "1.5", at(0, "expected integer")},
        Case{Op::Indirect, "4294967296 0 obj", at(0, "expected u32 integer")},
        Case{Op::Indirect, "1 65536 obj", at(2, "expected u16 integer")},
        Case{Op::Indirect, "1.0 0 obj", at(0, "expected integer")},
        Case{Op::Indirect, "1 0 objx 5 endobj", at(4, "expected keyword obj")},
        Case{Op::Indirect, "1 0 obj 5 endobjx", at(10, "expected keyword endobj")},
        Case{Op::Indirect, "1 0 obj (x) stream\nendstream endobj", at(12, "expected keyword endobj")},
        Case{Op::Indirect, "1 0 obj << >>", kEof},
        Case{Op::Indirect, "1 0 obj <</Length 3>>stream\nhello\nendstream endobj",
                  at(31, "expected keyword endstream")},
        Case{Op::Indirect, "1 0 obj <</Length 7>>stream\nhello\nendstream endobj",
                  at(35, "expected keyword endstream")},
        Case{Op::Indirect, "1 0 obj <</Length 17>>stream\nhello\nendstream", kEof},
        Case{Op::Indirect, "1 0 obj <</Length 9223372036854775807>>stream\nx", kEof},
        Case{Op::Indirect, "1 0 obj <</Length 5>>stream hello\nendstream endobj", at(27, kNoEol.c_str())},
        Case{Op::Indirect, "1 0 obj <<>>stream", at(18, kNoEol.c_str())},
        Case{Op::Indirect, "1 0 obj <</Length 1 0 R>>stream\r\nhello endstrea",
                  "unsupported PDF feature at byte 33: indirect stream length"}));

TEST(Parser, BoundsAndLookahead) {
    EXPECT_NO_THROW(Parser(nested(kMaxNestingDepth, "[", "]")).parse_object());
    EXPECT_NO_THROW(Parser(nested(kMaxNestingDepth / 2, "<</A[", "]>>")).parse_object());
    Parser numbers("65535 4294967295 strea");
    EXPECT_EQ(numbers.expect_u16(), 65535u);
    EXPECT_EQ(numbers.expect_u32(), 4294967295u);
    EXPECT_FALSE(numbers.peek_is_keyword("stream"));

    EXPECT_EQ(find_bytes("endstrea"), std::nullopt);
    EXPECT_EQ(find_bytes(std::string(100000, 'e') + "endstreamendstream"), 100000u);
}

}  // namespace
}  // namespace quarvel
