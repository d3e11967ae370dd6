#include "error.hpp"

#include "unicode.hpp"

namespace quarvel {

namespace {

const char* id_prefix(PdfError::Kind kind) {
    using K = PdfError::Kind;
    switch (kind) {
        case K::DanglingReference: return "dangling reference to object ";
        case K::PageTreeCycle: return "page tree contains a cycle at object ";
        case K::OutlineCycle: return "outline tree contains a cycle at object ";
        case K::NameTreeCycle: return "name tree contains a cycle at object ";
        case K::NumberTreeCycle: return "number tree contains a cycle at object ";
        case K::FormFieldCycle: return "form field tree contains a cycle at object ";
        case K::XObjectCycle: return "XObject resource tree contains a cycle at object ";
        default: return nullptr;
    }
}

const char* plain_text(PdfError::Kind kind) {
    using K = PdfError::Kind;
    switch (kind) {
        case K::UnexpectedEof: return "unexpected end of PDF data";
        case K::InvalidHeader: return "invalid PDF header";
        case K::InvalidStartxref: return "invalid startxref section";
        case K::InvalidXref: return "invalid cross-reference table";
        case K::InvalidObjectHeader: return "invalid indirect object header";
        default: return nullptr;
    }
}

}  // namespace

PdfError::PdfError(Kind kind, ObjectId id) : kind_(kind), id_(id) {
    if (const char* text = plain_text(kind)) {
        text_ = text;
    } else {
        text_ = id_prefix(kind);
        text_ += id.to_string();
    }
}

PdfError::PdfError(Kind kind, std::uint64_t offset, std::string first, std::string second)
    : kind_(kind), offset_(offset), first_(std::move(first)), second_(std::move(second)) {
    switch (kind) {
        case Kind::Decode:
            text_ = "failed to decode /" + lossy_utf8(first_) + " stream: " + second_;
            break;
        case Kind::MissingEntry:
            text_ = "missing required entry /" + lossy_utf8(second_) + " in " + first_;
            break;
        case Kind::TypeMismatch:
            text_ = "type mismatch in " + first_ + ": expected " + second_;
            break;
        case Kind::InvalidToken:
            text_ = "invalid token at byte " + std::to_string(offset) + ": " + second_;
            break;
        case Kind::Unsupported:
            text_ = "unsupported PDF feature at byte " + std::to_string(offset) + ": " + second_;
            break;
        case Kind::Io:
            text_ = first_ + ": " + second_;
            break;
        default:
            break;
    }
}

PdfError PdfError::decode(std::string_view filter, std::string message) {
    return PdfError(Kind::Decode, 0, std::string(filter), std::move(message));
}
PdfError PdfError::missing_entry(std::string_view context, std::string_view key) {
    return PdfError(Kind::MissingEntry, 0, std::string(context), std::string(key));
}
PdfError PdfError::type_mismatch(std::string_view context, std::string_view expected) {
    return PdfError(Kind::TypeMismatch, 0, std::string(context), std::string(expected));
}
PdfError PdfError::invalid_token(std::uint64_t offset, std::string message) {
    return PdfError(Kind::InvalidToken, offset, {}, std::move(message));
}
PdfError PdfError::unsupported(std::uint64_t offset, std::string message) {
    return PdfError(Kind::Unsupported, offset, {}, std::move(message));
}
PdfError PdfError::io(std::string context, std::string message) {
    return PdfError(Kind::Io, 0, std::move(context), std::move(message));
}

}  // namespace quarvel
