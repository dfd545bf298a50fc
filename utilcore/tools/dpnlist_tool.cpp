// Release tool for signed DPN lists. The private key lives in a file outside
// the source tree (made by `keygen`, readable by its owner only); the library
// holds only the scrambled public half.
//
//   dpnlist_tool keygen KEYFILE        new key pair: the scrambled private key
//                                      into KEYFILE, the scrambled public key
//                                      printed as the initializer for DPNList.cpp
//   dpnlist_tool sign KEYFILE HEX...   writes DPNList.bin in the current folder,
//                                      one entry per HEX argument (all the same length)
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "DPNList.h"
#include "Ed25519.h"

namespace {

int Usage() {
    std::fprintf(stderr, "usage: dpnlist_tool keygen KEYFILE\n       dpnlist_tool sign KEYFILE HEX...\n");
    return 2;
}

bool ParseHex(const char* text, std::vector<unsigned char>& out) {
    const std::size_t n = std::strlen(text);
    if (n == 0 || n % 2) return false;
    for (std::size_t i = 0; i < n; i += 2) {
        unsigned value = 0;
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])) || std::sscanf(text + i, "%2x", &value) != 1)
            return false;
        out.push_back(static_cast<unsigned char>(value));
    }
    return true;
}

int KeyGen(const char* path) {
    unsigned char priv[32], pub[32];
    makeKeyPairs(priv, pub);
    // Without randomness makeKeyPairs leaves zeros: such a key must never be trusted.
    if (std::all_of(pub, pub + sizeof pub, [](unsigned char b) { return b == 0; })) {
        std::fprintf(stderr, "no key was made: the system gave no random bytes\n");
        return 1;
    }
    // O_EXCL: never overwrite the key every shipped build trusts.
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && write(fd, priv, sizeof priv) == static_cast<ssize_t>(sizeof priv);
    if (fd >= 0) {
        ok = close(fd) == 0 && ok;
        // A partial key file would block the next keygen and sign nothing.
        if (!ok) unlink(path);
    }
    tdcrypto::SecureZero(priv, sizeof priv);
    if (!ok) {
        std::perror(path);
        return 1;
    }
    std::printf("constexpr unsigned char kBuiltInKeyScrambled[32] = {");
    for (int i = 0; i < 32; ++i) std::printf("%s0x%02x,", i % 16 ? " " : "\n    ", pub[i]);
    std::printf("\n};\n");
    return 0;
}

int Sign(const char* path, int count, char** hex) {
    unsigned char priv[32];
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && read(fd, priv, sizeof priv) == static_cast<ssize_t>(sizeof priv);
    if (fd >= 0) close(fd);
    if (!ok) {
        std::fprintf(stderr, "%s: cannot read a 32-byte key\n", path);
        return 1;
    }
    std::vector<std::vector<unsigned char>> entries(static_cast<std::size_t>(count));
    std::vector<const unsigned char*> pointers;
    for (int i = 0; i < count; ++i) {
        if (!ParseHex(hex[i], entries[i]) || entries[i].size() != entries[0].size()) {
            std::fprintf(stderr, "entry %d: hex bytes of the same length as the first expected\n", i + 1);
            tdcrypto::SecureZero(priv, sizeof priv);
            return 2;
        }
        pointers.push_back(entries[i].data());
    }
    if (count > static_cast<int>(kDpnMaxEntries)) std::fprintf(stderr, "only the first 64 entries are listed\n");
    const int rc =
        makeDPNList(priv, pointers.data(), static_cast<unsigned>(entries[0].size()), static_cast<unsigned>(count));
    tdcrypto::SecureZero(priv, sizeof priv);
    if (rc != kDpnOk) {
        std::fprintf(stderr, "makeDPNList failed: %d\n", rc);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "keygen") == 0) return KeyGen(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "sign") == 0) return Sign(argv[2], argc - 3, argv + 3);
    return Usage();
}
