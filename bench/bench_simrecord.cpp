// Memory of a panel left running on the simulated bridge: 1,000,000 register
// transactions (half writes, half reads) through the transaction layer, with
// the resident size printed every 100,000 and the peak at the end. The
// simulator's record of what the bridge was given must not grow with them.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Ch347Sim.h"
#include "MemoryUse.h"
#include "SPIUtil.h"
#include "SimSession.h"

int main(int argc, char** argv) {
    const long total = argc > 1 ? std::atol(argv[1]) : 1000000;
    SimSession session([](const std::u16string&) {});

    std::printf("transactions  rss_kib\n%12d  %7ld\n", 0, CurrentRssKb());
    const auto start = std::chrono::steady_clock::now();
    unsigned int value = 0;
    for (long i = 1; i <= total; ++i) {
        const bool ok = i % 2 ? WriteRegister(0, kRegVividIntensity, static_cast<unsigned int>(i & 0xFF), kWriteCommand)
                              : ReadRegister(0, kRegVividIntensity, value, kReadCommand);
        if (!ok) {
            std::fprintf(stderr, "transaction %ld failed\n", i);
            return 1;
        }
        if (i % 100000 == 0) std::printf("%12ld  %7ld\n", i, CurrentRssKb());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const sim::BridgeRecord record = sim::Inspect(0);
    std::printf(
        "peak rss %ld KiB, %.1f s, %.0f transactions/s; record holds %zu writes, %zu chip selects, "
        "%d write calls counted\n",
        PeakRssKb(), seconds, total / seconds, record.writes.size(), record.chipSelects.size(), record.writeCalls);
    return 0;
}
