#include "page_label.hpp"

#include <algorithm>

#include "filter.hpp"
#include "name_tree.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

// Roman numerals grow with the number (4000 is MMMM); a number this large, which only
// an absurd /St gives, is written in decimal so that a label stays short.
constexpr std::uint64_t kMaxRoman = 100000;

std::string roman(std::uint64_t n, bool lower) {
    static constexpr struct {
        std::uint64_t value;
        const char* symbol;
    } kTable[] = {{1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
                  {40, "XL"},  {10, "X"},   {9, "IX"},  {5, "V"},    {4, "IV"},  {1, "I"}};
    if (n >= kMaxRoman) return std::to_string(n);
    std::string out;
    for (const auto& [value, symbol] : kTable) {
        for (; n >= value; n -= value) out += symbol;
    }
    if (lower) {
        for (char& c : out) c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

std::string letters(std::uint64_t n, char base) {
    std::string out;
    while (n > 0) {
        const std::uint64_t d = n - 1;
        out += static_cast<char>(base + d % 26);
        n = d / 26;
    }
    std::reverse(out.begin(), out.end());
    return out;
}

PageLabelRule PageLabelRule::from_dictionary(std::uint64_t start_index, const Dictionary& dictionary) {
    PageLabelRule rule;
    rule.start_index = start_index;
    rule.style = PageLabelStyle::None;
    if (const Object* s = dictionary.get("S")) {
        const std::string* name = s->as_name();
        if (!name) throw PdfError::type_mismatch("page label /S", "name");
        static constexpr std::pair<char, PageLabelStyle> kStyles[] = {
            {'D', PageLabelStyle::Decimal},      {'R', PageLabelStyle::UpperRoman},
            {'r', PageLabelStyle::LowerRoman},   {'A', PageLabelStyle::UpperLetters},
            {'a', PageLabelStyle::LowerLetters}};
        const auto* style = std::find_if(std::begin(kStyles), std::end(kStyles),
                                         [&](const auto& entry) { return name->size() == 1 && (*name)[0] == entry.first; });
        if (style == std::end(kStyles)) throw PdfError::type_mismatch("page label /S", "/D, /R, /r, /A, or /a");
        rule.style = style->second;
    }
    if (const Object* p = dictionary.get("P")) {
        const std::string* prefix = p->as_string();
        if (!prefix) throw PdfError::type_mismatch("page label /P", "string");
        rule.prefix = decode_text_string(*prefix);
    }
    if (const Object* st = dictionary.get("St")) {
        const Integer* first = st->as_integer();
        if (!first || *first <= 0) throw PdfError::type_mismatch("page label /St", "positive integer");
        rule.first_number = *first;
    }
    return rule;
}

std::string PageLabelRule::label_for_page(std::uint64_t page_index) const {
    if (style == PageLabelStyle::None) return prefix;
    // Unsigned: a first number near the top of the signed range plus the page offset fits.
    const std::uint64_t n =
        (page_index > start_index ? page_index - start_index : 0) + static_cast<std::uint64_t>(first_number);
    switch (style) {
        case PageLabelStyle::Decimal: return prefix + std::to_string(n);
        case PageLabelStyle::UpperRoman: return prefix + roman(n, false);
        case PageLabelStyle::LowerRoman: return prefix + roman(n, true);
        case PageLabelStyle::UpperLetters: return prefix + letters(n, 'A');
        case PageLabelStyle::LowerLetters: return prefix + letters(n, 'a');
        case PageLabelStyle::None: break;
    }
    return prefix;
}

std::vector<std::string> page_labels(const Document& document) {
    const std::uint64_t count = document.page_count();
    // The count is only claimed; no walk of the page tree can yield more pages than this.
    if (count > document.visit_limit())
        throw PdfError::type_mismatch("page tree root /Count", "page count of bounded size");
    const Dictionary& catalog = document.catalog();

    std::vector<PageLabelRule> rules;
    if (const Object* tree = catalog.get("PageLabels")) {
        NumberTreeEntries entries;
        VisitedObjects visited;
        collect_number_tree(document, *tree, "catalog /PageLabels", entries, visited);
        rules.reserve(entries.size());
        for (const auto& [key, value] : entries) {
            if (key < 0) throw PdfError::type_mismatch("page label index", "non-negative integer");
            const Dictionary* dictionary = value->as_dictionary_like();
            if (!dictionary) throw PdfError::type_mismatch("page label value", "dictionary");
            rules.push_back(PageLabelRule::from_dictionary(static_cast<std::uint64_t>(key), *dictionary));
        }
    }

    const PageLabelRule default_rule;
    const PageLabelRule* current = &default_rule;
    std::size_t next_rule = 0;
    std::vector<std::string> labels;
    labels.reserve(count);
    // Every page repeats its rule's prefix: a long prefix over a large claimed /Count
    // would otherwise make the labels quadratic in the file's size.
    const std::size_t limit = decoded_size_limit();
    std::size_t total = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        while (next_rule < rules.size() && rules[next_rule].start_index <= i) current = &rules[next_rule++];
        labels.push_back(current->label_for_page(i));
        total += labels.back().size();
        if (total > limit) throw PdfError::type_mismatch("catalog /PageLabels", "page labels within the size limit");
    }
    return labels;
}

}  // namespace quarvel
