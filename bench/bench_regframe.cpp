// Request building and reply checking throughput, and the CRC over the
// longest packet (a 126-value block write, 514 bytes).
#include "regframe.h"

#include <benchmark/benchmark.h>

#include <vector>

static void BM_BuildAndCheckReadRequest(benchmark::State& state) {
    unsigned char buf[16];
    unsigned short calc, recv;
    unsigned int address = 0x40080000;
    for (auto _ : state) {
        int n = libPro_GetRegisterValuePack(address, buf, false, 0x0400);
        bool ok = libPro_CheckCrc(buf, static_cast<unsigned short>(n), calc, recv, false);
        benchmark::DoNotOptimize(ok);
        address += 4;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildAndCheckReadRequest);

static void BM_BuildAndCheckWriteRequest(benchmark::State& state) {
    unsigned char buf[16];
    unsigned short calc, recv;
    unsigned int value = 0;
    for (auto _ : state) {
        int n = libPro_SetRegisterValuePack(0x40080038, value++, buf, true, 0x4000);
        bool ok = libPro_CheckCrc(buf, static_cast<unsigned short>(n), calc, recv, true);
        benchmark::DoNotOptimize(ok);
    }
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildAndCheckWriteRequest);

static void BM_BuildBlockWrite126(benchmark::State& state) {
    std::vector<unsigned int> values(126, 0x12345678);
    unsigned char buf[520];
    for (auto _ : state) {
        int n = libPro_SetRegisterValuePack(0x40088000, values.data(), 126, buf, false);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * 514);
    state.counters["packets/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BuildBlockWrite126);

static void BM_Crc514(benchmark::State& state) {
    std::vector<unsigned char> data(514);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 37 + 11);
    for (auto _ : state) {
        benchmark::DoNotOptimize(libPro_CalcCrc(data.data(), 514));
    }
    state.SetBytesProcessed(state.iterations() * 514);
}
BENCHMARK(BM_Crc514);
