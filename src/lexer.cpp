#include "lexer.hpp"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include "error.hpp"

namespace quarvel {

namespace {

enum : std::uint8_t {
    kWhite = 1,
    kDelim = 2,
    kDigit = 4,
    kNumberStart = 8,  // digit, sign or point
    kStringSpecial = 16,  // bytes that end a plain run inside a literal string
};

constexpr std::array<std::uint8_t, 256> make_classes() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned char c : {0, 9, 10, 12, 13, 32}) t[c] |= kWhite;
    for (unsigned char c : {'%', '(', ')', '/', '<', '>', '[', ']', '{', '}'}) t[c] |= kDelim;
    for (int c = '0'; c <= '9'; ++c) t[c] |= kDigit | kNumberStart;
    for (unsigned char c : {'+', '-', '.'}) t[c] |= kNumberStart;
    for (unsigned char c : {'(', ')', '\\'}) t[c] |= kStringSpecial;
    return t;
}

constexpr auto kClass = make_classes();

// What the first byte of a token makes of it; Other is `>>` or an error.
enum class Start : std::uint8_t { Keyword, Number, Name, LiteralString, Angle, ArrayStart, ArrayEnd, Other };

constexpr std::array<Start, 256> make_starts() {
    std::array<Start, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if (kClass[c] & kNumberStart) t[c] = Start::Number;
        else if (kClass[c] & (kWhite | kDelim)) t[c] = Start::Other;
    }
    t['/'] = Start::Name;
    t['('] = Start::LiteralString;
    t['<'] = Start::Angle;
    t['['] = Start::ArrayStart;
    t[']'] = Start::ArrayEnd;
    return t;
}

constexpr auto kStart = make_starts();

inline bool is_terminator(unsigned char c) { return (kClass[c] & (kWhite | kDelim)) != 0; }

[[noreturn]] void throw_unexpected_byte(unsigned char c, std::uint64_t offset) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string message = "unexpected byte 0x";
    message += kHex[c >> 4];
    message += kHex[c & 0xf];
    throw PdfError::invalid_token(offset, std::move(message));
}

}  // namespace

const char* token_kind_name(TokenKind kind) {
    switch (kind) {
        case TokenKind::ArrayStart: return "ArrayStart";
        case TokenKind::ArrayEnd: return "ArrayEnd";
        case TokenKind::DictStart: return "DictStart";
        case TokenKind::DictEnd: return "DictEnd";
        case TokenKind::Name: return "Name";
        case TokenKind::String: return "String";
        case TokenKind::Integer: return "Integer";
        case TokenKind::Real: return "Real";
        case TokenKind::Keyword: return "Keyword";
    }
    return "Unknown";
}

bool is_pdf_delimiter(unsigned char c) { return (kClass[c] & kDelim) != 0; }
bool is_pdf_regular(unsigned char c) { return !is_terminator(c); }

std::uint8_t hex_pair(unsigned char high, unsigned char low, std::uint64_t offset) {
    const int h = hex_digit_value(high);
    const int l = hex_digit_value(low);
    if (h < 0 || l < 0) throw PdfError::invalid_token(offset, "invalid hex digit");
    return static_cast<std::uint8_t>((h << 4) | l);
}

Token Lexer::next_token() {
    Token token;
    next_token(token);
    return token;
}

namespace {

inline std::uint64_t skip_from(const unsigned char* d, std::uint64_t n, std::uint64_t p) {
    while (p < n) {
        const unsigned char c = d[p];
        if (kClass[c] & kWhite) {
            ++p;
        } else if (c == '%') {
            ++p;
            while (p < n && d[p] != '\n' && d[p] != '\r') ++p;
        } else {
            break;
        }
    }
    return p;
}

// Exactly representable powers of ten: a mantissa below 2^53 divided by one of
// them is correctly rounded, so short decimals need no general conversion.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// A number at `pos` short enough to convert exactly on the spot: at most 15 digits
// with a point, 18 without. False, with nothing consumed, for anything else.
inline bool lex_short_number(const unsigned char* d, std::uint64_t n, std::uint64_t& pos, Token& token) {
    std::uint64_t p = pos;
    const bool negative = d[p] == '-';
    if (negative || d[p] == '+') ++p;
    std::uint64_t mantissa = 0;  // wraps for long numbers, which are refused below
    const auto digit_run = [&] {
        const std::uint64_t first = p;
        for (unsigned digit; p < n && (digit = d[p] - unsigned{'0'}) <= 9; ++p) mantissa = mantissa * 10 + digit;
        return p - first;
    };
    std::uint64_t digits = digit_run();
    if (p < n && d[p] == '.') {
        ++p;
        const std::uint64_t fraction_digits = digit_run();
        digits += fraction_digits;
        if (digits == 0 || digits > 15) return false;
        const double value = static_cast<double>(mantissa) / kPow10[fraction_digits];
        token.kind = TokenKind::Real;
        token.real = negative ? -value : value;
    } else {
        if (digits == 0 || digits > 18) return false;
        const auto value = static_cast<Integer>(mantissa);
        token.kind = TokenKind::Integer;
        token.integer = negative ? -value : value;
    }
    pos = p;
    return true;
}

}  // namespace

void Lexer::skip_ws_and_comments() {
    pos_ = skip_from(reinterpret_cast<const unsigned char*>(data_.data()), data_.size(), pos_);
}

void Lexer::lex_keyword(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    const std::uint64_t start = pos_;
    std::uint64_t p = start;
    while (p < n && !is_terminator(d[p])) ++p;
    token.kind = TokenKind::Keyword;
    token.keyword = std::string_view(data_.data() + start, p - start);
    pos_ = p;
}

void Lexer::next_token(Token& token) {
    if (!next_token_or_end(token)) throw PdfError::unexpected_eof();
}

bool Lexer::next_token_or_end(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    const std::uint64_t p = skip_from(d, n, pos_);
    pos_ = p;
    if (p >= n) return false;
    token.offset = p;
    // Every case ends in a tail call or a plain return, so the hot ones need no frame.
    switch (kStart[d[p]]) {
        case Start::Number:
            if (!lex_short_number(d, n, pos_, token)) lex_number(token);
            return true;
        case Start::Keyword:
            lex_keyword(token);
            return true;
        case Start::Name:
            lex_name(token);
            return true;
        case Start::LiteralString:
            lex_literal_string(token);
            return true;
        case Start::ArrayStart:
            token.kind = TokenKind::ArrayStart;
            pos_ = p + 1;
            return true;
        case Start::ArrayEnd:
            token.kind = TokenKind::ArrayEnd;
            pos_ = p + 1;
            return true;
        case Start::Angle:
            lex_angle(token);
            return true;
        case Start::Other:
            lex_close(token);
            return true;
    }
    return true;
}

// `<<`, or a hexadecimal string.
void Lexer::lex_angle(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    if (pos_ + 1 >= data_.size()) throw PdfError::unexpected_eof();
    if (d[pos_ + 1] != '<') {
        lex_hex_string(token);
        return;
    }
    token.kind = TokenKind::DictStart;
    pos_ += 2;
}

// `>>`; any other delimiter cannot start a token.
void Lexer::lex_close(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    if (d[pos_] == '>' && pos_ + 1 < data_.size() && d[pos_ + 1] == '>') {
        token.kind = TokenKind::DictEnd;
        pos_ += 2;
        return;
    }
    throw_unexpected_byte(d[pos_], pos_);
}

// Numbers that lex_short_number leaves: long ones and malformed ones.
void Lexer::lex_number(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    const std::uint64_t start = pos_;
    std::uint64_t p = start;
    const bool negative = d[p] == '-';
    if (d[p] == '+' || negative) ++p;
    bool point = false;
    bool digits = false;
    for (; p < n; ++p) {
        if (kClass[d[p]] & kDigit) {
            digits = true;
        } else if (d[p] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    pos_ = p;
    const char* first = data_.data() + start + (d[start] == '+');  // from_chars rejects a leading '+'
    const char* last = data_.data() + p;

    if (point) {
        if (!digits) throw PdfError::invalid_token(start, "invalid real number");
        token.kind = TokenKind::Real;
        double value = 0;
        const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::fixed);
        if (ec == std::errc::result_out_of_range) {
            // Only raised when the value rounds to zero or infinity: with no
            // non-zero digit before the point it must have underflowed.
            bool large = false;
            for (const char* q = first; q != last && *q != '.'; ++q) {
                if (*q >= '1' && *q <= '9') {
                    large = true;
                    break;
                }
            }
            value = large ? std::numeric_limits<double>::infinity() : 0.0;
            if (negative) value = -value;
        } else if (ec != std::errc() || ptr != last) {
            throw PdfError::invalid_token(start, "invalid real number");
        }
        token.real = value;
        return;
    }

    if (!digits) throw PdfError::invalid_token(start, "invalid integer");
    token.kind = TokenKind::Integer;
    Integer value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr != last) throw PdfError::invalid_token(start, "invalid integer");
    token.integer = value;
}

void Lexer::lex_name(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    std::string& out = token.bytes;
    out.clear();
    std::uint64_t p = pos_ + 1;
    for (;;) {
        const std::uint64_t run = p;
        while (p < n && d[p] != '#' && !is_terminator(d[p])) ++p;
        out.append(data_.data() + run, p - run);
        if (p >= n || d[p] != '#') break;
        if (n - p < 3) throw PdfError::unexpected_eof();
        out.push_back(static_cast<char>(hex_pair(d[p + 1], d[p + 2], p)));
        p += 3;
    }
    token.kind = TokenKind::Name;
    pos_ = p;
}

void Lexer::lex_literal_string(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    const std::uint64_t start = pos_;
    std::string& out = token.bytes;
    out.clear();
    std::uint64_t p = start + 1;
    std::uint64_t depth = 1;
    for (;;) {
        const std::uint64_t run = p;
        while (p < n && !(kClass[d[p]] & kStringSpecial)) ++p;
        out.append(data_.data() + run, p - run);
        if (p >= n) throw PdfError::invalid_token(start, "unterminated literal string");
        const unsigned char c = d[p++];
        if (c == '(') {
            ++depth;
            out.push_back('(');
            continue;
        }
        if (c == ')') {
            if (--depth == 0) break;
            out.push_back(')');
            continue;
        }
        // Backslash escape.
        if (p >= n) throw PdfError::unexpected_eof();
        const unsigned char e = d[p++];
        switch (e) {
            case '\n': break;
            case '\r':
                if (p < n && d[p] == '\n') ++p;
                break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            default:
                if (e >= '0' && e <= '7') {
                    unsigned value = e - '0';
                    for (int i = 1; i < 3 && p < n && d[p] >= '0' && d[p] <= '7'; ++i) value = value * 8 + (d[p++] - '0');
                    out.push_back(static_cast<char>(value > 255 ? 255 : value));
                } else {
                    // Covers ( ) \ and unknown escapes: the backslash is dropped.
                    out.push_back(static_cast<char>(e));
                }
                break;
        }
    }
    token.kind = TokenKind::String;
    pos_ = p;
}

void Lexer::lex_hex_string(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    const std::uint64_t start = pos_;
    const void* close = std::memchr(d + start + 1, '>', n - start - 1);
    const std::uint64_t end = close ? static_cast<std::uint64_t>(static_cast<const unsigned char*>(close) - d) : n;
    // Written in place: at most one byte per two digits, plus a padded odd one.
    std::string& out = token.bytes;
    out.resize((end - start) / 2 + 1);
    char* w = out.data();
    std::uint64_t p = start + 1;
    // Digit pairs, the usual content, go a byte at a time.
    for (; p + 1 < end; p += 2) {
        const int high = hex_digit_value(d[p]), low = hex_digit_value(d[p + 1]);
        if ((high | low) < 0) break;
        *w++ = static_cast<char>((high << 4) | low);
    }
    int high = -1;
    for (; p < end; ++p) {
        const int nibble = hex_digit_value(d[p]);
        if (nibble < 0) {
            if (kClass[d[p]] & kWhite) continue;
            throw PdfError::invalid_token(start, "invalid hex string");
        }
        if (high < 0) {
            high = nibble;
        } else {
            *w++ = static_cast<char>((high << 4) | nibble);
            high = -1;
        }
    }
    if (!close) throw PdfError::unexpected_eof();
    if (high >= 0) *w++ = static_cast<char>(high << 4);
    out.resize(static_cast<std::size_t>(w - out.data()));
    token.kind = TokenKind::String;
    pos_ = end + 1;
}

}  // namespace quarvel
