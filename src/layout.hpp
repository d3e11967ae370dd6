// Words and lines from glyph positions: the text state of the content streams
// (form XObjects included), glyph boxes, and the breaks between words and lines.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document.hpp"

namespace quarvel {

struct Word {
    std::string text;
    // Points from the top-left corner of the page's crop box, y growing downwards;
    // /Rotate is not applied.
    double x0 = 0, top = 0, x1 = 0, bottom = 0;
    std::size_t font = 0;  // into PageWords::fonts
    double size = 0;       // effective font size in points
    std::size_t line = 0;  // 0-based on the page
    // First word of a line that follows a vertical gap of more than twice the line height.
    bool gap_before = false;
};

struct PageWords {
    std::vector<Word> words;  // in content order
    // The BaseFont of each font the words use; absent for a font without one (and for
    // text shown with a missing font).
    std::vector<std::optional<std::string>> fonts;
};

// Parsed fonts and form content, shared by the pages of one call.
class LayoutCache {
public:
    LayoutCache();
    ~LayoutCache();
    LayoutCache(const LayoutCache&) = delete;
    LayoutCache& operator=(const LayoutCache&) = delete;

    struct State;
    State& state() { return *state_; }

private:
    std::unique_ptr<State> state_;
};

// Errors as page_text's, plus malformed font width arrays where a width is needed,
// form XObject resources of the wrong type, a form that draws itself (XObjectCycle),
// and more form invocations on one page than 4 x (number of objects) + 65,536.
PageWords page_words(const Document& document, const PageRecord& page);
PageWords page_words_with_cache(const Document& document, const PageRecord& page, LayoutCache& cache);

// Words joined by a space, lines by a line feed, an empty line for a large vertical gap.
std::string words_to_layout_text(const PageWords& words);
std::string page_layout_text(const Document& document, const PageRecord& page);
std::vector<std::string> page_layout_texts(const Document& document);
// Every page's layout text, joined by line feeds.
std::string layout_text(const Document& document);

}  // namespace quarvel
