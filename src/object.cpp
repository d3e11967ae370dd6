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

namespace {
bool key_less(const Dictionary::Entry& a, const Dictionary::Entry& b) { return a.first < b.first; }
}  // namespace

Dictionary::Dictionary(std::vector<Entry> entries) : entries_(std::move(entries)) {
    if (std::adjacent_find(entries_.begin(), entries_.end(),
                           [](const Entry& a, const Entry& b) { return a.first >= b.first; }) == entries_.end())
        return;
    std::stable_sort(entries_.begin(), entries_.end(), key_less);
    // Keep the last of each run of equal keys.
    std::size_t out = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i + 1 < entries_.size() && entries_[i + 1].first == entries_[i].first) continue;
        if (out != i) entries_[out] = std::move(entries_[i]);
        ++out;
    }
    entries_.resize(out);
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
