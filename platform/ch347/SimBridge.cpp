// The simulated bridge: the default backend of the vendor calls, and the
// control interface (Ch347Sim.h) that steers and records it. The chip behind
// each bridge lives in SimChip.cpp; this file is only the bridge's glue.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "Ch347Backend.h"
#include "Ch347Sim.h"
#include "SimChip.h"

namespace {

using ch347::SimChip;

constexpr std::size_t kFaultKinds = 6;

// The latest transfers a bridge was given. The panel may run on the simulator
// for days, so only the last sim::kRecordLimit entries of each list are kept;
// a deque drops the oldest without moving the rest.
struct TransferLog {
    std::deque<std::uint8_t> chipSelects;
    std::deque<std::uint32_t> writeSteps;
    std::deque<std::vector<std::uint8_t>> writes;
    std::deque<std::uint32_t> readLengths;

    template <typename T, typename V>
    static void Keep(std::deque<T>& list, V&& value) {
        if (list.size() >= sim::kRecordLimit) list.pop_front();
        list.emplace_back(std::forward<V>(value));
    }

    void CopyTo(sim::BridgeRecord& record) const {
        record.chipSelects.assign(chipSelects.begin(), chipSelects.end());
        record.writeSteps.assign(writeSteps.begin(), writeSteps.end());
        record.writes.assign(writes.begin(), writes.end());
        record.readLengths.assign(readLengths.begin(), readLengths.end());
    }
};

struct Bridge {
    bool present = false;
    std::uint64_t plug = 0;  // which plugging-in of this bridge: tells a bridge plugged in again apart
    sim::BridgeInfo info;
    bool open = false;
    mSpiCfgS applied{};        // what CH347SPI_GetCfg reports: the last configuration accepted
    sim::BridgeRecord record;  // counters and settings; its lists stay empty
    TransferLog log;
    std::array<int, kFaultKinds> faults{};  // remaining count per fault, sim::kAlways for ever
    std::chrono::microseconds delay{0};
    SimChip chip;
};

struct State {
    std::mutex mutex;
    std::array<Bridge, kCh347MaxDevices> bridges;
    std::uint64_t plugs = 0;  // every plugging-in ever, so no two share a number

    State() { ResetLocked(); }

    void ResetLocked() {
        for (Bridge& b : bridges) {
            b.present = false;
            b.info = sim::BridgeInfo{};
            b.open = false;
            b.applied = mSpiCfgS{};
            b.record = sim::BridgeRecord{};
            b.log = TransferLog{};
            b.faults.fill(0);
            b.delay = std::chrono::microseconds{0};
            b.chip.PowerOn();
        }
        bridges[0].present = true;
        bridges[0].record.present = true;
        bridges[0].plug = ++plugs;
    }
};

State& TheState() {
    static State state;
    return state;
}

Bridge* Find(State& s, unsigned long index) { return index < s.bridges.size() ? &s.bridges[index] : nullptr; }

bool TakeFault(Bridge& b, sim::Fault fault) {
    int& left = b.faults[static_cast<std::size_t>(fault)];
    if (left == sim::kAlways) return true;
    if (left > 0) {
        --left;
        return true;
    }
    return false;
}

// A bridge whose SPI calls can succeed: plugged in and opened.
bool Usable(const Bridge* b) { return b && b->present && b->open; }
// Chip mode 3 has no SPI port.
bool SpiCapable(const Bridge& b) { return b.info.chipMode != 3; }

void CopyText(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// Hands a request to the chip, with the reply faults armed for it.
void ToChip(Bridge& b, const std::uint8_t* data, std::size_t length) {
    SimChip::ReplyFaults faults;
    faults.badCrc = TakeFault(b, sim::Fault::BadReplyCrc);
    faults.wrongStatus = TakeFault(b, sim::Fault::WrongReplyStatus);
    bool lost = false;
    if (b.chip.Request(data, length, faults, &lost))
        ++b.record.requests;
    else
        ++b.record.rejectedRequests;
    if (lost) ++b.record.lostReplies;
}

void DelayTransfer(State& s, unsigned long index) {
    std::chrono::microseconds delay{0};
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (Bridge* b = Find(s, index)) delay = b->delay;
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
}

class SimBackend final : public ch347::Backend {
public:
    CH347_HANDLE OpenDevice(unsigned long index) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (!b) return CH347_INVALID_HANDLE;
        ++b->record.openCalls;
        if (!b->present || TakeFault(*b, sim::Fault::OpenRefused)) return CH347_INVALID_HANDLE;
        b->open = b->record.open = true;
        return static_cast<CH347_HANDLE>(index);
    }

    int CloseDevice(unsigned long index) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (!b) return 0;
        ++b->record.closeCalls;
        if (!b->present || TakeFault(*b, sim::Fault::CloseRefused)) return 0;
        b->open = b->record.open = false;
        return 1;
    }

    int GetDeviceInfor(unsigned long index, mDeviceInforS& info) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (b) ++b->record.infoCalls;
        if (!Usable(b)) return 0;
        std::memset(&info, 0, sizeof info);
        info.ChipMode = static_cast<std::uint8_t>(b->info.chipMode);
        CopyText(info.ProductString, sizeof info.ProductString, b->info.product);
        CopyText(info.ManufacturerString, sizeof info.ManufacturerString, b->info.manufacturer);
        CopyText(info.FuncDescStr, sizeof info.FuncDescStr, b->info.description);
        if (b->info.unterminatedDescription) {
            std::size_t used = std::min(b->info.description.size(), sizeof info.FuncDescStr);
            std::memcpy(info.FuncDescStr, b->info.description.data(), used);
            std::memset(info.FuncDescStr + used, '_', sizeof info.FuncDescStr - used);
            // The record's last byte too, so a reader that runs past the field finds no NUL soon.
            info.Reserved3[0] = '_';
        }
        return 1;
    }

    int GetVersion(unsigned long index, std::uint8_t& driverVersion, std::uint8_t& libraryVersion,
                   std::uint8_t& deviceRelease, std::uint8_t& chipType) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (b) ++b->record.versionCalls;
        if (!Usable(b)) return 0;
        driverVersion = b->info.driverVersion;
        libraryVersion = b->info.libraryVersion;
        deviceRelease = b->info.deviceRelease;
        chipType = b->info.chipType;
        return 1;
    }

    int SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (!Usable(b)) return 0;
        b->record.timeoutsSet = true;
        b->record.writeTimeout = writeTimeout;
        b->record.readTimeout = readTimeout;
        return 1;
    }

    int SpiSetFrequency(unsigned long index, std::uint32_t hz) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (!Usable(b)) return 0;
        b->record.frequencySet = true;
        b->record.frequencyHz = hz;
        return SpiCapable(*b) ? 1 : 0;
    }

    int SpiSetDataBits(unsigned long index, std::uint8_t dataBits) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (!Usable(b)) return 0;
        b->record.dataBitsSet = true;
        b->record.dataBits = dataBits;
        return SpiCapable(*b) && dataBits <= 1 ? 1 : 0;
    }

    int SpiInit(unsigned long index, const mSpiCfgS& config) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (b) ++b->record.initCalls;
        if (!Usable(b)) return 0;
        b->record.configured = true;
        std::memcpy(b->record.config.data(), &config, sizeof config);
        // The bridge refuses settings it has no setting for.
        if (!SpiCapable(*b) || config.iMode > 3 || config.iClock > 7 || config.iByteOrder > 1) return 0;
        b->applied = config;
        return 1;
    }

    int SpiGetCfg(unsigned long index, mSpiCfgS& config) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (!Usable(b) || !SpiCapable(*b)) return 0;
        config = b->applied;
        return 1;
    }

    int SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                 std::uint8_t* buffer) override {
        State& s = TheState();
        DelayTransfer(s, index);
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (b) ++b->record.writeCalls;
        if (!Usable(b) || !SpiCapable(*b)) return 0;
        TransferLog::Keep(b->log.chipSelects, static_cast<std::uint8_t>(chipSelect));
        TransferLog::Keep(b->log.writeSteps, writeStep);
        // A write step of 0 would never finish the transfer.
        if (writeStep == 0 || TakeFault(*b, sim::Fault::WriteRefused)) return 0;
        TransferLog::Keep(b->log.writes, std::vector<std::uint8_t>(buffer, buffer + length));
        if (length > 0) ToChip(*b, buffer, length);
        return 1;
    }

    int SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                std::uint8_t* buffer) override {
        State& s = TheState();
        DelayTransfer(s, index);
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (b) ++b->record.readCalls;
        if (!Usable(b) || !SpiCapable(*b)) return 0;
        TransferLog::Keep(b->log.chipSelects, static_cast<std::uint8_t>(chipSelect));
        if (TakeFault(*b, sim::Fault::ReadRefused)) return 0;
        if (sendLength > 0) {
            TransferLog::Keep(b->log.writes, std::vector<std::uint8_t>(buffer, buffer + sendLength));
            ToChip(*b, buffer, sendLength);
        }
        TransferLog::Keep(b->log.readLengths, length);
        b->chip.Reply(buffer, length);
        return 1;
    }

    CH347_HANDLE ReopenDevice(unsigned long index) override { return OpenDevice(index); }

    // A simulated bridge always opens.
    std::vector<ch347::BridgeProblem> Problems() override { return {}; }

    // The simulated bridge fails only when told to, and recovers by itself.
    bool TakeFailureNotice(unsigned long) override { return false; }

    std::string BridgeIdentity(unsigned long index) override {
        State& s = TheState();
        std::lock_guard<std::mutex> lock(s.mutex);
        Bridge* b = Find(s, index);
        if (!b || !b->present) return {};
        return "simulated " + std::to_string(index) + " plug " + std::to_string(b->plug);
    }
};

template <typename R, typename F>
R WithBridge(unsigned long index, R none, F&& f) {
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    Bridge* b = Find(s, index);
    return b ? f(*b) : none;
}

}  // namespace

namespace ch347 {

bool SnapshotChip(unsigned long index, SimChip::State& out) {
    return WithBridge(index, false, [&](Bridge& b) {
        out = b.chip.Snapshot();
        return true;
    });
}

bool RestoreChip(unsigned long index, const SimChip::State& state) {
    return WithBridge(index, false, [&](Bridge& b) {
        b.chip.Restore(state);
        return true;
    });
}

}  // namespace ch347

namespace ch347 {

std::shared_ptr<Backend> SimulatedBackend() {
    static const std::shared_ptr<Backend> backend = std::make_shared<SimBackend>();
    return backend;
}

}  // namespace ch347

namespace sim {

void Reset() {
    State& s = TheState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.ResetLocked();
}

bool AddBridge(unsigned long index, const BridgeInfo& info) {
    State& s = TheState();
    return WithBridge(index, false, [&](Bridge& b) {
        if (!b.present) b.plug = ++s.plugs;
        b.present = b.record.present = true;
        b.info = info;
        return true;
    });
}

bool AddBridge(unsigned long index, int chipMode, const std::string& description) {
    BridgeInfo info;
    info.chipMode = chipMode;
    info.description = description;
    return AddBridge(index, info);
}

bool RemoveBridge(unsigned long index) {
    return WithBridge(index, false, [](Bridge& b) {
        b.present = b.record.present = false;
        b.open = b.record.open = false;
        return true;
    });
}

void RemoveAllBridges() {
    for (unsigned long i = 0; i < kCh347MaxDevices; ++i) RemoveBridge(i);
}

bool HasBridge(unsigned long index) {
    return WithBridge(index, false, [](Bridge& b) { return b.present; });
}

bool SetChipMode(unsigned long index, int chipMode) {
    return WithBridge(index, false, [&](Bridge& b) {
        b.info.chipMode = chipMode;
        return true;
    });
}

bool InjectFault(unsigned long index, Fault fault, int count) {
    if (count < kAlways) return false;
    return WithBridge(index, false, [&](Bridge& b) {
        b.faults[static_cast<std::size_t>(fault)] = count;
        return true;
    });
}

void ClearFaults(unsigned long index) {
    WithBridge(index, 0, [](Bridge& b) {
        b.faults.fill(0);
        return 0;
    });
}

BridgeRecord Inspect(unsigned long index) {
    return WithBridge(index, BridgeRecord{}, [](Bridge& b) {
        BridgeRecord copy = b.record;
        b.log.CopyTo(copy);
        return copy;
    });
}

void ClearRecord(unsigned long index) {
    WithBridge(index, 0, [](Bridge& b) {
        BridgeRecord fresh;
        fresh.present = b.present;
        fresh.open = b.open;
        fresh.configured = b.record.configured;
        fresh.config = b.record.config;
        fresh.frequencySet = b.record.frequencySet;
        fresh.frequencyHz = b.record.frequencyHz;
        fresh.dataBitsSet = b.record.dataBitsSet;
        fresh.dataBits = b.record.dataBits;
        fresh.timeoutsSet = b.record.timeoutsSet;
        fresh.writeTimeout = b.record.writeTimeout;
        fresh.readTimeout = b.record.readTimeout;
        b.record = std::move(fresh);
        b.log = TransferLog{};
        return 0;
    });
}

mSpiCfgS GetSpiConfig(unsigned long index) {
    mSpiCfgS cfg{};
    WithBridge(index, 0, [&](Bridge& b) {
        std::memcpy(&cfg, b.record.config.data(), sizeof cfg);
        return 0;
    });
    return cfg;
}

std::uint32_t GetFrequency(unsigned long index) {
    return WithBridge(index, std::uint32_t{0}, [](Bridge& b) { return b.record.frequencyHz; });
}

std::uint8_t GetDataBits(unsigned long index) {
    return WithBridge(index, std::uint8_t{0}, [](Bridge& b) { return b.record.dataBits; });
}

std::vector<std::uint8_t> GetChipSelects(unsigned long index) {
    return WithBridge(index, std::vector<std::uint8_t>{}, [](Bridge& b) {
        return std::vector<std::uint8_t>(b.log.chipSelects.begin(), b.log.chipSelects.end());
    });
}

std::vector<std::vector<std::uint8_t>> GetWrites(unsigned long index) {
    return WithBridge(index, std::vector<std::vector<std::uint8_t>>{}, [](Bridge& b) {
        return std::vector<std::vector<std::uint8_t>>(b.log.writes.begin(), b.log.writes.end());
    });
}

bool IsOpen(unsigned long index) {
    return WithBridge(index, false, [](Bridge& b) { return b.open; });
}

void SetTransferDelay(unsigned long index, std::chrono::microseconds delay) {
    WithBridge(index, 0, [&](Bridge& b) {
        b.delay = std::max(delay, std::chrono::microseconds{0});
        return 0;
    });
}

bool SetRegister(unsigned long index, unsigned short command, unsigned int address, unsigned int value) {
    return WithBridge(index, false, [&](Bridge& b) { return b.chip.Set(command, address, value); });
}

unsigned int GetRegister(unsigned long index, unsigned short command, unsigned int address) {
    return WithBridge(index, 0u, [&](Bridge& b) { return b.chip.Get(command, address).value_or(0u); });
}

bool HasRegister(unsigned long index, unsigned short command, unsigned int address) {
    return WithBridge(index, false, [&](Bridge& b) { return b.chip.Has(command, address); });
}

std::array<std::uint8_t, 256> GetEdid(unsigned long index) {
    return WithBridge(index, std::array<std::uint8_t, 256>{}, [](Bridge& b) { return b.chip.Edid(); });
}

bool SetEdid(unsigned long index, const std::array<std::uint8_t, 256>& edid) {
    return WithBridge(index, false, [&](Bridge& b) {
        b.chip.SetEdid(edid);
        return true;
    });
}

std::array<std::uint8_t, 256> DefaultEdid() { return SimChip::DefaultEdid(); }

unsigned int PowerOnValue(unsigned int address) { return SimChip::PowerOnValue(address); }

}  // namespace sim
