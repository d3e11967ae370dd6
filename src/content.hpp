// Content streams: operators with their operands.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "object.hpp"

namespace quarvel {

struct ContentOperation {
    std::string op;  // the operator keyword exactly as written
    std::vector<Object> operands;
    friend bool operator==(const ContentOperation&, const ContentOperation&) = default;
};

// Throws PdfError; no partial list.
std::vector<ContentOperation> parse_content_operations(std::string_view bytes);

// Streams the operations to `visit` without materialising the list; `operands` is
// reused between calls. Errors are thrown after every earlier operation was visited.
using ContentVisitor = std::function<void(std::string_view op, std::vector<Object>& operands)>;
void for_each_content_operation(std::string_view bytes, const ContentVisitor& visit);

// The operands of one operation as far as shown text needs them: the first one if it
// is a name, the last one if it is a string or an array (with its string elements).
class TextOperands {
public:
    bool empty() const { return count_ == 0; }
    std::optional<std::string_view> first_name() const;
    std::optional<std::string_view> last_string() const;
    // Calls `f` with each string element of the last operand, if that is an array.
    template <class F>
    void for_each_last_array_string(F&& f) const {
        if (count_ == 0 || last_.kind != Kind::Array) return;
        for (const Slice& element : elements_) f(bytes(element));
    }

private:
    friend class TextOperandSink;
    enum class Kind : std::uint8_t { Other, Name, String, Array };
    struct Slice {
        std::size_t begin = 0, size = 0;  // in `arena_`
    };
    struct Operand {
        Kind kind = Kind::Other;
        Slice bytes;  // of a name
    };
    std::string_view bytes(Slice s) const { return std::string_view(arena_.data() + s.begin, s.size); }
    const Operand& first() const { return count_ == 1 ? last_ : first_; }

    std::size_t count_ = 0;
    Operand first_;  // valid from the second operand on
    Operand last_;
    std::string_view last_string_;  // of `last_` when it is a string
    std::vector<Slice> elements_;   // strings of `last_` when it is an array
    // Kept bytes back to back: the first operand's name, then the last operand's strings.
    std::string arena_;
};

// The same grammar, look-ahead and errors as for_each_content_operation, without
// building objects, visiting only the operators that show text or select a font:
// Tf, Tj, TJ, ', " and T*.
using TextOperationVisitor = std::function<void(std::string_view op, const TextOperands& operands)>;
void for_each_text_operation(std::string_view bytes, const TextOperationVisitor& visit);

// The operators that place or show text, the graphics state they depend on, and
// form XObjects; everything else is dropped while parsing.
enum class LayoutOp : std::uint8_t {
    Save,                 // q
    Restore,              // Q
    Concat,               // cm
    BeginText,            // BT
    CharSpacing,          // Tc
    WordSpacing,          // Tw
    HorizontalScale,      // Tz
    Leading,              // TL
    Font,                 // Tf
    Rise,                 // Ts
    Move,                 // Td
    MoveSetLeading,       // TD
    Matrix,               // Tm
    NextLine,             // T*
    Show,                 // Tj
    ShowArray,            // TJ
    NextLineShow,         // '
    NextLineSpacingShow,  // "
    XObject,              // Do
};

struct LayoutOperand {
    enum class Kind : std::uint8_t { Number, Name, String, Array, Other };
    Kind kind = Kind::Other;
    double number = 0;
    // Name and String: bytes in the arena; Array: a range of `elements`.
    std::uint32_t begin = 0, size = 0;
};

struct LayoutOperation {
    LayoutOp op;
    std::uint32_t first = 0, count = 0;  // a range of `operands`
};

// Operands are flattened: top-level values, and the direct elements of top-level arrays
// (numbers and strings; anything deeper counts as Other).
struct LayoutOperations {
    std::vector<LayoutOperation> operations;
    std::vector<LayoutOperand> operands;
    std::vector<LayoutOperand> elements;
    std::string arena;

    std::string_view bytes(const LayoutOperand& o) const { return std::string_view(arena).substr(o.begin, o.size); }
    std::span<const LayoutOperand> operands_of(const LayoutOperation& op) const {
        return std::span<const LayoutOperand>(operands).subspan(op.first, op.count);
    }
    std::span<const LayoutOperand> elements_of(const LayoutOperand& array) const {
        return std::span<const LayoutOperand>(elements).subspan(array.begin, array.size);
    }
};

// The same grammar, look-ahead and errors as for_each_content_operation.
LayoutOperations parse_layout_operations(std::string_view bytes);

}  // namespace quarvel
