#include "parser.hpp"

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "error.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

constexpr std::string_view kEndstream = "endstream";

bool may_start_number(unsigned char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

// Reads one token that must be an Integer within [0, max].
template <typename T>
T expect_unsigned(Lexer& lexer, Token& token, const char* range_message) {
    lexer.next_token(token);
    if (token.kind != TokenKind::Integer) throw PdfError::invalid_token(token.offset, "expected integer");
    if (token.integer < 0 || static_cast<std::uint64_t>(token.integer) > std::numeric_limits<T>::max())
        throw PdfError::invalid_token(token.offset, range_message);
    return static_cast<T>(token.integer);
}

}  // namespace

std::optional<std::size_t> find_bytes(std::string_view haystack) {
    if (haystack.size() < kEndstream.size()) return std::nullopt;
    const void* hit = ::memmem(haystack.data(), haystack.size(), kEndstream.data(), kEndstream.size());
    if (!hit) return std::nullopt;
    return static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
}

Object Parser::parse_object() { return parse_object(0); }

Object Parser::parse_object(unsigned depth) {
    lexer_.next_token(scratch_);
    return object_from(scratch_, depth);
}

// `token` may be scratch_, which nested parsing overwrites: read what is needed first.
Object Parser::object_from(Token& token, unsigned depth) {
    switch (token.kind) {
        case TokenKind::String: return Object(String{std::move(token.bytes)});
        case TokenKind::Name: return Object(Name{std::move(token.bytes)});
        case TokenKind::Real: return Object(token.real);
        case TokenKind::Keyword: {
            const std::string_view word = token.keyword;
            if (word == "true") return Object(true);
            if (word == "false") return Object(false);
            if (word == "null") return Object(Null{});
            throw PdfError::invalid_token(token.offset, "unexpected keyword " + lossy_utf8(word));
        }
        case TokenKind::ArrayEnd:
        case TokenKind::DictEnd:
            throw PdfError::invalid_token(token.offset, std::string("unexpected token ") + token_kind_name(token.kind));
        case TokenKind::Integer: break;
        case TokenKind::ArrayStart:
        case TokenKind::DictStart:
            if (depth >= kMaxNestingDepth)
                throw PdfError::invalid_token(token.offset, "array or dictionary nesting is too deep");
            break;
    }

    if (token.kind == TokenKind::ArrayStart) {
        const std::size_t mark = items_.size();
        for (;;) {
            lexer_.next_token(scratch_);
            if (scratch_.kind == TokenKind::ArrayEnd) {
                Array items(std::make_move_iterator(items_.begin() + static_cast<std::ptrdiff_t>(mark)),
                            std::make_move_iterator(items_.end()));
                items_.resize(mark);
                return Object(std::move(items));
            }
            Object item = object_from(scratch_, depth + 1);
            items_.push_back(std::move(item));
        }
    }

    if (token.kind == TokenKind::DictStart) {
        const std::size_t mark = entries_.size();
        for (;;) {
            lexer_.next_token(scratch_);
            if (scratch_.kind == TokenKind::DictEnd) {
                Dictionary dictionary = Dictionary::from_entries(entries_.data() + mark, entries_.data() + entries_.size());
                entries_.resize(mark);
                return Object(std::move(dictionary));
            }
            if (scratch_.kind != TokenKind::Name) throw PdfError::invalid_token(scratch_.offset, "expected dictionary key");
            std::string key = std::move(scratch_.bytes);
            Object value = parse_object(depth + 1);
            entries_.emplace_back(std::move(key), std::move(value));
        }
    }

    // Integer: "a b R" is a reference. The byte checks below decide most cases
    // without lexing, with exactly the outcome a full token read would give.
    const Integer a = token.integer;
    const std::uint64_t after_a = lexer_.pos();
    const std::string_view data = lexer_.data();
    const auto* d = reinterpret_cast<const unsigned char*>(data.data());

    lexer_.skip_ws_and_comments();
    std::uint64_t p = lexer_.pos();
    if (p >= data.size() || !may_start_number(d[p])) {
        lexer_.set_pos(after_a);
        return Object(a);
    }
    try {
        lexer_.next_token(scratch_);
    } catch (const PdfError&) {
        lexer_.set_pos(after_a);
        return Object(a);
    }
    if (scratch_.kind != TokenKind::Integer) {
        lexer_.set_pos(after_a);
        return Object(a);
    }
    const Integer b = scratch_.integer;
    const std::uint64_t b_offset = scratch_.offset;

    lexer_.skip_ws_and_comments();
    p = lexer_.pos();
    const bool is_r = p < data.size() && d[p] == 'R' && (p + 1 == data.size() || !is_pdf_regular(d[p + 1]));
    if (!is_r) {
        lexer_.set_pos(after_a);
        return Object(a);
    }
    lexer_.set_pos(p + 1);
    if (a < 0 || a > std::numeric_limits<std::uint32_t>::max())
        throw PdfError::invalid_token(b_offset, "invalid object number");
    if (b < 0 || b > std::numeric_limits<std::uint16_t>::max())
        throw PdfError::invalid_token(b_offset, "invalid generation number");
    return Object(ObjectId{static_cast<std::uint32_t>(a), static_cast<std::uint16_t>(b)});
}

Dictionary Parser::parse_dictionary_object() {
    Object object = parse_object();
    if (Dictionary* dictionary = std::get_if<Dictionary>(&object.value)) return std::move(*dictionary);
    throw PdfError::invalid_token(lexer_.pos(), "expected dictionary object");
}

std::pair<ObjectId, Object> Parser::parse_indirect_object() {
    const std::uint32_t number = expect_u32();
    const std::uint16_t generation = expect_u16();
    expect_keyword("obj");
    Object body = parse_object();
    if (Dictionary* dictionary = std::get_if<Dictionary>(&body.value)) {
        const std::uint64_t after_body = lexer_.pos();
        lexer_.next_token(scratch_);
        if (scratch_.kind == TokenKind::Keyword && scratch_.keyword == "stream")
            body = Object(read_stream_body(std::move(*dictionary)));
        else
            lexer_.set_pos(after_body);
    }
    expect_keyword("endobj");
    return {ObjectId{number, generation}, std::move(body)};
}

Stream Parser::read_stream_body(Dictionary dictionary) {
    const std::uint64_t n = data_.size();
    const std::uint64_t after_keyword = lexer_.pos();
    std::uint64_t start = after_keyword;
    if (start < n && data_[start] == '\r') {
        ++start;
        if (start < n && data_[start] == '\n') ++start;
    } else if (start < n && data_[start] == '\n') {
        ++start;
    } else {
        throw PdfError::invalid_token(after_keyword, "stream keyword must be followed by an end-of-line marker");
    }

    std::uint64_t end = 0;
    const Object* length_object = dictionary.get("Length");
    const Integer* length = length_object ? length_object->as_integer() : nullptr;
    if (length && *length >= 0) {
        if (static_cast<std::uint64_t>(*length) > n - start) throw PdfError::unexpected_eof();
        end = start + static_cast<std::uint64_t>(*length);
    } else {
        const std::optional<std::size_t> found = find_bytes(data_.substr(start));
        if (!found) throw PdfError::unsupported(start, "indirect stream length");
        end = start + *found;
        if (*found >= 2 && data_[end - 2] == '\r' && data_[end - 1] == '\n')
            end -= 2;
        else if (*found >= 1 && (data_[end - 1] == '\r' || data_[end - 1] == '\n'))
            end -= 1;
    }

    // Check the closing keyword before copying a possibly large body.
    lexer_.set_pos(end);
    lexer_.skip_ws_and_comments();
    expect_keyword(kEndstream);
    return Stream{std::move(dictionary), std::string(data_.substr(start, end - start))};
}

std::uint16_t Parser::expect_u16() {
    return expect_unsigned<std::uint16_t>(lexer_, scratch_, "expected u16 integer");
}

std::uint32_t Parser::expect_u32() {
    return expect_unsigned<std::uint32_t>(lexer_, scratch_, "expected u32 integer");
}

std::uint64_t Parser::expect_u64() {
    // Every non-negative Integer fits.
    return expect_unsigned<std::uint64_t>(lexer_, scratch_, "expected u64 integer");
}

void Parser::expect_keyword(std::string_view word) {
    lexer_.next_token(scratch_);
    if (scratch_.kind != TokenKind::Keyword || scratch_.keyword != word)
        throw PdfError::invalid_token(scratch_.offset, "expected keyword " + std::string(word));
}

bool Parser::peek_is_keyword(std::string_view word) {
    const std::uint64_t saved = lexer_.pos();
    lexer_.next_token(scratch_);
    const bool match = scratch_.kind == TokenKind::Keyword && scratch_.keyword == word;
    lexer_.set_pos(saved);
    return match;
}

}  // namespace quarvel
