// Register transactions through the USB code path (spilink -> UsbBackend ->
// transport -> firmware model -> simulated chip) beside the simulated bridge
// reached directly, SPIRWDelay 0. The model answers at once, so the figures
// are the host's own cost per transaction; "transfers" counts the bulk
// transfers one transaction takes, each at least one 125 us microframe on a
// real high-speed bus.
#include <benchmark/benchmark.h>

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

// The bridge at index 0, opened through spilink: the simulated one, or a
// CH347T on the firmware model.
class Bridge {
public:
    explicit Bridge(bool usb) : settings_("[SpiSetting]\nSPIRWDelay=0\n") {
        sim::Reset();
        if (usb) {
            bus_ = std::make_shared<ch347::model::FirmwareBus>();
            id_ = bus_->Plug({});
            bus_->SetRecording(id_, false);
            ch347::SetBackend(ch347::MakeBackend(ch347::BackendChoice::Usb, bus_));
        }
        _UI_SPI_CONFIG config;
        LoadSpiConfig(config);
        if (libComm_OpenDevice(0, config) != 1) std::abort();
        SetLogSink([this](const std::u16string& line) { chars_ += line.size(); });
        if (bus_) bus_->ClearRecord(id_);
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
    }

private:
    ScratchSettings settings_;
    std::shared_ptr<ch347::model::FirmwareBus> bus_;
    int id_ = -1;
    size_t chars_ = 0;
};

void BM_ReadRegister(benchmark::State& state) {
    Bridge bridge(state.range(0) != 0);
    unsigned int value = 0;
    for (auto _ : state) {
        if (!ReadRegister(0, kRegVividIntensity, value, kReadCommand)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(value);
    }
    bridge.Count(state);
}
BENCHMARK(BM_ReadRegister)->ArgName("usb")->Arg(0)->Arg(1);

void BM_UpdateRegister(benchmark::State& state) {
    Bridge bridge(state.range(0) != 0);
    unsigned int i = 0;
    for (auto _ : state) {
        if (!UpdateRegister(0, kRegVividIntensity, ++i & 0xFF, kWriteCommand)) state.SkipWithError("write failed");
    }
    bridge.Count(state);
}
BENCHMARK(BM_UpdateRegister)->ArgName("usb")->Arg(0)->Arg(1);

// The same exchange without the transaction layer (no settings-file reads,
// no log lines): the bridge path's own cost, request written and reply read.
void BM_BridgeExchange(benchmark::State& state) {
    Bridge bridge(state.range(0) != 0);
    unsigned char request[16], reply[16];
    const int length = libPro_GetRegisterValuePack(kRegVividIntensity, request, true, kReadCommand);
    for (auto _ : state) {
        if (!libComm_WriteSpiData(0, 1, length, request) || !libComm_ReadSpiData(0, 1, 8, reply))
            state.SkipWithError("exchange failed");
        benchmark::DoNotOptimize(reply);
    }
    bridge.Count(state);
}
BENCHMARK(BM_BridgeExchange)->ArgName("usb")->Arg(0)->Arg(1);

}  // namespace
