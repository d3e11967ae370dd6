#include "lexer.hpp"

#include <array>
#include <charconv>
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

constexpr std::array<std::int8_t, 256> make_nibbles() {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return t;
}

constexpr auto kClass = make_classes();
constexpr auto kNibble = make_nibbles();

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

bool is_pdf_whitespace(unsigned char c) { return (kClass[c] & kWhite) != 0; }
bool is_pdf_delimiter(unsigned char c) { return (kClass[c] & kDelim) != 0; }
bool is_pdf_regular(unsigned char c) { return !is_terminator(c); }

std::uint8_t hex_pair(unsigned char high, unsigned char low, std::uint64_t offset) {
    const int h = kNibble[high];
    const int l = kNibble[low];
    if (h < 0 || l < 0) throw PdfError::invalid_token(offset, "invalid hex digit");
    return static_cast<std::uint8_t>((h << 4) | l);
}

Token Lexer::next_token() {
    Token token;
    next_token(token);
    return token;
}

void Lexer::skip_ws_and_comments() {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    std::uint64_t p = pos_;
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
    pos_ = p;
}

void Lexer::next_token(Token& token) {
    skip_ws_and_comments();
    const std::uint64_t n = data_.size();
    if (pos_ >= n) throw PdfError::unexpected_eof();
    token.offset = pos_;
    const unsigned char c = static_cast<unsigned char>(data_[pos_]);
    switch (c) {
        case '[':
            token.kind = TokenKind::ArrayStart;
            ++pos_;
            return;
        case ']':
            token.kind = TokenKind::ArrayEnd;
            ++pos_;
            return;
        case '<':
            if (pos_ + 1 >= n) throw PdfError::unexpected_eof();
            if (data_[pos_ + 1] == '<') {
                token.kind = TokenKind::DictStart;
                pos_ += 2;
                return;
            }
            lex_hex_string(token);
            return;
        case '>':
            if (pos_ + 1 < n && data_[pos_ + 1] == '>') {
                token.kind = TokenKind::DictEnd;
                pos_ += 2;
                return;
            }
            throw_unexpected_byte(c, pos_);
        case '(':
            lex_literal_string(token);
            return;
        case '/':
            lex_name(token);
            return;
        default:
            break;
    }
    if (kClass[c] & kNumberStart) {
        lex_number(token);
    } else if (is_terminator(c)) {
        throw_unexpected_byte(c, pos_);
    } else {
        lex_keyword(token);
    }
}

void Lexer::lex_keyword(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    const std::uint64_t start = pos_;
    std::uint64_t p = start;
    while (p < n && !is_terminator(d[p])) ++p;
    token.kind = TokenKind::Keyword;
    token.keyword = data_.substr(start, p - start);
    pos_ = p;
}

namespace {

// Exactly representable powers of ten: a mantissa below 2^53 divided by one of
// them is correctly rounded, so short decimals need no general conversion.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

void Lexer::lex_number(Token& token) {
    const auto* d = reinterpret_cast<const unsigned char*>(data_.data());
    const std::uint64_t n = data_.size();
    const std::uint64_t start = pos_;
    std::uint64_t p = start;
    const bool negative = d[p] == '-';
    if (d[p] == '+' || d[p] == '-') ++p;
    bool point = false;
    unsigned digits = 0, fraction_digits = 0;
    std::uint64_t mantissa = 0;
    while (p < n) {
        const unsigned char c = d[p];
        if (kClass[c] & kDigit) {
            if (++digits <= 19) mantissa = mantissa * 10 + (c - '0');
            fraction_digits += point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
        ++p;
    }
    pos_ = p;

    if (point) {
        if (!digits) throw PdfError::invalid_token(start, "invalid real number");
        token.kind = TokenKind::Real;
        if (digits <= 15) {
            const double value = static_cast<double>(mantissa) / kPow10[fraction_digits];
            token.real = negative ? -value : value;
            return;
        }
        const char* first = data_.data() + start;
        const char* last = data_.data() + p;
        // from_chars rejects a leading '+'.
        if (*first == '+') ++first;
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
    if (digits <= 18) {
        const auto value = static_cast<Integer>(mantissa);
        token.integer = negative ? -value : value;
        return;
    }
    const char* first = data_.data() + start + (d[start] == '+');
    Integer value = 0;
    const auto [ptr, ec] = std::from_chars(first, data_.data() + p, value);
    if (ec != std::errc() || ptr != data_.data() + p) throw PdfError::invalid_token(start, "invalid integer");
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
    std::string& out = token.bytes;
    out.clear();
    std::uint64_t p = start + 1;
    int high = -1;
    for (;;) {
        if (p >= n) throw PdfError::unexpected_eof();
        const unsigned char c = d[p++];
        if (c == '>') break;
        if (kClass[c] & kWhite) continue;
        const int nibble = kNibble[c];
        if (nibble < 0) throw PdfError::invalid_token(start, "invalid hex string");
        if (high < 0) {
            high = nibble;
        } else {
            out.push_back(static_cast<char>((high << 4) | nibble));
            high = -1;
        }
    }
    if (high >= 0) out.push_back(static_cast<char>(high << 4));
    token.kind = TokenKind::String;
    pos_ = p;
}

}  // namespace quarvel
