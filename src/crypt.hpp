// The standard security handler, opened with the empty user password: files that are
// encrypted only to carry permissions read as if they were not encrypted at all.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "object.hpp"

namespace quarvel {

enum class CryptMethod : std::uint8_t { Identity, Rc4, Aes128, Aes256 };

// An object stored directly in the file, or null: objects inside object streams are
// not readable before decryption.
using DirectObjectLookup = std::function<const Object*(ObjectId)>;

class Decryptor {
public:
    // Nothing when the file is to be read as stored: `encrypt` (the trailer's value) is
    // not a standard security dictionary this handler accepts, or the user password is
    // not empty. Never throws PdfError.
    static std::optional<Decryptor> open(const Object& encrypt, const Dictionary& trailer,
                                         const DirectObjectLookup& lookup);

    // Decrypts in place every string at any depth of a directly stored object and, for a
    // stream, its raw bytes. Streams of /Type /XRef are left alone, and so are the bytes
    // of /Type /Metadata streams when the metadata is stored in clear.
    void decrypt_object(ObjectId id, Object& object) const;

    std::string_view file_key() const { return {reinterpret_cast<const char*>(key_.data()), key_length_}; }
    CryptMethod string_method() const { return strings_; }
    CryptMethod stream_method() const { return streams_; }

    using Key = std::array<unsigned char, 32>;

private:
    Key key_{};
    std::size_t key_length_ = 0;
    CryptMethod strings_ = CryptMethod::Identity;
    CryptMethod streams_ = CryptMethod::Identity;
    bool encrypt_metadata_ = true;
};

// RC4 in place; the key is 1 to 256 bytes.
void rc4(std::string_view key, unsigned char* data, std::size_t size);
// AES-CBC decryption of `data` in place: the first 16 bytes are the IV, bytes after the
// last whole block are ignored and PKCS#5 padding is removed when it is well formed.
// Less than one block after the IV leaves nothing. The key is 16 or 32 bytes.
void aes_cbc_decrypt(std::string_view key, std::string& data);

}  // namespace quarvel
