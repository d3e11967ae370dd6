// Content streams: operators with their operands.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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
        Slice bytes;  // of a name or string
    };
    std::string_view bytes(Slice s) const { return std::string_view(arena_.data() + s.begin, s.size); }
    const Operand& first() const { return count_ == 1 ? last_ : first_; }

    std::size_t count_ = 0;
    Operand first_;  // valid from the second operand on
    Operand last_;
    std::vector<Slice> elements_;  // strings of `last_` when it is an array
    // Kept bytes back to back: the first operand's name, then the last operand's.
    std::string arena_;
};

// The same grammar, look-ahead and errors as for_each_content_operation, without
// building objects, visiting only the operators that show text or select a font:
// Tf, Tj, TJ, ', " and T*.
using TextOperationVisitor = std::function<void(std::string_view op, const TextOperands& operands)>;
void for_each_text_operation(std::string_view bytes, const TextOperationVisitor& visit);

}  // namespace quarvel
