// Feeds arbitrary bytes to findDPNIdx as the contents of a list file (through
// an in-memory file, so no disk traffic), and the same bytes split into key,
// signature and message to the verifier, whose point decoding and scalar
// checks see attacker-chosen values there. Nothing can be forged, so every
// list must be refused.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "DPNList.h"
#include "Ed25519.h"
#include "utilcore.h"

namespace {

int ListFd() {
    static const int fd = memfd_create("dpnlist", MFD_CLOEXEC);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int fd = ListFd();
    if (fd < 0) std::abort();
    if (ftruncate(fd, 0) != 0) std::abort();
    if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    const unsigned int entryLength = size < 16 ? static_cast<unsigned int>(size) : 16;
    const int slot = findDPNIdx(data, entryLength, Ansi2CString(path.c_str()));
    if (slot != -1) std::abort();

    if (size >= 96) {
        const int rc = tdcrypto::Ed25519Verify(data + 32, data + 96, size - 96, data);
        if (rc != tdcrypto::kCryptoBadSignature && rc != tdcrypto::kCryptoOk) std::abort();
    }
    return 0;
}
