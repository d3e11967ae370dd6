#include "filter.hpp"

#include <gtest/gtest.h>
#include <zlib.h>

#include <ostream>
#include <string>
#include <vector>

#include "error.hpp"
#include "support.hpp"
#include "trace.hpp"

namespace quarvel {
namespace {

std::string zlib_compress(std::string_view data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
             static_cast<uLong>(data.size()));
    out.resize(size);
    return out;
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

std::string ok(std::initializer_list<int> values) { return "ok:" + bytes(values); }
std::string fail(const char* filter, const char* message) {
    return std::string("failed to decode /") + filter + " stream: " + message;
}
std::string mismatch(const char* place, const char* expected) {
    return std::string("type mismatch in ") + place + ": expected " + expected;
}

Dictionary dict(std::vector<Dictionary::Entry> entries) { return Dictionary(std::move(entries)); }
Object name(const char* n) { return Name{n}; }

// Mostly-repetitive text, so deflate compresses it hard.
std::string sample(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 7 + (i / 1000) % 5));
    return s;
}

// The error text, or "ok:" followed by the result.
template <typename F>
std::string outcome(F&& f) {
    try {
        return "ok:" + std::string(f());
    } catch (const PdfError& e) {
        return e.text();
    }
}

template <typename Case>
void PrintTo(const Case& c, std::ostream* os)
    requires requires { c.label; }
{
    *os << c.label;
}

auto by_label = [](const auto& info) { return std::string(info.param.label); };

struct SimpleCase {
    const char* label;
    std::string (*decoder)(std::string_view, std::string_view);
    std::string filter;
    std::string input;
    std::string expected;
};

class SimpleFilterTest : public testing::TestWithParam<SimpleCase> {};

TEST_P(SimpleFilterTest, Decodes) {
    const SimpleCase& c = GetParam();
    EXPECT_EQ(outcome([&] { return c.decoder(c.filter, c.input); }), c.expected);
}

const auto hex = decode_ascii_hex;
const auto a85 = decode_ascii85;
const auto rl = decode_run_length;

INSTANTIATE_TEST_SUITE_P(
    All, SimpleFilterTest,
    testing::Values(
        SimpleCase{"hex_odd_digit_is_high_nibble", hex, "AHx", "61 62 6", "ok:ab`"},
        SimpleCase{"hex_stops_at_gt", hex, "AHx", "616>zz", "ok:a`"},
        SimpleCase{"hex_white_space", hex, "AHx", bytes({'4', 0, '1', 9, 10, 12, 13, ' ', 'a', 'B'}), ok({'A', 0xab})},
        SimpleCase{"hex_bad_digit", hex, "ASCIIHexDecode", "6g", fail("ASCIIHexDecode", "invalid ASCIIHex digit")},
        SimpleCase{"hex_vertical_tab_is_not_space", hex, "AHx", "6\v1", fail("AHx", "invalid ASCIIHex digit")},
        SimpleCase{"a85_z", a85, "A85", "<~z~>", ok({0, 0, 0, 0})},
        SimpleCase{"a85_groups_and_space", a85, "A85", "<~9jqo^Bl bD-BleB1DJ+*+F(f,q~>", "ok:Man is distinguished"},
        SimpleCase{"a85_short_tail", a85, "A85", "9jqo^9jq~>\xff", "ok:Man Ma"},
        SimpleCase{"a85_largest_group", a85, "A85", "s8W-!", ok({255, 255, 255, 255})},
        SimpleCase{"a85_overflow", a85, "A85", "s8W-#", fail("A85", "ASCII85 group overflow")},
        SimpleCase{"a85_short_group_overflow", a85, "A85", "s9", fail("A85", "ASCII85 group overflow")},
        SimpleCase{"a85_z_inside_group", a85, "A85", "!!!!z", fail("A85", "invalid ASCII85 byte")},
        SimpleCase{"a85_lone_tilde", a85, "A85", "9jqo^~", fail("A85", "invalid ASCII85 byte")},
        SimpleCase{"a85_tilde_not_gt", a85, "A85", "9jqo^~x", fail("A85", "invalid ASCII85 byte")},
        SimpleCase{"a85_out_of_range", a85, "A85", "9jqo^v", fail("A85", "invalid ASCII85 byte")},
        SimpleCase{"a85_one_char_tail", a85, "A85", "9jqo^9~>", fail("A85", "invalid short ASCII85 group")},
        SimpleCase{"rl_literal_and_repeat", rl, "RL", "\x02" "abc\xfex\x80", "ok:abcxxx"},
        SimpleCase{"rl_eod_ignores_rest", rl, "RL", bytes({0, 'q', 0x80, 5}), "ok:q"},
        SimpleCase{"rl_ends_without_eod", rl, "RL", "\x81z", "ok:" + std::string(128, 'z')},
        SimpleCase{"rl_truncated_repeat", rl, "RL", bytes({0, 'q', 0xff}), fail("RL", "truncated repeat run")},
        SimpleCase{"rl_truncated_literal", rl, "RL", "\x03" "abc", fail("RL", "truncated literal run")}),
    by_label);

const std::string kText = "BT /F1 12 Tf (Hello) Tj ET\n";

TEST(InflateTest, EdgesOfTheZlibStream) {
    const std::string z = zlib_compress(kText);
    std::string bad_header = z, bad_checksum = z;
    bad_header[0] = 0x79;
    bad_checksum.back() ^= 1;
    EXPECT_EQ(outcome([&] { return decode_flate("Fl", z + "\r\nendstream", nullptr); }), "ok:" + kText);
    EXPECT_EQ(outcome([&] { return decode_flate("Fl", "", nullptr); }), "ok:");
    EXPECT_EQ(outcome([&] { return decode_flate("Fl", bad_header, nullptr); }), fail("Fl", "corrupt deflate stream"));
    EXPECT_EQ(outcome([&] { return decode_flate("Fl", bad_checksum, nullptr); }), fail("Fl", "corrupt deflate stream"));
}

TEST(InflateTest, TruncatedStreamYieldsPrefix) {
    const std::string plain = sample(200'000);
    const std::string full = zlib_compress(plain);
    for (std::size_t cut : {full.size() / 3, full.size() / 2, full.size() - 8}) {
        const std::string got = decode_flate("Fl", std::string_view(full).substr(0, cut), nullptr);
        EXPECT_GT(got.size(), 0u) << cut;
        EXPECT_LT(got.size(), plain.size()) << cut;
        EXPECT_TRUE(got == plain.substr(0, got.size())) << cut;
    }
    // Cut inside the checksum: all data is there, the check cannot run.
    EXPECT_TRUE(decode_flate("Fl", std::string_view(full).substr(0, full.size() - 1), nullptr) == plain);
}

TEST(InflateTest, GrowsFarBeyondEstimate) {
    const std::string plain = sample(3'000'000);
    EXPECT_TRUE(decode_flate("Fl", zlib_compress(plain), nullptr) == plain);
}

struct PredictorCase {
    const char* label;
    std::vector<Dictionary::Entry> params;
    std::string inflated;
    std::string expected;
};

class PredictorTest : public testing::TestWithParam<PredictorCase> {};

TEST_P(PredictorTest, Decodes) {
    const PredictorCase& c = GetParam();
    const Dictionary params = dict(c.params);
    const std::string input = zlib_compress(c.inflated);
    EXPECT_EQ(outcome([&] { return decode_flate("Fl", input, &params); }), c.expected);
}

const Integer kBig = Integer{1} << 62;

INSTANTIATE_TEST_SUITE_P(
    Png, PredictorTest,
    testing::Values(
        PredictorCase{"predictor_1", {{"Predictor", 1}, {"Columns", 3}}, "\x05xyz", "ok:\x05xyz"},
        PredictorCase{"none_then_up", {{"Predictor", 12}, {"Columns", 4}}, bytes({0, 1, 2, 3, 4, 2, 1, 1, 1, 1}),
                      ok({1, 2, 3, 4, 2, 3, 4, 5})},
        PredictorCase{"row_length", {{"Predictor", 12}, {"Columns", 4}}, bytes({0, 1, 2, 3, 4, 2, 1, 1, 1, 1, 0}),
                      fail("Fl", "invalid PNG predictor row length")},
        PredictorCase{"empty", {{"Predictor", 15}, {"Columns", 4}}, "", "ok:"},
        // Two bytes per pixel: Sub looks two bytes back, wrapping mod 256.
        PredictorCase{"sub_wide_pixel", {{"Predictor", 11}, {"Columns", 2}, {"Colors", 2}}, bytes({1, 10, 20, 250, 5}),
                      ok({10, 20, 4, 25})},
        PredictorCase{"sub_packed_bits", {{"Predictor", 15}, {"Columns", 16}, {"BitsPerComponent", 1}},
                      bytes({1, 1, 1}), ok({1, 2})},
        PredictorCase{"up_first_row", {{"Predictor", 10}, {"Columns", 2}}, bytes({2, 7, 8, 2, 250, 1}),
                      ok({7, 8, 1, 9})},
        // (101 + 250) / 2 = 175: the sum must not wrap.
        PredictorCase{"average", {{"Predictor", 13}, {"Columns", 2}}, bytes({0, 200, 250, 3, 1, 1}),
                      ok({200, 250, 101, 176})},
        PredictorCase{"average_first_row", {{"Predictor", 13}, {"Columns", 3}}, bytes({3, 10, 10, 10}),
                      ok({10, 15, 17})},
        // Second row picks b (a = 0), then c (a=10 b=100 c=60), then a (b = c).
        PredictorCase{"paeth", {{"Predictor", 14}, {"Columns", 3}}, bytes({0, 60, 100, 100, 4, 206, 0, 1}),
                      ok({60, 100, 100, 10, 60, 61})},
        PredictorCase{"paeth_first_row", {{"Predictor", 14}, {"Columns", 2}}, bytes({4, 5, 6}), ok({5, 11})},
        PredictorCase{"bad_row_filter", {{"Predictor", 10}}, bytes({0, 1, 5, 1}),
                      fail("Fl", "invalid PNG predictor row filter")},
        PredictorCase{"tiff", {{"Predictor", 2}}, "x", fail("Fl", "TIFF predictor is not supported yet")},
        PredictorCase{"predictor_0", {{"Predictor", 0}}, "x", fail("Fl", "invalid predictor value")},
        PredictorCase{"predictor_16", {{"Predictor", 16}}, "x", fail("Fl", "invalid predictor value")},
        PredictorCase{"predictor_negative", {{"Predictor", -1}}, "x",
                      mismatch("stream /DecodeParms /Predictor", "non-negative integer")},
        PredictorCase{"columns_real", {{"Predictor", 12}, {"Columns", 4.0}}, "x",
                      mismatch("stream /DecodeParms /Columns", "non-negative integer")},
        PredictorCase{"zero_colors", {{"Predictor", 12}, {"Colors", 0}}, "x",
                      fail("Fl", "invalid PNG predictor parameters")},
        PredictorCase{"pixel_overflow", {{"Predictor", 12}, {"Colors", kBig}}, "x",
                      fail("Fl", "PNG predictor row is too wide")},
        PredictorCase{"row_plus_seven_overflow",
                      {{"Predictor", 12}, {"Colors", Integer{0x7fffffffffffffff}}, {"BitsPerComponent", 2}}, "x",
                      fail("Fl", "PNG predictor row is too wide")},
        // Nothing may be allocated from the parameters alone.
        PredictorCase{"huge_row", {{"Predictor", 12}, {"Columns", kBig / 8}}, bytes({0, 1, 2}),
                      fail("Fl", "invalid PNG predictor row length")}),
    by_label);

struct StreamCase {
    const char* label;
    std::vector<Dictionary::Entry> dictionary;
    std::string data;
    std::string expected;
};

class StreamDecodeTest : public testing::TestWithParam<StreamCase> {};

TEST_P(StreamDecodeTest, DecodesChain) {
    const StreamCase& c = GetParam();
    const Stream stream{dict(c.dictionary), c.data};
    EXPECT_EQ(outcome([&] { return stream.decoded_data(); }), c.expected);
}

std::string to_hex(std::string_view data) {
    std::string s;
    for (unsigned char c : data) {
        s.push_back("0123456789abcdef"[c >> 4]);
        s.push_back("0123456789abcdef"[c & 15]);
    }
    return s;
}

const Object kParms = dict({{"Predictor", 12}, {"Columns", 2}});
const std::string kRows = zlib_compress(bytes({2, 1, 2, 2, 1, 1}));
const std::string kDecodedRows = ok({1, 2, 2, 3});
const Object kChain = Array{name("AHx"), name("Fl")};

INSTANTIATE_TEST_SUITE_P(
    Chains, StreamDecodeTest,
    testing::Values(
        StreamCase{"no_filter_ignores_parms", {{"DecodeParms", 5}}, "raw", "ok:raw"},
        StreamCase{"empty_chain_ignores_parms", {{"Filter", Array{}}, {"DP", 5}}, "raw", "ok:raw"},
        StreamCase{"hex_then_flate", {{"Filter", kChain}}, to_hex(zlib_compress(kText)), "ok:" + kText},
        StreamCase{"parms_dictionary", {{"Filter", name("Fl")}, {"DecodeParms", kParms}}, kRows, kDecodedRows},
        StreamCase{"one_item_chain_dictionary", {{"Filter", Array{name("Fl")}}, {"DecodeParms", kParms}}, kRows,
                   kDecodedRows},
        StreamCase{"dp_when_decodeparms_missing", {{"Filter", name("Fl")}, {"DP", kParms}}, kRows, kDecodedRows},
        StreamCase{"decodeparms_wins_over_dp", {{"Filter", name("Fl")}, {"DP", kParms}, {"DecodeParms", Null{}}},
                   kRows, ok({2, 1, 2, 2, 1, 1})},
        StreamCase{"parms_array_with_null", {{"Filter", kChain}, {"DecodeParms", Array{Null{}, kParms}}},
                   to_hex(kRows), kDecodedRows},
        StreamCase{"parms_array_length", {{"Filter", name("Fl")}, {"DecodeParms", Array{kParms, kParms}}}, kRows,
                   mismatch("stream /DecodeParms", "one entry per filter")},
        StreamCase{"parms_dictionary_for_chain", {{"Filter", kChain}, {"DecodeParms", kParms}}, to_hex(kRows),
                   mismatch("stream /DecodeParms", "array when /Filter is an array")},
        StreamCase{"parms_item_reference", {{"Filter", name("Fl")}, {"DecodeParms", Array{ObjectId{4, 0}}}}, kRows,
                   mismatch("stream /DecodeParms item", "dictionary or null")},
        StreamCase{"parms_name", {{"Filter", name("Fl")}, {"DecodeParms", name("X")}}, kRows,
                   mismatch("stream /DecodeParms", "dictionary, array, or null")},
        StreamCase{"filter_reference", {{"Filter", ObjectId{7, 0}}}, "x", mismatch("stream /Filter", "name or array")},
        StreamCase{"filter_item_number", {{"Filter", Array{name("AHx"), 3}}}, "x",
                   mismatch("stream /Filter item", "name")},
        StreamCase{"dct_refused", {{"Filter", name("DCTDecode")}}, "\xff\xd8",
                   fail("DCTDecode", "filter is not supported yet")},
        StreamCase{"crypt_refused_after_hex", {{"Filter", Array{name("AHx"), name("Crypt")}}}, "41",
                   fail("Crypt", "filter is not supported yet")},
        StreamCase{"case_sensitive_names", {{"Filter", name("flatedecode")}}, "x",
                   fail("flatedecode", "unknown filter")}),
    by_label);

TEST(StreamTest, CowBorrowsOnlyWithoutFilters) {
    const Stream plain{Dictionary{}, "raw bytes"};
    std::string owned;
    EXPECT_EQ(plain.decoded_data_cow(owned).data(), plain.data.data());

    const Stream chained{dict({{"Filter", kChain}}), "78"};
    EXPECT_EQ(chained.filters(), (std::vector<std::string_view>{"AHx", "Fl"}));
    const Stream hexed{dict({{"Filter", name("AHx")}}), "4142"};
    const std::string_view view = hexed.decoded_data_cow(owned);
    EXPECT_EQ(view, "AB");
    EXPECT_EQ(view.data(), owned.data());
}

TEST(StreamTest, TraceSpans) {
    testing_support::TraceRecorder recorder;
    trace::set_subscriber(&recorder, trace::Level::Info);
    const Stream stream{dict({{"Filter", Array{name("AHx"), name("AHx")}}}), "3431>"};
    const std::string decoded = stream.decoded_data();
    trace::set_subscriber(nullptr);
    EXPECT_EQ(decoded, "A");
    EXPECT_EQ(recorder.lines, (std::vector<std::string>{"quarvel::object decoded_data encoded_len=5 filters",
                                                        "quarvel::object decoded_data_cow encoded_len=5 filters",
                                                        "2 filters=2", "exit 2", "exit 1"}));
}

}  // namespace
}  // namespace quarvel
