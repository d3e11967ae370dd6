// Stream filters: decoding a stream's raw bytes through its /Filter chain.
// Stream::filters, Stream::decoded_data_cow and Stream::decoded_data live here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "object.hpp"

namespace quarvel {

// The most bytes one filter may decode a stream to, all filters of a stream together
// may produce, and a page's content streams may join to; past it decoding fails with
// the Decode error "decoded data exceeds the size limit". Process-wide, so that an
// application can bound the memory of each document it opens.
inline constexpr std::size_t kDefaultDecodedSizeLimit = std::size_t{1} << 30;
std::size_t decoded_size_limit();
// Returns the previous limit; `limit` must be positive.
std::size_t set_decoded_size_limit(std::size_t limit);
// The error for output past that limit, as `filter` reports it.
[[noreturn]] void throw_decoded_too_large(std::string_view filter);

std::string decode_ascii_hex(std::string_view filter, std::string_view input);
std::string decode_ascii85(std::string_view filter, std::string_view input);
std::string decode_run_length(std::string_view filter, std::string_view input);
// The PNG row filters of a Flate or LZW stream, undone; `params` gives Colors,
// BitsPerComponent and Columns.
std::string apply_png_predictor(std::string_view filter, std::string data, const Dictionary& params);
// Inflate, then the predictor named in `params` (may be null).
std::string decode_flate(std::string_view filter, std::string_view input, const Dictionary* params);

// Inflates through zlib alone, as decode_flate without parameters does in a build
// without ISA-L; for tests that hold both inflaters to the same results.
std::string inflate_with_zlib(std::string_view filter, std::string_view input);

// `default_value` when absent; the value when a non-negative Integer; otherwise
// TypeMismatch "stream /DecodeParms /<key>" / "non-negative integer".
std::uint64_t dictionary_integer(const Dictionary& dictionary, std::string_view key, std::uint64_t default_value);

}  // namespace quarvel
