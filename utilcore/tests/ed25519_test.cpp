#include "Ed25519.h"

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

struct Vector {
    const char* seed;
    const char* publicKey;
    const char* message;
    const char* signature;
};

// RFC 8032 section 7.1, TEST 1 to 3.
const Vector kPure[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
     "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
     "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
     "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
};

}  // namespace

TEST(Ed25519, Rfc8032PureVectors) {
    for (const Vector& v : kPure) {
        const auto seed = HexBytes(v.seed);
        const auto msg = HexBytes(v.message);
        unsigned char pub[32];
        ASSERT_EQ(Ed25519PublicKey(seed.data(), pub), kCryptoOk);
        EXPECT_EQ(BytesHex(pub, 32), v.publicKey);

        unsigned char sig[64];
        ASSERT_EQ(Ed25519Sign(sig, msg.data(), msg.size(), seed.data(), pub), kCryptoOk);
        EXPECT_EQ(BytesHex(sig, 64), v.signature);
        EXPECT_EQ(Ed25519Verify(sig, msg.data(), msg.size(), pub), kCryptoOk);

        // A changed message, a message one byte longer, a changed signature bit.
        auto tampered = msg;
        tampered.push_back(0);
        EXPECT_EQ(Ed25519Verify(sig, tampered.data(), tampered.size(), pub), kCryptoBadSignature);
        if (!msg.empty()) {
            tampered = msg;
            tampered[0] ^= 0x01;
            EXPECT_EQ(Ed25519Verify(sig, tampered.data(), tampered.size(), pub), kCryptoBadSignature);
        }
        for (int byte : {0, 31, 32, 63}) {
            unsigned char bad[64];
            std::copy(sig, sig + 64, bad);
            bad[byte] ^= 0x04;
            EXPECT_EQ(Ed25519Verify(bad, msg.data(), msg.size(), pub), kCryptoBadSignature) << byte;
        }
    }
}

TEST(Ed25519, ContextAndPrehashVariants) {
    // RFC 8032 section 7.2 (Ed25519ctx, context "foo" and "bar") and 7.3 (Ed25519ph).
    const auto seed = HexBytes("0305334e381af78f141cb666f6199f57bc3495335a256a95bd2a55bf546663f6");
    const auto msg = HexBytes("f726936d19c800494e3fdaff20b276a8");
    const unsigned char foo[] = {'f', 'o', 'o'};
    const unsigned char bar[] = {'b', 'a', 'r'};
    unsigned char pub[32], sig[64];
    ASSERT_EQ(Ed25519PublicKey(seed.data(), pub), kCryptoOk);
    EXPECT_EQ(BytesHex(pub, 32), "dfc9425e4f968f7f0c29f0259cf5f9aed6851c2bb4ad8bfb860cfee0ab248292");
    ASSERT_EQ(Ed25519ctxSign(sig, msg.data(), msg.size(), foo, 3, seed.data(), pub), kCryptoOk);
    EXPECT_EQ(BytesHex(sig, 64),
              "55a4cc2f70a54e04288c5f4cd1e45a7bb520b36292911876cada7323198dd87a"
              "8b36950b95130022907a7fb7c4e9b2d5f6cca685a587b4b21f4b888e4e7edb0d");
    EXPECT_EQ(Ed25519ctxVerify(sig, msg.data(), msg.size(), foo, 3, pub), kCryptoOk);
    // The context is bound into the signature, and the variants do not mix.
    EXPECT_EQ(Ed25519ctxVerify(sig, msg.data(), msg.size(), bar, 3, pub), kCryptoBadSignature);
    EXPECT_EQ(Ed25519Verify(sig, msg.data(), msg.size(), pub), kCryptoBadSignature);
    EXPECT_EQ(Ed25519phVerify(sig, msg.data(), msg.size(), foo, 3, pub), kCryptoBadSignature);
    ASSERT_EQ(Ed25519ctxSign(sig, msg.data(), msg.size(), bar, 3, seed.data(), nullptr), kCryptoOk);
    EXPECT_EQ(BytesHex(sig, 64),
              "fc60d5872fc46b3aa69f8b5b4351d5808f92bcc044606db097abab6dbcb1aee3"
              "216c48e8b3b66431b5b186d1d28f8ee15a5ca2df6668346291c2043d4eb3e90d");
    // Ed25519ctx needs a context of 1 to 255 bytes.
    EXPECT_EQ(Ed25519ctxSign(sig, msg.data(), msg.size(), foo, 0, seed.data(), pub), kCryptoMissingArgument);
    std::vector<unsigned char> longContext(256, 'x');
    EXPECT_EQ(Ed25519ctxSign(sig, msg.data(), msg.size(), longContext.data(), 256, seed.data(), pub),
              kCryptoMissingArgument);

    const auto phSeed = HexBytes("833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42");
    const unsigned char abc[] = {'a', 'b', 'c'};
    ASSERT_EQ(Ed25519PublicKey(phSeed.data(), pub), kCryptoOk);
    EXPECT_EQ(BytesHex(pub, 32), "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf");
    ASSERT_EQ(Ed25519phSign(sig, abc, 3, nullptr, 0, phSeed.data(), pub), kCryptoOk);
    EXPECT_EQ(BytesHex(sig, 64),
              "98a70222f0b8121aa9d30f813d683f809e462b469c7ff87639499bb94e6dae41"
              "31f85042463c2a355a2003d062adf5aaa10b8c61e636062aaad11c2a26083406");
    EXPECT_EQ(Ed25519phVerify(sig, abc, 3, nullptr, 0, pub), kCryptoOk);
    EXPECT_EQ(Ed25519phVerify(sig, abc, 2, nullptr, 0, pub), kCryptoBadSignature);
}

TEST(Ed25519, RejectsNonCanonicalAndUndecodableInput) {
    const Vector& v = kPure[0];
    const auto pub = HexBytes(v.publicKey);
    auto sig = HexBytes(v.signature);
    ASSERT_EQ(Ed25519Verify(sig.data(), nullptr, 0, pub.data()), kCryptoOk);

    // S + L verifies the same equation but is not the canonical S.
    auto malleable = sig;
    const auto sPlusL = HexBytes("4c8c7872aa064e049dbb3013fbf29380d25bf5f0595bbe24655141438e7a101b");
    std::copy(sPlusL.begin(), sPlusL.end(), malleable.begin() + 32);
    EXPECT_EQ(Ed25519Verify(malleable.data(), nullptr, 0, pub.data()), kCryptoBadSignature);
    auto topS = sig;
    std::fill(topS.begin() + 32, topS.end(), 0xff);
    EXPECT_EQ(Ed25519Verify(topS.data(), nullptr, 0, pub.data()), kCryptoBadSignature);

    // Public keys that do not decode: y = 2 lies on no point; y >= p is a
    // non-canonical encoding; x = 0 with the sign bit set.
    std::vector<unsigned char> bad(32, 0);
    bad[0] = 2;
    EXPECT_EQ(Ed25519Verify(sig.data(), nullptr, 0, bad.data()), kCryptoBadSignature);
    std::fill(bad.begin(), bad.end(), 0xff);
    bad[31] = 0x7f;
    EXPECT_EQ(Ed25519Verify(sig.data(), nullptr, 0, bad.data()), kCryptoBadSignature);
    std::fill(bad.begin(), bad.end(), 0);
    bad[0] = 1;
    bad[31] = 0x80;
    EXPECT_EQ(Ed25519Verify(sig.data(), nullptr, 0, bad.data()), kCryptoBadSignature);

    // R that does not decode.
    auto badR = sig;
    std::fill(badR.begin(), badR.begin() + 32, 0);
    badR[0] = 2;
    EXPECT_EQ(Ed25519Verify(badR.data(), nullptr, 0, pub.data()), kCryptoBadSignature);

    unsigned char out[64];
    const unsigned char m = 0;
    EXPECT_EQ(Ed25519Verify(nullptr, &m, 1, pub.data()), kCryptoMissingArgument);
    EXPECT_EQ(Ed25519Verify(sig.data(), nullptr, 1, pub.data()), kCryptoMissingArgument);
    EXPECT_EQ(Ed25519Verify(sig.data(), &m, 1, nullptr), kCryptoMissingArgument);
    EXPECT_EQ(Ed25519Sign(out, &m, 1, nullptr, nullptr), kCryptoMissingArgument);
    EXPECT_EQ(Ed25519Sign(nullptr, &m, 1, HexBytes(v.seed).data(), nullptr), kCryptoMissingArgument);
    EXPECT_EQ(Ed25519PublicKey(nullptr, out), kCryptoMissingArgument);
}

TEST(Ed25519, ScalarReduction) {
    // 2^512 - 1 and L itself (as 64 bytes) reduce to known values.
    std::vector<unsigned char> all(64, 0xff);
    unsigned char r[32];
    Ed25519ReduceScalar(all.data(), r);
    // (2^512 - 1) mod L
    EXPECT_EQ(BytesHex(r, 32), "000f9c44e31106a447938568a71b0ed065bef517d273ecce3d9a307c1b419903");
    std::vector<unsigned char> l = HexBytes("edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010");
    EXPECT_FALSE(Ed25519IsCanonicalScalar(l.data()));
    l.resize(64, 0);
    Ed25519ReduceScalar(l.data(), r);
    EXPECT_EQ(BytesHex(r, 32), std::string(64, '0'));
    l[0] -= 1;  // L - 1
    EXPECT_TRUE(Ed25519IsCanonicalScalar(l.data()));
}

#ifdef TUNEDESK_HAVE_SODIUM
TEST(Ed25519, AgreesWithLibsodium) {
    ASSERT_GE(sodium_init(), 0);
    std::mt19937 rng(20260301);
    std::vector<unsigned char> msg(600);
    for (int i = 0; i < 400; ++i) {
        unsigned char seed[32], ourPub[32], pub[32], sk[64], ourSig[64], sig[64];
        for (auto& b : seed) b = static_cast<unsigned char>(rng());
        const size_t len = rng() % msg.size();
        for (size_t j = 0; j < len; ++j) msg[j] = static_cast<unsigned char>(rng());

        ASSERT_EQ(Ed25519PublicKey(seed, ourPub), kCryptoOk);
        crypto_sign_seed_keypair(pub, sk, seed);
        ASSERT_EQ(BytesHex(ourPub, 32), BytesHex(pub, 32));

        ASSERT_EQ(Ed25519Sign(ourSig, msg.data(), len, seed, ourPub), kCryptoOk);
        crypto_sign_detached(sig, nullptr, msg.data(), len, sk);
        ASSERT_EQ(BytesHex(ourSig, 64), BytesHex(sig, 64));
        EXPECT_EQ(Ed25519Verify(sig, msg.data(), len, pub), kCryptoOk);

        // Damage one bit of the signature, the message or the key and compare
        // the verdicts.
        unsigned char badSig[64], badPub[32];
        std::copy(sig, sig + 64, badSig);
        std::copy(pub, pub + 32, badPub);
        switch (i % 3) {
        case 0: badSig[rng() % 64] ^= static_cast<unsigned char>(1u << (rng() % 8)); break;
        case 1:
            if (len > 0) msg[rng() % len] ^= 0x10;
            break;
        case 2: badPub[rng() % 32] ^= static_cast<unsigned char>(1u << (rng() % 8)); break;
        }
        const bool ours = Ed25519Verify(badSig, msg.data(), len, badPub) == kCryptoOk;
        const bool theirs = crypto_sign_verify_detached(badSig, msg.data(), len, badPub) == 0;
        EXPECT_EQ(ours, theirs) << "case " << i;

        // The pre-hash variant with an empty context is libsodium's ed25519ph.
        unsigned char phSig[64];
        crypto_sign_ed25519ph_state st;
        crypto_sign_ed25519ph_init(&st);
        crypto_sign_ed25519ph_update(&st, msg.data(), len);
        crypto_sign_ed25519ph_final_create(&st, phSig, nullptr, sk);
        ASSERT_EQ(Ed25519phSign(ourSig, msg.data(), len, nullptr, 0, seed, ourPub), kCryptoOk);
        EXPECT_EQ(BytesHex(ourSig, 64), BytesHex(phSig, 64));

        unsigned char wide[64], ourReduced[32], reduced[32];
        for (auto& b : wide) b = static_cast<unsigned char>(rng());
        Ed25519ReduceScalar(wide, ourReduced);
        crypto_core_ed25519_scalar_reduce(reduced, wide);
        ASSERT_EQ(BytesHex(ourReduced, 32), BytesHex(reduced, 32));
    }
}
#endif
