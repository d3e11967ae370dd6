#include "unicode.hpp"

#include "object.hpp"

namespace quarvel {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at `p`, or 0 (maximal-subpart rule:
// the caller then replaces one byte, or the valid prefix, with U+FFFD).
std::size_t valid_sequence(const unsigned char* p, std::size_t left, std::size_t& invalid_len) {
    unsigned char b = p[0];
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        invalid_len = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i < need && i < left; ++i) {
        unsigned char c = p[i];
        unsigned char l = i == 1 ? lo : 0x80, h = i == 1 ? hi : 0xBF;
        if (c < l || c > h) break;
    }
    if (i == need) return need;
    invalid_len = i;
    return 0;
}

}  // namespace

void append_lossy_utf8(std::string& out, std::string_view bytes) {
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size(), i = 0;
    while (i < n) {
        // ASCII runs are the common case.
        std::size_t start = i;
        while (i < n && p[i] < 0x80) ++i;
        out.append(bytes.data() + start, i - start);
        if (i == n) break;
        std::size_t bad = 0;
        std::size_t len = valid_sequence(p + i, n - i, bad);
        if (len) {
            out.append(bytes.data() + i, len);
            i += len;
        } else {
            out.append(kReplacement, 3);
            i += bad;
        }
    }
}

std::string lossy_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    append_lossy_utf8(out, bytes);
    return out;
}

void append_utf16be(std::string& out, std::string_view bytes) {
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t u = (char32_t(p[2 * i]) << 8) | p[2 * i + 1];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            char32_t v = (char32_t(p[2 * i + 2]) << 8) | p[2 * i + 3];
            if (v >= 0xDC00 && v <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
        append_utf8(out, u);
    }
}

namespace {

// PDFDocEncoding where it differs from Latin-1 (ISO 32000-1, table D.2); the codes the
// table leaves undefined keep their own number, so no byte is lost.
constexpr char16_t kPdfDocAccents[8] = {0x02D8, 0x02C7, 0x02C6, 0x02D9, 0x02DD, 0x02DB, 0x02DA, 0x02DC};  // 0x18..
constexpr char16_t kPdfDocPunctuation[32] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0x009F};  // 0x80..

char32_t pdf_doc_code_point(unsigned char b) {
    if (b >= 0x18 && b < 0x20) return kPdfDocAccents[b - 0x18];
    if (b >= 0x80 && b < 0xA0) return kPdfDocPunctuation[b - 0x80];
    if (b == 0xA0) return 0x20AC;
    return b;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t len = valid_sequence(p + i, n - i, bad);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

void append_pdf_doc_encoding(std::string& out, std::string_view bytes) {
    for (unsigned char b : bytes) append_utf8(out, pdf_doc_code_point(b));
}

void append_text_string(std::string& out, std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
        static_cast<unsigned char>(bytes[1]) == 0xFF) {
        append_utf16be(out, bytes.substr(2));
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        append_lossy_utf8(out, bytes.substr(3));
    } else if (is_valid_utf8(bytes)) {
        out.append(bytes);
    } else {
        append_pdf_doc_encoding(out, bytes);
    }
}

std::string decode_text_string(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    append_text_string(out, bytes);
    return out;
}

std::optional<std::string> text_string_entry(const Dictionary& dictionary, std::string_view key) {
    const Object* value = dictionary.get(key);
    const std::string* bytes = value ? value->as_string() : nullptr;
    return bytes ? std::optional<std::string>(decode_text_string(*bytes)) : std::nullopt;
}

bool is_unicode_white_space(char32_t c) {
    switch (c) {
        case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
        case 0x85: case 0xA0: case 0x1680:
        case 0x2000: case 0x2001: case 0x2002: case 0x2003: case 0x2004: case 0x2005:
        case 0x2006: case 0x2007: case 0x2008: case 0x2009: case 0x200A:
        case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
            return true;
        default:
            return false;
    }
}

namespace {

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Decodes the code point starting at byte i; a byte that does not start a complete
// sequence is one U+FFFD, so that callers handed raw bytes never step past the end.
char32_t decode_at(std::string_view s, std::size_t i, std::size_t& len) {
    auto b = static_cast<unsigned char>(s[i]);
    len = 1;
    if (b < 0x80) return b;
    const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
    if (b < 0xC0 || n > s.size() - i) return 0xFFFD;
    char32_t c = b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if (!is_continuation(s[i + k])) return 0xFFFD;
        c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    len = n;
    return c;
}

}  // namespace

std::string_view trim_white_space(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t len;
        if (!is_unicode_white_space(decode_at(text, start, len))) break;
        start += len;
    }
    std::size_t end = text.size();
    while (end > start) {
        std::size_t b = end - 1;
        while (b > start && is_continuation(text[b])) --b;
        std::size_t len;
        if (!is_unicode_white_space(decode_at(text, b, len))) break;
        end = b;
    }
    return text.substr(start, end - start);
}

}  // namespace quarvel
