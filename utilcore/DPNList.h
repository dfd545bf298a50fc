// Signed DPN lists: up to 64 entries stored as SHA-512 digests and signed with
// Ed25519, in the file "DPNList.bin":
//   bytes 0..63        signature over bytes 64 to the end
//   bytes 64k..64k+63  digest of entry k (k = 1..n)
// findDPNIdx accepts only lists signed by the private key that matches the
// verification key built into the library.
//
// Keys cross this interface scrambled: s[0] = ~k[0], s[i] = s[i-1] ^ k[i].
#pragma once

#include <string>

#include "UtilcoreApi.h"

struct __tagChainElement__ {
    unsigned int nIndex;
    int nKey;
};

inline constexpr int kDpnOk = 0;
// A signature that does not verify, or nothing to sign.
inline constexpr int kDpnBadSignature = 5593;
// A missing argument (null key or entry array).
inline constexpr int kDpnMissingArgument = 87;
// "DPNList.bin" could not be written completely.
inline constexpr int kDpnWriteFailed = 29;

inline constexpr unsigned int kDpnMaxEntries = 64;
inline constexpr unsigned int kDpnSlotSize = 64;
inline constexpr const char* kDpnListFileName = "DPNList.bin";

// A new key pair from the operating system's random source, both outputs
// scrambled (32 bytes each).
UTILCORE_API void makeKeyPairs(unsigned char* privateKey, unsigned char* publicKey);

// Writes "DPNList.bin" in the current working folder (replacing it) for the
// first min(count, 64) entries of `entryLength` bytes each, signed with the
// scrambled private key. A null entry keeps an all-zero slot. kDpnOk, or
// kDpnBadSignature for zero entries (no file is touched), kDpnMissingArgument,
// kDpnWriteFailed (an existing list is then left as it was).
UTILCORE_API int makeDPNList(const unsigned char* privateKey, const unsigned char* const* entries,
                             unsigned int entryLength, unsigned int count);

// Slot 1..64 of the entry in the list file at `path`, or -1 when the file is
// missing, shorter than two slots, not signed with the built-in key, or does
// not hold the entry. Only the first 4160 bytes of the file are read.
UTILCORE_API int findDPNIdx(const unsigned char* entry, unsigned int length, const std::u16string& path);

// Ascending order of nKey.
UTILCORE_API bool SortChainElements(const __tagChainElement__& a, const __tagChainElement__& b);

// The chain rule, exposed for tests: 32 bytes scrambled / unscrambled.
UTILCORE_API void DpnScrambleKey(const unsigned char* key, unsigned char* scrambled);
UTILCORE_API void DpnUnscrambleKey(const unsigned char* scrambled, unsigned char* key);
