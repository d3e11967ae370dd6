// Key derivation and decryption against the worked values of files that qpdf 11.3
// encrypted: their /Encrypt entries, first /ID, file key and one encrypted title.
#include "crypt.hpp"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>

#include "parser.hpp"

namespace quarvel {
namespace {

const char* const kRc4R3 =
    "<< /Filter /Standard /Length 128 /P -4 /R 3 /V 2"
    " /O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5>"
    " /U <dc518f8ff8078c39b30602b41369f9340122456a91bae5134273a6db134c87c4> >>";
const char* const kRc4R3Id = "db0526821f4aae573b22a6a2382be639";
const char* const kAesR4 =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128"
    " /P -4 /R 4 /StmF /StdCF /StrF /StdCF /V 4"
    " /O <566fa873ee33c797cd3b904fdadf814afa34df9a38f6ed41b984e2c6da2aa6f5>"
    " /U <ce36c7125f56a02ebb6a19a117758ae70122456a91bae5134273a6db134c87c4> >>";
const char* const kAesR4Id = "06eadb6442a85b0d20612483415d9e66";
const char* const kAesR6 =
    "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256"
    " /P -4 /R 6 /StmF /StdCF /StrF /StdCF /V 5"
    " /O <78ea5d953ce89523ab244b93591a8d0418a3e2f57ac9ed08ffb2562e539872b7b19db33cfa1de89ed523ed62e337234f>"
    " /OE <f0ff9dcb2bb188c59bd59e910d60b27bc16f05c04316f80057fef1e9529692d4>"
    " /Perms <97edf344fcde865b27e515e7696fcc67>"
    " /U <78e046ec4c5c745fcf990b8404608fe8d0218b2d6d6e11a76cffaefd43aaa697c0f7b69e1c225075c4ad17adfafb5434>"
    " /UE <12a200fe301cdc7a64811c57640cf736d79c908b4f26d366003818be57714ea2> >>";

Object parse(std::string_view text) { return Parser(text).parse_object(); }
std::string unhex(std::string_view hex) { return *parse(std::string(1, '<').append(hex).append(1, '>')).as_string(); }

std::string hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

std::string replaced(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

// The lookup knows one directly stored object: 7 0, the integer -4.
std::optional<Decryptor> open(std::string_view encrypt, std::string_view id) {
    static const Object minus_four(-4);
    const Object trailer = parse("<< /ID [<" + std::string(id) + "> <>] >>");
    return Decryptor::open(parse(encrypt), *trailer.as_dictionary(),
                           [](ObjectId oid) { return oid.number == 7 ? &minus_four : nullptr; });
}

struct KeyCase {
    const char* name;
    std::string encrypt;
    const char* id;
    const char* key;    // empty: the file reads as stored
    const char* title;  // the Info title of object 2 0, encrypted; decrypts to "Crypt test"
};

class KeyDerivation : public testing::TestWithParam<KeyCase> {};

TEST_P(KeyDerivation, FileKeyAndTitle) {
    const KeyCase& c = GetParam();
    const std::optional<Decryptor> decryptor = open(c.encrypt, c.id);
    ASSERT_EQ(decryptor.has_value(), *c.key != '\0');
    if (!decryptor) return;
    EXPECT_EQ(hex(decryptor->file_key()), c.key);
    Object title(String{unhex(c.title)});
    decryptor->decrypt_object({2, 0}, title);
    EXPECT_EQ(*title.as_string(), "Crypt test");
}

const char* const kNone = "";
const char* const kRc4R3Title = "6e9782d802d6760b12f4";
const char* const kAesR6Title = "5dc5b2c6e95dc71e78452102bf58b3e1d1703ddeeb799c49c9ef9346a8f6265d";

INSTANTIATE_TEST_SUITE_P(
    Crypt, KeyDerivation,
    testing::Values(
        KeyCase{"rc4_40_r2",
                "<< /Filter /Standard /Length 40 /P -4 /R 2 /V 1"
                " /O <c92422687facee686e373f10b5c7d04738053152f7e2ee30e11c69ec442576ab>"
                " /U <e0b9d5897f9379fd2bb1cf07d4c6001a22258e07231e2b06c776e1b69a0eeb54> >>",
                "473fa323988fb05781f96ae66ccf6c17", "da771a6643", "f164029356a58552bd8a"},
        KeyCase{"rc4_128_r3", kRc4R3, kRc4R3Id, "16414684ce6d39ee467bc5c12739106b", kRc4R3Title},
        KeyCase{"aes_128_r4", kAesR4, kAesR4Id, "434145f201ba97b63de62297f1aed864",
                "90a3da5cea9ccf2b9ed4c0f259651dbf1b330d31e52cfb8057235b90cdbddfc5"},
        KeyCase{"aes_256_r6", kAesR6, "", "8a36be33a05a8fcf4e2a38b12c160a2c8b69e10bb8c7f01e2f7442870765141a",
                kAesR6Title},
        // Entries given as references to directly stored objects count.
        KeyCase{"p_by_reference", replaced(kRc4R3, "/P -4", "/P 7 0 R"), kRc4R3Id, "16414684ce6d39ee467bc5c12739106b",
                kRc4R3Title},
        // Anything wrong leaves the file as stored.
        KeyCase{"wrong_id_so_wrong_password", kRc4R3, kAesR4Id, kNone, kNone},
        KeyCase{"length_not_multiple_of_8", replaced(kRc4R3, "/Length 128", "/Length 124"), kRc4R3Id, kNone, kNone},
        KeyCase{"length_too_large", replaced(kRc4R3, "/Length 128", "/Length 136"), kRc4R3Id, kNone, kNone},
        KeyCase{"length_real", replaced(kRc4R3, "/Length 128", "/Length 128.0"), kRc4R3Id, kNone, kNone},
        KeyCase{"o_short", replaced(kRc4R3, "<566f", "<"), kRc4R3Id, kNone, kNone},
        KeyCase{"other_handler", replaced(kRc4R3, "/Standard", "/Adobe.PubSec"), kRc4R3Id, kNone, kNone},
        KeyCase{"v3", replaced(kRc4R3, "/V 2", "/V 3"), kRc4R3Id, kNone, kNone},
        KeyCase{"r5_with_v2", replaced(kRc4R3, "/R 3", "/R 5"), kRc4R3Id, kNone, kNone},
        KeyCase{"p_real", replaced(kRc4R3, "/P -4", "/P -4.0"), kRc4R3Id, kNone, kNone},
        KeyCase{"p_dangling", replaced(kRc4R3, "/P -4", "/P 8 0 R"), kRc4R3Id, kNone, kNone},
        KeyCase{"cfm_none", replaced(kAesR4, "/AESV2", "/None"), kAesR4Id, kNone, kNone},
        KeyCase{"aesv3_under_v4", replaced(kAesR4, "/AESV2", "/AESV3"), kAesR4Id, kNone, kNone},
        KeyCase{"stmf_missing_filter", replaced(kAesR4, "/StmF /StdCF", "/StmF /Other"), kAesR4Id, kNone, kNone},
        KeyCase{"cf_not_dictionary", replaced(kAesR4, "/CF", "/CF 7 0 R /Unused"), kAesR4Id, kNone, kNone},
        KeyCase{"encrypt_metadata_not_boolean", replaced(kAesR4, "/V 4", "/V 4 /EncryptMetadata 0"), kAesR4Id, kNone,
                kNone},
        KeyCase{"perms_mismatch", replaced(kAesR6, "<97ed", "<97ee"), "", kNone, kNone},
        KeyCase{"p_not_in_perms", replaced(kAesR6, "/P -4", "/P -8"), "", kNone, kNone},
        KeyCase{"ue_short", replaced(kAesR6, "/UE <12a2", "/UE <"), "", kNone, kNone},
        KeyCase{"u_short", replaced(kAesR6, "5434>", ">"), "", kNone, kNone}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Crypt, ObjectWalk) {
    const std::optional<Decryptor> decryptor = open(replaced(kAesR6, "/V 5", "/V 5 /EncryptMetadata false"), "");
    ASSERT_TRUE(decryptor.has_value());
    const std::string title = std::string("<") + kAesR6Title + ">";
    Object nested = parse("[1 << /A [" + title + " [" + title + "]] /N /Name >>]");
    decryptor->decrypt_object({2, 0}, nested);
    EXPECT_EQ(nested, parse("[1 << /A [(Crypt test) [(Crypt test)]] /N /Name >>]"));

    // Strings in stream dictionaries too; the bytes of every stream except those of
    // cross-reference streams and, here, of metadata.
    auto stream = [&](const char* type) {
        Object dictionary = parse("<< /Type /" + std::string(type) + " /T " + title + " >>");
        return Object(Stream{*dictionary.as_dictionary(), unhex(kAesR6Title)});
    };
    Object page = stream("Page"), metadata = stream("Metadata"), xref = stream("XRef");
    for (Object* o : {&page, &metadata, &xref}) decryptor->decrypt_object({2, 0}, *o);
    EXPECT_EQ(page.as_stream()->data, "Crypt test");
    EXPECT_EQ(*page.as_stream()->dictionary.get("T")->as_string(), "Crypt test");
    EXPECT_EQ(metadata.as_stream()->data, unhex(kAesR6Title));
    EXPECT_EQ(*metadata.as_stream()->dictionary.get("T")->as_string(), "Crypt test");
    EXPECT_EQ(xref, stream("XRef"));
}

// Padding is removed only when it is well formed; bytes after the last whole block are ignored.
class AesPadding : public testing::TestWithParam<std::tuple<const char*, const char*, const char*>> {};

TEST_P(AesPadding, Plaintext) {
    const auto [plain, tail, expected] = GetParam();
    const std::string key(16, 'k'), iv(16, 'i'), block = unhex(plain);
    auto bytes = [](const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); };
    std::string data = iv + block;
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int written = 0;
    EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, bytes(key), bytes(iv));
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    EVP_EncryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(data.data()) + 16, &written, bytes(block),
                      static_cast<int>(block.size()));
    data += tail;
    aes_cbc_decrypt(key, data);
    EXPECT_EQ(hex(data), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Crypt, AesPadding,
    testing::Values(std::tuple{"41424344454647480808080808080808", "", "4142434445464748"},
                    std::tuple{"41424344454647480808080808080808", "stray", "4142434445464748"},
                    std::tuple{"10101010101010101010101010101010", "", ""},
                    std::tuple{"41424344454647480808080808080800", "", "41424344454647480808080808080800"},
                    std::tuple{"41424344454647480808080808080302", "", "41424344454647480808080808080302"},
                    std::tuple{"", "short", ""}));

TEST(Crypt, Rc4Vector) {
    std::string data = "Plaintext";
    rc4("Key", reinterpret_cast<unsigned char*>(data.data()), data.size());
    EXPECT_EQ(hex(data), "bbf316e8d940af0ad3");
}

}  // namespace
}  // namespace quarvel
