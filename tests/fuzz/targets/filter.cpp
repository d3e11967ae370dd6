// Each stream filter on its own, the PNG predictor on raw rows, and whole filter
// chains with their decode parameters; no output exceeds the decoded size limit.
#include "filter.hpp"

#include "fuzz_target.hpp"
#include "parser.hpp"

QUARVEL_FUZZ_TARGET(filter) {
    using namespace quarvel;
    fuzz::Reader reader(data);
    const unsigned mode = reader.byte() % 6;
    std::string out;
    switch (mode) {
        case 0: {
            const std::string_view input = reader.rest();
            out = decode_ascii_hex("AHx", input);
            QUARVEL_FUZZ_CHECK(out.size() <= input.size() / 2 + 1);
            break;
        }
        case 1: {
            const std::string_view input = reader.rest();
            out = decode_ascii85("A85", input);
            QUARVEL_FUZZ_CHECK(out.size() <= input.size() * 4);
            break;
        }
        case 2:
            out = decode_run_length("RL", reader.rest());
            break;
        case 3:
            out = decode_flate("Fl", reader.rest(), nullptr);
            break;
        case 4: {
            // Small parameters, so that rows fit the input often enough to be decoded.
            static constexpr Integer kBits[] = {1, 2, 4, 8, 16};
            std::vector<Dictionary::Entry> entries;
            entries.emplace_back("BitsPerComponent", Object(kBits[reader.byte() % 5]));
            entries.emplace_back("Colors", Object(Integer{reader.byte() % 5}));
            entries.emplace_back("Columns", Object(Integer{reader.byte()} << 4 | reader.byte() % 16));
            const Dictionary params(std::move(entries));
            const std::string_view input = reader.rest();
            out = apply_png_predictor("Fl", std::string(input), params);
            QUARVEL_FUZZ_CHECK(out.size() <= input.size());
            break;
        }
        default: {
            // A stream dictionary on the first line, the raw data after it.
            Parser parser(reader.until('\n'));
            Stream stream{parser.parse_dictionary_object(), std::string(reader.rest())};
            std::string owned;
            const std::string_view view = stream.decoded_data_cow(owned);
            QUARVEL_FUZZ_CHECK(view == stream.decoded_data());
            out.assign(view);
            if (stream.filters().empty()) QUARVEL_FUZZ_CHECK(view == stream.data);
            break;
        }
    }
    if (mode != 5) QUARVEL_FUZZ_CHECK(out.size() <= decoded_size_limit());
}
