// Tokenizer for the PDF object syntax, over a borrowed buffer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "object.hpp"

namespace quarvel {

enum class TokenKind : std::uint8_t { ArrayStart, ArrayEnd, DictStart, DictEnd, Name, String, Integer, Real, Keyword };

// "ArrayStart", "ArrayEnd", ...
const char* token_kind_name(TokenKind kind);

struct Token {
    TokenKind kind = TokenKind::ArrayStart;
    std::uint64_t offset = 0;  // first byte of the token, after whitespace and comments
    std::string bytes;         // Name and String payload (decoded)
    std::string_view keyword;  // Keyword payload: a view into the lexer's input
    Integer integer = 0;
    Real real = 0;
};

class Lexer {
public:
    explicit Lexer(std::string_view data, std::uint64_t pos = 0) : data_(data), pos_(pos) {}

    // Throws PdfError; the end of the data is UnexpectedEof, never an end marker.
    Token next_token();
    // Same, reusing `token`'s buffers to avoid allocating on hot paths.
    void next_token(Token& token);
    // False, instead of UnexpectedEof, when only whitespace and comments are left.
    bool next_token_or_end(Token& token);
    // Never fails; a comment running to the end leaves pos at the end.
    void skip_ws_and_comments();

    std::uint64_t pos() const { return pos_; }
    void set_pos(std::uint64_t pos) { pos_ = pos; }
    std::string_view data() const { return data_; }

private:
    void lex_keyword(Token& token);
    void lex_angle(Token& token);
    void lex_close(Token& token);
    void lex_number(Token& token);
    void lex_name(Token& token);
    void lex_literal_string(Token& token);
    void lex_hex_string(Token& token);

    std::string_view data_;
    std::uint64_t pos_;
};

// Byte classes of the object syntax.
// The six whitespace bytes, shared by the object syntax, the ASCII filters and CMaps.
inline bool is_pdf_whitespace(unsigned char c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
bool is_pdf_delimiter(unsigned char c);
bool is_pdf_regular(unsigned char c);

namespace detail {
constexpr std::array<std::int8_t, 256> make_hex_digit_values() {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return t;
}
inline constexpr auto kHexDigitValues = make_hex_digit_values();
}  // namespace detail

// 0-15 for a hexadecimal digit of either case, -1 for any other byte.
inline int hex_digit_value(unsigned char c) { return detail::kHexDigitValues[c]; }

// Two hex digits, high nibble first; anything else is InvalidToken "invalid hex digit" at `offset`.
std::uint8_t hex_pair(unsigned char high, unsigned char low, std::uint64_t offset);

}  // namespace quarvel
