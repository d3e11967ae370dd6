// Builds objects from the lexer's tokens; knows the object grammar, not the document.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "lexer.hpp"
#include "object.hpp"

namespace quarvel {

// Arrays and dictionaries nested deeper than this are refused with InvalidToken,
// so hostile input cannot exhaust the stack.
inline constexpr unsigned kMaxNestingDepth = 256;

class Parser {
public:
    explicit Parser(std::string_view data, std::uint64_t pos = 0) : data_(data), lexer_(data, pos) {}

    Object parse_object();
    Dictionary parse_dictionary_object();
    std::pair<ObjectId, Object> parse_indirect_object();

    std::uint16_t expect_u16();
    std::uint32_t expect_u32();
    std::uint64_t expect_u64();
    void expect_keyword(std::string_view word);
    bool peek_is_keyword(std::string_view word);

    std::uint64_t pos() const { return lexer_.pos(); }
    void set_pos(std::uint64_t pos) { lexer_.set_pos(pos); }
    Lexer& lexer() { return lexer_; }

private:
    Object parse_object(unsigned depth);
    Object object_from(Token& token, unsigned depth);
    Stream read_stream_body(Dictionary dictionary);

    std::string_view data_;
    Lexer lexer_;
    Token scratch_;
    // Elements of the arrays and dictionaries being read, so each container is
    // allocated once at its final size.
    std::vector<Object> items_;
    std::vector<Dictionary::Entry> entries_;
};

// Offset of the first "endstream" in `haystack`.
std::optional<std::size_t> find_bytes(std::string_view haystack);

}  // namespace quarvel
