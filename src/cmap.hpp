// ToUnicode CMaps: character codes of shown strings to Unicode text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

    std::size_t max_code_length() const;
    // The text mapped to `code`, if any.
    bool lookup(std::string_view code, std::string& text) const;

private:
    std::shared_ptr<const Table> table_;  // shared, immutable after parsing
};

}  // namespace quarvel
