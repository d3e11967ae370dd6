// Standard security handler (ISO 32000-1 7.6.3, ISO 32000-2 7.6.4) for the empty user
// password. Anything this handler does not accept leaves the file as stored.
#include "crypt.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace quarvel {

namespace {

using Bytes = std::string_view;

const unsigned char kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                    0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                    0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
constexpr std::size_t kBlock = 16;

const unsigned char* bytes_of(Bytes b) { return reinterpret_cast<const unsigned char*>(b.data()); }
Bytes view_of(const unsigned char* p, std::size_t n) { return {reinterpret_cast<const char*>(p), n}; }

// OpenSSL fails here only when it cannot allocate.
void check(int ok) {
    if (ok != 1) throw std::bad_alloc();
}

struct DigestContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};

// Hash of the concatenated parts; returns the digest length.
unsigned digest(const EVP_MD* md, std::initializer_list<Bytes> parts, unsigned char* out) {
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> ctx(EVP_MD_CTX_new());
    if (!ctx) throw std::bad_alloc();
    check(EVP_DigestInit_ex(ctx.get(), md, nullptr));
    for (Bytes part : parts) check(EVP_DigestUpdate(ctx.get(), part.data(), part.size()));
    unsigned length = 0;
    check(EVP_DigestFinal_ex(ctx.get(), out, &length));
    return length;
}

// CBC over whole blocks without padding; `in` may equal `out`.
void aes_cbc(bool encrypt, Bytes key, const unsigned char* iv, const unsigned char* in, unsigned char* out,
             std::size_t size) {
    const EVP_CIPHER* cipher = key.size() == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc();
    std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) throw std::bad_alloc();
    check(EVP_CipherInit_ex(ctx.get(), cipher, nullptr, bytes_of(key), iv, encrypt ? 1 : 0));
    check(EVP_CIPHER_CTX_set_padding(ctx.get(), 0));
    // OpenSSL counts in int: hand over whole blocks in pieces.
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    while (size > 0) {
        const std::size_t n = std::min(size, kChunk);
        int written = 0;
        check(EVP_CipherUpdate(ctx.get(), out, &written, in, static_cast<int>(n)));
        in += n;
        out += n;
        size -= n;
    }
}

void put_le32(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Algorithm 2: the file key from the empty password, for revisions 2 to 4.
Decryptor::Key legacy_file_key(Bytes owner, std::uint32_t permissions, Bytes id, std::size_t key_length, int revision,
                               bool encrypt_metadata) {
    unsigned char p[4];
    put_le32(p, permissions);
    const unsigned char no_metadata[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const bool skip_metadata = revision >= 4 && !encrypt_metadata;
    unsigned char hash[EVP_MAX_MD_SIZE];
    digest(EVP_md5(),
           {view_of(kPadding, 32), owner, view_of(p, 4), id, skip_metadata ? view_of(no_metadata, 4) : Bytes()}, hash);
    if (revision >= 3)
        for (int i = 0; i < 50; ++i) digest(EVP_md5(), {view_of(hash, key_length)}, hash);
    Decryptor::Key key{};
    std::memcpy(key.data(), hash, key_length);
    return key;
}

// Algorithms 4 and 5: does the empty password reproduce /U?
bool legacy_user_password_ok(Bytes key, Bytes user, Bytes id, int revision) {
    unsigned char check_value[32];
    if (revision == 2) {
        std::memcpy(check_value, kPadding, 32);
        rc4(key, check_value, 32);
        return std::memcmp(check_value, user.data(), 32) == 0;
    }
    digest(EVP_md5(), {view_of(kPadding, 32), id}, check_value);
    unsigned char round_key[16];
    for (int round = 0; round < 20; ++round) {
        for (std::size_t i = 0; i < key.size(); ++i) round_key[i] = static_cast<unsigned char>(key[i] ^ round);
        rc4(view_of(round_key, key.size()), check_value, 16);
    }
    return std::memcmp(check_value, user.data(), 16) == 0;
}

// Algorithm 2.B for the empty password (revision 6), or one SHA-256 (revision 5).
void aes_password_hash(Bytes salt, int revision, unsigned char* out) {
    unsigned char k[64];
    unsigned k_length = digest(EVP_sha256(), {salt}, k);
    if (revision == 5) {
        std::memcpy(out, k, 32);
        return;
    }
    std::vector<unsigned char> e;
    for (unsigned round = 1;; ++round) {
        std::vector<unsigned char> k1;
        k1.reserve(64 * k_length);
        for (int i = 0; i < 64; ++i) k1.insert(k1.end(), k, k + k_length);
        e.resize(k1.size());
        aes_cbc(true, view_of(k, 16), k + 16, k1.data(), e.data(), k1.size());
        unsigned sum = 0;
        for (std::size_t i = 0; i < 16; ++i) sum += e[i];
        static const EVP_MD* const kHashes[3] = {EVP_sha256(), EVP_sha384(), EVP_sha512()};
        k_length = digest(kHashes[sum % 3], {view_of(e.data(), e.size())}, k);
        if (round >= 64 && e.back() <= round - 32) break;
    }
    std::memcpy(out, k, 32);
}

// Every entry read from the encryption dictionary is resolved once, against the
// directly stored objects only; a reference to anything else reads as null, which is
// never the type an entry needs.
class EntryReader {
public:
    EntryReader(const DirectObjectLookup& lookup) : lookup_(lookup) {}

    const Object* resolve(const Object* value) const {
        if (!value) return nullptr;
        const ObjectId* id = value->as_reference();
        if (!id) return value;
        const Object* target = lookup_(*id);
        return target ? target : &null_;
    }
    const Object* get(const Dictionary& dictionary, std::string_view key) const { return resolve(dictionary.get(key)); }
    const Integer* integer(const Dictionary& d, std::string_view key) const {
        const Object* v = get(d, key);
        return v ? v->as_integer() : nullptr;
    }
    const std::string* string(const Dictionary& d, std::string_view key) const {
        const Object* v = get(d, key);
        return v ? v->as_string() : nullptr;
    }

private:
    const DirectObjectLookup& lookup_;
    Object null_;
};

// The method of crypt filter `name` (StmF, StrF), or nothing when it does not qualify.
std::optional<CryptMethod> crypt_filter_method(const EntryReader& reader, const Dictionary& filters, const Object* name,
                                               int version) {
    if (!name) return CryptMethod::Identity;
    const std::string* filter = name->as_name();
    if (!filter) return std::nullopt;
    if (*filter == "Identity") return CryptMethod::Identity;
    const Object* entry = reader.get(filters, *filter);
    const Dictionary* dictionary = entry ? entry->as_dictionary() : nullptr;
    if (!dictionary) return std::nullopt;
    const Object* method = reader.get(*dictionary, "CFM");
    if (!method) return std::nullopt;
    if (version == 4 && method->is_name("V2")) return CryptMethod::Rc4;
    if (version == 4 && method->is_name("AESV2")) return CryptMethod::Aes128;
    if (version == 5 && method->is_name("AESV3")) return CryptMethod::Aes256;
    return std::nullopt;
}

}  // namespace

void rc4(std::string_view key, unsigned char* data, std::size_t size) {
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    unsigned char j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = static_cast<unsigned char>(j + s[i] + static_cast<unsigned char>(key[i % key.size()]));
        std::swap(s[i], s[j]);
    }
    unsigned char a = 0, b = 0;
    for (std::size_t n = 0; n < size; ++n) {
        a = static_cast<unsigned char>(a + 1);
        b = static_cast<unsigned char>(b + s[a]);
        std::swap(s[a], s[b]);
        data[n] ^= s[static_cast<unsigned char>(s[a] + s[b])];
    }
}

void aes_cbc_decrypt(std::string_view key, std::string& data) {
    if (data.size() < 2 * kBlock) {
        data.clear();
        return;
    }
    std::size_t size = (data.size() - kBlock) / kBlock * kBlock;
    auto* p = reinterpret_cast<unsigned char*>(data.data());
    aes_cbc(false, key, p, p + kBlock, p + kBlock, size);
    const unsigned pad = p[kBlock + size - 1];
    if (pad >= 1 && pad <= kBlock &&
        std::all_of(p + kBlock + size - pad, p + kBlock + size, [pad](unsigned char c) { return c == pad; }))
        size -= pad;
    data.erase(0, kBlock);
    data.resize(size);
}

std::optional<Decryptor> Decryptor::open(const Object& encrypt, const Dictionary& trailer,
                                         const DirectObjectLookup& lookup) {
    const EntryReader reader(lookup);
    const Object* encrypt_object = reader.resolve(&encrypt);
    const Dictionary* dictionary = encrypt_object->as_dictionary();
    if (!dictionary) return std::nullopt;
    const Dictionary& d = *dictionary;
    const Object* filter = reader.get(d, "Filter");
    if (!filter || !filter->is_name("Standard")) return std::nullopt;
    const Integer* v = reader.integer(d, "V");
    const Integer* r = reader.integer(d, "R");
    const Integer* p = reader.integer(d, "P");
    if (!v || !r || !p) return std::nullopt;
    const bool legacy = (*v == 1 || *v == 2 || *v == 4) && *r >= 2 && *r <= 4;
    if (!legacy && !(*v == 5 && (*r == 5 || *r == 6))) return std::nullopt;
    const int version = static_cast<int>(*v);
    const int revision = static_cast<int>(*r);
    const auto permissions = static_cast<std::uint32_t>(*p);
    const std::string* owner = reader.string(d, "O");
    const std::string* user = reader.string(d, "U");
    if (!owner || !user) return std::nullopt;
    if (legacy ? owner->size() != 32 || user->size() != 32 : owner->size() < 48 || user->size() < 48)
        return std::nullopt;

    Decryptor decryptor;
    switch (version) {
        case 1:
            decryptor.key_length_ = 5;
            break;
        case 2: {
            const Object* length_object = reader.get(d, "Length");
            const Integer* length = length_object ? length_object->as_integer() : nullptr;
            if (length_object && !length) return std::nullopt;
            const Integer bits = length ? *length : 40;
            if (bits < 40 || bits > 128 || bits % 8 != 0) return std::nullopt;
            decryptor.key_length_ = static_cast<std::size_t>(bits / 8);
            break;
        }
        case 4:
            decryptor.key_length_ = 16;
            break;
        default:
            decryptor.key_length_ = 32;
            break;
    }
    if (version >= 4) {
        static const Dictionary kNoFilters;
        const Object* filters_object = reader.get(d, "CF");
        const Dictionary* filters = filters_object ? filters_object->as_dictionary() : &kNoFilters;
        if (!filters) return std::nullopt;
        const auto streams = crypt_filter_method(reader, *filters, reader.get(d, "StmF"), version);
        const auto strings = crypt_filter_method(reader, *filters, reader.get(d, "StrF"), version);
        if (!streams || !strings) return std::nullopt;
        decryptor.streams_ = *streams;
        decryptor.strings_ = *strings;
        if (const Object* metadata = reader.get(d, "EncryptMetadata")) {
            if (!metadata->as_bool()) return std::nullopt;
            decryptor.encrypt_metadata_ = *metadata->as_bool();
        }
    } else {
        decryptor.streams_ = decryptor.strings_ = CryptMethod::Rc4;
    }

    if (legacy) {
        const Object* ids = trailer.get("ID");
        const Array* id_array = ids ? ids->as_array() : nullptr;
        const std::string* first_id = id_array && !id_array->empty() ? id_array->front().as_string() : nullptr;
        const Bytes id = first_id ? Bytes(*first_id) : Bytes();
        decryptor.key_ =
            legacy_file_key(*owner, permissions, id, decryptor.key_length_, revision, decryptor.encrypt_metadata_);
        if (!legacy_user_password_ok(decryptor.file_key(), *user, id, revision)) return std::nullopt;
        return decryptor;
    }

    // Algorithm 2.A: /U is a 32-byte hash, an 8-byte validation salt and an 8-byte key salt.
    const std::string* user_key = reader.string(d, "UE");
    const std::string* perms = reader.string(d, "Perms");
    if (!user_key || user_key->size() < 32 || !perms || perms->size() < 16) return std::nullopt;
    unsigned char hash[32];
    aes_password_hash(Bytes(*user).substr(32, 8), revision, hash);
    if (std::memcmp(hash, user->data(), 32) != 0) return std::nullopt;
    aes_password_hash(Bytes(*user).substr(40, 8), revision, hash);
    const unsigned char zero_iv[kBlock] = {};
    aes_cbc(false, view_of(hash, 32), zero_iv, bytes_of(*user_key), decryptor.key_.data(), 32);
    // /Perms, one block decrypted with the file key, repeats P and says "adb".
    unsigned char check_block[kBlock], expected[4];
    aes_cbc(false, decryptor.file_key(), zero_iv, bytes_of(*perms), check_block, kBlock);
    put_le32(expected, permissions);
    if (std::memcmp(check_block + 9, "adb", 3) != 0 || std::memcmp(check_block, expected, 4) != 0) return std::nullopt;
    return decryptor;
}

void Decryptor::decrypt_object(ObjectId id, Object& object) const {
    // Algorithm 1: each object has its own key, from the file key, its number and
    // generation, and "sAlT" for AES; made once per object and method.
    unsigned char object_keys[2][EVP_MAX_MD_SIZE];
    bool made[2] = {false, false};
    auto decrypt = [&](CryptMethod method, std::string& data) {
        if (method == CryptMethod::Identity) return;
        if (method == CryptMethod::Aes256) return aes_cbc_decrypt(file_key(), data);
        const bool aes = method == CryptMethod::Aes128;
        unsigned char* key = object_keys[aes];
        if (!made[aes]) {
            const unsigned char suffix[9] = {static_cast<unsigned char>(id.number),
                                             static_cast<unsigned char>(id.number >> 8),
                                             static_cast<unsigned char>(id.number >> 16),
                                             static_cast<unsigned char>(id.generation),
                                             static_cast<unsigned char>(id.generation >> 8),
                                             's',
                                             'A',
                                             'l',
                                             'T'};
            digest(EVP_md5(), {file_key(), view_of(suffix, aes ? 9 : 5)}, key);
            made[aes] = true;
        }
        const Bytes object_key = view_of(key, std::min<std::size_t>(key_length_ + 5, 16));
        if (aes)
            aes_cbc_decrypt(object_key, data);
        else
            rc4(object_key, reinterpret_cast<unsigned char*>(data.data()), data.size());
    };

    // Nesting is bounded by the parser; the stack still keeps the walk off the call stack.
    std::vector<Object*> pending;
    auto visit = [&](Object& o) {
        if (auto* s = std::get_if<String>(&o.value))
            decrypt(strings_, s->bytes);
        else if (auto* a = std::get_if<Array>(&o.value))
            for (Object& element : *a) pending.push_back(&element);
        else if (auto* d = std::get_if<Dictionary>(&o.value))
            d->for_each_value([&](Object& value) { pending.push_back(&value); });
    };
    if (auto* box = std::get_if<StreamBox>(&object.value)) {
        Stream& stream = box->get();
        const Object* type = stream.dictionary.get("Type");
        if (type && type->is_name("XRef")) return;
        stream.dictionary.for_each_value([&](Object& value) { pending.push_back(&value); });
        if (encrypt_metadata_ || !type || !type->is_name("Metadata")) decrypt(streams_, stream.data);
    } else {
        visit(object);
    }
    while (!pending.empty()) {
        Object* next = pending.back();
        pending.pop_back();
        visit(*next);
    }
}

}  // namespace quarvel
