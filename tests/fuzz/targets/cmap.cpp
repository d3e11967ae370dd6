// ToUnicode CMaps: parsing, then decoding a string through the table. The CMap is
// the input up to the first 0xFF byte, the string what follows.
#include "cmap.hpp"

#include "fuzz_target.hpp"
#include "unicode.hpp"

QUARVEL_FUZZ_TARGET(cmap) {
    quarvel::fuzz::Reader reader(data);
    const std::string_view source = reader.until('\xff');
    const std::string_view shown = reader.rest();
    const quarvel::ToUnicodeCMap cmap = quarvel::ToUnicodeCMap::parse(source);
    const std::string text = cmap.decode(shown);
    // Decoding never fails and always yields valid UTF-8.
    QUARVEL_FUZZ_CHECK(quarvel::lossy_utf8(text) == text);
    if (shown.empty()) QUARVEL_FUZZ_CHECK(text.empty());
    std::string mapped;
    for (std::size_t width = 1; width <= 5 && width <= shown.size(); ++width)
        if (cmap.lookup(shown.substr(0, width), mapped)) QUARVEL_FUZZ_CHECK(quarvel::lossy_utf8(mapped) == mapped);
}
