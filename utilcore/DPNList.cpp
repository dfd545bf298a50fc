#include "DPNList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/random.h>
#include <unistd.h>

#include "Convert.h"
#include "Ed25519.h"
#include "Sha512.h"

namespace {

constexpr unsigned int kListBytes = (kDpnMaxEntries + 1) * kDpnSlotSize;  // 4160

// The verification key of every list this library accepts, scrambled. The
// matching private key is kept by whoever signs releases, outside the source
// tree (dpnlist_tool keygen made the pair); see the README.
constexpr unsigned char kBuiltInKeyScrambled[32] = {
    0xe3, 0x9f, 0x57, 0x21, 0x21, 0x9f, 0xda, 0xa0, 0xe8, 0xd3, 0x80, 0xe0, 0xc3, 0x8d, 0xa1, 0x97,
    0x59, 0xea, 0x42, 0xcb, 0xe3, 0x7b, 0x25, 0x85, 0x2a, 0x6c, 0xc0, 0x56, 0xe0, 0xbc, 0x76, 0xac,
};

#ifdef TUNEDESK_DPN_TEST_KEY
// Test builds only (utilcore_dpn_testing): lets tests verify with a key of
// their own, whose private half they hold.
const unsigned char* g_testKeyScrambled = nullptr;
unsigned char g_testKeyStore[32];
#endif

const unsigned char* VerificationKeyScrambled() {
#ifdef TUNEDESK_DPN_TEST_KEY
    if (g_testKeyScrambled) return g_testKeyScrambled;
#endif
    return kBuiltInKeyScrambled;
}

// 32 bytes from the kernel's random source. getrandom blocks only until the
// pool is first seeded; /dev/urandom stands in on kernels without the call.
bool SystemRandom(unsigned char* out, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::getrandom(out + done, length - done, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    if (done == length) return true;
    const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (done < length) {
        const ssize_t n = ::read(fd, out + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return done == length;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Written beside the old list and renamed over it, so a failed write never
// leaves a torn list behind.
bool WriteListFile(const unsigned char* data, std::size_t length) {
    const std::string tmp = std::string(kDpnListFileName) + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, length);
    if (::close(fd) != 0) ok = false;
    if (ok && std::rename(tmp.c_str(), kDpnListFileName) != 0) ok = false;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

}  // namespace

#ifdef TUNEDESK_DPN_TEST_KEY
void DpnSetVerificationKeyForTest(const unsigned char* scrambled) {
    if (scrambled) std::memcpy(g_testKeyStore, scrambled, sizeof g_testKeyStore);
    g_testKeyScrambled = scrambled ? g_testKeyStore : nullptr;
}
#endif

void DpnScrambleKey(const unsigned char* key, unsigned char* scrambled) {
    unsigned char prev = static_cast<unsigned char>(~key[0]);
    scrambled[0] = prev;
    for (int i = 1; i < 32; ++i) {
        prev = static_cast<unsigned char>(prev ^ key[i]);
        scrambled[i] = prev;
    }
}

void DpnUnscrambleKey(const unsigned char* scrambled, unsigned char* key) {
    // Downwards, so the two buffers may be the same.
    for (int i = 31; i >= 1; --i) key[i] = static_cast<unsigned char>(scrambled[i] ^ scrambled[i - 1]);
    key[0] = static_cast<unsigned char>(~scrambled[0]);
}

void makeKeyPairs(unsigned char* privateKey, unsigned char* publicKey) {
    if (privateKey == nullptr || publicKey == nullptr) return;
    unsigned char seed[32], pub[32];
    if (!SystemRandom(seed, sizeof seed)) {
        // No randomness at all: hand out nothing usable rather than a
        // guessable key.
        std::memset(privateKey, 0, 32);
        std::memset(publicKey, 0, 32);
        return;
    }
    tdcrypto::Ed25519PublicKey(seed, pub);
    DpnScrambleKey(seed, privateKey);
    DpnScrambleKey(pub, publicKey);
    tdcrypto::SecureZero(seed, sizeof seed);
}

int makeDPNList(const unsigned char* privateKey, const unsigned char* const* entries, unsigned int entryLength,
                unsigned int count) {
    if (count == 0) return kDpnBadSignature;
    if (privateKey == nullptr || entries == nullptr) return kDpnMissingArgument;
    const unsigned int n = count < kDpnMaxEntries ? count : kDpnMaxEntries;
    unsigned char list[kListBytes] = {};
    for (unsigned int k = 1; k <= n; ++k) {
        if (entries[k - 1] != nullptr) tdcrypto::Sha512Digest(entries[k - 1], entryLength, list + k * kDpnSlotSize);
    }
    unsigned char seed[32];
    DpnUnscrambleKey(privateKey, seed);
    const int rc = tdcrypto::Ed25519Sign(list, list + kDpnSlotSize, n * kDpnSlotSize, seed, nullptr);
    tdcrypto::SecureZero(seed, sizeof seed);
    if (rc != tdcrypto::kCryptoOk) return rc;
    return WriteListFile(list, (n + 1) * kDpnSlotSize) ? kDpnOk : kDpnWriteFailed;
}

int findDPNIdx(const unsigned char* entry, unsigned int length, const std::u16string& path) {
    std::string native;
    if (path.empty() || CString2Ansi(path, native) == 0 || native.empty()) return -1;
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    unsigned char list[kListBytes];
    std::size_t got = 0;
    while (got < sizeof list) {
        const ssize_t n = ::read(fd, list + got, sizeof list - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);

    const std::size_t slots = got / kDpnSlotSize;
    if (slots < 2) return -1;

    unsigned char key[32];
    DpnUnscrambleKey(VerificationKeyScrambled(), key);
    const int verified = tdcrypto::Ed25519Verify(list, list + kDpnSlotSize, (slots - 1) * kDpnSlotSize, key);
    tdcrypto::SecureZero(key, sizeof key);
    if (verified != tdcrypto::kCryptoOk) return -1;

    unsigned char digest[64];
    if (tdcrypto::Sha512Digest(entry, length, digest) != tdcrypto::kCryptoOk) return -1;
    for (std::size_t k = 1; k < slots; ++k) {
        if (std::memcmp(digest, list + k * kDpnSlotSize, sizeof digest) == 0) return static_cast<int>(k);
    }
    return -1;
}

bool SortChainElements(const __tagChainElement__& a, const __tagChainElement__& b) { return a.nKey < b.nKey; }
