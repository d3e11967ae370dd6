#include "cmap.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "error.hpp"
#include "unicode.hpp"

namespace quarvel {
namespace {

using namespace std::string_literals;

std::string bfchar(std::string_view body) { return "1 beginbfchar " + std::string(body) + " endbfchar\n"; }
std::string bfrange(std::string_view body) { return "1 beginbfrange " + std::string(body) + " endbfrange\n"; }

std::string repeat_text(std::string_view unit, std::size_t times) {
    std::string out;
    while (times--) out += unit;
    return out;
}

struct DecodeCase {
    std::string cmap, input, expected;  // expected in UTF-8
};

class CMapDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(CMapDecode, Decodes) {
    const DecodeCase& c = GetParam();
    const ToUnicodeCMap copy = ToUnicodeCMap::parse(c.cmap);
    std::string out = ">";
    copy.decode_into(out, c.input);
    EXPECT_EQ(out, ">" + c.expected) << c.cmap;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CMapDecode,
    ::testing::Values(
        DecodeCase{"", "", ""},
        DecodeCase{"/CIDInit /ProcSet findresource begin 1 begincodespacerange <00> <FF> endcodespacerange end",
                   "A\xe9\0"s, "A\u00e9\0"s},
        // greedy longest match, Latin-1 for what is left
        DecodeCase{bfchar("<01> <0041> <0102> <0042>"), "\x01\x02\x01\x03", "BA\x03"},
        DecodeCase{bfchar("<0 0 4 1> <0061> <041> <0062>"), "\x00\x41\x04\x10"s, "ab"},
        DecodeCase{bfchar("<01> <0041>") + "%<02> <0042>\n" + bfchar("<01> <0043>"), "\x01\x02", "C\x02"},
        DecodeCase{bfchar("<01> <00410042D83DDE00> <02> <> <03> <D83D>"), "\x01\x02\x03\x04",
                   "AB\U0001F600\uFFFD\x04"},
        DecodeCase{bfchar("<010203040506> <0041> <0102> <0042>"), "\x01\x02\x03\x04\x05\x06\x01\x02\x03", "AB\x03"},
        DecodeCase{bfchar("<01> <0041>") + "beginbfchar", "\x01", "A"},
        // texts longer than a short copy, for one- and two-byte codes, past the output buffer
        DecodeCase{bfchar("<01> <00410042004300440045>"), "\x01\x01", "ABCDEABCDE"},
        DecodeCase{bfchar("<0102> <00410042004300440045>"), "\x01\x02\x01", "ABCDE\x01"},
        DecodeCase{bfchar("<01> <00E9>"), std::string(300, '\x01'), repeat_text("\u00e9", 300)},
        // incrementing ranges
        DecodeCase{bfrange("<0000> <0002> <0041>"), "\x00\x00\x00\x01\x00\x02\x00\x03"s, "ABC\0\x03"s},
        DecodeCase{bfrange("<00> <01> <00FF>"), "\x00\x01"s, "\u00ff\u0100"},
        DecodeCase{bfrange("<01> <03> <D83DDE00>"), "\x01\x02\x03", "\U0001F600\U0001F601\U0001F602"},
        DecodeCase{bfrange("<00> <01> <0041FFFF>"), "\x00\x01"s, "A\uffffB\0"s},
        DecodeCase{bfrange("<00> <01> <D7FF> <10> <11> <DBFF>"), "\x00\x01\x10\x11"s, "\ud7ff\ufffd\ufffd\ufffd"},
        DecodeCase{bfrange("<00> <01> <41> <02> <02> <>"), "\x00\x01\x02\x03"s, "\x03"},
        DecodeCase{bfrange("<0005> <0003> <0041>"), "\x00\x05"s, "\0\x05"s},
        DecodeCase{bfrange("<000000> <00FFFF> <0041>"), "\x00\x00\x01\x00\x00"s, "B\0\0"s},
        // array form: one destination per code, of any length
        DecodeCase{bfrange("<00> <02> [<0066> <00660066>]"), "\x00\x01\x02"s, "fff\x02"},
        DecodeCase{bfrange("<FF> <0101> [<0041> <0042>]"), "\xff\x00"s, "AB"},
        // later entries replace earlier ones, also inside ranges
        DecodeCase{bfrange("<0000> <0020> <0041> <0010> <0030> <0061>") + bfchar("<0011> <0078>"),
                   "\x00\x0f\x00\x10\x00\x11\x00\x20\x00\x31"s, "Paxq\0\x31"s},
        DecodeCase{bfrange("<0000> <0020> <0041> <0005> <0006> [<0030> <0031>]"), "\x00\x04\x00\x05\x00\x06\x00\x07"s,
                   "E01H"},
        // huge ranges stay intervals
        DecodeCase{bfrange("<00000000> <FFFFFFFF> <00000000>") + bfchar("<12345678> <0078>"),
                   "\x12\x34\x56\x78\x12\x34\x56\x79\x00\x00\x00\x41"s, "x\u1234\u5679\0A"s},
        DecodeCase{bfrange("<0000> <FFFF> <0000>") + bfchar("<1234> <0078>"), "\x12\x34\x12\x35\xff\xff\x00\x41"s,
                   "x\u1235\uffffA"}));

class CMapErrors : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(CMapErrors, Fails) {
    try {
        ToUnicodeCMap::parse(GetParam().first);
        FAIL() << "no error for " << GetParam().first;
    } catch (const PdfError& e) {
        EXPECT_EQ(e.kind(), PdfError::Kind::InvalidToken);
        EXPECT_EQ(e.text(), "invalid token at byte " + GetParam().second) << GetParam().first;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CMapErrors,
    ::testing::Values(
        // tokenizing comes first: a later unterminated token wins over an earlier bad section
        std::pair{"beginbfchar <01", "12: unterminated CMap hex token"},
        std::pair{"beginbfchar x <0041> endbfchar <", "31: unterminated CMap hex token"},
        std::pair{"beginbfchar 01 <0041> endbfchar", "0: expected CMap hex token"},
        std::pair{"beginbfchar <0G> <0041> endbfchar", "0: invalid CMap hex"},
        std::pair{"beginbfchar <01> <<0041>> endbfchar", "0: invalid CMap hex"},
        std::pair{"beginbfchar <01>", "2: missing bfchar destination"},
        std::pair{"beginbfrange <00>", "2: missing bfrange end"},
        std::pair{"beginbfrange <00> <01>", "3: missing bfrange destination"},
        std::pair{"beginbfrange <00> <0000> <0041> endbfrange", "0: bfrange bounds have different widths"},
        std::pair{"beginbfrange <00> <01> <000000000041> endbfrange", "0: CMap code is too wide"},
        std::pair{"beginbfrange <0000000000> <0000000001> <0041> endbfrange", "0: CMap code is too wide"},
        std::pair{"beginbfrange <0000000000> <01> [<0041>] endbfrange", "0: CMap code is too wide"},
        // Longer bfchar codes would make decoding try every length at every byte.
        std::pair{"beginbfchar <000102030405060708090a0b0c0d0e0f10> <0041> endbfchar", "0: CMap code is too wide"},
        std::pair{"beginbfrange <0000> <00FF> <FFFFFFFF> endbfrange", "0: bfrange destination overflow"},
        std::pair{"beginbfrange <00> <02> [<0066> <0067> <0068> <0069>]", "7: too many bfrange destinations"},
        std::pair{"beginbfrange <00> <02> [<0041>", "5: unterminated bfrange array"}));

TEST(CMap, LookupAndEmpty) {
    const ToUnicodeCMap cmap = ToUnicodeCMap::parse(bfchar("<01> <0041> <010203040506> <0042>"));
    EXPECT_EQ(cmap.max_code_length(), 6u);
    std::string text;
    EXPECT_TRUE(cmap.lookup("\x01\x02\x03\x04\x05\x06", text));
    EXPECT_EQ(text, "B");
    EXPECT_FALSE(cmap.lookup("\x02", text));
    EXPECT_EQ(ToUnicodeCMap().max_code_length(), 0u);
    EXPECT_EQ(ToUnicodeCMap().decode("\xe9"), "\u00e9");
}

// Random overlapping ranges of one- and two-byte codes against a model that expands every code.
TEST(CMap, MatchesExpandedModel) {
    std::mt19937 rng(12345);
    auto pick = [&rng](std::uint32_t n) { return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(rng); };
    auto hex = [](std::uint32_t v, int width) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "<%0*X> ", width * 2, v);
        return std::string(buf);
    };
    auto be = [](std::uint32_t v, int width) {  // big-endian bytes
        std::string out;
        for (int i = width - 1; i >= 0; --i) out.push_back(static_cast<char>(v >> (8 * i)));
        return out;
    };
    for (int round = 0; round < 200; ++round) {
        std::map<std::string, std::string> model;
        std::string text;
        for (std::uint32_t section = 0, count = 1 + pick(8); section < count; ++section) {
            const int width = 1 + static_cast<int>(pick(2));
            const std::uint32_t top = width == 1 ? 255 : 1023, lo = pick(top + 1), hi = std::min(lo + pick(40), top);
            const bool array = pick(2);
            const std::uint32_t dest = pick(2) ? 0x41 + pick(100) : 0xD83DDE00 + pick(100);
            const int dest_width = dest > 0xFFFF ? 4 : 2;
            std::string body = hex(lo, width) + hex(hi, width) + (array ? "[" : hex(dest, dest_width));
            for (std::uint32_t c = lo; c <= hi; ++c) {
                const std::uint32_t each = 0x30 + pick(50);
                if (array) body += hex(each, 2);
                model[be(c, width)] = array ? be(each, 2) : be(dest + (c - lo), dest_width);
            }
            text += bfrange(body + (array ? "]" : ""));
        }
        const ToUnicodeCMap cmap = ToUnicodeCMap::parse(text);
        std::string input, expected;
        for (int i = 0; i < 64; ++i) input.push_back(static_cast<char>(pick(4) ? pick(4) : pick(256)));
        for (std::size_t pos = 0, len; pos < input.size(); pos += len) {
            for (len = std::min<std::size_t>(2, input.size() - pos); len > 0; --len) {
                auto it = model.find(input.substr(pos, len));
                if (it != model.end()) {
                    append_utf16be(expected, it->second);
                    break;
                }
            }
            if (len == 0) append_utf8(expected, static_cast<unsigned char>(input[pos++]));
        }
        ASSERT_EQ(cmap.decode(input), expected) << text;
    }
}

// Every code scans the codespace ranges, so an encoding CMap may have only so many.
TEST(EncodingCMap, BoundsCodespaceRanges) {
    const auto ranges = [](int count) {
        std::string out = "begincodespacerange ";
        for (int i = 0; i < count; ++i) out += "<0000> <00FF> ";
        return out + "endcodespacerange";
    };
    const EncodingCMap most = EncodingCMap::parse(ranges(256));
    EXPECT_TRUE(most.has_codespace());
    EXPECT_EQ(most.code_length(std::string_view("\x00\x41", 2)), 2u);
    try {
        EncodingCMap::parse(ranges(257));
        FAIL() << "no error for 257 ranges";
    } catch (const PdfError& e) {
        EXPECT_EQ(e.text(), "invalid token at byte 3604: too many codespace ranges");
    }
}

}  // namespace
}  // namespace quarvel
