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
    // Appended piecewise: g++ 12 warns falsely (-Wrestrict) on chained operator+.
    switch (kind) {
        case Kind::Decode:
            text_ = "failed to decode /";
            append_lossy_utf8(text_, first_);
            text_ += " stream: ";
            text_ += second_;
            break;
        case Kind::MissingEntry:
            text_ = "missing required entry /";
            append_lossy_utf8(text_, second_);
            text_ += " in ";
            text_ += first_;
            break;
        case Kind::TypeMismatch:
            text_ = "type mismatch in ";
            text_ += first_;
            text_ += ": expected ";
            text_ += second_;
            break;
        case Kind::InvalidToken:
        case Kind::Unsupported:
            text_ = kind == Kind::InvalidToken ? "invalid token at byte " : "unsupported PDF feature at byte ";
            text_ += std::to_string(offset);
            text_ += ": ";
            text_ += second_;
            break;
        case Kind::Io:
            text_ = first_;
            text_ += ": ";
            text_ += second_;
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
