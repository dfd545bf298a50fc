// Register transactions per second against the simulated bridge and chip with
// SPIRWDelay 0. The settings file is read on every transaction (ByteOrder once,
// CSEnable and SPIRWDelay twice each), as in the panel; it lives in a temporary
// folder holding the file the settings dialog writes.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "Ch347Sim.h"
#include "SPIUtil.h"
#include "ScratchSettings.h"
#include "SpiSettingFile.h"
#include "spilink.h"

namespace {

class Chip {
public:
    explicit Chip(int rwDelay)
        : settings_(
              "[SpiSetting]\nSpiMode=1\nSpiClock=4\nByteOrder=1\nCS1Polarity=0\nCS2Polarity=0\nInOutInterval=0\n"
              "FreqEnable=1\nFrequency=7.5\nFreqUnit=0\nDataBits=0\nCSEnable=1\nCSChipIndex=0\nCSActive=0\n"
              "ActiveRwDelay=0\nDeactiveRwDelay=0\nSPIRWDelay=" +
              std::to_string(rwDelay) + "\n") {
        sim::Reset();
        _UI_SPI_CONFIG config;
        LoadSpiConfig(config);
        if (libComm_OpenDevice(0, config) != 1) std::abort();
        // The panel always has a sink: lines are formatted and handed over.
        SetLogSink([this](const std::u16string& line) { chars_ += line.size(); });
    }
    ~Chip() {
        SetLogSink(nullptr);
        libComm_CloseDevice(0);
        sim::Reset();
    }

private:
    ScratchSettings settings_;
    size_t chars_ = 0;
};

void BM_ReadRegister(benchmark::State& state) {
    Chip chip(0);
    unsigned int value = 0;
    for (auto _ : state) {
        if (!ReadRegister(0, kRegVividIntensity, value, kReadCommand)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadRegister);

void BM_UpdateRegister(benchmark::State& state) {
    Chip chip(0);
    unsigned int i = 0;
    for (auto _ : state) {
        if (!UpdateRegister(0, kRegVividIntensity, ++i & 0xFF, kWriteCommand)) state.SkipWithError("write failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UpdateRegister);

// One getter as the read-back thread runs it (transaction + decode + log).
void BM_GetBrightnessAndThreshold(benchmark::State& state) {
    Chip chip(0);
    unsigned int b = 0, t = 0, raw = 0;
    for (auto _ : state) {
        if (!GetBrightnessAndThreshold(0, &b, &t, &raw)) state.SkipWithError("read failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetBrightnessAndThreshold);

void BM_SetSharpeningProcessSize(benchmark::State& state) {
    Chip chip(0);
    unsigned int size = 0;
    for (auto _ : state) {
        if (!SetSharpeningProcessSize(0, size++ % 3)) state.SkipWithError("block write failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetSharpeningProcessSize);

// One settings-file load (a transaction does five).
void BM_LoadSetting(benchmark::State& state) {
    Chip chip(0);
    for (auto _ : state) benchmark::DoNotOptimize(LoadSPIRWDelay());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadSetting);

void BM_SaveSetting(benchmark::State& state) {
    Chip chip(0);
    int i = 0;
    for (auto _ : state) {
        if (!SaveDataBits(i++ & 1)) state.SkipWithError("save failed");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SaveSetting);

// The busy wait grows with SPIRWDelay (0: only the settings read is left).
void BM_RwDelay(benchmark::State& state) {
    Chip chip(static_cast<int>(state.range(0)));
    for (auto _ : state) RwDelay();
    state.counters["loop_iterations"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RwDelay)->Arg(0)->Arg(100000)->Arg(1000000)->Arg(2000000)->Unit(benchmark::kMicrosecond);

}  // namespace
