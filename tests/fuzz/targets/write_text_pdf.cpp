// A new text PDF from fuzzed page strings and title: the file loads, has one page per
// string (at least one), every page gives its text back as the writer's escaping
// leaves it, and the title reads back from the information dictionary.
#include <optional>

#include "fuzz_target.hpp"
#include "text.hpp"
#include "unicode.hpp"
#include "writer.hpp"

namespace {

// Appends each code point of valid UTF-8 `text` as a reader sees it after the
// writer's escaping: CR is dropped; outside ASCII "?\u{hex}" comes back without
// its backslash, an unknown escape to the lexer.
void append_as_read(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        if (c == '\r') continue;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        std::string digits;
        for (char32_t v = c; v; v >>= 4) digits.insert(digits.begin(), kHex[v & 0xF]);
        out += "?u{" + digits + "}";
    }
}

// The page's lines, each shown and followed by a line break once text has begun.
std::string expected_page_text(std::string_view page) {
    const std::string valid = quarvel::lossy_utf8(page);
    std::string_view rest = valid;
    std::string out;
    while (!rest.empty()) {
        const std::size_t lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        if (lf != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
        append_as_read(out, line);
        if (!out.empty()) out.push_back('\n');
        rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
    }
    return out;
}

}  // namespace

QUARVEL_FUZZ_TARGET(write_text_pdf) {
    using namespace quarvel;
    fuzz::Reader reader(data);
    const unsigned flags = reader.byte();
    std::optional<std::string> title;
    if (flags & 0x80) title = std::string(reader.until('\x1e'));
    std::vector<std::string> pages;
    for (unsigned i = 0, n = flags % 8; i < n; ++i) pages.emplace_back(reader.until('\x1e'));

    const std::string file = write_text_pdf(pages, title, std::nullopt);
    const Document document = Document::parse(file);
    const std::vector<std::string> texts = page_texts(document);
    QUARVEL_FUZZ_CHECK(texts.size() == std::max<std::size_t>(pages.size(), 1));
    for (std::size_t i = 0; i < pages.size(); ++i) QUARVEL_FUZZ_CHECK(texts[i] == expected_page_text(pages[i]));
    if (pages.empty()) QUARVEL_FUZZ_CHECK(texts[0].empty());

    const Dictionary& info = document.resolve_to_dictionary(*document.trailer.get("Info"), "trailer /Info");
    QUARVEL_FUZZ_CHECK(decode_text_string(*info.get("Producer")->as_string()) == "quarvel");
    const Object* written = info.get("Title");
    QUARVEL_FUZZ_CHECK((written != nullptr) == title.has_value());
    if (title) {
        // ASCII titles are written byte for byte (controls as hex), others as UTF-16.
        const std::string expected = lossy_utf8(*title);
        QUARVEL_FUZZ_CHECK(decode_text_string(*written->as_string()) == expected);
    }
}
