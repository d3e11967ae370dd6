// The library's single error type.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "object.hpp"

namespace quarvel {

class PdfError : public std::exception {
public:
    enum class Kind : std::uint8_t {
        UnexpectedEof,
        InvalidHeader,
        InvalidStartxref,
        InvalidXref,
        InvalidObjectHeader,
        DanglingReference,
        Decode,
        MissingEntry,
        PageTreeCycle,
        OutlineCycle,
        NameTreeCycle,
        NumberTreeCycle,
        FormFieldCycle,
        XObjectCycle,
        TypeMismatch,
        InvalidToken,
        Unsupported,
        Io,
    };

    // Variants without fields.
    static PdfError unexpected_eof() { return PdfError(Kind::UnexpectedEof); }
    static PdfError invalid_header() { return PdfError(Kind::InvalidHeader); }
    static PdfError invalid_startxref() { return PdfError(Kind::InvalidStartxref); }
    static PdfError invalid_xref() { return PdfError(Kind::InvalidXref); }
    static PdfError invalid_object_header() { return PdfError(Kind::InvalidObjectHeader); }

    // Variants carrying an object id.
    static PdfError dangling_reference(ObjectId id) { return PdfError(Kind::DanglingReference, id); }
    static PdfError page_tree_cycle(ObjectId id) { return PdfError(Kind::PageTreeCycle, id); }
    static PdfError outline_cycle(ObjectId id) { return PdfError(Kind::OutlineCycle, id); }
    static PdfError name_tree_cycle(ObjectId id) { return PdfError(Kind::NameTreeCycle, id); }
    static PdfError number_tree_cycle(ObjectId id) { return PdfError(Kind::NumberTreeCycle, id); }
    static PdfError form_field_cycle(ObjectId id) { return PdfError(Kind::FormFieldCycle, id); }
    static PdfError xobject_cycle(ObjectId id) { return PdfError(Kind::XObjectCycle, id); }

    static PdfError decode(std::string_view filter, std::string message);
    static PdfError missing_entry(std::string_view context, std::string_view key);
    static PdfError type_mismatch(std::string_view context, std::string_view expected);
    static PdfError invalid_token(std::uint64_t offset, std::string message);
    static PdfError unsupported(std::uint64_t offset, std::string message);
    static PdfError io(std::string context, std::string message);

    Kind kind() const noexcept { return kind_; }
    ObjectId id() const noexcept { return id_; }
    std::uint64_t offset() const noexcept { return offset_; }
    // context, filter or key, depending on the variant
    const std::string& first() const noexcept { return first_; }
    // message, key or expectation, depending on the variant
    const std::string& second() const noexcept { return second_; }

    // The display text, e.g. "dangling reference to object 5 0".
    const std::string& text() const noexcept { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    explicit PdfError(Kind kind, ObjectId id = {});
    PdfError(Kind kind, std::uint64_t offset, std::string first, std::string second);

    Kind kind_;
    ObjectId id_{};
    std::uint64_t offset_ = 0;
    std::string first_;
    std::string second_;
    std::string text_;
};

}  // namespace quarvel
