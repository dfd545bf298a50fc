#include "DesUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "support/HexBytes.h"

namespace {

std::string Encrypt(const std::string& keyHex, const std::string& plainHex) {
    const auto key = HexBytes(keyHex), plain = HexBytes(plainHex);
    unsigned char out[8];
    Des(plain.data(), out, key.data());
    return BytesHex(out, 8);
}

std::string Decrypt(const std::string& keyHex, const std::string& cipherHex) {
    const auto key = HexBytes(keyHex), cipher = HexBytes(cipherHex);
    unsigned char out[8];
    UnDes(cipher.data(), out, key.data());
    return BytesHex(out, 8);
}

}  // namespace

TEST(Des, PublishedVectors) {
    struct {
        const char* key;
        const char* plain;
        const char* cipher;
    } const vectors[] = {
        // FIPS 81 ECB example, "Now is the time for all ".
        {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
        {"0123456789abcdef", "68652074696d6520", "6a271787ab8883f9"},
        {"0123456789abcdef", "666f7220616c6c20", "893d51ec4b563b53"},
        // The worked example of the standard's key schedule.
        {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
        // Variable plaintext and variable key known-answer tests.
        {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
        {"8001010101010101", "0000000000000000", "95a8d72813daa94d"},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(Encrypt(v.key, v.plain), v.cipher) << v.key << " " << v.plain;
        EXPECT_EQ(Decrypt(v.key, v.cipher), v.plain) << v.key << " " << v.cipher;
    }
    // Parity bits (the low bit of each key byte) do not matter.
    EXPECT_EQ(Encrypt("0022446688aaccee", "4e6f772069732074"), "3fa40e8a984d4815");
}

TEST(Des, InPlaceSingleBlock) {
    auto key = HexBytes("0123456789abcdef");
    auto block = HexBytes("4e6f772069732074");
    Des(block.data(), block.data(), key.data());
    EXPECT_EQ(BytesHex(block.data(), 8), "3fa40e8a984d4815");
    UnDes(block.data(), block.data(), key.data());
    EXPECT_EQ(BytesHex(block.data(), 8), "4e6f772069732074");
}

TEST(Des3, TwoKeyEdeAndBlockRules) {
    // E_K1(D_K2(E_K1(x))) over three blocks, checked against an independent
    // two-key EDE implementation.
    const auto key = HexBytes("0123456789abcdef23456789abcdef01");
    const std::string text = "0123456789abcdefABCDEFGH";
    std::vector<unsigned char> out(24);
    Des3(reinterpret_cast<const unsigned char*>(text.data()), out.data(), key.data(), 24);
    EXPECT_EQ(BytesHex(out.data(), 24), "ea86db9decb7cf19dcf41b900a929b865b4605e606393286");
    std::vector<unsigned char> back(24);
    UnDes3(out.data(), back.data(), key.data(), 24);
    EXPECT_EQ(std::string(back.begin(), back.end()), text);

    // K1 = K2 collapses to single DES.
    const auto k1 = HexBytes("133457799bbcdff1");
    std::vector<unsigned char> same(k1);
    same.insert(same.end(), k1.begin(), k1.end());
    const auto plain = HexBytes("0123456789abcdef");
    unsigned char single[8], triple[8];
    Des(plain.data(), single, k1.data());
    Des3(plain.data(), triple, same.data(), 8);
    EXPECT_EQ(BytesHex(triple, 8), BytesHex(single, 8));

    // Length 20: two blocks; bytes 16..19 neither read nor written.
    std::vector<unsigned char> in(20), dst(20, 0xa5);
    for (int i = 0; i < 20; ++i) in[i] = static_cast<unsigned char>(i);
    Des3(in.data(), dst.data(), key.data(), 20);
    for (int i = 16; i < 20; ++i) EXPECT_EQ(dst[i], 0xa5) << i;
    UnDes3(dst.data(), dst.data(), key.data(), 20);  // in place
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + 16, dst.begin()));

    // Below one block nothing happens.
    std::vector<unsigned char> tiny(7, 0x11), tinyOut(7, 0x22);
    Des3(tiny.data(), tinyOut.data(), key.data(), 7);
    EXPECT_EQ(tinyOut, std::vector<unsigned char>(7, 0x22));
}

TEST(Des3, InPlaceAndConcurrentCallsAgree) {
    // Each call keeps its own key schedule: threads with different keys must
    // get the same results as one thread does.
    std::mt19937 rng(7);
    std::vector<unsigned char> data(4096);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    std::vector<std::vector<unsigned char>> keys(4, std::vector<unsigned char>(16));
    for (auto& k : keys)
        for (auto& b : k) b = static_cast<unsigned char>(rng());

    std::vector<std::vector<unsigned char>> expected(4);
    for (int t = 0; t < 4; ++t) {
        expected[t].resize(data.size());
        Des3(data.data(), expected[t].data(), keys[t].data(), static_cast<unsigned short>(data.size()));
    }
    std::vector<std::vector<unsigned char>> got(4, data);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                std::vector<unsigned char> buf(data);
                Des3(buf.data(), buf.data(), keys[t].data(), static_cast<unsigned short>(buf.size()));
                if (round == 19) got[t] = buf;
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(got[t], expected[t]) << t;
}
