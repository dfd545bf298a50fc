#include "DPNList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "Convert.h"
#include "Ed25519.h"
#include "support/DpnTestKey.h"

#ifdef TUNEDESK_HAVE_SODIUM
#include <sodium.h>
#endif

namespace fs = std::filesystem;

namespace {

// Runs each test in a scratch working folder, since the list is written there.
class DpnListTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = fs::current_path();
        char tmpl[] = "/tmp/td_dpn_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        fs::current_path(dir_);
        DpnSetVerificationKeyForTest(kDpnTestPublicKeyScrambled);
    }
    void TearDown() override {
        DpnSetVerificationKeyForTest(nullptr);
        fs::current_path(old_);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::u16string ListPath() const { return Ansi2CString((dir_ / "DPNList.bin").string().c_str()); }

    std::string ReadList() const {
        std::ifstream in(dir_ / "DPNList.bin", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    void WriteList(const std::string& bytes) const {
        std::ofstream out(dir_ / "DPNList.bin", std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    static std::vector<std::vector<unsigned char>> Entries(int n, unsigned seed) {
        std::mt19937 rng(seed);
        std::vector<std::vector<unsigned char>> out(n, std::vector<unsigned char>(16));
        for (auto& e : out)
            for (auto& b : e) b = static_cast<unsigned char>(rng());
        return out;
    }
    static std::vector<const unsigned char*> Pointers(const std::vector<std::vector<unsigned char>>& entries) {
        std::vector<const unsigned char*> out;
        for (const auto& e : entries) out.push_back(e.data());
        return out;
    }

    int Find(const std::vector<unsigned char>& entry) const {
        return findDPNIdx(entry.data(), static_cast<unsigned>(entry.size()), ListPath());
    }

    fs::path old_;
    fs::path dir_;
};

}  // namespace

TEST_F(DpnListTest, RoundTripAndTampering) {
    const auto entries = Entries(3, 1);
    const auto ptrs = Pointers(entries);
    ASSERT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, ptrs.data(), 16, 3), kDpnOk);
    const std::string good = ReadList();
    ASSERT_EQ(good.size(), 256u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(Find(entries[k]), k + 1);
    EXPECT_EQ(Find(Entries(1, 99)[0]), -1);
    // Same bytes, other length: another digest.
    EXPECT_EQ(findDPNIdx(entries[0].data(), 15, ListPath()), -1);
    EXPECT_EQ(findDPNIdx(nullptr, 16, ListPath()), -1);

    // Any changed byte of the digests, or of the signature, voids the list.
    for (size_t off = 0; off < good.size(); ++off) {
        std::string bad = good;
        bad[off] = static_cast<char>(bad[off] ^ 0x01);
        WriteList(bad);
        for (int k = 0; k < 3; ++k) ASSERT_EQ(Find(entries[k]), -1) << "offset " << off;
    }

    // A partial slot after the list is ignored; a cut list is not accepted.
    WriteList(good + "tail");
    EXPECT_EQ(Find(entries[2]), 3);
    WriteList(good.substr(0, 192));
    EXPECT_EQ(Find(entries[0]), -1);
    WriteList(good.substr(0, 64));
    EXPECT_EQ(Find(entries[0]), -1);
    WriteList("");
    EXPECT_EQ(Find(entries[0]), -1);
    EXPECT_EQ(findDPNIdx(entries[0].data(), 16, Ansi2CString((dir_ / "missing.bin").string().c_str())), -1);
    EXPECT_EQ(findDPNIdx(entries[0].data(), 16, std::u16string()), -1);
}

TEST_F(DpnListTest, ListsSignedWithAnotherKeyAreRefused) {
    unsigned char priv[32], pub[32];
    makeKeyPairs(priv, pub);
    const auto entries = Entries(2, 2);
    const auto ptrs = Pointers(entries);
    ASSERT_EQ(makeDPNList(priv, ptrs.data(), 16, 2), kDpnOk);
    EXPECT_EQ(Find(entries[0]), -1);

    // The list is still a valid signature under that key.
    const std::string list = ReadList();
    unsigned char key[32];
    DpnUnscrambleKey(pub, key);
    EXPECT_EQ(tdcrypto::Ed25519Verify(reinterpret_cast<const unsigned char*>(list.data()),
                                      reinterpret_cast<const unsigned char*>(list.data()) + 64, list.size() - 64, key),
              tdcrypto::kCryptoOk);

    // The built-in key is not the tests' key: their lists are refused by it,
    // and the shipped library offers no way to change it.
    ASSERT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, ptrs.data(), 16, 2), kDpnOk);
    EXPECT_EQ(Find(entries[1]), 2);
    DpnSetVerificationKeyForTest(nullptr);
    EXPECT_EQ(Find(entries[1]), -1);
    void* shipped = dlopen("libutilcore.so", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(shipped, nullptr);
    EXPECT_NE(dlsym(shipped, "_Z12makeKeyPairsPhS_"), nullptr);
    EXPECT_EQ(dlsym(shipped, "_Z28DpnSetVerificationKeyForTestPKh"), nullptr);
    dlclose(shipped);
}

TEST_F(DpnListTest, ZeroEntriesLeavesAnExistingListAlone) {
    WriteList("previous list");
    const auto entries = Entries(1, 3);
    const auto ptrs = Pointers(entries);
    EXPECT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, ptrs.data(), 16, 0), kDpnBadSignature);
    EXPECT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, nullptr, 16, 0), kDpnBadSignature);
    EXPECT_EQ(ReadList(), "previous list");
    EXPECT_EQ(makeDPNList(nullptr, ptrs.data(), 16, 1), kDpnMissingArgument);
    EXPECT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, nullptr, 16, 1), kDpnMissingArgument);
    EXPECT_EQ(ReadList(), "previous list");
}

TEST_F(DpnListTest, MoreThanSixtyFourEntriesAndNullEntries) {
    const auto entries = Entries(70, 4);
    auto ptrs = Pointers(entries);
    ASSERT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, ptrs.data(), 16, 70), kDpnOk);
    EXPECT_EQ(ReadList().size(), 4160u);
    EXPECT_EQ(Find(entries[0]), 1);
    EXPECT_EQ(Find(entries[63]), 64);
    EXPECT_EQ(Find(entries[64]), -1);

    ptrs[1] = nullptr;
    ASSERT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, ptrs.data(), 16, 3), kDpnOk);
    const std::string list = ReadList();
    ASSERT_EQ(list.size(), 256u);
    EXPECT_EQ(list.substr(128, 64), std::string(64, '\0'));
    EXPECT_EQ(Find(entries[0]), 1);
    EXPECT_EQ(Find(entries[2]), 3);
    EXPECT_EQ(Find(entries[1]), -1);
}

TEST_F(DpnListTest, FailedWriteIsReportedAndKeepsTheOldList) {
    const auto entries = Entries(1, 5);
    const auto ptrs = Pointers(entries);
    ASSERT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, ptrs.data(), 16, 1), kDpnOk);
    const std::string before = ReadList();
    // The list is written through "DPNList.bin.tmp"; a folder in its place
    // makes the write fail whoever runs the test.
    fs::create_directory(dir_ / "DPNList.bin.tmp");
    const auto other = Entries(2, 6);
    const auto otherPtrs = Pointers(other);
    EXPECT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, otherPtrs.data(), 16, 2), kDpnWriteFailed);
    EXPECT_EQ(ReadList(), before);
}

TEST(DpnKeys, ScramblingAndKeyPairs) {
    std::mt19937 rng(8);
    for (int i = 0; i < 100; ++i) {
        unsigned char k[32], s[32], back[32];
        for (auto& b : k) b = static_cast<unsigned char>(rng());
        DpnScrambleKey(k, s);
        EXPECT_EQ(s[0], static_cast<unsigned char>(~k[0]));
        EXPECT_EQ(s[5], static_cast<unsigned char>(s[4] ^ k[5]));
        DpnUnscrambleKey(s, back);
        ASSERT_TRUE(std::equal(k, k + 32, back));
        DpnUnscrambleKey(s, s);  // in place
        ASSERT_TRUE(std::equal(k, k + 32, s));
    }

    // Two pairs made in the same second differ (the seed is not the time),
    // and each public key belongs to its private key.
    unsigned char p1[32], q1[32], p2[32], q2[32];
    makeKeyPairs(p1, q1);
    makeKeyPairs(p2, q2);
    EXPECT_FALSE(std::equal(p1, p1 + 32, p2));
    EXPECT_FALSE(std::equal(q1, q1 + 32, q2));
    for (auto [priv, pub] : {std::pair{p1, q1}, std::pair{p2, q2}}) {
        unsigned char seed[32], expected[32], derived[32];
        DpnUnscrambleKey(priv, seed);
        DpnUnscrambleKey(pub, expected);
        ASSERT_EQ(tdcrypto::Ed25519PublicKey(seed, derived), tdcrypto::kCryptoOk);
        EXPECT_TRUE(std::equal(expected, expected + 32, derived));
    }

    // The fixture key pair is consistent too.
    unsigned char seed[32], expected[32], derived[32];
    DpnUnscrambleKey(kDpnTestPrivateKeyScrambled, seed);
    DpnUnscrambleKey(kDpnTestPublicKeyScrambled, expected);
    ASSERT_EQ(tdcrypto::Ed25519PublicKey(seed, derived), tdcrypto::kCryptoOk);
    EXPECT_TRUE(std::equal(expected, expected + 32, derived));
}

TEST(DpnKeys, SortChainElementsOrdersByKey) {
    std::vector<__tagChainElement__> chain = {{0, 5}, {1, -3}, {2, 9}, {3, 0}, {4, -3}};
    std::stable_sort(chain.begin(), chain.end(), SortChainElements);
    std::vector<int> keys, indexes;
    for (const auto& e : chain) {
        keys.push_back(e.nKey);
        indexes.push_back(static_cast<int>(e.nIndex));
    }
    EXPECT_EQ(keys, (std::vector<int>{-3, -3, 0, 5, 9}));
    EXPECT_EQ(indexes, (std::vector<int>{1, 4, 3, 0, 2}));
    EXPECT_FALSE(SortChainElements({0, 1}, {1, 1}));
}

#ifdef TUNEDESK_HAVE_SODIUM
TEST_F(DpnListTest, ListSignatureVerifiesWithLibsodium) {
    ASSERT_GE(sodium_init(), 0);
    const auto entries = Entries(5, 7);
    const auto ptrs = Pointers(entries);
    ASSERT_EQ(makeDPNList(kDpnTestPrivateKeyScrambled, ptrs.data(), 16, 5), kDpnOk);
    const std::string list = ReadList();
    unsigned char pub[32];
    DpnUnscrambleKey(kDpnTestPublicKeyScrambled, pub);
    const auto* bytes = reinterpret_cast<const unsigned char*>(list.data());
    EXPECT_EQ(crypto_sign_verify_detached(bytes, bytes + 64, list.size() - 64, pub), 0);
    unsigned char digest[64];
    crypto_hash_sha512(digest, entries[4].data(), 16);
    EXPECT_TRUE(std::equal(digest, digest + 64, bytes + 5 * 64));
}
#endif
