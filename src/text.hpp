// Page text: shown strings decoded through the fonts' ToUnicode CMaps.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "cmap.hpp"

namespace quarvel {

// Appends the text of one shown string: through `cmap` when the font has one,
// else as a PDF text string.
void push_decoded_text(std::string& out, const ToUnicodeCMap* cmap, std::string_view bytes);

// The references section: from the last heading word (references, bibliography,
// or the Chinese heading) to the end of `text`, when it holds enough to be a list.
std::optional<std::string_view> extract_references_section(std::string_view text);

}  // namespace quarvel
