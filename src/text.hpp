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

// Which font a cached ToUnicode CMap belongs to: the font object when the resource
// entry is a reference, else the page and the resource name.
struct FontCacheKey {
    ObjectId id;
    std::optional<std::string> name;
    friend auto operator<=>(const FontCacheKey&, const FontCacheKey&) = default;
};
// Lives for one call, so that the pages of that call share parsed CMaps.
using FontCache = std::map<FontCacheKey, std::optional<ToUnicodeCMap>>;

std::string page_text(const Document& document, const PageRecord& page);
std::vector<std::string> page_texts(const Document& document);
// The text of each of `pages`, all sharing one font cache.
std::vector<std::string> page_texts(const Document& document, const std::vector<PageRecord>& pages);
// Every page's text, joined by line feeds.
std::string text(const Document& document);
std::string page_text_with_cache(const Document& document, const PageRecord& page, FontCache& cache);
FontCacheKey font_cache_key(const Document& document, const PageRecord& page, std::string_view font_name);
std::optional<ToUnicodeCMap> font_to_unicode(const Document& document, const PageRecord& page,
                                             std::string_view font_name);
std::optional<std::string> references_text(const Document& document);

// The font dictionary named `font_name` in `resources` (a page's or a form's), or null
// when there is none; type mismatches and dangling references as font_to_unicode.
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
