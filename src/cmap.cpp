#include "cmap.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <vector>

#include "error.hpp"
#include "lexer.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

// Codes of up to four bytes live in interval lists, one per width, so a range
// costs the same whatever it spans; longer codes (bfchar only) go to a map.
constexpr std::size_t kMaxIntervalWidth = 4;
// Real codes have at most four bytes. Decoding tries every distinct longer length at
// every position, so their lengths must be bounded for decoding to stay linear.
constexpr std::size_t kMaxCodeWidth = 16;

struct Segment {
    std::uint32_t start = 0;
    std::uint32_t end = 0;  // inclusive
    // Fixed: index into Table::texts, the same text for every code.
    // Incrementing: the destination value at `start`, one more per code.
    std::uint32_t value = 0;
    bool incrementing = false;
    std::uint8_t dest_width = 0;
};

struct TextRef {
    std::size_t offset = 0;
    std::size_t size = 0;
};

// CMap tokens one at a time: most CMaps are read once per page.
class CMapCursor {
public:
    explicit CMapCursor(std::string_view data) : data_(data) {}

    // False at the end of the data.
    bool next(std::string_view& token) {
        const std::size_t n = data_.size();
        std::size_t i = pos_;
        for (; i < n; ++i) {
            const auto c = static_cast<unsigned char>(data_[i]);
            if (c == '%') {
                while (i + 1 < n && data_[i + 1] != '\n' && data_[i + 1] != '\r') ++i;
            } else if (!is_pdf_whitespace(c)) {
                break;
            }
        }
        if (i >= n) {
            pos_ = n;
            return false;
        }
        const std::size_t start = i;
        const char c = data_[i];
        if (c == '<') {
            const std::size_t close = data_.find('>', i + 1);
            if (close == std::string_view::npos) {
                pos_ = n;  // nothing after it tokenises
                throw PdfError::invalid_token(start, "unterminated CMap hex token");
            }
            i = close + 1;
        } else if (c == '[' || c == ']') {
            ++i;
        } else {
            while (i < n) {
                const auto d = static_cast<unsigned char>(data_[i]);
                if (is_pdf_whitespace(d) || d == '[' || d == ']') break;
                ++i;
            }
        }
        token = data_.substr(start, i - start);
        pos_ = i;
        ++count_;
        return true;
    }

    // Tokens read so far: the index of the next one.
    std::size_t count() const { return count_; }

    // An unterminated hex token anywhere in the data is the error of the whole CMap,
    // as if all were tokenised before anything is read: this looks for one in the rest.
    void check_rest() {
        std::string_view token;
        while (next(token)) {
        }
    }

private:
    std::string_view data_;
    std::size_t pos_ = 0;
    std::size_t count_ = 0;
};

// Every token, before anything is interpreted.
std::vector<std::string_view> tokenize(std::string_view data) {
    std::vector<std::string_view> tokens;
    CMapCursor cursor(data);
    for (std::string_view token; cursor.next(token);) tokens.push_back(token);
    return tokens;
}

// Into `out`, whose buffer is reused from token to token.
void parse_hex_token_into(std::string_view token, std::string& out) {
    if (token.size() < 2 || token.front() != '<' || token.back() != '>')
        throw PdfError::invalid_token(0, "expected CMap hex token");
    out.clear();
    int high = -1;
    for (std::size_t i = 1; i + 1 < token.size(); ++i) {
        const auto c = static_cast<unsigned char>(token[i]);
        const int v = hex_digit_value(c);
        if (v < 0) {
            if (is_pdf_whitespace(c)) continue;
            throw PdfError::invalid_token(0, "invalid CMap hex");
        }
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<char>(high << 4 | v));
            high = -1;
        }
    }
    if (high >= 0) out.push_back(static_cast<char>(high << 4));
}

std::string parse_hex_token(std::string_view token) {
    std::string out;
    parse_hex_token_into(token, out);
    return out;
}

std::uint32_t bytes_to_u32(std::string_view bytes) {
    std::uint32_t v = 0;
    for (char c : bytes) v = v << 8 | static_cast<unsigned char>(c);
    return v;
}

// The low `width` bytes of `value`, big-endian.
std::size_t number_to_sized_bytes(std::uint32_t value, std::size_t width, char out[4]) {
    for (std::size_t i = 0; i < width; ++i)
        out[i] = static_cast<char>(value >> (8 * (width - 1 - i)));
    return width;
}

// A UTF-16 unit on its own; a surrogate cannot stand alone.
inline std::size_t encode_unit(char* w, char32_t unit) {
    return encode_utf8(w, unit >= 0xD800 && unit <= 0xDFFF ? char32_t{0xFFFD} : unit);
}

// The text of an incrementing destination: `value` written big-endian in `width`
// bytes, read as UTF-16 (an odd last byte ignored). At most kMaxIncrementedText bytes.
constexpr std::size_t kMaxIncrementedText = 6;
inline std::size_t encode_incremented(char* w, std::uint32_t value, std::size_t width) {
    if (width == 2) return encode_unit(w, value & 0xFFFF);
    if (width == 3) return encode_unit(w, (value >> 8) & 0xFFFF);
    if (width != 4) return 0;
    const char32_t high = value >> 16, low = value & 0xFFFF;
    if (high >= 0xD800 && high <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF)
        return encode_utf8(w, 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00));
    const std::size_t first = encode_unit(w, high);
    return first + encode_unit(w + first, low);
}

// Gathers output in a small buffer so that each code costs a few stores rather than
// a string append; finish() hands it over.
class Appender {
public:
    static constexpr std::size_t kShort = 8;  // texts up to this size are copied whole

    explicit Appender(std::string& out) : out_(out) {}
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    // Room for up to kShort bytes at the cursor.
    char* room() {
        if (kSize - used_ < kShort) flush();
        return buffer_ + used_;
    }
    void advance(std::size_t size) { used_ += size; }
    // `bytes` must be readable for kShort bytes even when `size` is smaller.
    void append_padded(const char* bytes, std::size_t size) {
        if (size <= kShort) {
            std::memcpy(room(), bytes, kShort);
            used_ += size;
        } else {
            append_long(bytes, size);
        }
    }
    void finish() { flush(); }

private:
    void flush() {
        if (used_ == 0) return;
        out_.append(buffer_, used_);
        used_ = 0;
    }
    void append_long(const char* bytes, std::size_t size) {
        flush();
        out_.append(bytes, size);
    }

    static constexpr std::size_t kSize = 256;
    std::string& out_;
    std::size_t used_ = 0;
    char buffer_[kSize];
};

static_assert(kMaxIncrementedText <= Appender::kShort);

// The text of a one-byte code, kept inline when short.
struct ByteText {
    char bytes[Appender::kShort] = {};
    std::uint8_t size = 0;
    bool fits = true;  // else the text is found through the table
};

constexpr std::size_t encode_latin1(char* w, unsigned char c) {
    if (c < 0x80) {
        w[0] = static_cast<char>(c);
        return 1;
    }
    w[0] = static_cast<char>(0xC0 | c >> 6);
    w[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
}

constexpr std::array<ByteText, 256> make_latin1_texts() {
    std::array<ByteText, 256> t{};
    for (unsigned c = 0; c < 256; ++c) t[c].size = static_cast<std::uint8_t>(encode_latin1(t[c].bytes, static_cast<unsigned char>(c)));
    return t;
}

constexpr auto kLatin1Texts = make_latin1_texts();

}  // namespace

struct ToUnicodeCMap::Table {
    std::size_t max_code_length = 0;
    std::string pool;  // fixed texts, UTF-8, stored once
    std::vector<TextRef> texts;
    std::array<std::vector<Segment>, kMaxIntervalWidth> segments;  // by width - 1
    unsigned widths_present = 0;                                   // bit w for width w
    // Width 1: 1-based segment index per byte.
    std::array<std::uint16_t, 256> direct1{};
    // Width 2: per high byte, 0 (unmapped), kUniform | segment (the whole page in one
    // segment), or a 1-based page of 256 one-based segment indices.
    static constexpr std::uint32_t kUniform = 0x80000000u;
    std::array<std::uint32_t, 256> page_ref{};
    std::vector<std::uint32_t> pages;
    // Codes longer than four bytes; their distinct lengths in descending order.
    std::map<std::string, std::uint32_t, std::less<>> long_codes;
    std::vector<std::size_t> long_lengths;

    const Segment* find(std::size_t width, std::uint32_t code) const {
        const std::vector<Segment>& segs = segments[width - 1];
        std::uint32_t index = 0;
        if (width == 1) {
            index = direct1[code];
        } else if (width == 2) {
            std::uint32_t ref = page_ref[code >> 8];
            if (ref & kUniform) return &segs[ref & ~kUniform];
            if (ref == 0) return nullptr;
            index = pages[(ref - 1) * 256 + (code & 0xFF)];
        } else {
            auto it = std::upper_bound(segs.begin(), segs.end(), code,
                                       [](std::uint32_t c, const Segment& s) { return c < s.start; });
            if (it == segs.begin()) return nullptr;
            --it;
            return it->end >= code ? &*it : nullptr;
        }
        return index ? &segs[index - 1] : nullptr;
    }

    // The text of each byte as a one-byte code, or Latin-1 where it has none.
    std::array<ByteText, 256> singles = kLatin1Texts;

    void emit_text(Appender& out, std::uint32_t text) const {
        const TextRef& t = texts[text];
        out.append_padded(pool.data() + t.offset, t.size);
    }

    void emit_segment(Appender& out, const Segment& s, std::uint32_t code) const {
        if (!s.incrementing) {
            emit_text(out, s.value);
            return;
        }
        const std::uint32_t value = s.value + (code - s.start);
        char* w = out.room();
        // Two-byte destinations, nearly all of them, skip the general encoder.
        out.advance(s.dest_width == 2 ? encode_unit(w, value & 0xFFFF) : encode_incremented(w, value, s.dest_width));
    }

    // The text of the code at `p` of `width` bytes, if mapped.
    bool emit_code(Appender& out, const char* p, std::size_t width) const {
        if (width <= kMaxIntervalWidth) {
            if (!(widths_present >> width & 1)) return false;
            const std::uint32_t code = bytes_to_u32(std::string_view(p, width));
            const Segment* s = find(width, code);
            if (!s) return false;
            emit_segment(out, *s, code);
            return true;
        }
        auto it = long_codes.find(std::string_view(p, width));
        if (it == long_codes.end()) return false;
        emit_text(out, it->second);
        return true;
    }

    // A single byte: its one-byte code, else Latin-1.
    void emit_single(Appender& out, unsigned char c) const {
        const ByteText& text = singles[c];
        if (text.fits) {
            std::memcpy(out.room(), text.bytes, Appender::kShort);
            out.advance(text.size);
        } else {
            emit_segment(out, segments[0][direct1[c] - 1], c);
        }
    }

    // Greedy longest match; unmapped bytes read as Latin-1.
    void decode(Appender& app, std::string_view bytes) const {
        const std::size_t n = bytes.size();
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t pos = 0;
        if (max_code_length <= 2) {
            // The common one- and two-byte fonts: direct tables, no search.
            if (widths_present & 4) {
                for (; pos + 1 < n; ++pos) {
                    const std::uint32_t code = std::uint32_t{p[pos]} << 8 | p[pos + 1];
                    if (const Segment* s = find(2, code)) {
                        emit_segment(app, *s, code);
                        ++pos;
                    } else {
                        emit_single(app, p[pos]);
                    }
                }
            }
            for (; pos < n; ++pos) emit_single(app, p[pos]);
            return;
        }
        while (pos < n) {
            const std::size_t left = n - pos;
            std::size_t matched = 0;
            for (std::size_t len : long_lengths) {
                if (len <= left && emit_code(app, bytes.data() + pos, len)) {
                    matched = len;
                    break;
                }
            }
            for (std::size_t len = std::min({max_code_length, left, kMaxIntervalWidth}); !matched && len >= 1; --len)
                if (emit_code(app, bytes.data() + pos, len)) matched = len;
            if (matched) {
                pos += matched;
            } else {
                emit_single(app, p[pos]);  // Latin-1: no one-byte code matched either
                ++pos;
            }
        }
    }

    void build_singles() {
        for (unsigned c = 0; c < 256; ++c) {
            if (!direct1[c]) continue;
            const Segment& s = segments[0][direct1[c] - 1];
            ByteText& entry = singles[c];
            if (s.incrementing) {
                const std::uint32_t value = s.value + (c - s.start);
                entry.size = static_cast<std::uint8_t>(s.dest_width == 2 ? encode_unit(entry.bytes, value & 0xFFFF)
                                                                         : encode_incremented(entry.bytes, value, s.dest_width));
                entry.fits = true;
                continue;
            }
            const TextRef& t = texts[s.value];
            entry.fits = t.size <= Appender::kShort;
            entry.size = static_cast<std::uint8_t>(entry.fits ? t.size : 0);
            if (entry.fits) std::memcpy(entry.bytes, pool.data() + t.offset, t.size);
        }
    }
};

namespace {

class TableBuilder {
public:
    void insert_mapping(std::string_view code, std::string_view text) {
        if (code.size() > kMaxCodeWidth) throw PdfError::invalid_token(0, "CMap code is too wide");
        raise(code.size());
        if (code.empty()) return;  // never looked up
        std::uint32_t id = add_text(text);
        if (code.size() > kMaxIntervalWidth) {
            long_codes_[std::string(code)] = id;
            return;
        }
        std::uint32_t c = bytes_to_u32(code);
        insert(code.size(), Segment{c, c, id, false, 0});
    }

    void insert_range(std::string_view low, std::string_view high, std::string_view destination) {
        if (low.size() != high.size()) throw PdfError::invalid_token(0, "bfrange bounds have different widths");
        if (low.size() > kMaxIntervalWidth || destination.size() > kMaxIntervalWidth)
            throw PdfError::invalid_token(0, "CMap code is too wide");
        std::uint32_t lo = bytes_to_u32(low), hi = bytes_to_u32(high), dest = bytes_to_u32(destination);
        if (lo > hi) return;
        std::uint64_t span = std::uint64_t{hi} - lo;
        // Codes are at most four bytes, so no offset can exceed 32 bits.
        if (span > 0xFFFFFFFFu) throw PdfError::invalid_token(0, "bfrange destination offset is too large");
        if (dest + span > 0xFFFFFFFFu) throw PdfError::invalid_token(0, "bfrange destination overflow");
        raise(low.size());
        if (low.empty()) return;
        insert(low.size(), Segment{lo, hi, dest, true, static_cast<std::uint8_t>(destination.size())});
    }

    ToUnicodeCMap::Table finish() && {
        ToUnicodeCMap::Table t;
        t.max_code_length = max_code_length_;
        t.pool = std::move(pool_);
        t.pool.append(Appender::kShort, '\0');  // so that append_padded may read past the last text
        t.texts = std::move(texts_);
        for (std::size_t w = 1; w <= kMaxIntervalWidth; ++w) {
            auto& segs = t.segments[w - 1];
            segs = resolve(std::move(inserted_[w - 1]));
            if (!segs.empty()) t.widths_present |= 1u << w;
        }
        const auto& one = t.segments[0];
        for (std::size_t i = 0; i < one.size(); ++i)
            for (std::uint32_t c = one[i].start; c <= one[i].end; ++c) t.direct1[c] = static_cast<std::uint16_t>(i + 1);
        build_pages(t);
        t.build_singles();
        for (const auto& entry : long_codes_) t.long_lengths.push_back(entry.first.size());
        std::sort(t.long_lengths.rbegin(), t.long_lengths.rend());
        t.long_lengths.erase(std::unique(t.long_lengths.begin(), t.long_lengths.end()), t.long_lengths.end());
        t.long_codes = std::move(long_codes_);
        return t;
    }

private:
    void raise(std::size_t width) { max_code_length_ = std::max(max_code_length_, width); }

    std::uint32_t add_text(std::string_view utf16) {
        TextRef ref{pool_.size(), 0};
        append_utf16be(pool_, utf16);
        ref.size = pool_.size() - ref.offset;
        texts_.push_back(ref);
        return static_cast<std::uint32_t>(texts_.size() - 1);
    }

    void insert(std::size_t width, Segment s) { inserted_[width - 1].push_back(s); }

    // The segments of one width, sorted and disjoint, each code from the last segment
    // inserted that holds it.
    static std::vector<Segment> resolve(std::vector<Segment> inserted) {
        // Nearly always the codes are distinct, or repeat only as whole single codes:
        // sorting then suffices, the later of two equal entries winning.
        std::vector<Segment> sorted = inserted;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const Segment& a, const Segment& b) { return a.start < b.start; });
        std::vector<Segment> out;
        out.reserve(sorted.size());
        bool disjoint = true;
        for (const Segment& s : sorted) {
            if (!out.empty() && out.back().start == s.start && out.back().end == s.end) {
                out.back() = s;
            } else if (out.empty() || out.back().end < s.start) {
                out.push_back(s);
            } else {
                disjoint = false;
                break;
            }
        }
        if (disjoint) return out;
        std::map<std::uint32_t, Segment> map;
        for (const Segment& s : inserted) overlay(map, s);
        out.clear();
        for (const auto& [start, s] : map) out.push_back(s);
        return out;
    }

    // Overwrites [s.start, s.end], trimming or splitting the segments it overlaps.
    static void overlay(std::map<std::uint32_t, Segment>& map, const Segment& s) {
        auto it = map.upper_bound(s.start);
        if (it != map.begin()) {
            auto prev = std::prev(it);
            Segment& p = prev->second;
            if (p.end >= s.start) {
                if (p.end > s.end) map.emplace(s.end + 1, tail(p, s.end + 1));
                if (p.start < s.start) {
                    p.end = s.start - 1;
                } else {
                    map.erase(prev);
                }
            }
        }
        it = map.lower_bound(s.start);
        while (it != map.end() && it->second.start <= s.end) {
            if (it->second.end > s.end) {
                Segment rest = tail(it->second, s.end + 1);
                map.erase(it);
                map.emplace(rest.start, rest);
                break;
            }
            it = map.erase(it);
        }
        map.insert_or_assign(s.start, s);
    }

    static Segment tail(const Segment& s, std::uint32_t from) {
        Segment t = s;
        if (t.incrementing) t.value += from - s.start;
        t.start = from;
        return t;
    }

    void build_pages(ToUnicodeCMap::Table& t) const {
        const auto& segs = t.segments[1];
        std::size_t first = 0;  // first segment that may reach the current page
        for (std::uint32_t page = 0; page < 256 && first < segs.size(); ++page) {
            std::uint32_t lo = page << 8, hi = lo | 0xFF;
            while (first < segs.size() && segs[first].end < lo) ++first;
            std::size_t last = first;
            while (last < segs.size() && segs[last].start <= hi) ++last;
            if (last == first) continue;
            if (last - first == 1 && segs[first].start <= lo && segs[first].end >= hi) {
                t.page_ref[page] = ToUnicodeCMap::Table::kUniform | static_cast<std::uint32_t>(first);
                continue;
            }
            std::size_t base = t.pages.size();
            t.pages.resize(base + 256, 0);
            t.page_ref[page] = static_cast<std::uint32_t>(base / 256 + 1);
            for (std::size_t i = first; i < last; ++i) {
                std::uint32_t from = std::max(segs[i].start, lo), to = std::min(segs[i].end, hi);
                for (std::uint32_t c = from; c <= to; ++c)
                    t.pages[base + (c & 0xFF)] = static_cast<std::uint32_t>(i + 1);
            }
        }
    }

    std::size_t max_code_length_ = 0;
    std::string pool_;
    std::vector<TextRef> texts_;
    std::array<std::vector<Segment>, kMaxIntervalWidth> inserted_;  // by width - 1, in insertion order
    std::map<std::string, std::uint32_t, std::less<>> long_codes_;
};

}  // namespace

ToUnicodeCMap::ToUnicodeCMap() = default;

namespace {

void parse_sections(CMapCursor& tokens, TableBuilder& builder) {
    std::string code, destination, low, high;
    std::string_view token;
    while (tokens.next(token)) {
        if (token == "beginbfchar") {
            while (tokens.next(token) && token != "endbfchar") {
                parse_hex_token_into(token, code);
                if (!tokens.next(token)) throw PdfError::invalid_token(tokens.count(), "missing bfchar destination");
                parse_hex_token_into(token, destination);
                builder.insert_mapping(code, destination);
            }
        } else if (token == "beginbfrange") {
            while (tokens.next(token) && token != "endbfrange") {
                parse_hex_token_into(token, low);
                if (!tokens.next(token)) throw PdfError::invalid_token(tokens.count(), "missing bfrange end");
                parse_hex_token_into(token, high);
                if (!tokens.next(token)) throw PdfError::invalid_token(tokens.count(), "missing bfrange destination");
                if (token != "[") {
                    parse_hex_token_into(token, destination);
                    builder.insert_range(low, high, destination);
                    continue;
                }
                if (low.size() > kMaxIntervalWidth || high.size() > kMaxIntervalWidth)
                    throw PdfError::invalid_token(0, "CMap code is too wide");
                const std::uint64_t lo = bytes_to_u32(low), hi = bytes_to_u32(high);
                for (std::uint64_t k = 0;; ++k) {
                    if (!tokens.next(token)) throw PdfError::invalid_token(tokens.count(), "unterminated bfrange array");
                    if (token == "]") break;
                    parse_hex_token_into(token, destination);
                    if (lo + k > hi) throw PdfError::invalid_token(tokens.count() - 1, "too many bfrange destinations");
                    char key[4];
                    builder.insert_mapping(
                        std::string_view(key, number_to_sized_bytes(static_cast<std::uint32_t>(lo + k), low.size(), key)),
                        destination);
                }
            }
        }
    }
}

}  // namespace

ToUnicodeCMap ToUnicodeCMap::parse(std::string_view bytes) {
    CMapCursor tokens(bytes);
    TableBuilder builder;
    try {
        parse_sections(tokens, builder);
    } catch (const PdfError&) {
        tokens.check_rest();  // after its own error, the cursor is at the end
        throw;
    }
    ToUnicodeCMap cmap;
    cmap.table_ = std::make_shared<const Table>(std::move(builder).finish());
    return cmap;
}

std::string ToUnicodeCMap::decode(std::string_view bytes) const {
    std::string out;
    out.reserve(bytes.size());
    decode_into(out, bytes);
    return out;
}

void ToUnicodeCMap::decode_into(std::string& out, std::string_view bytes) const {
    decode_each_into(out, std::span<const std::string_view>(&bytes, 1));
}

void ToUnicodeCMap::decode_each_into(std::string& out, std::span<const std::string_view> parts) const {
    static const Table kNoMappings;
    const Table* t = table_ ? table_.get() : &kNoMappings;
    Appender app(out);
    for (std::string_view bytes : parts) t->decode(app, bytes);
    app.finish();
}

std::size_t ToUnicodeCMap::max_code_length() const { return table_ ? table_->max_code_length : 0; }

bool ToUnicodeCMap::lookup(std::string_view code, std::string& text) const {
    if (!table_ || code.empty()) return false;
    std::string found;
    Appender out(found);
    if (!table_->emit_code(out, code.data(), code.size())) return false;
    out.finish();
    text = std::move(found);
    return true;
}

bool ToUnicodeCMap::lookup_into(std::string& out, std::string_view code) const {
    if (!table_ || code.empty()) return false;
    Appender app(out);
    if (!table_->emit_code(app, code.data(), code.size())) return false;
    app.finish();
    return true;
}

constexpr std::size_t kMaxCodespaceRanges = 256;

EncodingCMap EncodingCMap::parse(std::string_view bytes) {
    const std::vector<std::string_view> tokens = tokenize(bytes);
    EncodingCMap map;
    // Codes of more than four bytes do not exist in CMaps; such entries are skipped.
    auto code = [](std::string_view token, std::string& out) {
        out = parse_hex_token(token);
        return !out.empty() && out.size() <= kMaxIntervalWidth;
    };
    auto number = [](std::string_view token, std::uint32_t& out) {
        std::uint64_t v = 0;
        if (token.empty() || token.size() > 10) return false;
        for (char c : token) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        if (v > 0xFFFFFFFFu) return false;
        out = static_cast<std::uint32_t>(v);
        return true;
    };
    std::string low, high;
    const std::size_t n = tokens.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::string_view t = tokens[i];
        const bool codespace = t == "begincodespacerange", range = t == "begincidrange", single = t == "begincidchar";
        if (!codespace && !range && !single) continue;
        const std::size_t arity = range ? 3 : 2;
        const std::string_view end = codespace ? "endcodespacerange" : range ? "endcidrange" : "endcidchar";
        for (++i; i < n && tokens[i] != end; i += arity) {
            if (i + arity > n) throw PdfError::invalid_token(i, "truncated CMap section");
            if (!code(tokens[i], low)) continue;
            Range r;
            r.length = static_cast<std::uint8_t>(low.size());
            r.low = bytes_to_u32(low);
            if (single) {
                r.high = r.low;
                if (!number(tokens[i + 1], r.cid)) continue;
            } else {
                if (!code(tokens[i + 1], high) || high.size() != low.size()) continue;
                r.high = bytes_to_u32(high);
                if (range && !number(tokens[i + 2], r.cid)) continue;
            }
            if (r.low > r.high) continue;
            // Every code scans the codespace ranges. Real CMaps have a handful, and a
            // section holds at most 100 by the format.
            if (codespace && map.codespaces_.size() == kMaxCodespaceRanges)
                throw PdfError::invalid_token(static_cast<std::uint64_t>(tokens[i].data() - bytes.data()),
                                              "too many codespace ranges");
            (codespace ? map.codespaces_ : map.cids_).push_back(r);
        }
    }
    std::stable_sort(map.cids_.begin(), map.cids_.end(), [](const Range& a, const Range& b) {
        return a.length != b.length ? a.length < b.length : a.low < b.low;
    });
    return map;
}

std::size_t EncodingCMap::code_length(std::string_view bytes) const {
    std::size_t shortest = kMaxIntervalWidth;
    for (const Range& r : codespaces_) {
        shortest = std::min<std::size_t>(shortest, r.length);
        if (r.length > bytes.size()) continue;
        const std::uint32_t value = bytes_to_u32(bytes.substr(0, r.length));
        if (value >= r.low && value <= r.high) return r.length;
    }
    return std::min(shortest, bytes.size());
}

std::uint32_t EncodingCMap::cid(std::uint32_t code, std::size_t length) const {
    // The last range starting at or below `code` among those of this length.
    auto it = std::upper_bound(cids_.begin(), cids_.end(), std::pair{length, code}, [](const auto& key, const Range& r) {
        return key.first != r.length ? key.first < r.length : key.second < r.low;
    });
    if (it == cids_.begin()) return 0;
    const Range& r = *std::prev(it);
    if (r.length != length || code > r.high) return 0;
    return r.cid + (code - r.low);
}

}  // namespace quarvel
