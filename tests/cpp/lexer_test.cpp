#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "error.hpp"
#include "lexer.hpp"

namespace quarvel {
namespace {

using namespace std::string_literals;

std::string show_bytes(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char buf[8] = {static_cast<char>(c), 0};
        if (c < 0x20 || c >= 0x7f || c == '\\') std::snprintf(buf, sizeof buf, "\\x%02x", c);
        out += buf;
    }
    return out;
}

// "Kind:payload@offset " per token, then "! " and the error, which also ends the data.
std::string lex_all(std::string_view input) {
    Lexer lexer(input);
    Token token;
    std::string out;
    try {
        for (lexer.skip_ws_and_comments(); lexer.pos() < input.size(); lexer.skip_ws_and_comments()) {
            lexer.next_token(token);
            char number[32] = "";
            if (token.kind == TokenKind::Integer) std::snprintf(number, sizeof number, ":%lld", token.integer + 0LL);
            if (token.kind == TokenKind::Real) std::snprintf(number, sizeof number, ":%.17g", token.real);
            out.append(token_kind_name(token.kind)).append(number);
            if (token.kind == TokenKind::Name || token.kind == TokenKind::String || token.kind == TokenKind::Keyword)
                out.append(":").append(show_bytes(token.kind == TokenKind::Keyword ? token.keyword : token.bytes));
            out.append("@").append(std::to_string(token.offset)).append(" ");
        }
        lexer.next_token(token);
    } catch (const PdfError& e) {
        return out + "! " + e.text();
    }
    return out + "(no end error)";
}

struct LexCase {
    std::string input, expected;
};

class LexerCases : public ::testing::TestWithParam<LexCase> {};

TEST_P(LexerCases, Lexes) { EXPECT_EQ(lex_all(GetParam().input), GetParam().expected) << GetParam().input; }

const std::string kEof = "! unexpected end of PDF data";
std::string bad(int offset, const char* message) {
    return "! invalid token at byte " + std::to_string(offset) + ": " + message;
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, LexerCases,
    ::testing::Values(
        LexCase{"[]<<>>", "ArrayStart@0 ArrayEnd@1 DictStart@2 DictEnd@4 " + kEof},
        LexCase{"%c\r\n \t\f\0x"s, "Keyword:x@8 " + kEof},
        LexCase{"endobj%comment\nstream %end", "Keyword:endobj@0 Keyword:stream@15 " + kEof},
        LexCase{"\x80\xff~ R(", "Keyword:\\x80\\xff~@0 Keyword:R@4 " + bad(5, "unterminated literal string")},
        LexCase{"(a(b)c)(a\\)b)", "String:a(b)c@0 String:a)b@7 " + kEof},
        LexCase{"(\\101\\0618)(\\1234)", "String:A18@0 String:S4@11 " + kEof},
        LexCase{"(\\777\\400\\4)", "String:\\xff\\xff\\x04@0 " + kEof},
        LexCase{"(line\\\r\nnext\\\rx\\\ny)", "String:linenextxy@0 " + kEof},
        LexCase{"(\\n\\r\\t\\b\\f\\\\\\8\\q\r\n)", "String:\\x0a\\x0d\\x09\\x08\\x0c\\x5c8q\\x0d\\x0a@0 " + kEof},
        LexCase{"<48 65 6c6C 6F><414><>", "String:Hello@0 String:A@@15 String:@20 " + kEof},
        LexCase{"<ABC>", "String:\\xab\\xc0@0 " + kEof}, LexCase{"<4G>", bad(0, "invalid hex string")},
        LexCase{" <41 4", kEof}, LexCase{"<", kEof}, LexCase{"(a\\", kEof}, LexCase{"/A#4", kEof},
        LexCase{"/A#42C/a#00b", "Name:ABC@0 Name:a\\x00b@6 " + kEof},
        LexCase{"/ x/", "Name:@0 Keyword:x@2 Name:@3 " + kEof},
        LexCase{"/Name/Other/a[/\xe9~", "Name:Name@0 Name:Other@5 Name:a@11 ArrayStart@13 Name:\\xe9~@14 " + kEof},
        LexCase{"/A#zz", bad(2, "invalid hex digit")}, LexCase{"/A#4 ", bad(2, "invalid hex digit")},
        LexCase{"-0 +7 3-4", "Integer:0@0 Integer:7@3 Integer:3@6 Integer:-4@7 " + kEof},
        LexCase{"9223372036854775807 -9223372036854775808",
                "Integer:9223372036854775807@0 Integer:-9223372036854775808@20 " + kEof},
        LexCase{"9223372036854775808", bad(0, "invalid integer")},
        LexCase{"-9223372036854775809", bad(0, "invalid integer")},
        LexCase{"12abc --5", "Integer:12@0 Keyword:abc@2 " + bad(6, "invalid integer")},
        LexCase{"1. .5 -.5 +1.5", "Real:1@0 Real:0.5@3 Real:-0.5@6 Real:1.5@10 " + kEof},
        LexCase{"1.2.3 -.", "Real:1.2@0 Real:0.29999999999999999@3 " + bad(6, "invalid real number")},
        // out of range: the nearest double, never an error
        LexCase{std::string(400, '9') + ". -" + std::string(400, '1') + ".5", "Real:inf@0 Real:-inf@402 " + kEof},
        LexCase{"-." + std::string(400, '0') + "1", "Real:-0@0 " + kEof},
        LexCase{"0." + std::string(323, '0') + "3", "Real:4.9406564584124654e-324@0 " + kEof},
        LexCase{" > >", bad(1, "unexpected byte 0x3e")},
        LexCase{"x }", "Keyword:x@0 " + bad(2, "unexpected byte 0x7d")}));

TEST(Lexer, SkipStopsAtEndInsideComment) {
    Lexer lexer("x %comment", 1);
    lexer.skip_ws_and_comments();
    EXPECT_EQ(lexer.pos(), 10u);
    EXPECT_EQ(hex_pair('a', 'F', 0), 0xaf);
}

}  // namespace
}  // namespace quarvel
