#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "object.hpp"
#include "unicode.hpp"

namespace quarvel {
namespace {

using std::string_literals::operator""s;

TEST(TextString, DecodesByMarkThenUtf8ThenPdfDocEncoding) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"\xFE\xFF\x00H\x00i"s, "Hi"},
        {"\xEF\xBB\xBF" "caf\xC3\xA9", "caf\xC3\xA9"},
        {"\xEF\xBB\xBF\xE9", "\xEF\xBF\xBD"},  // the mark says UTF-8, so a bad byte is replaced
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"Jean-Fran\xE7ois", "Jean-Fran\xC3\xA7ois"},
        {"Microsoft\xAE Word \xA9", "Microsoft\xC2\xAE Word \xC2\xA9"},
        // Bullet, fi ligature, euro, breve, Z caron; undefined codes keep their number.
        {"\x80\x93\xA0\x18\x99", "\xE2\x80\xA2\xEF\xAC\x81\xE2\x82\xAC\xCB\x98\xC5\xBD"},
        {"\x7F\x9F\xAD\x01\xC3", "\x7F\xC2\x9F\xC2\xAD\x01\xC3\x83"},
        {"\xFF\xFE" "A\0"s, "\xC3\xBF\xC3\xBE" "A\0"s},  // no little-endian mark
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(decode_text_string(bytes), text) << bytes;
        std::string appended = "x";
        append_text_string(appended, bytes);
        EXPECT_EQ(appended, "x" + text);
    }
}

TEST(TrimWhiteSpace, UnicodeSpacesAndBytesThatAreNotUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {" \t\xC2\xA0" "a b\xE2\x80\x83\r\n", "a b"},
        {"\xE3\x80\x80", ""},
        // Cut or malformed sequences are kept, whatever bytes follow them.
        {"  \xE0\xE0", "\xE0\xE0"},
        {"\xE0 ", "\xE0"},
        {" \xF0\x9F", "\xF0\x9F"},
        {"\x80 x \xC2", "\x80 x \xC2"},
    };
    for (const auto& [text, trimmed] : cases) EXPECT_EQ(trim_white_space(text), trimmed) << text;
}

TEST(FormatReal, ShortestDigitsWrittenOut) {
    const std::string zeros_292(292, '0');
    const std::pair<double, std::string> cases[] = {
        {0.0, "0"}, {-0.0, "-0"}, {0.1, "0.1"}, {-2.25, "-2.25"}, {100000.0, "100000"}, {1.5e-7, "0.00000015"},
        {9007199254740992.0, "9007199254740992"},    // 2^53
        {9007199254740994.0, "9007199254740994"},    // 2^53 + 2
        {18014398509481984.0, "18014398509481984"},  // 2^54
        {1e23, "100000000000000000000000"},          // the binary value is 99999999999999991611392
        {123456789012345678901234.5, "123456789012345690000000"},
        {1e29, "1" + std::string(29, '0')},
        {std::numeric_limits<double>::max(), "17976931348623157" + zeros_292},
        {-std::numeric_limits<double>::max(), "-17976931348623157" + zeros_292},
        {std::numeric_limits<double>::min(), "0." + std::string(307, '0') + "22250738585072014"},
        {std::numeric_limits<double>::denorm_min(), "0." + std::string(323, '0') + "5"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(format_real(value), text);
        double back = 0;
        std::from_chars(text.data(), text.data() + text.size(), back);
        EXPECT_EQ(back, value) << text;
    }
}

}  // namespace
}  // namespace quarvel
