// The object parser, in each of its entry points; every object it returns serialises
// to text that parses back to an object with the same serialisation.
#include "parser.hpp"

#include "fuzz_target.hpp"
#include "writer.hpp"

namespace {

bool has_stream(const quarvel::Object& object) {
    if (object.as_stream()) return true;
    if (const auto* array = object.as_array())
        for (const auto& item : *array)
            if (has_stream(item)) return true;
    if (const auto* dictionary = object.as_dictionary())
        for (const auto& [key, value] : *dictionary)
            if (has_stream(value)) return true;
    return false;
}

// Parses the whole of `text` as one object.
quarvel::Object reparse(const std::string& text) {
    quarvel::Parser parser(text);
    quarvel::Object object = parser.parse_object();
    parser.lexer().skip_ws_and_comments();
    QUARVEL_FUZZ_CHECK(parser.pos() == text.size());
    return object;
}

void check_round_trip(const quarvel::Object& object) {
    if (has_stream(object)) return;
    const std::string first = quarvel::object_literal(object);
    // The first pass may turn a whole Real into an Integer; after that it is stable.
    const std::string second = quarvel::object_literal(reparse(first));
    QUARVEL_FUZZ_CHECK(quarvel::object_literal(reparse(second)) == second);
}

}  // namespace

QUARVEL_FUZZ_TARGET(parser) {
    quarvel::fuzz::Reader reader(data);
    const unsigned mode = reader.byte() % 3;
    const std::string_view input = reader.rest();
    quarvel::Parser parser(input);
    // Each successful call consumes at least one token.
    for (std::size_t steps = 0; steps <= input.size(); ++steps) {
        const std::uint64_t before = parser.pos();
        switch (mode) {
            case 0:
                check_round_trip(parser.parse_object());
                break;
            case 1: {
                auto [id, object] = parser.parse_indirect_object();
                (void)id;
                check_round_trip(object);
                break;
            }
            default:
                if (parser.peek_is_keyword("obj")) parser.expect_keyword("obj");
                parser.expect_u64();
                check_round_trip(parser.parse_dictionary_object());
                break;
        }
        QUARVEL_FUZZ_CHECK(parser.pos() > before && parser.pos() <= input.size());
    }
}
