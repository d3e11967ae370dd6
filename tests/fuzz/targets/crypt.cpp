// The ciphers of the standard security handler on fuzzed keys and data: RC4 keeps the
// length, AES-CBC never grows its input. (Opening the handler itself is reached through
// whole loading, in the document target.)
#include "crypt.hpp"
#include "fuzz_target.hpp"

QUARVEL_FUZZ_TARGET(crypt) {
    quarvel::fuzz::Reader reader(data);
    const unsigned choice = reader.byte();
    if (choice % 2 == 0) {
        const std::size_t key_length = reader.byte() % 256 + 1;
        std::string key(key_length, '\0');
        for (char& c : key) c = static_cast<char>(reader.byte());
        std::string bytes(reader.rest());
        const std::size_t size = bytes.size();
        quarvel::rc4(key, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size());
        QUARVEL_FUZZ_CHECK(bytes.size() == size);
        return;
    }
    std::string key(choice & 2 ? 32 : 16, '\0');
    for (char& c : key) c = static_cast<char>(reader.byte());
    std::string bytes(reader.rest());
    const std::size_t size = bytes.size();
    quarvel::aes_cbc_decrypt(key, bytes);
    QUARVEL_FUZZ_CHECK(bytes.size() + 16 <= size || bytes.empty());
}
