#include "filter.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <limits>
#include <string>
#include <vector>

#include "support.hpp"
#include "trace.hpp"

namespace quarvel {
namespace {

using Entries = std::vector<Dictionary::Entry>;

std::string z(std::string_view data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size());
    out.resize(size);
    return out;
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}
std::string ok(std::initializer_list<int> values) { return "ok:" + bytes(values); }
std::string mismatch(const char* place, const char* expected) {
    return std::string("type mismatch in ") + place + ": expected " + expected;
}
std::string patched(std::string s, std::size_t at, int value) {
    s[at] = static_cast<char>(value);
    return s;
}
Object name(const char* n) { return Name{n}; }
Dictionary filter(Object f, Entries more = {}) {
    more.emplace_back("Filter", std::move(f));
    return Dictionary(std::move(more));
}

struct Case {
    Dictionary dictionary;
    std::string data;
    std::string expected;  // "ok:" and the decoded bytes, or the error
};

// One named filter; an expected text starting with '!' is that filter's decode error.
Case one(const char* f, std::string data, std::string expected, Entries more = {}) {
    if (expected[0] == '!') expected = std::string("failed to decode /") + f + " stream: " + expected.substr(1);
    return {filter(name(f), std::move(more)), std::move(data), std::move(expected)};
}
// Rows of /FlateDecode data through a predictor.
Case png(Object predictor, Object columns, std::initializer_list<int> rows, std::string expected, Entries more = {}) {
    more.insert(more.end(), {{"Predictor", std::move(predictor)}, {"Columns", std::move(columns)}});
    return one("Fl", z(bytes(rows)), std::move(expected), {{"DecodeParms", Dictionary(std::move(more))}});
}

class Decode : public testing::TestWithParam<Case> {};

TEST_P(Decode, Stream) {
    const Stream stream{GetParam().dictionary, GetParam().data};
    EXPECT_EQ(testing_support::value_or_error([&] { return "ok:" + stream.decoded_data(); }), GetParam().expected);
}

const std::string kText = "BT /F1 12 Tf (Hello) Tj ET\n";
const std::string kZText = z(kText);

INSTANTIATE_TEST_SUITE_P(
    Simple, Decode,
    testing::Values(
        one("AHx", "61 62 6", "ok:ab`"), one("AHx", "616>zz", "ok:a`"),  // an odd last digit is a high nibble
        one("AHx", bytes({'4', 0, '1', 9, 10, 12, 13, ' ', 'a', 'B'}), ok({'A', 0xab})),
        one("ASCIIHexDecode", "6\v1", "!invalid ASCIIHex digit"), one("A85", "<~z~>", ok({0, 0, 0, 0})),
        one("A85", "<~9jqo^Bl bD-BleB1DJ+*+F(f,q~>", "ok:Man is distinguished"),
        one("A85", "9jqo^9jq~>\xff", "ok:Man Ma"),
        one("A85", "s8W-!", ok({255, 255, 255, 255})), one("A85", "s8W-#", "!ASCII85 group overflow"),
        one("A85", "s9", "!ASCII85 group overflow"), one("A85", "!!!!z", "!invalid ASCII85 byte"),
        one("A85", "9jqo^~", "!invalid ASCII85 byte"), one("A85", "9jqo^~x", "!invalid ASCII85 byte"),
        one("A85", "9jqo^v", "!invalid ASCII85 byte"), one("A85", "9jqo^9~>", "!invalid short ASCII85 group"),
        one("RL", "\x02" "abc\xfex\x80", "ok:abcxxx"), one("RL", bytes({0, 'q', 0x80, 5}), "ok:q"),
        one("RL", "\x81z", "ok:" + std::string(128, 'z')), one("RL", bytes({0, 'q', 0xff}), "!truncated repeat run"),
        one("RL", "\x03" "abc", "!truncated literal run"), one("Fl", kZText + "\r\nendstream", "ok:" + kText),
        one("Fl", "", "ok:"), one("Fl", patched(kZText, 0, 0x79), "!corrupt deflate stream"),
        one("Fl", patched(kZText, kZText.size() - 1, kZText.back() ^ 1), "!corrupt deflate stream"),
        one("DCTDecode", "\xff\xd8", "!filter is not supported yet"), one("flatedecode", "x", "!unknown filter")));

INSTANTIATE_TEST_SUITE_P(
    Png, Decode,
    testing::Values(
        png(1, 3, {5, 'x', 'y', 'z'}, "ok:\x05xyz"), png(15, 4, {}, "ok:"),
        png(12, 4, {0, 1, 2, 3, 4, 2, 1, 1, 1, 1}, ok({1, 2, 3, 4, 2, 3, 4, 5})),
        png(12, 4, {0, 1, 2, 3, 4, 2, 1, 1, 1, 1, 0}, "!invalid PNG predictor row length"),
        // Two bytes per pixel: Sub looks two bytes back, wrapping mod 256.
        png(11, 2, {1, 10, 20, 250, 5}, ok({10, 20, 4, 25}), {{"Colors", 2}}),
        png(15, 16, {1, 1, 1}, ok({1, 2}), {{"BitsPerComponent", 1}}),
        png(10, 2, {2, 7, 8, 2, 250, 1}, ok({7, 8, 1, 9})),
        // (101 + 250) / 2 = 175: the sum must not wrap.
        png(13, 2, {0, 200, 250, 3, 1, 1}, ok({200, 250, 101, 176})), png(13, 3, {3, 10, 10, 10}, ok({10, 15, 17})),
        // Second row picks b (a = 0), then c (a=10 b=100 c=60), then a (b = c).
        png(14, 3, {0, 60, 100, 100, 4, 206, 0, 1}, ok({60, 100, 100, 10, 60, 61})), png(14, 2, {4, 5, 6}, ok({5, 11})),
        png(10, 1, {0, 1, 5, 1}, "!invalid PNG predictor row filter"),
        png(2, 1, {'x'}, "!TIFF predictor is not supported yet"), png(0, 1, {'x'}, "!invalid predictor value"),
        png(16, 1, {'x'}, "!invalid predictor value"),
        png(-1, 1, {'x'}, mismatch("stream /DecodeParms /Predictor", "non-negative integer")),
        png(12, 4.0, {'x'}, mismatch("stream /DecodeParms /Columns", "non-negative integer")),
        png(12, 1, {'x'}, "!invalid PNG predictor parameters", {{"Colors", 0}}),
        png(12, 1, {'x'}, "!PNG predictor row is too wide", {{"Colors", Integer{1} << 62}}),
        png(12, 1, {'x'}, "!PNG predictor row is too wide",
            {{"Colors", Integer{0x7fffffffffffffff}}, {"BitsPerComponent", 2}}),
        // Nothing may be allocated from the parameters alone.
        png(12, Integer{1} << 59, {0, 1, 2}, "!invalid PNG predictor row length")));

std::string to_hex(std::string_view data) {
    std::string s;
    for (unsigned char c : data) s.append({"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]});
    return s;
}

const Object kParms = Dictionary({{"Predictor", 12}, {"Columns", 2}});
const std::string kRows = z(bytes({2, 1, 2, 2, 1, 1}));
const std::string kDecodedRows = ok({1, 2, 2, 3});
const Object kChain = Array{name("AHx"), name("Fl")};
const Object kFl = name("Fl");

INSTANTIATE_TEST_SUITE_P(
    Chains, Decode,
    testing::Values(
        Case{Dictionary({{"DecodeParms", 5}}), "raw", "ok:raw"}, Case{filter(Array{}, {{"DP", 5}}), "raw", "ok:raw"},
        Case{filter(kChain), to_hex(kZText), "ok:" + kText},
        Case{filter(kFl, {{"DecodeParms", kParms}}), kRows, kDecodedRows},
        Case{filter(Array{kFl}, {{"DecodeParms", kParms}}), kRows, kDecodedRows},
        Case{filter(kFl, {{"DP", kParms}}), kRows, kDecodedRows},
        Case{filter(kFl, {{"DP", kParms}, {"DecodeParms", Null{}}}), kRows, ok({2, 1, 2, 2, 1, 1})},
        Case{filter(kChain, {{"DecodeParms", Array{Null{}, kParms}}}), to_hex(kRows), kDecodedRows},
        Case{filter(kFl, {{"DecodeParms", Array{kParms, kParms}}}), kRows,
             mismatch("stream /DecodeParms", "one entry per filter")},
        Case{filter(kChain, {{"DecodeParms", kParms}}), to_hex(kRows),
             mismatch("stream /DecodeParms", "array when /Filter is an array")},
        Case{filter(kFl, {{"DecodeParms", Array{ObjectId{4, 0}}}}), kRows,
             mismatch("stream /DecodeParms item", "dictionary or null")},
        Case{filter(kFl, {{"DecodeParms", name("X")}}), kRows,
             mismatch("stream /DecodeParms", "dictionary, array, or null")},
        Case{filter(ObjectId{7, 0}), "x", mismatch("stream /Filter", "name or array")},
        Case{filter(Array{name("AHx"), 3}), "x", mismatch("stream /Filter item", "name")},
        Case{filter(Array{name("AHx"), name("Crypt")}), "41",
             "failed to decode /Crypt stream: filter is not supported yet"}));

TEST(Inflate, LongAndTruncatedStreams) {
    std::string plain;  // mostly repetitive, so it compresses hard: far beyond any size estimate
    for (std::size_t i = 0; i < 3'000'000; ++i) plain.push_back(static_cast<char>('a' + i % 7 + (i / 1000) % 5));
    const std::string full = z(plain);
    EXPECT_TRUE(decode_flate("Fl", full, nullptr) == plain);
    for (std::size_t cut : {full.size() / 3, full.size() / 2, full.size() - 8}) {
        const std::string got = decode_flate("Fl", std::string_view(full).substr(0, cut), nullptr);
        EXPECT_TRUE(!got.empty() && got.size() < plain.size() && got == plain.substr(0, got.size())) << cut;
    }
    // Cut inside the checksum: all data is there, the check cannot run.
    EXPECT_TRUE(decode_flate("Fl", std::string_view(full).substr(0, full.size() - 1), nullptr) == plain);
}

// Whichever inflater the build uses, every stream reads as zlib reads it: the same
// bytes, the same prefix of a cut stream, the same error for damage.
TEST(Inflate, SameAsZlibForDamagedStreams) {
    std::string plain;
    for (int i = 0; i < 4000; ++i)
        plain += "BT /F" + std::to_string(i % 7) + " 9 Tf " + std::to_string(i * 37 % 1000) + " 0 Td (w" +
                 std::to_string(i) + ") Tj ET\n";
    std::vector<std::string> streams = {z(plain), z(""), z("x"), "", "\x78\x9c", z(plain) + "trailing"};
    for (int level : {1, 9}) {
        uLongf size = compressBound(static_cast<uLong>(plain.size()));
        std::string out(size, '\0');
        compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
                  plain.size(), level);
        out.resize(size);
        streams.push_back(out);
    }
    // A window above 32 KiB (refused by zlib) and a 256-byte window, both with valid checks.
    for (const char* header : {"\x88\x1c", "\x08\x1d"}) streams.push_back(header + streams[0].substr(2));
    const std::string base = streams[0];
    std::uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int k = 0; k < 400; ++k) {
        std::string s = base;
        const std::size_t at = next() % s.size();
        if (k % 4 == 0) s[at] = static_cast<char>(s[at] ^ (1 << (next() % 8)));  // one bit flipped
        if (k % 4 == 1) s.resize(at);                                            // cut anywhere
        if (k % 4 == 2) s[at] = static_cast<char>(next());
        if (k % 4 == 3) s[0] = static_cast<char>(next()), s[1] = static_cast<char>(next());  // the header
        streams.push_back(s);
    }
    // The size limit too: passed by whole streams and by the intact prefix of damaged ones.
    for (const std::size_t limit : {kDefaultDecodedSizeLimit, plain.size(), plain.size() - 1, plain.size() / 3}) {
        const std::size_t previous = set_decoded_size_limit(limit);
        int too_large = 0;
        for (std::size_t i = 0; i < streams.size(); ++i) {
            const std::string& s = streams[i];
            const std::string expected =
                testing_support::value_or_error([&] { return "ok:" + inflate_with_zlib("Fl", s); });
            const std::string got =
                testing_support::value_or_error([&] { return "ok:" + decode_flate("Fl", s, nullptr); });
            EXPECT_TRUE(got == expected) << "stream " << i << " limit " << limit;
            too_large += got == "failed to decode /Fl stream: decoded data exceeds the size limit";
        }
        if (limit < plain.size()) EXPECT_GT(too_large, 0) << limit;
        set_decoded_size_limit(previous);
    }
}

// Output past one inflate buffer is gathered in pieces and joined at the end.
TEST(Inflate, OutputBeyondOneBuffer) {
    std::string plain(70u << 20, '\0');
    for (std::size_t i = 0; i < plain.size(); i += 4093) plain[i] = static_cast<char>(i >> 12);
    EXPECT_TRUE(decode_flate("Fl", z(plain), nullptr) == plain);
}

// Each filter may produce exactly the limit; one byte more is its decode error.
TEST(DecodedSizeLimit, EveryFilter) {
    const std::size_t previous = set_decoded_size_limit(8);
    struct Limited {
        const char* filter;
        std::string at_limit, over_limit;
    };
    const Limited cases[] = {
        {"Fl", z("12345678"), z("123456789")},
        {"RL", "\xf9x", "\xf8x"},
        {"A85", "zz", "zz!!"},
        {"AHx", "3132333435363738", "313233343536373839"},
    };
    for (const Limited& c : cases) {
        auto decode = [&](const std::string& data) {
            return testing_support::value_or_error([&] { return Stream{filter(name(c.filter)), data}.decoded_data(); });
        };
        EXPECT_EQ(decode(c.at_limit).size(), 8u) << c.filter;
        EXPECT_EQ(decode(c.over_limit),
                  std::string("failed to decode /") + c.filter + " stream: decoded data exceeds the size limit");
    }
    // No limit at all: the room left must not wrap to nothing.
    set_decoded_size_limit(std::numeric_limits<std::size_t>::max());
    EXPECT_EQ(decode_flate("Fl", kZText, nullptr), kText);
    EXPECT_EQ(set_decoded_size_limit(previous), std::numeric_limits<std::size_t>::max());
}

// All stages of a chain together are held to the limit: RunLength leaves FF FF as it
// is, so without that a long chain would copy the same bytes once per entry.
TEST(DecodedSizeLimit, WholeChain) {
    const std::size_t previous = set_decoded_size_limit(8);
    auto decode = [](std::vector<Object> chain, std::string data) {
        return testing_support::value_or_error(
            [&] { return "ok:" + Stream{filter(Array(std::move(chain))), std::move(data)}.decoded_data(); });
    };
    EXPECT_EQ(decode({name("RL"), name("RL"), name("RL"), name("RL")}, "\xff\xff"), "ok:\xff\xff");
    EXPECT_EQ(decode({name("AHx"), name("RL"), name("RL"), name("RL")}, "FFFF"), "ok:\xff\xff");
    EXPECT_EQ(decode({name("RL"), name("RL"), name("RL"), name("RL"), name("RL")}, "\xff\xff"),
              "failed to decode /RL stream: decoded data exceeds the size limit");
    EXPECT_EQ(decode({name("A85"), name("RL")}, "zz"),
              "failed to decode /RL stream: decoded data exceeds the size limit");
    set_decoded_size_limit(previous);
}

TEST(Stream, CowAndTrace) {
    const Stream plain{Dictionary{}, "raw bytes"}, chained{filter(kChain), ""}, hexed{filter(name("AHx")), "4142"};
    std::string owned;
    EXPECT_EQ(plain.decoded_data_cow(owned).data(), plain.data.data());  // borrowed only without filters
    EXPECT_EQ(chained.filters(), (std::vector<std::string_view>{"AHx", "Fl"}));
    const std::string_view view = hexed.decoded_data_cow(owned);
    EXPECT_EQ(view, "AB");
    EXPECT_EQ(view.data(), owned.data());

    testing_support::TraceRecorder recorder;
    trace::set_subscriber(&recorder, trace::Level::Info);
    const std::string decoded = Stream{filter(Array{name("AHx"), name("AHx")}), "3431>"}.decoded_data();
    trace::set_subscriber(nullptr);
    EXPECT_EQ(decoded, "A");
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"quarvel::object decoded_data encoded_len=5 filters",
                                                        "quarvel::object decoded_data_cow encoded_len=5 filters",
                                                        "2 filters=2", "exit 2", "exit 1"}));
}

}  // namespace
}  // namespace quarvel
