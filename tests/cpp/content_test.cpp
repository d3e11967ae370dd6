#include "content.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "inspect.hpp"
#include "support.hpp"

namespace quarvel {
namespace {


// "operands op; operands op; ..."
std::string render(std::string_view input) {
    std::string out;
    for (const ContentOperation& op : parse_content_operations(input)) {
        if (!out.empty()) out += "; ";
        for (const Object& o : op.operands) out += object_to_text(o) + " ";
        out += op.op;
    }
    return out;
}

bool shows_text(std::string_view op) {
    return op == "Tf" || op == "Tj" || op == "TJ" || op == "'" || op == "\"" || op == "T*";
}

// What text extraction needs of each operation, from the full objects...
std::string text_view_of_objects(std::string_view input) {
    std::string out;
    for (const ContentOperation& op : parse_content_operations(input)) {
        if (!shows_text(op.op)) continue;
        out += op.op + "(";
        if (!op.operands.empty()) {
            if (const std::string* name = op.operands.front().as_name()) out += "/" + *name;
            if (const std::string* s = op.operands.back().as_string()) out += "(" + *s + ")";
            if (const Array* items = op.operands.back().as_array())
                for (const Object& item : *items)
                    if (const std::string* s = item.as_string()) out += "[" + *s + "]";
        }
        out += ") ";
    }
    return out;
}

// ...and from the path that builds none.
std::string text_view(std::string_view input) {
    std::string out;
    for_each_text_operation(input, [&](std::string_view op, const TextOperands& operands) {
        out.append(op).append("(");
        if (auto name = operands.first_name()) out.append("/").append(*name);
        if (auto s = operands.last_string()) out.append("(").append(*s).append(")");
        for (std::string_view s : operands.last_array_strings()) out.append("[").append(s).append("]");
        out += ") ";
    });
    return out;
}

bool laid_out(std::string_view op) {
    static const std::vector<std::string_view> kOps = {"q",  "Q",  "cm", "BT", "Tc", "Tw", "Tz", "TL", "Tf", "Ts",
                                                       "Td", "TD", "Tm", "T*", "Tj", "TJ", "'",  "\"", "Do"};
    return std::find(kOps.begin(), kOps.end(), op) != kOps.end();
}

// One operation's operands, an array as its direct elements.
template <class Operands, class ElementsOf, class Scalar>
std::string operands_view(const Operands& operands, ElementsOf elements_of, Scalar scalar) {
    std::string out;
    for (const auto& o : operands) {
        if (const auto elements = elements_of(o)) {
            out += "[";
            for (const auto& item : *elements) out += scalar(item) + " ";
            out += "]";
        } else {
            out += scalar(o);
        }
        out += " ";
    }
    return out + "op; ";
}

// The operands of the operations layout keeps, from the full objects...
std::string layout_view_of_objects(std::string_view input) {
    const auto scalar = [](const Object& o) -> std::string {
        double number = 0;
        if (o.as_number(number)) return format_real(number);
        if (const std::string* name = o.as_name()) return "/" + *name;
        if (const std::string* s = o.as_string()) return "(" + *s + ")";
        return "?";
    };
    std::string out;
    for (const ContentOperation& op : parse_content_operations(input))
        if (laid_out(op.op)) out += operands_view(op.operands, [](const Object& o) { return o.as_array(); }, scalar);
    return out;
}

// ...and from the path that builds none.
std::string layout_view(std::string_view input) {
    const LayoutOperations ops = parse_layout_operations(input);
    const auto scalar = [&](const LayoutOperand& o) -> std::string {
        switch (o.kind) {
            case LayoutOperand::Kind::Number: return format_real(o.number);
            case LayoutOperand::Kind::Name: return "/" + std::string(ops.bytes(o));
            case LayoutOperand::Kind::String: return "(" + std::string(ops.bytes(o)) + ")";
            default: return "?";
        }
    };
    const auto elements_of = [&](const LayoutOperand& o) {
        return o.kind == LayoutOperand::Kind::Array ? std::optional(ops.elements_of(o)) : std::nullopt;
    };
    std::string out;
    for (const LayoutOperation& op : ops.operations) out += operands_view(ops.operands_of(op), elements_of, scalar);
    return out;
}

struct Case {
    std::string input, expected;  // the operations, "=" for the input itself, or the error
};

class Content : public ::testing::TestWithParam<Case> {};

TEST_P(Content, Parses) {
    const Case& c = GetParam();
    const std::string got = testing_support::value_or_error([&] { return render(c.input); });
    EXPECT_EQ(got, c.expected == "=" ? c.input : c.expected);
    // The text path reads the same grammar: same errors, same text operands.
    EXPECT_EQ(testing_support::value_or_error([&] { return text_view(c.input); }),
              testing_support::value_or_error([&] { return text_view_of_objects(c.input); }));
    // So does layout.
    EXPECT_EQ(testing_support::value_or_error([&] { return layout_view(c.input); }),
              testing_support::value_or_error([&] { return layout_view_of_objects(c.input); }));
}

std::string at(int offset, const std::string& message) {
    return "invalid token at byte " + std::to_string(offset) + ": " + message;
}
std::string repeat(std::string_view unit, std::size_t times) {
    std::string out;
    while (times--) out += unit;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Operations, Content,
    ::testing::Values(
        Case{"", ""}, Case{" \r\n% only a comment\n  %another", ""},
        Case{"BT /F1 12 Tf (Hi) Tj ET", "BT; /F1 12 Tf; (Hi) Tj; ET"},
        Case{"q 1 0 0 1 72.5 -.5 cm Q", "q; 1 0 0 1 72.5 -0.5 cm; Q"},
        // the end of the data inside a comment or a truncated token is just the end
        Case{"ET % no line end", "ET"}, Case{"ET <4142", "ET"},
        // references need a look-ahead of two tokens; anything else is re-read as is
        Case{"5 0 R Do", "="}, Case{"5 0 Td", "="}, Case{"1 2 3 0 R x", "="}, Case{"1 R x", "1 R; x"},
        Case{"4294967295 65535 R Do", "="}, Case{"[1 0 R 2 0 R 3] x", "="},
        Case{"1 2 R 3 R x", "1 2 R 3 R; x"}, Case{"/F 1 0 R Tf 1 0 R (a) Tj 7 1 0 R (b) '", "/F 1 0 R Tf; 1 0 R (a) Tj; 7 1 0 R (b) '"},
        Case{"1 0 [] R x", "1 0 [] R; x"}, Case{"[5 [1 0 R] 2 0 R (a)] TJ", "[5 [1 0 R] 2 0 R (a)] TJ"},
        Case{"<</A [1 0 R 3] /B 2 0 R /C 4>> 5 0 R BDC", "<< /A [1 0 R 3] /B 2 0 R /C 4 >> 5 0 R BDC"},
        Case{"<</A 7 0 R /B 8>> x", "<< /A 7 0 R /B 8 >> x"}, Case{"[ (A) -250 (B) ] TJ", "[(A) -250 (B)] TJ"},
        Case{"<</A 1 /A 2 /B [[] <<>>]>> x", "<< /A 2 /B [[] << >>] >> x"},
        // true, false and null are values, also inside arrays and dictionaries
        Case{"true false null x", "="},
        Case{"[true false null] <</IM true /N null>> BDC", "[true false null] << /IM true /N null >> BDC"},
        // inline images: the data is skipped raw up to a free-standing EI
        Case{"q BI /W 4 /H 1 /IM true /F [/AHx] ID \x01)(\xff\x01" "EI EIx aEI \nEI Q",
             "q; BI; /W 4 /H 1 /IM true /F [/AHx] ID; EI; Q"},
        Case{"BI ID EI EI", "BI; ID; EI; EI"}, Case{"BI ID >> EI", "BI; ID; EI"},
        Case{"BI ID x EI/X Do", "BI; ID; EI; /X Do"}, Case{"BI /W 1 ID \x80(\n EI\x80", "BI; /W 1 ID"},
        Case{"BI /W 1 ID", "BI; /W 1 ID"},
        // text operands: nested arrays and dictionaries hold no shown strings
        Case{"[[(a)] (b)] TJ <</A (x)>> Tj 1 Tf /F (y) 2 \" (z) '", "[[(a)] (b)] TJ; << /A (x) >> Tj; 1 Tf; /F (y) 2 \"; (z) '"}));

INSTANTIATE_TEST_SUITE_P(
    Errors, Content,
    ::testing::Values(
        Case{"1 0 0 1 0 0", at(11, "content stream ended with dangling operands")},
        Case{"q 5 <41", at(7, "content stream ended with dangling operands")},
        Case{"[ foo ] TJ", at(5, "unexpected content token Keyword([102, 111, 111])")},
        Case{"[ R ] TJ", at(3, "unexpected content token Keyword([82])")},
        Case{"q ] Q", at(3, "unexpected content token ArrayEnd")},
        Case{">> x", at(2, "unexpected content token DictEnd")},
        Case{"<</A>> x", at(6, "unexpected content token DictEnd")},
        Case{"<< 1 2 >> x", at(3, "expected content dictionary key")},
        Case{"4294967296 0 R Do", at(10, "invalid object number")},
        Case{"[-1 0 R] x", at(3, "invalid object number")}, Case{"[1 2 R 3 R] x", at(10, "unexpected content token Keyword([82])")},
        Case{"<</A 1 2 R 3 R>> x", at(11, "expected content dictionary key")},
        Case{"1 65536 R Do", at(1, "invalid generation")},
        // inside an array the end of the data is an error, not the end
        Case{"[1 2", "unexpected end of PDF data"}, Case{"<</A 1", "unexpected end of PDF data"},
        // lexer errors pass through, also after a discarded look-ahead
        Case{"5 0 ) x", at(4, "unexpected byte 0x29")},
        Case{std::string(300, '['), at(256, "array or dictionary nesting is too deep")},
        Case{"q " + repeat("<</a", 300), at(1026, "array or dictionary nesting is too deep")}));

TEST(ContentParser, VisitsOperationsBeforeTheError) {
    std::vector<std::string> seen;
    const ContentVisitor visit = [&](std::string_view op, std::vector<Object>& operands) {
        seen.push_back(std::string(op) + std::to_string(operands.size()));
    };
    EXPECT_NE(testing_support::error_of([&] { for_each_content_operation("BT /F1 9 Tf ET [1", visit); }), "no error");
    EXPECT_EQ(seen, (std::vector<std::string>{"BT0", "Tf2", "ET0"}));
}

}  // namespace
}  // namespace quarvel
