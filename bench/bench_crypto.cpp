// utilcore's SHA-512 and Ed25519 against libsodium on the same machine in the
// same run: SHA-512 throughput (bytes_per_second), Ed25519 signatures made and
// checked per second (items_per_second). Compare each Ours/Sodium pair.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <cstdlib>
#include <vector>

#include "Ed25519.h"
#include "Sha512.h"

namespace {

const bool kSodiumReady = [] {
    if (sodium_init() < 0) std::abort();
    return true;
}();

std::vector<unsigned char> Message(size_t length) {
    std::vector<unsigned char> m(length);
    for (size_t i = 0; i < length; ++i) m[i] = static_cast<unsigned char>(i * 31 + 7);
    return m;
}

struct KeyPair {
    unsigned char seed[32];
    unsigned char pub[32];
    unsigned char sk[64];
    KeyPair() {
        for (int i = 0; i < 32; ++i) seed[i] = static_cast<unsigned char>(i + 1);
        crypto_sign_seed_keypair(pub, sk, seed);
    }
};

// A three-entry DPN list signs 192 bytes; a full one 4096.
constexpr int kSignedBytes = 192;

void BM_Sha512_Ours(benchmark::State& state) {
    const auto m = Message(static_cast<size_t>(state.range(0)));
    unsigned char d[64];
    for (auto _ : state) {
        tdcrypto::Sha512Digest(m.data(), m.size(), d);
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sha512_Ours)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_Sha512_Sodium(benchmark::State& state) {
    const auto m = Message(static_cast<size_t>(state.range(0)));
    unsigned char d[64];
    for (auto _ : state) {
        crypto_hash_sha512(d, m.data(), m.size());
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sha512_Sodium)->Arg(64)->Arg(4096)->Arg(1 << 20);

void BM_Ed25519Sign_Ours(benchmark::State& state) {
    const KeyPair k;
    const auto m = Message(kSignedBytes);
    unsigned char sig[64];
    for (auto _ : state) {
        tdcrypto::Ed25519Sign(sig, m.data(), m.size(), k.seed, k.pub);
        benchmark::DoNotOptimize(sig);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Ed25519Sign_Ours);

void BM_Ed25519Sign_Sodium(benchmark::State& state) {
    const KeyPair k;
    const auto m = Message(kSignedBytes);
    unsigned char sig[64];
    for (auto _ : state) {
        crypto_sign_detached(sig, nullptr, m.data(), m.size(), k.sk);
        benchmark::DoNotOptimize(sig);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Ed25519Sign_Sodium);

void BM_Ed25519Verify_Ours(benchmark::State& state) {
    const KeyPair k;
    const auto m = Message(kSignedBytes);
    unsigned char sig[64];
    crypto_sign_detached(sig, nullptr, m.data(), m.size(), k.sk);
    for (auto _ : state) {
        int rc = tdcrypto::Ed25519Verify(sig, m.data(), m.size(), k.pub);
        if (rc != tdcrypto::kCryptoOk) state.SkipWithError("verification failed");
        benchmark::DoNotOptimize(rc);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Ed25519Verify_Ours);

void BM_Ed25519Verify_Sodium(benchmark::State& state) {
    const KeyPair k;
    const auto m = Message(kSignedBytes);
    unsigned char sig[64];
    crypto_sign_detached(sig, nullptr, m.data(), m.size(), k.sk);
    for (auto _ : state) {
        int rc = crypto_sign_verify_detached(sig, m.data(), m.size(), k.pub);
        if (rc != 0) state.SkipWithError("verification failed");
        benchmark::DoNotOptimize(rc);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Ed25519Verify_Sodium);

}  // namespace
