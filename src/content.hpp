// Content streams: operators with their operands.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
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
    // The string elements of the last operand, if that is an array.
    std::span<const std::string_view> last_array_strings() const;

private:
    friend class TextOperandSink;
    enum class Kind : std::uint8_t { Other, Name, String, Array };
    Kind first() const { return count_ == 1 ? last_ : first_; }

    std::size_t count_ = 0;
    Kind first_ = Kind::Other;  // valid from the second operand on
    Kind last_ = Kind::Other;
    std::string name_;                        // of the first operand when it is a name
    std::string_view last_string_;            // of the last operand when it is a string
    std::vector<std::string_view> elements_;  // strings of the last operand when it is an array
    // The bytes of `elements_`, back to back.
    std::unique_ptr<char[]> arena_;
    std::size_t arena_used_ = 0, arena_size_ = 0;
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
