#include "filter.hpp"

#include <zlib.h>

#ifdef QUARVEL_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "error.hpp"
#include "lexer.hpp"
#include "trace.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

constexpr std::string_view kNotSupported = "filter is not supported yet";

std::atomic<std::size_t> g_decoded_size_limit{kDefaultDecodedSizeLimit};

void append_be32(std::string& out, std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

// zlib's z_stream owns heap state; release it on every exit path.
class Inflater {
public:
    explicit Inflater(std::string_view filter) {
        int rc = inflateInit(&stream_);
        if (rc == Z_MEM_ERROR) throw std::bad_alloc();
        if (rc != Z_OK) throw PdfError::decode(filter, "corrupt deflate stream");
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    ~Inflater() { inflateEnd(&stream_); }
    z_stream* get() { return &stream_; }

private:
    z_stream stream_{};
};

// zlib counts in uInt; larger buffers are handed over in pieces.
constexpr std::size_t kMaxZlibChunk = std::size_t{1} << 30;

// Output past this size is gathered in pieces of this size: doubling one buffer would
// hold the old and the new copy at once, half again the limit for a bomb.
constexpr std::size_t kInflatePiece = std::size_t{32} << 20;

// Deflate rarely beats 4:1 on PDF content; the cap keeps a lying estimate cheap.
std::size_t initial_output_size(std::string_view input) {
    constexpr std::size_t kMinEstimate = 256;
    constexpr std::size_t kMaxEstimate = std::size_t{16} << 20;
    const std::size_t estimate = input.size() > kMaxEstimate / 4 ? kMaxEstimate : input.size() * 4;
    return std::max(estimate, kMinEstimate);
}

// The input handed over in pieces and the output grown as an inflater needs room, up to
// one byte past the size limit; for zlib's and ISA-L's streams alike, whose fields
// share their names.
class InflateBuffers {
public:
    explicit InflateBuffers(std::string_view input)
        : limit_(decoded_size_limit()),
          out_(initial_output_size(input), '\0'),
          in_next_(input.data()),
          in_left_(input.size()) {}

    // False when the output would pass the size limit.
    template <class State>
    [[nodiscard]] bool refill(State& state) {
        if (state.avail_in == 0 && in_left_ > 0) {
            const std::size_t chunk = std::min(in_left_, kMaxZlibChunk);
            state.next_in = reinterpret_cast<decltype(state.next_in)>(const_cast<char*>(in_next_));
            state.avail_in = static_cast<decltype(state.avail_in)>(chunk);
            in_next_ += chunk;
            in_left_ -= chunk;
        }
        if (state.avail_out == 0) {
            if (produced_ == out_.size() && !grow()) return false;
            state.next_out = reinterpret_cast<decltype(state.next_out)>(out_.data() + produced_);
            state.avail_out = static_cast<decltype(state.avail_out)>(std::min(out_.size() - produced_, kMaxZlibChunk));
        }
        return true;
    }
    void produced(std::size_t bytes) { produced_ += bytes; }
    bool input_used_up() const { return in_left_ == 0; }
    bool within_limit() const { return earlier_ + produced_ <= limit_; }

    std::string finish() && {
        if (pieces_.empty()) {
            out_.resize(produced_);
            // A poor estimate must not outlive the call.
            if (out_.capacity() / 2 > produced_ + 4096) out_.shrink_to_fit();
            return std::move(out_);
        }
        // Reserved, not filled: pages are touched only as pieces are copied and freed.
        std::string whole;
        whole.reserve(earlier_ + produced_);
        for (std::string& piece : pieces_) {
            whole += piece;
            std::string().swap(piece);
        }
        whole.append(out_, 0, produced_);
        return whole;
    }

private:
    bool grow() {
        if (!within_limit()) return false;
        // Room for one byte past the limit at most: that byte proves the overflow.
        const std::size_t left = limit_ - (earlier_ + produced_);
        const std::size_t room = left == std::numeric_limits<std::size_t>::max() ? left : left + 1;
        if (out_.size() < kInflatePiece) {
            out_.resize(out_.size() + std::min({out_.size(), kInflatePiece - out_.size(), room}));
        } else {
            earlier_ += produced_;
            pieces_.push_back(std::move(out_));
            out_.assign(std::min(kInflatePiece, room), '\0');
            produced_ = 0;
        }
        return true;
    }

    std::size_t limit_;
    std::string out_;
    std::vector<std::string> pieces_;  // full pieces before `out_`, once it stopped doubling
    std::size_t earlier_ = 0;          // their total size
    std::size_t produced_ = 0;         // in `out_`
    const char* in_next_;
    std::size_t in_left_;
};

}  // namespace

std::string inflate_with_zlib(std::string_view filter, std::string_view input) {
    Inflater inflater(filter);
    z_stream* zs = inflater.get();
    InflateBuffers buffers(input);
    zs->avail_in = 0;
    zs->avail_out = 0;
    for (;;) {
        if (!buffers.refill(*zs)) throw_decoded_too_large(filter);
        const uInt out_before = zs->avail_out;
        int rc = inflate(zs, Z_NO_FLUSH);
        buffers.produced(out_before - zs->avail_out);

        if (rc == Z_STREAM_END) break;
        if (rc == Z_OK) continue;
        if (rc == Z_BUF_ERROR) {
            // No progress possible: either out of room (handled above) or out of input.
            if (zs->avail_in == 0 && buffers.input_used_up()) break;
            continue;
        }
        if (rc == Z_MEM_ERROR) throw std::bad_alloc();
        // Z_DATA_ERROR, Z_STREAM_ERROR, Z_NEED_DICT: the data itself is unusable.
        throw PdfError::decode(filter, "corrupt deflate stream");
    }
    if (!buffers.within_limit()) throw_decoded_too_large(filter);
    return std::move(buffers).finish();
}

namespace {

#ifdef QUARVEL_HAVE_ISAL
// ISA-L inflates two to three times faster than zlib. Only a stream it reads to the
// end with a valid checksum and within the size limit is taken from it; for anything
// else (damage, a cut, a header it refuses, too much output) zlib decodes the stream
// again, so that results, errors and the prefixes of truncated streams are zlib's
// exactly.
bool inflate_with_isal(std::string_view input, std::string& result) {
    // About 80 KiB, mostly window: too large for the stack of an embedding thread, and
    // kept for the thread's next stream. One allocation per stream cost small streams
    // more than their inflating, and freed among their results it fragmented the heap.
    thread_local const std::unique_ptr<inflate_state> state = std::make_unique_for_overwrite<inflate_state>();
    isal_inflate_init(state.get());
    state->crc_flag = ISAL_ZLIB;
    InflateBuffers buffers(input);
    state->avail_in = 0;
    state->avail_out = 0;
    while (state->block_state != ISAL_BLOCK_FINISH) {
        if (!buffers.refill(*state)) return false;
        const std::uint32_t in_before = state->avail_in, out_before = state->avail_out;
        const int rc = isal_inflate(state.get());
        buffers.produced(out_before - state->avail_out);
        if (rc < 0 || rc == ISAL_NEED_DICT) return false;
        // Nothing read and nothing written: the input is used up (a cut stream) or stuck.
        if (in_before == state->avail_in && out_before == state->avail_out && state->block_state != ISAL_BLOCK_FINISH)
            return false;
    }
    if (!buffers.within_limit()) return false;
    result = std::move(buffers).finish();
    return true;
}

// The header nearly every writer puts: deflate, a 32 KiB window, no preset dictionary.
// ISA-L lets larger windows pass, which zlib refuses, and zlib reads distances against
// a smaller declared window, which ISA-L ignores: such streams go to zlib alone.
bool usual_zlib_header(std::string_view input) {
    if (input.size() < 2) return false;
    const auto cmf = static_cast<unsigned char>(input[0]), flg = static_cast<unsigned char>(input[1]);
    return cmf == 0x78 && !(flg & 0x20) && (cmf * 256 + flg) % 31 == 0;
}
#endif

std::string inflate_all(std::string_view filter, std::string_view input) {
#ifdef QUARVEL_HAVE_ISAL
    std::string out;
    if (usual_zlib_header(input) && inflate_with_isal(input, out)) return out;
#endif
    return inflate_with_zlib(filter, input);
}

std::uint8_t paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = p > a ? p - a : a - p;
    int pb = p > b ? p - b : b - p;
    int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    if (pb <= pc) return static_cast<std::uint8_t>(b);
    return static_cast<std::uint8_t>(c);
}

std::string decode_one(std::string_view name, std::string_view input, const Dictionary* params) {
    if (name == "FlateDecode" || name == "Fl") return decode_flate(name, input, params);
    if (name == "ASCIIHexDecode" || name == "AHx") return decode_ascii_hex(name, input);
    if (name == "ASCII85Decode" || name == "A85") return decode_ascii85(name, input);
    if (name == "RunLengthDecode" || name == "RL") return decode_run_length(name, input);
    if (name == "LZWDecode" || name == "LZW" || name == "DCTDecode" || name == "DCT" || name == "CCITTFaxDecode" ||
        name == "CCF" || name == "JBIG2Decode" || name == "JPXDecode" || name == "Crypt")
        throw PdfError::decode(name, std::string(kNotSupported));
    throw PdfError::decode(name, "unknown filter");
}

// One entry per filter; null means no parameters.
std::vector<const Dictionary*> decode_parameters(const Dictionary& dictionary, std::size_t filter_count) {
    const Object* value = dictionary.get("DecodeParms");
    if (!value) value = dictionary.get("DP");
    std::vector<const Dictionary*> params;
    if (!value || value->is_null()) {
        params.assign(filter_count, nullptr);
    } else if (const Array* array = value->as_array()) {
        if (array->size() != filter_count)
            throw PdfError::type_mismatch("stream /DecodeParms", "one entry per filter");
        params.reserve(filter_count);
        for (const Object& item : *array) {
            if (item.is_null())
                params.push_back(nullptr);
            else if (const Dictionary* d = item.as_dictionary())
                params.push_back(d);
            else
                throw PdfError::type_mismatch("stream /DecodeParms item", "dictionary or null");
        }
    } else if (const Dictionary* d = value->as_dictionary()) {
        if (filter_count != 1) throw PdfError::type_mismatch("stream /DecodeParms", "array when /Filter is an array");
        params.push_back(d);
    } else {
        throw PdfError::type_mismatch("stream /DecodeParms", "dictionary, array, or null");
    }
    return params;
}

}  // namespace

std::string decode_ascii_hex(std::string_view filter, std::string_view input) {
    std::string out;
    out.reserve(input.size() / 2 + 1);
    int high = -1;
    for (char ch : input) {
        const auto c = static_cast<unsigned char>(ch);
        if (is_pdf_whitespace(c)) continue;
        if (c == '>') break;
        const int v = hex_digit_value(c);
        if (v < 0) throw PdfError::decode(filter, "invalid ASCIIHex digit");
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<char>((high << 4) | v));
            high = -1;
        }
    }
    if (high >= 0) out.push_back(static_cast<char>(high << 4));
    // Never longer than its input, so checking once at the end bounds nothing less.
    if (out.size() > decoded_size_limit()) throw_decoded_too_large(filter);
    return out;
}

std::string decode_ascii85(std::string_view filter, std::string_view input) {
    if (input.size() >= 2 && input[0] == '<' && input[1] == '~') input.remove_prefix(2);
    std::string out;
    out.reserve(input.size() / 5 * 4 + 4);
    // `z` makes four bytes of one; checked per group, the limit holds within four bytes.
    const std::size_t limit = decoded_size_limit();

    std::uint64_t group = 0;
    int count = 0;
    auto flush = [&](int digits) {
        if (group > 0xFFFFFFFFu) throw PdfError::decode(filter, "ASCII85 group overflow");
        const auto value = static_cast<std::uint32_t>(group);
        if (digits == 5) {
            append_be32(out, value);
        } else {
            const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                                   static_cast<char>(value >> 8), static_cast<char>(value)};
            out.append(bytes, static_cast<std::size_t>(digits - 1));
        }
        group = 0;
        count = 0;
    };

    for (std::size_t i = 0; i < input.size(); ++i) {
        const auto c = static_cast<unsigned char>(input[i]);
        if (is_pdf_whitespace(c)) continue;
        if (c >= '!' && c <= 'u') {
            group = group * 85 + (c - '!');
            if (++count == 5) {
                if (out.size() >= limit) throw_decoded_too_large(filter);
                flush(5);
            }
            continue;
        }
        if (c == 'z' && count == 0) {
            if (out.size() >= limit) throw_decoded_too_large(filter);
            out.append(4, '\0');
            continue;
        }
        if (c == '~' && i + 1 < input.size() && input[i + 1] == '>') break;
        throw PdfError::decode(filter, "invalid ASCII85 byte");
    }

    if (count == 1) throw PdfError::decode(filter, "invalid short ASCII85 group");
    if (count > 1) {
        const int digits = count;
        for (int i = count; i < 5; ++i) group = group * 85 + ('u' - '!');
        flush(digits);
    }
    if (out.size() > limit) throw_decoded_too_large(filter);
    return out;
}

std::string decode_run_length(std::string_view filter, std::string_view input) {
    std::string out;
    out.reserve(input.size());
    // A repeat run makes 128 bytes of two; checked per run, the limit holds within 128.
    const std::size_t limit = decoded_size_limit();
    std::size_t pos = 0;
    while (pos < input.size()) {
        if (out.size() > limit) throw_decoded_too_large(filter);
        const auto length = static_cast<unsigned char>(input[pos++]);
        if (length < 128) {
            const std::size_t n = std::size_t{length} + 1;
            if (input.size() - pos < n) throw PdfError::decode(filter, "truncated literal run");
            out.append(input.data() + pos, n);
            pos += n;
        } else if (length == 128) {
            break;
        } else {
            if (pos >= input.size()) throw PdfError::decode(filter, "truncated repeat run");
            out.append(257 - std::size_t{length}, input[pos++]);
        }
    }
    if (out.size() > limit) throw_decoded_too_large(filter);
    return out;
}

std::string decode_flate(std::string_view filter, std::string_view input, const Dictionary* params) {
    std::string inflated = inflate_all(filter, input);
    if (!params) return inflated;
    const std::uint64_t predictor = dictionary_integer(*params, "Predictor", 1);
    if (predictor == 1) return inflated;
    if (predictor == 2) throw PdfError::decode(filter, "TIFF predictor is not supported yet");
    if (predictor >= 10 && predictor <= 15) return apply_png_predictor(filter, std::move(inflated), *params);
    throw PdfError::decode(filter, "invalid predictor value");
}

// Undoes PNG row filters in place: decoded row r lands at r * row_len, which
// never overtakes the unread bytes of encoded row r at r * (row_len + 1) + 1.
std::string apply_png_predictor(std::string_view filter, std::string data, const Dictionary& params) {
    const std::uint64_t colors = dictionary_integer(params, "Colors", 1);
    const std::uint64_t bits_per_component = dictionary_integer(params, "BitsPerComponent", 8);
    const std::uint64_t columns = dictionary_integer(params, "Columns", 1);
    if (colors == 0 || bits_per_component == 0 || columns == 0)
        throw PdfError::decode(filter, "invalid PNG predictor parameters");

    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (colors > kMax / bits_per_component) throw PdfError::decode(filter, "PNG predictor row is too wide");
    const std::uint64_t bits_per_pixel = colors * bits_per_component;
    if (bits_per_pixel > kMax / columns) throw PdfError::decode(filter, "PNG predictor row is too wide");
    const std::uint64_t bits_per_row = bits_per_pixel * columns;
    if (bits_per_row > kMax - 7) throw PdfError::decode(filter, "PNG predictor row is too wide");
    if (bits_per_pixel > kMax - 7) throw PdfError::decode(filter, "PNG predictor pixel is too wide");

    const std::uint64_t row_len64 = (bits_per_row + 7) / 8;
    const std::uint64_t stride64 = row_len64 + 1;
    if (data.size() % stride64 != 0) throw PdfError::decode(filter, "invalid PNG predictor row length");
    if (data.empty()) return data;

    // A whole row fits in the data, so both fit in size_t.
    const std::size_t row_len = static_cast<std::size_t>(row_len64);
    const std::size_t stride = row_len + 1;
    const std::size_t bpp = static_cast<std::size_t>(std::max<std::uint64_t>(1, (bits_per_pixel + 7) / 8));
    const std::size_t rows = data.size() / stride;

    auto* buf = reinterpret_cast<std::uint8_t*>(data.data());
    for (std::size_t r = 0; r < rows; ++r) {
        const std::uint8_t type = buf[r * stride];
        const std::uint8_t* in = buf + r * stride + 1;
        std::uint8_t* out = buf + r * row_len;
        const std::uint8_t* prev = r > 0 ? buf + (r - 1) * row_len : nullptr;
        const std::size_t lead = std::min(bpp, row_len);
        switch (type) {
            case 0:
                std::memmove(out, in, row_len);
                break;
            case 1:
                for (std::size_t i = 0; i < lead; ++i) out[i] = in[i];
                for (std::size_t i = lead; i < row_len; ++i) out[i] = static_cast<std::uint8_t>(in[i] + out[i - bpp]);
                break;
            case 2:
                if (prev)
                    for (std::size_t i = 0; i < row_len; ++i) out[i] = static_cast<std::uint8_t>(in[i] + prev[i]);
                else
                    std::memmove(out, in, row_len);
                break;
            case 3:
                if (prev) {
                    for (std::size_t i = 0; i < lead; ++i) out[i] = static_cast<std::uint8_t>(in[i] + (prev[i] >> 1));
                    for (std::size_t i = lead; i < row_len; ++i)
                        out[i] = static_cast<std::uint8_t>(in[i] + ((out[i - bpp] + prev[i]) >> 1));
                } else {
                    for (std::size_t i = 0; i < lead; ++i) out[i] = in[i];
                    for (std::size_t i = lead; i < row_len; ++i)
                        out[i] = static_cast<std::uint8_t>(in[i] + (out[i - bpp] >> 1));
                }
                break;
            case 4:
                if (prev) {
                    for (std::size_t i = 0; i < lead; ++i) out[i] = static_cast<std::uint8_t>(in[i] + prev[i]);
                    for (std::size_t i = lead; i < row_len; ++i)
                        out[i] = static_cast<std::uint8_t>(in[i] + paeth(out[i - bpp], prev[i], prev[i - bpp]));
                } else {
                    // With b = c = 0 the Paeth predictor is always a.
                    for (std::size_t i = 0; i < lead; ++i) out[i] = in[i];
                    for (std::size_t i = lead; i < row_len; ++i)
                        out[i] = static_cast<std::uint8_t>(in[i] + out[i - bpp]);
                }
                break;
            default:
                throw PdfError::decode(filter, "invalid PNG predictor row filter");
        }
    }
    data.resize(rows * row_len);
    return data;
}

std::size_t decoded_size_limit() { return g_decoded_size_limit.load(std::memory_order_relaxed); }

std::size_t set_decoded_size_limit(std::size_t limit) {
    return g_decoded_size_limit.exchange(limit, std::memory_order_relaxed);
}

void throw_decoded_too_large(std::string_view filter) {
    throw PdfError::decode(filter, "decoded data exceeds the size limit");
}

std::uint64_t dictionary_integer(const Dictionary& dictionary, std::string_view key, std::uint64_t default_value) {
    const Object* value = dictionary.get(key);
    if (!value) return default_value;
    const Integer* i = value->as_integer();
    if (!i || *i < 0) {
        std::string place = "stream /DecodeParms /";
        append_lossy_utf8(place, key);
        throw PdfError::type_mismatch(place, "non-negative integer");
    }
    return static_cast<std::uint64_t>(*i);
}

std::vector<std::string_view> Stream::filters() const {
    std::vector<std::string_view> chain;
    const Object* value = dictionary.get("Filter");
    if (!value) return chain;
    if (const std::string* name = value->as_name()) {
        chain.emplace_back(*name);
        return chain;
    }
    const Array* array = value->as_array();
    if (!array) throw PdfError::type_mismatch("stream /Filter", "name or array");
    chain.reserve(array->size());
    for (const Object& item : *array) {
        const std::string* name = item.as_name();
        if (!name) throw PdfError::type_mismatch("stream /Filter item", "name");
        chain.emplace_back(*name);
    }
    return chain;
}

std::string_view Stream::decoded_data_cow(std::string& owned) const {
    QUARVEL_INFO_SPAN(span, trace::kObjectTarget, "decoded_data_cow",
                      trace::Field("encoded_len", static_cast<std::uint64_t>(data.size())), trace::Field("filters"));
    const std::vector<std::string_view> chain = filters();
    if (trace::enabled(trace::Level::Info))
        span.record(trace::Field("filters", static_cast<std::uint64_t>(chain.size())));
    if (chain.empty()) return data;

    const std::vector<const Dictionary*> params = decode_parameters(dictionary, chain.size());
    // Each stage is held to the limit, and so are all stages together: a filter that
    // leaves its input as it was (RunLength on FF FF) would otherwise let a long chain
    // copy the limit once per entry.
    const std::size_t limit = decoded_size_limit();
    std::string current = decode_one(chain[0], data, params[0]);
    std::size_t produced = current.size();
    for (std::size_t i = 1; i < chain.size(); ++i) {
        current = decode_one(chain[i], current, params[i]);
        if (current.size() > limit - std::min(produced, limit)) throw_decoded_too_large(chain[i]);
        produced += current.size();
    }
    owned = std::move(current);
    return owned;
}

std::string Stream::decoded_data() const {
    QUARVEL_INFO_SPAN(span, trace::kObjectTarget, "decoded_data",
                      trace::Field("encoded_len", static_cast<std::uint64_t>(data.size())), trace::Field("filters"));
    std::string owned;
    std::string_view view = decoded_data_cow(owned);
    if (view.data() == owned.data()) return owned;
    return std::string(view);
}

}  // namespace quarvel
