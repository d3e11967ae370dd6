// Loading: header, startxref, the cross-reference chain and the object table.
#include "document.hpp"

#include <algorithm>
#include <map>
#include <set>

#include "crypt.hpp"
#include "file.hpp"
#include "filter.hpp"
#include "parser.hpp"
#include "trace.hpp"

namespace quarvel {

namespace {

constexpr std::uint64_t kU32Max = 0xFFFFFFFFu;
// Cross-reference entries beyond one per byte of the file (see read_stream_section).
constexpr std::uint64_t kEntrySlack = std::uint64_t{1} << 16;

// The objects and sections of an honest file do not overlap, so reading them all
// reads each byte once. Entries that point into one another (objects nested in
// strings or streams, one object stream index listed many times) would read the
// same bytes again for each, quadratic time and memory for stream copies; past
// twice the bytes there are, plus slack, the cross-reference data is refused.
class ReadBudget {
public:
    explicit ReadBudget(std::uint64_t bytes) : left_(2 * bytes + (std::uint64_t{1} << 16)) {}
    void spend(std::uint64_t from, std::uint64_t to) {
        const std::uint64_t read = to > from ? to - from : 0;
        if (read > left_) throw PdfError::invalid_xref();
        left_ -= read;
    }

private:
    std::uint64_t left_;
};

std::uint64_t required_usize(const Dictionary& dictionary, std::string_view key, std::string_view context) {
    const Object* value = dictionary.get(key);
    if (!value) throw PdfError::missing_entry(context, key);
    const Integer* i = value->as_integer();
    if (!i || *i < 0) throw PdfError::type_mismatch(context, "non-negative integer");
    return static_cast<std::uint64_t>(*i);
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> parse_index_array(const Array& elements) {
    if (elements.size() % 2 != 0) throw PdfError::invalid_xref();
    std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
    pairs.reserve(elements.size() / 2);
    auto u32 = [](const Object& o) {
        const Integer* i = o.as_integer();
        if (!i || *i < 0 || static_cast<std::uint64_t>(*i) > kU32Max) throw PdfError::invalid_xref();
        return static_cast<std::uint32_t>(*i);
    };
    for (std::size_t k = 0; k < elements.size(); k += 2) pairs.emplace_back(u32(elements[k]), u32(elements[k + 1]));
    return pairs;
}

// One entry as read from a section, before sections are merged.
struct SectionEntry {
    ObjectId key;
    XrefEntry entry;
};

struct Section {
    std::vector<SectionEntry> entries;  // in file order; a later duplicate key wins
    Dictionary trailer;
};

Parser parser_at(std::string_view data, std::uint64_t offset) {
    return Parser(data, std::min<std::uint64_t>(offset, data.size()));
}

// `end` is set to the position after the section.
Section read_classic_section(std::string_view data, std::uint64_t offset, std::uint64_t& end) {
    Parser parser = parser_at(data, offset);
    parser.expect_keyword("xref");
    Section section;
    Lexer& lexer = parser.lexer();
    Token token;
    while (true) {
        if (parser.peek_is_keyword("trailer")) {
            parser.expect_keyword("trailer");
            section.trailer = parser.parse_dictionary_object();
            end = parser.pos();
            return section;
        }
        std::uint64_t number = parser.expect_u32();
        std::uint32_t count = parser.expect_u32();
        for (std::uint32_t k = 0; k < count; ++k, ++number) {
            if (number > kU32Max) throw PdfError::invalid_xref();
            std::uint64_t field = parser.expect_u64();
            // Free entries may carry generations above 65535 (writers put 65536 at the
            // head of the free list); they are never dereferenced, so they are clamped.
            lexer.next_token(token);
            if (token.kind != TokenKind::Integer) throw PdfError::invalid_token(token.offset, "expected integer");
            const std::uint64_t generation_offset = token.offset;
            const Integer generation = token.integer;
            const bool generation_ok = generation >= 0 && generation <= 0xFFFF;
            if (!generation_ok && (generation < 0 || !parser.peek_is_keyword("f")))
                throw PdfError::invalid_token(generation_offset, "expected u16 integer");
            const auto gen16 = static_cast<std::uint16_t>(generation_ok ? generation : 0xFFFF);
            const ObjectId key{static_cast<std::uint32_t>(number), gen16};
            if (parser.peek_is_keyword("n")) {
                parser.expect_keyword("n");
                section.entries.push_back({key, XrefInUse{field, gen16}});
            } else if (parser.peek_is_keyword("f")) {
                parser.expect_keyword("f");
                if (field > kU32Max) throw PdfError::invalid_xref();
                section.entries.push_back({key, XrefFree{static_cast<std::uint32_t>(field), gen16}});
            } else {
                throw PdfError::invalid_xref();
            }
        }
    }
}

std::uint64_t read_field(const unsigned char* p, std::uint64_t width) {
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i < width; ++i) value = (value << 8) | p[i];
    return value;
}

Section read_stream_section(std::string_view data, std::uint64_t offset, std::uint64_t& end) {
    QUARVEL_INFO_SPAN(span, trace::kDocumentTarget, "parse_xref_stream", {"offset", offset});
    Parser parser = parser_at(data, offset);
    auto [id, object] = parser.parse_indirect_object();
    (void)id;
    end = parser.pos();
    const Stream* stream = object.as_stream();
    if (!stream) throw PdfError::invalid_xref();
    const Dictionary& dictionary = stream->dictionary;
    const Object* type = dictionary.get("Type");
    if (!type || !type->is_name("XRef")) throw PdfError::invalid_xref();

    const std::uint64_t size = required_usize(dictionary, "Size", "xref stream /Size");

    const Object* w = dictionary.get("W");
    if (!w) throw PdfError::missing_entry("xref stream /W", "W");
    const Array* w_array = w->as_array();
    if (!w_array) throw PdfError::type_mismatch("xref stream /W", "array");
    std::vector<std::uint64_t> widths;
    for (const Object& item : *w_array) {
        const Integer* i = item.as_integer();
        if (!i || *i < 0) throw PdfError::type_mismatch("xref stream /W", "non-negative integer");
        widths.push_back(static_cast<std::uint64_t>(*i));
    }
    if (widths.size() != 3) throw PdfError::invalid_xref();
    std::uint64_t entry_width = 0;
    for (std::uint64_t width : widths) {
        if (__builtin_add_overflow(entry_width, width, &entry_width)) throw PdfError::invalid_xref();
    }
    if (entry_width == 0) throw PdfError::invalid_xref();

    std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
    if (const Object* index_object = dictionary.get("Index")) {
        const Array* elements = index_object->as_array();
        if (!elements) throw PdfError::type_mismatch("xref stream /Index", "array");
        index = parse_index_array(*elements);
    } else {
        if (size > kU32Max) throw PdfError::invalid_xref();
        index.emplace_back(0, static_cast<std::uint32_t>(size));
    }

    std::uint64_t total = 0;
    for (const auto& [first, count] : index) total += count;
    // Each entry takes some 32 bytes in memory but may take one decoded byte, itself a
    // thousandth of a compressed byte. Every object of an honest file takes a byte of
    // it at least, and free entries are few; beyond that the section is refused.
    if (total > data.size() + kEntrySlack) throw PdfError::invalid_xref();
    std::string decoded = stream->decoded_data();

    std::uint64_t needed;
    if (__builtin_mul_overflow(total, entry_width, &needed) || needed > decoded.size())
        throw PdfError::invalid_xref();
    if (total > 0 && (widths[0] > 8 || widths[1] > 8 || widths[2] > 8)) throw PdfError::invalid_xref();

    Section section;
    section.trailer = dictionary;
    section.entries.reserve(total);  // proven by the data length above
    auto* p = reinterpret_cast<const unsigned char*>(decoded.data());
    for (const auto& [first, count] : index) {
        for (std::uint64_t i = 0; i < count; ++i, p += entry_width) {
            const std::uint64_t number = std::uint64_t{first} + i;
            if (number > kU32Max) throw PdfError::invalid_xref();
            const std::uint64_t type_field = widths[0] == 0 ? 1 : read_field(p, widths[0]);
            const std::uint64_t f2 = read_field(p + widths[0], widths[1]);
            const std::uint64_t f3 = read_field(p + widths[0] + widths[1], widths[2]);
            const auto n32 = static_cast<std::uint32_t>(number);
            switch (type_field) {
                case 0:
                    if (f2 > kU32Max || f3 > 0xFFFF) throw PdfError::invalid_xref();
                    section.entries.push_back({{n32, static_cast<std::uint16_t>(f3)},
                                               XrefFree{static_cast<std::uint32_t>(f2), static_cast<std::uint16_t>(f3)}});
                    break;
                case 1:
                    if (f3 > 0xFFFF) throw PdfError::invalid_xref();
                    section.entries.push_back(
                        {{n32, static_cast<std::uint16_t>(f3)}, XrefInUse{f2, static_cast<std::uint16_t>(f3)}});
                    break;
                case 2:
                    if (f2 > kU32Max || f3 > kU32Max) throw PdfError::invalid_xref();
                    section.entries.push_back(
                        {{n32, 0}, XrefCompressed{static_cast<std::uint32_t>(f2), static_cast<std::uint32_t>(f3)}});
                    break;
                default:
                    throw PdfError::invalid_xref();
            }
        }
    }
    return section;
}

struct XrefChain {
    XrefTable entries;
    Dictionary trailer;
};

XrefChain read_xref_chain(std::string_view data, std::uint64_t start_xref) {
    QUARVEL_INFO_SPAN(span, trace::kDocumentTarget, "parse_xref_chain", {"first_offset", start_xref});
    struct Ranked {
        ObjectId key;
        std::uint32_t section;
        std::uint32_t sequence;
        XrefEntry entry;
    };
    std::vector<Ranked> all;
    std::optional<Dictionary> trailer;
    std::set<std::uint64_t> visited;
    ReadBudget budget(data.size());
    std::uint64_t next = start_xref;
    for (std::uint32_t section_index = 0;; ++section_index) {
        // A Prev chain that comes back to a section already read ends there.
        if (!visited.insert(next).second) break;
        const bool classic = next <= data.size() && data.size() - next >= 4 && data.substr(next, 4) == "xref";
        std::uint64_t end = 0;
        Section section = classic ? read_classic_section(data, next, end) : read_stream_section(data, next, end);
        budget.spend(next, end);
        QUARVEL_TRACE_EVENT(trace::kDocumentTarget, "parsed xref section", {"offset", next},
                            {"entries", static_cast<std::uint64_t>(section.entries.size())});
        std::uint32_t sequence = 0;
        if (all.size() + section.entries.size() > data.size() + kEntrySlack) throw PdfError::invalid_xref();
        for (SectionEntry& e : section.entries) all.push_back({e.key, section_index, sequence++, e.entry});
        const Object* prev = section.trailer.get("Prev");
        if (!trailer) trailer = std::move(section.trailer);
        const Integer* prev_offset = prev ? prev->as_integer() : nullptr;
        if (!prev_offset || *prev_offset < 0) break;
        next = static_cast<std::uint64_t>(*prev_offset);
    }
    // Newest section first; within a section the later entry wins.
    std::sort(all.begin(), all.end(), [](const Ranked& a, const Ranked& b) {
        if (a.key != b.key) return a.key < b.key;
        if (a.section != b.section) return a.section < b.section;
        return a.sequence > b.sequence;
    });
    std::vector<XrefTable::Entry> merged;
    merged.reserve(all.size());
    for (const Ranked& r : all)
        if (merged.empty() || merged.back().first != r.key) merged.emplace_back(r.key, r.entry);
    return {XrefTable(std::move(merged)), std::move(*trailer)};
}

// The loaded object under `id`, or null: slots are in key order, compressed ones fill late.
const ObjectTable::Entry* find_loaded(const std::vector<ObjectTable::Entry>& slots, const std::vector<char>& loaded,
                                      ObjectId id) {
    auto it = std::lower_bound(slots.begin(), slots.end(), id,
                               [](const ObjectTable::Entry& e, ObjectId k) { return e.first < k; });
    if (it == slots.end() || it->first != id || !loaded[static_cast<std::size_t>(it - slots.begin())]) return nullptr;
    return &*it;
}

// Runs before object streams are unpacked: their objects are inside the ciphertext.
void decrypt_direct_objects(const Object& encrypt, const Dictionary& trailer, std::vector<ObjectTable::Entry>& slots,
                            const std::vector<char>& loaded) {
    const std::optional<Decryptor> decryptor = Decryptor::open(encrypt, trailer, [&](ObjectId id) -> const Object* {
        const ObjectTable::Entry* entry = find_loaded(slots, loaded, id);
        return entry ? &entry->second : nullptr;
    });
    if (!decryptor) return;
    const ObjectId* encrypt_id = encrypt.as_reference();
    for (std::size_t i = 0; i < slots.size(); ++i)
        if (loaded[i] && !(encrypt_id && slots[i].first == *encrypt_id))
            decryptor->decrypt_object(slots[i].first, slots[i].second);
}

ObjectTable parse_objects(std::string_view data, const XrefTable& xref, const Dictionary& trailer) {
    // One slot per in-use or compressed entry, in key order, so the table comes out
    // sorted without moving objects around; compressed slots fill in pass 2.
    std::vector<ObjectTable::Entry> slots;
    std::vector<char> loaded;
    std::map<std::uint32_t, std::vector<std::pair<std::size_t, std::uint32_t>>> groups;  // slot, index
    Parser parser(data);  // one parser keeps its buffers warm across objects
    ReadBudget budget(data.size());
    for (const auto& [key, entry] : xref) {
        if (const auto* in_use = std::get_if<XrefInUse>(&entry)) {
            const std::uint64_t offset = std::min<std::uint64_t>(in_use->offset, data.size());
            parser.set_pos(offset);
            auto [id, object] = parser.parse_indirect_object();
            budget.spend(offset, parser.pos());
            if (id != key) throw PdfError::invalid_object_header();
            QUARVEL_TRACE_EVENT(trace::kDocumentTarget, "parsed indirect object", {"id", key.to_string()});
            slots.emplace_back(key, std::move(object));
            loaded.push_back(1);
        } else if (const auto* compressed = std::get_if<XrefCompressed>(&entry)) {
            groups[compressed->object_stream].emplace_back(slots.size(), compressed->index);
            slots.emplace_back(key, Object());
            loaded.push_back(0);
        }
    }

    if (const Object* encrypt = trailer.get("Encrypt")) decrypt_direct_objects(*encrypt, trailer, slots, loaded);

    for (auto& [stream_number, members] : groups) {
        // Only what is loaded by now can own a group: a compressed owner either comes
        // later or is a plain object, never a stream.
        const ObjectId owner_id{stream_number, 0};
        const ObjectTable::Entry* owner = find_loaded(slots, loaded, owner_id);
        if (!owner) throw PdfError::dangling_reference(owner_id);
        const Stream* stream = owner->second.as_stream();
        if (!stream) throw PdfError::type_mismatch("object stream", "stream");
        const Object* type = stream->dictionary.get("Type");
        if (!type || !type->is_name("ObjStm")) throw PdfError::type_mismatch("compressed object owner", "/ObjStm");
        const std::uint64_t n = required_usize(stream->dictionary, "N", "object stream /N");
        const std::uint64_t first = required_usize(stream->dictionary, "First", "object stream /First");
        const std::string decoded = stream->decoded_data();
        if (first > decoded.size()) throw PdfError::invalid_object_header();

        // Grown as pairs are read: /N alone proves nothing about the data.
        std::vector<std::uint32_t> offsets;
        Parser header(std::string_view(decoded).substr(0, first));
        for (std::uint64_t i = 0; i < n; ++i) {
            header.expect_u32();
            offsets.push_back(header.expect_u32());
        }
        Parser body(decoded);
        ReadBudget stream_budget(decoded.size());
        for (const auto& [slot, index] : members) {
            if (index >= offsets.size()) throw PdfError::invalid_object_header();
            const std::uint64_t position = first + offsets[index];
            if (position > decoded.size()) throw PdfError::invalid_object_header();
            body.set_pos(position);
            slots[slot].second = body.parse_object();
            stream_budget.spend(position, body.pos());
        }
        for (const auto& [slot, index] : members) {
            QUARVEL_TRACE_EVENT(trace::kDocumentTarget, "parsed compressed object", {"id", slots[slot].first.to_string()},
                                {"object_stream", std::uint64_t{stream_number}}, {"index", std::uint64_t{index}});
            loaded[slot] = 1;
        }
    }
    return ObjectTable(std::move(slots));
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

Document Document::parse(std::string_view bytes) {
    QUARVEL_INFO_SPAN(span, trace::kDocumentTarget, "parse", {"bytes", static_cast<std::uint64_t>(bytes.size())});
    if (bytes.size() < 8 || bytes.substr(0, 5) != "%PDF-" || !is_digit(bytes[5]) || bytes[6] != '.' ||
        !is_digit(bytes[7]))
        throw PdfError::invalid_header();
    Document document;
    document.version = {static_cast<std::uint8_t>(bytes[5] - '0'), static_cast<std::uint8_t>(bytes[7] - '0')};

    const std::size_t keyword = bytes.rfind("startxref");
    if (keyword == std::string_view::npos) throw PdfError::invalid_startxref();
    Parser parser(bytes, keyword);
    parser.expect_keyword("startxref");
    try {
        document.start_xref = parser.expect_u64();
    } catch (const PdfError&) {
        throw PdfError::invalid_startxref();
    }
    QUARVEL_TRACE_EVENT(trace::kDocumentTarget, "parsed PDF header and startxref",
                        {"version", std::to_string(document.version.major) + "." +
                                        std::to_string(document.version.minor)},
                        {"start_xref", document.start_xref});

    XrefChain chain = read_xref_chain(bytes, document.start_xref);
    document.xref = std::move(chain.entries);
    document.trailer = std::move(chain.trailer);
    document.objects = parse_objects(bytes, document.xref, document.trailer);
    QUARVEL_TRACE_EVENT(trace::kDocumentTarget, "parsed PDF object graph",
                        {"xref_entries", static_cast<std::uint64_t>(document.xref.size())},
                        {"objects", static_cast<std::uint64_t>(document.objects.size())});
    return document;
}

Document Document::parse_mmap_file(const std::string& path) {
    const MappedFile file(path);
    return parse(file.bytes());
}

PdfVersion Document::effective_version() const {
    const Dictionary& root = catalog();
    const Object* value = root.get("Version");
    if (!value) return version;
    const std::string* name = value->as_name();
    if (!name) throw PdfError::type_mismatch("catalog /Version", "name");
    if (name->size() != 3 || !is_digit((*name)[0]) || (*name)[1] != '.' || !is_digit((*name)[2]))
        throw PdfError::type_mismatch("catalog /Version", "name in the form /1.N");
    return {static_cast<std::uint8_t>((*name)[0] - '0'), static_cast<std::uint8_t>((*name)[2] - '0')};
}

const Object& Document::resolve(const Object& object) const {
    const ObjectId* id = object.as_reference();
    if (!id) return object;
    const Object* target = find(*id);
    if (!target) throw PdfError::dangling_reference(*id);
    return *target;
}

const Dictionary& Document::resolve_to_dictionary(const Object& object, std::string_view context) const {
    const Dictionary* dictionary = resolve(object).as_dictionary_like();
    if (!dictionary) throw PdfError::type_mismatch(context, "dictionary");
    return *dictionary;
}

const Dictionary& Document::catalog() const {
    const Object* root = trailer.get("Root");
    if (!root) throw PdfError::missing_entry("trailer", "Root");
    return resolve_to_dictionary(*root, "trailer /Root");
}

}  // namespace quarvel
