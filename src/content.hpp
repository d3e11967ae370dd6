// Content streams: operators with their operands.
#pragma once

#include <functional>
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

}  // namespace quarvel
