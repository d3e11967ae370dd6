// Page text: shown strings decoded through the fonts' ToUnicode CMaps.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cmap.hpp"
#include "document.hpp"

namespace quarvel {

// Parsed ToUnicode CMaps by font dictionary (null: no such font), which the
// immutable document keeps in place: a font shared by reference or through shared or
// inherited /Resources is parsed once. Lives for one call.
using FontCache = std::map<const Dictionary*, std::optional<ToUnicodeCMap>>;

std::string page_text(const Document& document, const PageRecord& page);
std::vector<std::string> page_texts(const Document& document);
// The text of each of `pages`, all sharing one font cache.
std::vector<std::string> page_texts(const Document& document, const std::vector<PageRecord>& pages);
// Every page's text, joined by line feeds.
std::string text(const Document& document);
// The page's content streams back to back, borrowed when there is one; `joined` holds
// them otherwise. Empty when the page has no /Contents.
std::string_view page_content(const Document& document, const PageRecord& page, std::string& joined);
std::string page_text_with_cache(const Document& document, const PageRecord& page, FontCache& cache);
std::optional<std::string> references_text(const Document& document);

// The font dictionary named `font_name` in `resources` (a page's or a form's), or null
// when there is none; a /Font or font entry that is no dictionary is a TypeMismatch.
const Dictionary* resource_font(const Document& document, const Dictionary* resources, std::string_view font_name);
// The font's parsed ToUnicode CMap, if it has one.
std::optional<ToUnicodeCMap> font_dictionary_to_unicode(const Document& document, const Dictionary& font);

// Appends the text of one shown string: through `cmap` when the font has one,
// else as a PDF text string.
void push_decoded_text(std::string& out, const ToUnicodeCMap* cmap, std::string_view bytes);
// The same for each of `parts` in turn, in one decoding call: the strings of a TJ
// array are often single glyphs.
void push_decoded_texts(std::string& out, const ToUnicodeCMap* cmap, std::span<const std::string_view> parts);

// The references section: from the last heading word (references, bibliography,
// or the Chinese heading) to the end of `text`, when it holds enough to be a list.
std::optional<std::string_view> extract_references_section(std::string_view text);

}  // namespace quarvel
