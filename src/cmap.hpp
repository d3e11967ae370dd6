// ToUnicode CMaps: character codes of shown strings to Unicode text.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quarvel {

class ToUnicodeCMap {
public:
    struct Table;

    ToUnicodeCMap();
    // Reads the bfchar and bfrange sections; throws PdfError (InvalidToken).
    static ToUnicodeCMap parse(std::string_view bytes);

    // Greedy longest match; unmapped bytes read as Latin-1. Never fails.
    std::string decode(std::string_view bytes) const;
    void decode_into(std::string& out, std::string_view bytes) const;
    // decode_into for each of `parts` in turn.
    void decode_each_into(std::string& out, std::span<const std::string_view> parts) const;

    std::size_t max_code_length() const;
    // The text mapped to `code`, if any.
    bool lookup(std::string_view code, std::string& text) const;
    // Appends the text mapped to `code`; false, appending nothing, when unmapped.
    bool lookup_into(std::string& out, std::string_view code) const;

private:
    std::shared_ptr<const Table> table_;  // shared, immutable after parsing
};

// An embedded CMap of a composite font: how the bytes of a shown string split into
// codes (codespace ranges) and which CID each code selects (cidrange, cidchar).
class EncodingCMap {
public:
    // Throws PdfError (InvalidToken) for a malformed token, as ToUnicodeCMap::parse.
    static EncodingCMap parse(std::string_view bytes);

    bool has_codespace() const { return !codespaces_.empty(); }
    // The length of the code at the start of `bytes` (not empty): the first codespace
    // range that holds it, else the shortest codespace length.
    std::size_t code_length(std::string_view bytes) const;
    // The CID of a code of `length` bytes with big-endian value `code`; 0 when unmapped.
    std::uint32_t cid(std::uint32_t code, std::size_t length) const;

private:
    struct Range {
        std::uint32_t low = 0, high = 0, cid = 0;
        std::uint8_t length = 0;
    };
    std::vector<Range> codespaces_;
    std::vector<Range> cids_;  // sorted by (length, low)
};

}  // namespace quarvel
