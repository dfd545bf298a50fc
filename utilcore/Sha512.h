// SHA-512 (FIPS 180-4), used by the DPN list for entry digests and by Ed25519.
// Internal to utilcore; the functions are visible so tests and benchmarks can
// reach them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "UtilcoreApi.h"

namespace tdcrypto {

// Result codes shared by the hash and signature routines (the values the DPN
// list reports).
inline constexpr int kCryptoOk = 0;
inline constexpr int kCryptoMissingArgument = 87;
inline constexpr int kCryptoBadSignature = 5593;

inline constexpr std::size_t kSha512DigestSize = 64;
inline constexpr std::size_t kSha512BlockSize = 128;

// Incremental hash. Update may be called any number of times; Final writes the
// digest and leaves the object ready for a new message.
class UTILCORE_API Sha512 {
public:
    Sha512() { Reset(); }
    void Reset();
    void Update(const void* data, std::size_t length);
    void Final(unsigned char digest[kSha512DigestSize]);

private:
    void Compress(const unsigned char* blocks, std::size_t count);

    std::uint64_t state_[8];
    std::uint64_t bytes_;  // message bytes so far; lists never come near 2^64
    unsigned char buffer_[kSha512BlockSize];
    std::size_t buffered_;
};

// One-shot digest. kCryptoMissingArgument for a null output, or a null input
// with a length other than 0.
UTILCORE_API int Sha512Digest(const unsigned char* data, std::size_t length, unsigned char* digest);

}  // namespace tdcrypto
