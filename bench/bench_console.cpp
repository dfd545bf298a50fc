// Wall time of one EDID Read (sequence A: 123 writes, 256 reads, 8 pauses of
// 1 ms) and one EDID Write (sequence A-write, including its 600 ms erase pause)
// as the console's worker runs them, against the simulated bridge and chip.
// The argument is SPIRWDelay; 2000000 is the value a missing settings file
// gives. Every log line goes through AddLog and is drained, as in the panel.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <list>
#include <string>

#include "Ch347Sim.h"
#include "LogQueue.h"
#include "SPIUtil.h"
#include "ScratchSettings.h"
#include "SpiReadWriteOps.h"
#include "SpiSettingFile.h"
#include "spilink.h"

namespace {

class Chip {
public:
    // Only SPIRWDelay is given; every other setting takes its default.
    explicit Chip(long rwDelay) : settings_("[SpiSetting]\nSPIRWDelay=" + std::to_string(rwDelay) + "\n") {
        sim::Reset();
        _UI_SPI_CONFIG config;
        LoadSpiConfig(config);
        if (libComm_OpenDevice(0, config) != 1) std::abort();
        SetLogSink([](const std::u16string& line) { AddLog(line); });
    }
    ~Chip() {
        SetLogSink(nullptr);
        DrainLog();
        libComm_CloseDevice(0);
    }
    static std::size_t DrainLog() {
        std::list<std::u16string> lines;
        TakeLogLines(lines);
        return lines.size();
    }

private:
    ScratchSettings settings_;
};

void BM_EdidRead(benchmark::State& state) {
    Chip chip(state.range(0));
    const spirw::CmdChoice choice{2, u"", false};  // 0x0600/0x6000
    std::size_t lines = 0;
    for (auto _ : state) {
        std::u16string text;
        if (spirw::ReadEdidData(0, choice, nullptr, text) != 1) state.SkipWithError("EDID read refused");
        lines = Chip::DrainLog();
        benchmark::DoNotOptimize(text);
    }
    state.counters["log_lines"] = static_cast<double>(lines);
    state.counters["transactions"] = 123 + 256;
}
BENCHMARK(BM_EdidRead)->Arg(2000000)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_EdidWrite(benchmark::State& state) {
    Chip chip(state.range(0));
    unsigned int values[256];
    const auto edid = sim::DefaultEdid();
    for (unsigned int i = 0; i < 256; ++i) values[i] = edid[i];
    const std::u16string text = spirw::FormatEdidText(values);
    const spirw::CmdChoice choice{2, u"", false};
    for (auto _ : state) {
        if (spirw::WriteEdidData(0, choice, text, nullptr) != 1) state.SkipWithError("EDID write refused");
        Chip::DrainLog();
    }
}
BENCHMARK(BM_EdidWrite)->Arg(2000000)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
