// The PDF object model: plain value types that own all their bytes.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace quarvel {

struct ObjectId {
    std::uint32_t number = 0;
    std::uint16_t generation = 0;

    friend constexpr auto operator<=>(const ObjectId&, const ObjectId&) = default;
    // "12 0"
    std::string to_string() const;
    // "12 0 R"
    std::string reference_string() const;
};

struct Null {
    friend constexpr bool operator==(Null, Null) { return true; }
};

// Integer or Real; the lexer decides which and the two are never merged.
using Integer = std::int64_t;
using Real = double;
using Number = std::variant<Integer, Real>;

struct Name {
    std::string bytes;  // without the leading '/', escapes decoded
    friend bool operator==(const Name&, const Name&) = default;
};

struct String {
    std::string bytes;  // decoded bytes, no text decoding applied
    friend bool operator==(const String&, const String&) = default;
};

struct Object;
using Array = std::vector<Object>;

// Sorted by key bytes; lookups are exact byte comparisons.
class Dictionary {
public:
    using Entry = std::pair<std::string, Object>;

    Dictionary() = default;
    // Entries in any order; for a repeated key the last one wins.
    explicit Dictionary(std::vector<Entry> entries);
    // The same from a range whose entries are moved out; each is moved once.
    static Dictionary from_entries(Entry* first, Entry* last);

    const Object* get(std::string_view key) const;
    bool contains(std::string_view key) const { return get(key) != nullptr; }
    // Replaces an existing value.
    void set(std::string key, Object value);
    // Values may change in place; the keys, and with them the order, stay.
    template <class F>
    void for_each_value(F&& f);

    // Defined below Object: clang instantiates the pair type at a body in the class.
    std::size_t size() const;
    bool empty() const;
    std::vector<Entry>::const_iterator begin() const;
    std::vector<Entry>::const_iterator end() const;

    friend bool operator==(const Dictionary&, const Dictionary&);

private:
    std::vector<Entry> entries_;
};

struct Stream {
    Dictionary dictionary;
    std::string data;  // raw bytes between `stream` and `endstream`, still encoded
    friend bool operator==(const Stream&, const Stream&) = default;

    // Defined by the filter module.
    std::vector<std::string_view> filters() const;
    // Empty chain: a view of `data`; otherwise the decoded bytes in `owned`.
    std::string_view decoded_data_cow(std::string& owned) const;
    std::string decoded_data() const;
};

// Streams are few but large: boxing them keeps every other object small (40
// bytes instead of 64), which the parser and every array feel.
class StreamBox {
public:
    StreamBox(Stream stream) : stream_(std::make_unique<Stream>(std::move(stream))) {}
    StreamBox(const StreamBox& other) : stream_(std::make_unique<Stream>(*other.stream_)) {}
    StreamBox(StreamBox&&) noexcept = default;
    StreamBox& operator=(const StreamBox& other) {
        stream_ = std::make_unique<Stream>(*other.stream_);
        return *this;
    }
    StreamBox& operator=(StreamBox&&) noexcept = default;

    const Stream& get() const { return *stream_; }
    Stream& get() { return *stream_; }
    friend bool operator==(const StreamBox& a, const StreamBox& b) { return *a.stream_ == *b.stream_; }

private:
    std::unique_ptr<Stream> stream_;
};

enum class Kind : std::uint8_t { Null, Boolean, Number, Name, String, Array, Dictionary, Reference, Stream };

struct Object {
    using Value = std::variant<Null, bool, Number, Name, String, Array, Dictionary, ObjectId, StreamBox>;
    Value value;

    Object() = default;
    Object(Null) {}
    Object(bool b) : value(b) {}
    Object(Integer i) : value(Number{i}) {}
    Object(int i) : value(Number{Integer{i}}) {}
    Object(Real r) : value(Number{r}) {}
    Object(Name n) : value(std::move(n)) {}
    Object(String s) : value(std::move(s)) {}
    Object(Array a) : value(std::move(a)) {}
    Object(Dictionary d) : value(std::move(d)) {}
    Object(ObjectId id) : value(id) {}
    Object(Stream s) : value(StreamBox(std::move(s))) {}

    Kind kind() const { return static_cast<Kind>(value.index()); }
    // "null", "boolean", "integer", "real", "name", "string", "array", "dictionary", "reference", "stream"
    const char* type_name() const;

    bool is_null() const { return kind() == Kind::Null; }
    const bool* as_bool() const { return std::get_if<bool>(&value); }
    const Integer* as_integer() const;
    const Real* as_real() const;
    // Integer or Real as a double.
    bool as_number(double& out) const;
    const std::string* as_name() const;
    const std::string* as_string() const;
    const Array* as_array() const { return std::get_if<Array>(&value); }
    const Dictionary* as_dictionary() const { return std::get_if<Dictionary>(&value); }
    const ObjectId* as_reference() const { return std::get_if<ObjectId>(&value); }
    const Stream* as_stream() const {
        const StreamBox* box = std::get_if<StreamBox>(&value);
        return box ? &box->get() : nullptr;
    }
    // A dictionary, or the dictionary of a stream.
    const Dictionary* as_dictionary_like() const;

    bool is_name(std::string_view n) const {
        const std::string* s = as_name();
        return s && *s == n;
    }

    friend bool operator==(const Object&, const Object&) = default;
};

inline bool operator==(const Dictionary& a, const Dictionary& b) { return a.entries_ == b.entries_; }
inline std::size_t Dictionary::size() const { return entries_.size(); }
inline bool Dictionary::empty() const { return entries_.empty(); }
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::begin() const { return entries_.begin(); }
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::end() const { return entries_.end(); }

template <class F>
void Dictionary::for_each_value(F&& f) {
    for (Entry& entry : entries_) f(entry.second);
}

inline const Integer* Object::as_integer() const {
    const Number* n = std::get_if<Number>(&value);
    return n ? std::get_if<Integer>(n) : nullptr;
}
inline const Real* Object::as_real() const {
    const Number* n = std::get_if<Number>(&value);
    return n ? std::get_if<Real>(n) : nullptr;
}
inline const std::string* Object::as_name() const {
    const Name* n = std::get_if<Name>(&value);
    return n ? &n->bytes : nullptr;
}
inline const std::string* Object::as_string() const {
    const String* s = std::get_if<String>(&value);
    return s ? &s->bytes : nullptr;
}
inline const Dictionary* Object::as_dictionary_like() const {
    if (const Dictionary* d = as_dictionary()) return d;
    if (const Stream* s = as_stream()) return &s->dictionary;
    return nullptr;
}

struct PdfVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    friend constexpr bool operator==(const PdfVersion&, const PdfVersion&) = default;
};

struct XrefFree {
    std::uint32_t next = 0;
    std::uint16_t generation = 0;
    friend constexpr bool operator==(const XrefFree&, const XrefFree&) = default;
};
struct XrefInUse {
    std::uint64_t offset = 0;
    std::uint16_t generation = 0;
    friend constexpr bool operator==(const XrefInUse&, const XrefInUse&) = default;
};
struct XrefCompressed {
    std::uint32_t object_stream = 0;
    std::uint32_t index = 0;
    friend constexpr bool operator==(const XrefCompressed&, const XrefCompressed&) = default;
};
using XrefEntry = std::variant<XrefFree, XrefInUse, XrefCompressed>;

// A rectangle or box: an array of exactly four direct numbers, in stored order;
// anything else (a reference included) is no box.
using Rect = std::array<double, 4>;
std::optional<Rect> rectangle(const Object* value);

// Shortest decimal text that reads back as the same double, never in exponent
// form, no trailing ".0" for whole numbers: 1.0 -> "1", -0.0 -> "-0".
std::string format_real(double value);

}  // namespace quarvel
