// Text forms of objects for inspection, and the object listing and dump.
#include "inspect.hpp"

#include <charconv>

#include "document.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

constexpr std::size_t kMaxPreviewBytes = 120;

template <class T>
void append_decimal(std::string& out, T value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void append_id(std::string& out, ObjectId id) {
    append_decimal(out, id.number);
    out += ' ';
    append_decimal(out, id.generation);
}

bool previewable(std::string_view data) {
    if (data.size() > kMaxPreviewBytes) return false;
    for (unsigned char c : data) {
        const bool printable = c >= 33 && c <= 126;
        if (!printable && c != '\t' && c != '\n' && c != '\f' && c != '\r' && c != ' ') return false;
    }
    return true;
}

void append_object(std::string& out, const Object& object);

void append_dictionary(std::string& out, const Dictionary& dictionary) {
    if (dictionary.empty()) {
        out += "<< >>";
        return;
    }
    out += "<<";
    for (const auto& [key, value] : dictionary) {
        out += " /";
        append_lossy_utf8(out, key);
        out += ' ';
        append_object(out, value);
    }
    out += " >>";
}

void append_stream(std::string& out, const Stream& stream) {
    append_dictionary(out, stream.dictionary);
    out += "\nstream\n<";
    append_decimal(out, stream.data.size());
    out += " encoded bytes";
    if (previewable(stream.data)) {
        out += ": ";
        for (char c : stream.data) {
            if (c == '\r' || c == '\n')
                out += "\\n";
            else
                out += c;
        }
    }
    out += ">\nendstream";
}

void append_object(std::string& out, const Object& object) {
    switch (object.kind()) {
        case Kind::Null: out += "null"; return;
        case Kind::Boolean: out += *object.as_bool() ? "true" : "false"; return;
        case Kind::Number:
            if (const Integer* i = object.as_integer())
                append_decimal(out, *i);
            else
                out += format_real(*object.as_real());
            return;
        case Kind::Name:
            out += '/';
            append_lossy_utf8(out, *object.as_name());
            return;
        case Kind::String:
            out += '(';
            out += decode_text_string(*object.as_string());
            out += ')';
            return;
        case Kind::Array: {
            out += '[';
            bool first = true;
            for (const Object& element : *object.as_array()) {
                if (!first) out += ' ';
                first = false;
                append_object(out, element);
            }
            out += ']';
            return;
        }
        case Kind::Dictionary: append_dictionary(out, *object.as_dictionary()); return;
        case Kind::Reference:
            append_id(out, *object.as_reference());
            out += " R";
            return;
        case Kind::Stream: append_stream(out, *object.as_stream()); return;
    }
}

void append_xref_entry(std::string& out, const XrefEntry& entry) {
    if (const auto* free = std::get_if<XrefFree>(&entry)) {
        out += "free next=";
        append_decimal(out, free->next);
        out += " generation=";
        append_decimal(out, free->generation);
    } else if (const auto* in_use = std::get_if<XrefInUse>(&entry)) {
        out += "in-use offset=";
        append_decimal(out, in_use->offset);
        out += " generation=";
        append_decimal(out, in_use->generation);
    } else {
        const auto& compressed = std::get<XrefCompressed>(entry);
        out += "compressed object_stream=";
        append_decimal(out, compressed.object_stream);
        out += " index=";
        append_decimal(out, compressed.index);
    }
}

}  // namespace

std::string object_to_text(const Object& object) {
    std::string out;
    append_object(out, object);
    return out;
}

std::string dictionary_to_text(const Dictionary& dictionary) {
    std::string out;
    append_dictionary(out, dictionary);
    return out;
}

std::string xref_entry_text(const XrefEntry& entry) {
    std::string out;
    append_xref_entry(out, entry);
    return out;
}

PdfObjectSummary::PdfObjectSummary(ObjectId id, const Object& object, const XrefEntry* entry)
    : id(id), kind(object.type_name()), text(object_to_text(object)) {
    if (entry) xref = xref_entry_text(*entry);
}

PdfObjectSummary object_summary(const Document& document, ObjectId id) {
    const Object* object = document.find(id);
    if (!object) throw PdfError::dangling_reference(id);
    return PdfObjectSummary(id, *object, document.xref.find(id));
}

std::string dump_objects(const Document& document) {
    // Written straight into one buffer: same layout as rendering each summary.
    std::string out;
    bool first = true;
    for (const auto& [id, object] : document.objects) {
        if (!first) out += "\n\n";
        first = false;
        append_id(out, id);
        out += " obj";
        if (const XrefEntry* entry = document.xref.find(id)) {
            out += " % ";
            append_xref_entry(out, *entry);
        }
        out += " % ";
        out += object.type_name();
        out += '\n';
        append_object(out, object);
        out += "\nendobj";
    }
    return out;
}

}  // namespace quarvel
