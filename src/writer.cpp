#include "writer.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "error.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void append_hex_byte(std::string& out, unsigned char b) {
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 0x0F]);
}

template <typename T>
void append_decimal(std::string& out, T value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// Calls `f` with each code point of `text`; invalid UTF-8 becomes U+FFFD.
template <typename F>
void for_each_code_point(std::string_view text, F&& f) {
    std::string repaired;
    for (unsigned char b : text) {
        if (b >= 0x80) {
            repaired = lossy_utf8(text);
            text = repaired;
            break;
        }
    }
    std::size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        std::size_t len = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        char32_t c = len == 1 ? b : b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        f(c);
        i += len;
    }
}

bool is_ascii(std::string_view text) {
    for (unsigned char b : text)
        if (b >= 0x80) return false;
    return true;
}

// Bytes that a name can carry without a #xx escape.
bool is_plain_name_byte(unsigned char b) {
    if (b < 0x21 || b > 0x7E) return false;
    switch (b) {
        case '(': case ')': case '<': case '>': case '[': case ']':
        case '{': case '}': case '/': case '%': case '#':
            return false;
        default:
            return true;
    }
}

void append_name(std::string& out, std::string_view bytes) {
    out.push_back('/');
    for (unsigned char b : bytes) {
        if (is_plain_name_byte(b)) {
            out.push_back(static_cast<char>(b));
        } else {
            out.push_back('#');
            append_hex_byte(out, b);
        }
    }
}

void append_string(std::string& out, std::string_view bytes) {
    bool literal = true;
    for (unsigned char b : bytes) {
        if (!((b >= 0x20 && b <= 0x7E) || b == '\t' || b == '\n')) {
            literal = false;
            break;
        }
    }
    if (literal) {
        out.push_back('(');
        out += escape_pdf_string(bytes);
        out.push_back(')');
        return;
    }
    out.push_back('<');
    for (unsigned char b : bytes) append_hex_byte(out, b);
    out.push_back('>');
}

void append_real(std::string& out, double value) {
    // Parsing never yields NaN or infinity and PDF has no syntax for them.
    if (!std::isfinite(value)) {
        out.push_back('0');
        return;
    }
    std::string text = format_real(value);
    out += text;
    if (text.find('.') != std::string::npos) return;
    // Without a point the lexer reads an integer; keep huge whole values readable as reals.
    std::int64_t parsed;
    auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) out += ".0";
}

void append_literal(std::string& out, const Object& object) {
    switch (object.kind()) {
        case Kind::Null:
            out += "null";
            break;
        case Kind::Boolean:
            out += *object.as_bool() ? "true" : "false";
            break;
        case Kind::Number:
            if (const Integer* i = object.as_integer())
                append_decimal(out, *i);
            else
                append_real(out, *object.as_real());
            break;
        case Kind::Name:
            append_name(out, *object.as_name());
            break;
        case Kind::String:
            append_string(out, *object.as_string());
            break;
        case Kind::Array: {
            out.push_back('[');
            bool first = true;
            for (const Object& item : *object.as_array()) {
                if (!first) out.push_back(' ');
                first = false;
                append_literal(out, item);
            }
            out.push_back(']');
            break;
        }
        case Kind::Dictionary:
            out += "<<";
            for (const auto& [key, value] : *object.as_dictionary()) {
                out.push_back(' ');
                append_name(out, key);
                out.push_back(' ');
                append_literal(out, value);
            }
            out += " >>";
            break;
        case Kind::Reference:
            out += object.as_reference()->reference_string();
            break;
        case Kind::Stream:
            throw PdfError::type_mismatch("incremental trailer object", "scalar object");
    }
}

void append_page_content(std::string& out, std::string_view text) {
    out += "BT /F1 12 Tf 72 720 Td 14 TL";
    auto show = [&out](std::string_view line) {
        out += " (";
        out += escape_pdf_string(line);
        out += ") Tj T*";
    };
    std::size_t start = 0;
    for (std::size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
        std::size_t end = lf > start && text[lf - 1] == '\r' ? lf - 1 : lf;
        show(text.substr(start, end - start));
        start = lf + 1;
    }
    if (start < text.size()) show(text.substr(start));
    out += " ET";
}

void append_object(std::string& out, std::vector<std::size_t>& offsets, std::string_view body) {
    offsets.push_back(out.size());
    append_decimal(out, offsets.size());
    out += " 0 obj\n";
    out += body;
    out += "\nendobj\n";
}

}  // namespace

std::string object_literal(const Object& object) {
    std::string out;
    append_literal(out, object);
    return out;
}

std::string escape_pdf_string(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for_each_code_point(text, [&out](char32_t c) {
        switch (c) {
            case '(': out += "\\("; break;
            case ')': out += "\\)"; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': break;
            default:
                if (c < 0x80) {
                    out.push_back(static_cast<char>(c));
                } else {
                    char buffer[8];
                    auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<std::uint32_t>(c), 16);
                    out += "?\\u{";
                    out.append(buffer, result.ptr);
                    out.push_back('}');
                }
        }
    });
    return out;
}

std::string text_string_bytes(std::string_view utf8) {
    if (is_ascii(utf8)) return std::string(utf8);
    std::string out;
    out.reserve(2 + 2 * utf8.size());
    out += "\xFE\xFF";
    auto unit = [&out](char32_t u) {
        out.push_back(static_cast<char>(u >> 8));
        out.push_back(static_cast<char>(u & 0xFF));
    };
    for_each_code_point(utf8, [&unit](char32_t c) {
        if (c < 0x10000) {
            unit(c);
        } else {
            c -= 0x10000;
            unit(0xD800 + (c >> 10));
            unit(0xDC00 + (c & 0x3FF));
        }
    });
    return out;
}

std::string pdf_text_string(std::string_view utf8) {
    std::string out;
    append_string(out, text_string_bytes(utf8));
    return out;
}

void push_info_entry(std::string& buffer, std::string_view key, std::string_view value) {
    if (trim_white_space(value).empty()) return;
    buffer += " /";
    buffer += key;
    buffer.push_back(' ');
    buffer += pdf_text_string(value);
}

std::string write_text_pdf(const std::vector<std::string>& pages, const std::optional<std::string>& title,
                           const std::optional<std::string>& author) {
    const std::size_t page_count = pages.empty() ? 1 : pages.size();
    const std::size_t info_number = 2 * page_count + 3;

    std::string out = "%PDF-1.7\n%\x80\x80\x80\x80\n";
    std::vector<std::size_t> offsets;
    offsets.reserve(info_number);
    std::string body;

    append_object(out, offsets, "<< /Type /Catalog /Pages 2 0 R >>");

    body = "<< /Type /Pages /Kids [";
    for (std::size_t i = 0; i < page_count; ++i) {
        if (i) body.push_back(' ');
        append_decimal(body, 2 * i + 3);
        body += " 0 R";
    }
    body += "] /Count ";
    append_decimal(body, page_count);
    body += " >>";
    append_object(out, offsets, body);

    std::string content;
    for (std::size_t i = 0; i < page_count; ++i) {
        body = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 << /Type /Font "
               "/Subtype /Type1 /BaseFont /Helvetica >> >> >> /Contents ";
        append_decimal(body, 2 * i + 4);
        body += " 0 R >>";
        append_object(out, offsets, body);

        content.clear();
        append_page_content(content, pages.empty() ? std::string_view() : std::string_view(pages[i]));
        body = "<< /Length ";
        append_decimal(body, content.size());
        body += "  >>\nstream\n";
        body += content;
        body += "\nendstream";
        append_object(out, offsets, body);
    }

    body = "<< /Producer (quarvel)";
    if (title) {
        body += " /Title ";
        body += pdf_text_string(*title);
    }
    if (author) {
        body += " /Author ";
        body += pdf_text_string(*author);
    }
    body += " >>";
    append_object(out, offsets, body);

    const std::size_t xref_offset = out.size();
    const std::size_t size = offsets.size() + 1;
    out += "xref\n0 ";
    append_decimal(out, size);
    out += "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char digits[24];
        auto result = std::to_chars(digits, digits + sizeof digits, offset);
        out.append(10 - std::min<std::size_t>(10, result.ptr - digits), '0');
        out.append(digits, result.ptr);
        out += " 00000 n \n";
    }
    out += "trailer\n<< /Size ";
    append_decimal(out, size);
    out += " /Root 1 0 R /Info ";
    append_decimal(out, info_number);
    out += " 0 R >>\nstartxref\n";
    append_decimal(out, xref_offset);
    out += "\n%%EOF\n";
    return out;
}

}  // namespace quarvel
