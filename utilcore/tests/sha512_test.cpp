#include "Sha512.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/HexBytes.h"

#ifdef TUNEDESK_HAVE_SODIUM
#include <sodium.h>
#endif

using namespace tdcrypto;

namespace {

std::string Digest(const std::string& text) {
    unsigned char d[64];
    EXPECT_EQ(Sha512Digest(reinterpret_cast<const unsigned char*>(text.data()), text.size(), d), kCryptoOk);
    return BytesHex(d, 64);
}

}  // namespace

TEST(Sha512, Fips180Examples) {
    EXPECT_EQ(Digest("abc"),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    // 896-bit message: two blocks after padding.
    EXPECT_EQ(Digest("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                     "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu"),
              "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
              "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909");
    EXPECT_EQ(Digest(""),
              "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
              "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e");
    EXPECT_EQ(Digest(std::string(1000000, 'a')),
              "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
              "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b");
}

TEST(Sha512, IncrementalEqualsOneShotAcrossBlockBoundaries) {
    std::vector<unsigned char> data(777);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 131 + 7);
    // Padding edge lengths: 111 and 112 bytes decide whether the length field
    // still fits in the last block.
    for (size_t len : {0u, 1u, 111u, 112u, 127u, 128u, 129u, 239u, 240u, 256u, 777u}) {
        unsigned char whole[64], parts[64];
        ASSERT_EQ(Sha512Digest(data.data(), len, whole), kCryptoOk);
        for (size_t chunk : {1u, 7u, 64u, 128u, 200u}) {
            Sha512 h;
            for (size_t off = 0; off < len; off += chunk) h.Update(data.data() + off, std::min(chunk, len - off));
            h.Final(parts);
            EXPECT_EQ(BytesHex(whole, 64), BytesHex(parts, 64)) << "len " << len << " chunk " << chunk;
        }
    }
}

TEST(Sha512, MissingArguments) {
    unsigned char d[64];
    const unsigned char x = 1;
    EXPECT_EQ(Sha512Digest(nullptr, 1, d), kCryptoMissingArgument);
    EXPECT_EQ(Sha512Digest(&x, 1, nullptr), kCryptoMissingArgument);
    // A null input of length 0 is the empty message.
    ASSERT_EQ(Sha512Digest(nullptr, 0, d), kCryptoOk);
    EXPECT_EQ(BytesHex(d, 64), Digest(""));
}

#ifdef TUNEDESK_HAVE_SODIUM
TEST(Sha512, AgreesWithLibsodiumOnRandomMessages) {
    ASSERT_GE(sodium_init(), 0);
    std::mt19937 rng(12345);
    std::vector<unsigned char> msg(5000);
    for (int i = 0; i < 300; ++i) {
        const size_t len = rng() % msg.size();
        for (size_t j = 0; j < len; ++j) msg[j] = static_cast<unsigned char>(rng());
        unsigned char ours[64], theirs[64];
        ASSERT_EQ(Sha512Digest(msg.data(), len, ours), kCryptoOk);
        crypto_hash_sha512(theirs, msg.data(), len);
        ASSERT_EQ(BytesHex(ours, 64), BytesHex(theirs, 64)) << "length " << len;
    }
}
#endif
