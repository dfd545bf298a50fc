// Register transactions through the USB code path (spilink -> UsbBackend ->
// transport -> firmware model -> simulated chip) beside the simulated bridge
// reached directly, SPIRWDelay 0. Argument "bridge": 0 the simulated bridge,
// 1 USB one transfer at a time (TUNEDESK_USB_SYNC=1, as before the phases),
// 2 USB with each SPI transfer's USB transfers submitted together.
//
// The model answers at once, so the times are the host's own cost. Per
// transaction: "transfers" counts the bulk transfers, "waits" how often the
// host waited for the bus, and "modelled_us" is a modelled time, not a
// measured one: transfers complete on 125 us microframe boundaries (answers
// one boundary after the request that asked for them) and the host takes
// kHostLatency to act on each completion.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "Ch347Backend.h"
#include "Ch347Sim.h"
#include "FirmwareModel.h"
#include "SPIUtil.h"
#include "ScratchSettings.h"
#include "SpiSettingFile.h"
#include "BackendChoice.h"
#include "regframe.h"
#include "spilink.h"

namespace {

constexpr std::chrono::microseconds kHostLatency{50};

// The bridge at index 0, opened through spilink: the simulated one, or a
// CH347T on the firmware model.
class Bridge {
public:
    explicit Bridge(std::int64_t kind) : settings_("[SpiSetting]\nSPIRWDelay=0\n") {
        sim::Reset();
        if (kind != 0) {
            bus_ = std::make_shared<ch347::model::FirmwareBus>();
            id_ = bus_->Plug({});
            bus_->SetRecording(id_, false);
            bus_->SetHostLatency(kHostLatency);
            // The switch is read when the backend is made.
            if (kind == 1) setenv("TUNEDESK_USB_SYNC", "1", 1);
            ch347::SetBackend(ch347::MakeBackend(ch347::BackendChoice::Usb, bus_));
            unsetenv("TUNEDESK_USB_SYNC");
        }
        _UI_SPI_CONFIG config;
        LoadSpiConfig(config);
        if (libComm_OpenDevice(0, config) != 1) std::abort();
        SetLogSink([this](const std::u16string& line) { chars_ += line.size(); });
        if (bus_) {
            bus_->ClearRecord(id_);
            start_ = bus_->GetTiming();
        }
    }
    ~Bridge() {
        SetLogSink(nullptr);
        libComm_CloseDevice(0);
        ch347::SetBackend(nullptr);
        sim::Reset();
    }

    void Count(benchmark::State& state) const {
        state.SetItemsProcessed(state.iterations());
        if (!bus_) return;
        const ch347::model::TransferCount n = bus_->Transfers(id_);
        state.counters["transfers"] =
            benchmark::Counter(static_cast<double>(n.out + n.in) / static_cast<double>(state.iterations()));
        state.counters["out"] =
            benchmark::Counter(static_cast<double>(n.out) / static_cast<double>(state.iterations()));
        const ch347::model::Timing t = bus_->GetTiming();
        state.counters["waits"] =
            benchmark::Counter(static_cast<double>(t.waits - start_.waits) / static_cast<double>(state.iterations()));
        state.counters["modelled_us"] = benchmark::Counter(static_cast<double>((t.modelled - start_.modelled).count()) /
                                                           static_cast<double>(state.iterations()));
    }

private:
    ScratchSettings settings_;
    std::shared_ptr<ch347::model::FirmwareBus> bus_;
    int id_ = -1;
    ch347::model::Timing start_;
    size_t chars_ = 0;
};

void BM_ReadRegister(benchmark::State& state) {
    Bridge bridge(state.range(0));
    unsigned int value = 0;
    for (auto _ : state) {
        if (!ReadRegister(0, kRegVividIntensity, value, kReadCommand)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(value);
    }
    bridge.Count(state);
}
BENCHMARK(BM_ReadRegister)->ArgName("bridge")->Arg(0)->Arg(1)->Arg(2);

void BM_UpdateRegister(benchmark::State& state) {
    Bridge bridge(state.range(0));
    unsigned int i = 0;
    for (auto _ : state) {
        if (!UpdateRegister(0, kRegVividIntensity, ++i & 0xFF, kWriteCommand)) state.SkipWithError("write failed");
    }
    bridge.Count(state);
}
BENCHMARK(BM_UpdateRegister)->ArgName("bridge")->Arg(0)->Arg(1)->Arg(2);

// The same exchange without the transaction layer (no settings-file reads,
// no log lines): the bridge path's own cost, request written and reply read.
void BM_BridgeExchange(benchmark::State& state) {
    Bridge bridge(state.range(0));
    unsigned char request[16], reply[16];
    const int length = libPro_GetRegisterValuePack(kRegVividIntensity, request, true, kReadCommand);
    for (auto _ : state) {
        if (!libComm_WriteSpiData(0, 1, length, request) || !libComm_ReadSpiData(0, 1, 8, reply))
            state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(reply);
    }
    bridge.Count(state);
}
BENCHMARK(BM_BridgeExchange)->ArgName("bridge")->Arg(0)->Arg(1)->Arg(2);

}  // namespace
