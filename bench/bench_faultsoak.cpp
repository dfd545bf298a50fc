// Soak of the register transaction layer under seeded faults: 100,000
// transactions (writes and reads of the plain register space) on the
// simulated chip behind a FaultBackend, about 1 % of transfers faulted. For
// every failed transaction the designed failure line must be in the log; every
// transaction reported good must carry the chip's true value. Prints the
// counts and the resident size along the way.
//
//   bench_faultsoak [TRANSACTIONS] [SETTINGS]     defaults: 100000 "seed=42,rate=0.01"
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "Ch347Backend.h"
#include "Ch347Sim.h"
#include "FaultBackend.h"
#include "MemoryUse.h"
#include "SPIUtil.h"
#include "SimSession.h"

namespace {

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::string Hex8(unsigned int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", v);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    const long total = argc > 1 ? std::atol(argv[1]) : 100000;
    const std::string planText = argc > 2 ? argv[2] : "seed=42,rate=0.01";
    std::vector<std::string> lines;
    SimSession session([&](const std::u16string& line) { lines.push_back(Narrow(line)); });
    std::string error;
    if (!ch347::InstallFaults(planText, &error)) {
        std::fprintf(stderr, "--faults: %s\n", error.c_str());
        return 2;
    }

    constexpr unsigned short kPlainRead = 0x0200, kPlainWrite = 0x2000;
    std::mt19937 rng(1);
    long ok = 0, failed = 0, unlogged = 0, corruptedAccepted = 0;
    long writeSpi = 0, readSpi = 0, crc = 0, readStatus = 0, writeStatus = 0;
    std::printf("transactions  rss_kib\n%12d  %7ld\n", 0, CurrentRssKb());
    const auto start = std::chrono::steady_clock::now();
    for (long i = 1; i <= total; ++i) {
        const unsigned int address = 0x100 + 4 * (rng() % 16);
        const bool write = i % 2;
        unsigned int value = write ? static_cast<unsigned int>(rng()) : 0xDEADBEEF;
        if (i % 10000 == 0) std::printf("%12ld  %7ld\n", i, CurrentRssKb());
        lines.clear();
        const bool good =
            write ? WriteRegister(0, address, value, kPlainWrite) : ReadRegister(0, address, value, kPlainRead);
        if (good) {
            ++ok;
            if (value != sim::GetRegister(0, kPlainRead, address)) ++corruptedAccepted;
            continue;
        }
        ++failed;
        bool logged = false;
        for (const std::string& line : lines) {
            if (line == "Write SPI failed!")
                ++writeSpi, logged = true;
            else if (line == "Read SPI failed!")
                ++readSpi, logged = true;
            else if (StartsWith(line, "CRC Check failed, recved: "))
                ++crc, logged = true;
            else if (line == "Read REG: " + Hex8(address) + " failed!")
                ++readStatus, logged = true;
            else if (line == "Update REG: " + Hex8(address) + ", Value: " + Hex8(value) + " failed!")
                ++writeStatus, logged = true;
        }
        if (!logged) {
            ++unlogged;
            std::fprintf(stderr, "transaction %ld failed without a failure line\n", i);
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ch347::FaultCounts c;
    ch347::InstalledFaultCounts(c);
    ch347::SetBackend(nullptr);

    std::printf("faults %s: %ld transactions in %.1f s, %ld good, %ld failed\n", planText.c_str(), total, seconds, ok,
                failed);
    std::printf(
        "faults injected: %llu of %llu transfers (%.2f %%): %llu bit flips, %llu short reads, "
        "%llu refused writes, %llu refused reads\n",
        static_cast<unsigned long long>(c.flips + c.shortReads + c.refusedWrites + c.refusedReads),
        static_cast<unsigned long long>(c.transfers),
        100.0 * static_cast<double>(c.flips + c.shortReads + c.refusedWrites + c.refusedReads) /
            static_cast<double>(c.transfers ? c.transfers : 1),
        static_cast<unsigned long long>(c.flips), static_cast<unsigned long long>(c.shortReads),
        static_cast<unsigned long long>(c.refusedWrites), static_cast<unsigned long long>(c.refusedReads));
    std::printf(
        "failure lines: %ld \"Write SPI failed!\", %ld \"Read SPI failed!\", %ld \"CRC Check failed\", "
        "%ld \"Read REG: ... failed!\", %ld \"Update REG: ... failed!\"\n",
        writeSpi, readSpi, crc, readStatus, writeStatus);
    std::printf("failures without a failure line: %ld; corrupted answers accepted as good: %ld\n", unlogged,
                corruptedAccepted);
    std::printf("peak rss %ld KiB\n", PeakRssKb());
    return unlogged == 0 && corruptedAccepted == 0 ? 0 : 1;
}
