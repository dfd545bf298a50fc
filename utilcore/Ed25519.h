// Ed25519 signatures (RFC 8032): the pure scheme used by the DPN list, plus
// the context (Ed25519ctx) and pre-hash (Ed25519ph) variants. Internal to
// utilcore; visible so tests and benchmarks can reach it.
//
// Keys: the 32-byte seed is the private key, the 32-byte encoded point the
// public key; signatures are 64 bytes (R || S).
// Results: kCryptoOk, kCryptoBadSignature (a signature that does not verify),
// kCryptoMissingArgument (a null key, signature or output, a null message with
// a length other than 0, or a context that the variant does not allow).
#pragma once

#include <cstddef>

#include "Sha512.h"
#include "UtilcoreApi.h"

namespace tdcrypto {

inline constexpr std::size_t kEd25519SeedSize = 32;
inline constexpr std::size_t kEd25519PublicKeySize = 32;
inline constexpr std::size_t kEd25519SignatureSize = 64;

// Derives the public key from a seed.
UTILCORE_API int Ed25519PublicKey(const unsigned char* seed, unsigned char* publicKey);

// Pure Ed25519. `publicKey` may be null; it is then derived from the seed
// (which costs one more base-point multiplication).
UTILCORE_API int Ed25519Sign(unsigned char* signature, const unsigned char* message, std::size_t length,
                             const unsigned char* seed, const unsigned char* publicKey);
UTILCORE_API int Ed25519Verify(const unsigned char* signature, const unsigned char* message, std::size_t length,
                               const unsigned char* publicKey);

// Ed25519ctx: the context must hold 1 to 255 bytes.
UTILCORE_API int Ed25519ctxSign(unsigned char* signature, const unsigned char* message, std::size_t length,
                                const unsigned char* context, std::size_t contextLength, const unsigned char* seed,
                                const unsigned char* publicKey);
UTILCORE_API int Ed25519ctxVerify(const unsigned char* signature, const unsigned char* message, std::size_t length,
                                  const unsigned char* context, std::size_t contextLength,
                                  const unsigned char* publicKey);

// Ed25519ph: the message is hashed with SHA-512 first; the context may hold
// 0 to 255 bytes.
UTILCORE_API int Ed25519phSign(unsigned char* signature, const unsigned char* message, std::size_t length,
                               const unsigned char* context, std::size_t contextLength, const unsigned char* seed,
                               const unsigned char* publicKey);
UTILCORE_API int Ed25519phVerify(const unsigned char* signature, const unsigned char* message, std::size_t length,
                                 const unsigned char* context, std::size_t contextLength,
                                 const unsigned char* publicKey);

// Scalar helpers, exposed for tests: `out` = `in` (64 bytes, little-endian)
// reduced modulo the group order; true when the 32 bytes are below the order.
UTILCORE_API void Ed25519ReduceScalar(const unsigned char* in64, unsigned char* out32);
UTILCORE_API bool Ed25519IsCanonicalScalar(const unsigned char* s32);

// Overwrites memory in a way the compiler does not remove.
UTILCORE_API void SecureZero(void* p, std::size_t n);

}  // namespace tdcrypto
