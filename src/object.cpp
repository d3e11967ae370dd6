#include "object.hpp"

#include <algorithm>
#include <charconv>

namespace quarvel {

std::string ObjectId::to_string() const {
    std::string s = std::to_string(number);
    s += ' ';
    s += std::to_string(generation);
    return s;
}

std::string ObjectId::reference_string() const { return to_string() + " R"; }

Dictionary::Dictionary(std::vector<Entry> entries) : entries_(std::move(entries)) {
    if (std::adjacent_find(entries_.begin(), entries_.end(),
                           [](const Entry& a, const Entry& b) { return a.first >= b.first; }) == entries_.end())
        return;
    *this = from_entries(entries_.data(), entries_.data() + entries_.size());
}

Dictionary Dictionary::from_entries(Entry* first, Entry* last) {
    Dictionary result;
    const auto n = static_cast<std::size_t>(last - first);
    result.entries_.reserve(n);
    if (std::adjacent_find(first, last, [](const Entry& a, const Entry& b) { return a.first >= b.first; }) == last) {
        for (Entry* e = first; e != last; ++e) result.entries_.push_back(std::move(*e));
        return result;
    }
    // Sort positions rather than entries: moving an entry costs far more than an index.
    std::uint32_t small[32];
    std::vector<std::uint32_t> large;
    std::uint32_t* order = small;
    if (n > 32) {
        large.resize(n);
        order = large.data();
    }
    for (std::uint32_t i = 0; i < n; ++i) order[i] = i;
    auto by_key = [first](std::uint32_t a, std::uint32_t b) {
        return std::string_view(first[a].first) < std::string_view(first[b].first);
    };
    if (n <= 32) {
        for (std::size_t i = 1; i < n; ++i)
            for (std::size_t j = i; j > 0 && by_key(order[j], order[j - 1]); --j) std::swap(order[j], order[j - 1]);
    } else {
        std::stable_sort(order, order + n, by_key);
    }
    // Equal keys stay in file order: keep the last of each run.
    for (std::size_t i = 0; i < n; ++i) {
        if (i + 1 < n && first[order[i + 1]].first == first[order[i]].first) continue;
        result.entries_.push_back(std::move(first[order[i]]));
    }
    return result;
}

const Object* Dictionary::get(std::string_view key) const {
    if (entries_.size() <= 8) {
        for (const Entry& e : entries_)
            if (e.first == key) return &e.second;
        return nullptr;
    }
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& e, std::string_view k) { return std::string_view(e.first) < k; });
    if (it != entries_.end() && it->first == key) return &it->second;
    return nullptr;
}

void Dictionary::set(std::string key, Object value) {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), key,
                               [](const Entry& e, const std::string& k) { return e.first < k; });
    if (it != entries_.end() && it->first == key)
        it->second = std::move(value);
    else
        entries_.emplace(it, std::move(key), std::move(value));
}

const char* Object::type_name() const {
    switch (kind()) {
        case Kind::Null: return "null";
        case Kind::Boolean: return "boolean";
        case Kind::Number: return as_integer() ? "integer" : "real";
        case Kind::Name: return "name";
        case Kind::String: return "string";
        case Kind::Array: return "array";
        case Kind::Dictionary: return "dictionary";
        case Kind::Reference: return "reference";
        case Kind::Stream: return "stream";
    }
    return "null";
}

bool Object::as_number(double& out) const {
    if (const Integer* i = as_integer()) {
        out = static_cast<double>(*i);
        return true;
    }
    if (const Real* r = as_real()) {
        out = *r;
        return true;
    }
    return false;
}

std::optional<Rect> rectangle(const Object* value) {
    const Array* array = value ? value->as_array() : nullptr;
    if (array == nullptr || array->size() != 4) return std::nullopt;
    Rect rect;
    for (std::size_t i = 0; i < 4; ++i)
        if (!(*array)[i].as_number(rect[i])) return std::nullopt;
    return rect;
}

std::string format_real(double value) {
    // Fixed notation would print every digit of the binary value beyond 2^53, so take
    // the shortest round-trip digits in scientific form and lay them out in full.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = text.find('e');
    if (e == std::string_view::npos) return std::string(text);  // inf, nan
    const bool negative = text[0] == '-';
    std::string digits;
    for (char c : text.substr(negative ? 1 : 0, e - (negative ? 1 : 0)))
        if (c != '.') digits += c;
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = negative ? "-" : "";
    const auto count = static_cast<int>(digits.size());
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else if (exponent + 1 >= count) {
        out += digits;
        out.append(static_cast<std::size_t>(exponent + 1 - count), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(exponent + 1));
        out += '.';
        out.append(digits, static_cast<std::size_t>(exponent + 1));
    }
    return out;
}

}  // namespace quarvel
