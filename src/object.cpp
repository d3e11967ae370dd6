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

std::string format_real(double value) {
    // Fixed notation with no precision is the shortest round-trip form; the
    // longest (subnormals) needs about 330 characters.
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

}  // namespace quarvel
