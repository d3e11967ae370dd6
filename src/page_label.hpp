// Printed page labels from the catalog's /PageLabels number tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "document.hpp"

namespace quarvel {

enum class PageLabelStyle : std::uint8_t { Decimal, UpperRoman, LowerRoman, UpperLetters, LowerLetters, None };

// One labelling range.
struct PageLabelRule {
    std::string prefix;
    std::uint64_t start_index = 0;  // first page of the range, 0-based
    Integer first_number = 1;       // always positive
    PageLabelStyle style = PageLabelStyle::Decimal;

    static PageLabelRule from_dictionary(std::uint64_t start_index, const Dictionary& dictionary);
    std::string label_for_page(std::uint64_t page_index) const;
};

// Bijective base 26 from `base` ('A' or 'a'): 1 -> A, 26 -> Z, 27 -> AA; 0 -> "".
std::string letters(std::uint64_t n, char base);

// One label per page of the page tree root's /Count.
std::vector<std::string> page_labels(const Document& document);

}  // namespace quarvel
