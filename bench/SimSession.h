// The simulated bridge at index 0, opened with settings for benchmarks
// (SPIRWDelay 0, chip select on) in a scratch settings file, every log line
// handed to `sink`; closed and the simulator reset afterwards.
#pragma once

#include <cstdlib>
#include <string>
#include <utility>

#include "Ch347Sim.h"
#include "SPIUtil.h"
#include "ScratchSettings.h"
#include "SpiSettingFile.h"
#include "spilink.h"

class SimSession {
public:
    explicit SimSession(SpiLogSink sink)
        : settings_("[SpiSetting]\nSpiMode=1\nSpiClock=4\nByteOrder=1\nCSEnable=1\nCSChipIndex=0\nSPIRWDelay=0\n") {
        sim::Reset();
        _UI_SPI_CONFIG config;
        LoadSpiConfig(config);
        if (libComm_OpenDevice(0, config) != 1) std::abort();
        SetLogSink(std::move(sink));
    }
    ~SimSession() {
        SetLogSink(nullptr);
        libComm_CloseDevice(0);
        sim::Reset();
    }
    SimSession(const SimSession&) = delete;
    SimSession& operator=(const SimSession&) = delete;

private:
    ScratchSettings settings_;
};
