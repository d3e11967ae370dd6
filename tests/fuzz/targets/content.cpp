// The content-stream parser, twice: the one that builds operand objects and the one
// text extraction uses, which keeps only what shown text needs. Both must accept and
// refuse the same streams and agree on every text operation.
#include "content.hpp"

#include <optional>

#include "fuzz_target.hpp"

namespace {

using quarvel::Object;

// What TextOperands exposes, taken from full operands or from TextOperands.
struct TextView {
    std::string op;
    std::optional<std::string> first_name;
    std::optional<std::string> last_string;
    std::vector<std::string> array_strings;
    friend bool operator==(const TextView&, const TextView&) = default;
};

bool shows_text(std::string_view op) {
    return op == "Tf" || op == "Tj" || op == "TJ" || op == "'" || op == "\"" || op == "T*";
}

TextView from_objects(std::string_view op, const std::vector<Object>& operands) {
    TextView view{std::string(op), {}, {}, {}};
    if (operands.empty()) return view;
    if (const std::string* name = operands.front().as_name()) view.first_name = *name;
    if (const std::string* s = operands.back().as_string()) view.last_string = *s;
    if (const auto* array = operands.back().as_array())
        for (const Object& item : *array)
            if (const std::string* s = item.as_string()) view.array_strings.push_back(*s);
    return view;
}

TextView from_text_operands(std::string_view op, const quarvel::TextOperands& operands) {
    TextView view{std::string(op), {}, {}, {}};
    if (auto name = operands.first_name()) view.first_name = std::string(*name);
    if (auto s = operands.last_string()) view.last_string = std::string(*s);
    for (std::string_view s : operands.last_array_strings()) view.array_strings.emplace_back(s);
    return view;
}

}  // namespace

QUARVEL_FUZZ_TARGET(content) {
    std::vector<TextView> full, lean;
    std::optional<std::string> full_error, lean_error;
    try {
        for (const auto& operation : quarvel::parse_content_operations(data))
            if (shows_text(operation.op)) full.push_back(from_objects(operation.op, operation.operands));
    } catch (const quarvel::PdfError& e) {
        full_error = e.text();
    }
    try {
        quarvel::for_each_text_operation(data, [&](std::string_view op, const quarvel::TextOperands& operands) {
            lean.push_back(from_text_operands(op, operands));
        });
    } catch (const quarvel::PdfError& e) {
        lean_error = e.text();
    }
    QUARVEL_FUZZ_CHECK(full_error == lean_error);
    if (!full_error) QUARVEL_FUZZ_CHECK(full == lean);
}
