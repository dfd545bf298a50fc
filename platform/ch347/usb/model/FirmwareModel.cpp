#include "FirmwareModel.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <deque>

namespace ch347::model {

namespace {

constexpr std::size_t kFaultKinds = 6;
constexpr std::uint8_t kSpiOut = 0x06, kSpiIn = 0x86;
constexpr std::uint16_t kFirmwareVersion = 0x0341;
constexpr std::chrono::microseconds kMicroframe{125};  // high-speed USB

struct Device {
    UsbDeviceInfo info;
    bool present = true;
    bool claimed = false;
    bool driverAttached = false;
    int unplugIn = 0;  // transfers until unplugged; 0: never
    std::array<int, kFaultKinds> faults{};
    bool recording = true;
    std::vector<Frame> outLog;
    TransferCount count;
    unsigned int smallestTimeoutMs = kNoTimeoutYet;

    ch347::SimChip chip;
    std::array<std::uint8_t, kSpiInitPayloadBytes> config{};
    bool selected = false;
    std::vector<std::uint8_t> spiOut;  // bytes clocked out while the chip is selected
    std::deque<Frame> answers;
    std::vector<std::uint8_t> presetRead;
};

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

}  // namespace

struct FirmwareBus::State {
    std::mutex mutex;
    std::vector<Device> devices;  // index = id; unplugged ones stay, not present
    std::uint8_t nextAddress = 2;
    std::chrono::microseconds hostLatency{0};
    std::chrono::microseconds clock{0};  // the modelled time, see Timing
    long waits = 0;

    // One wait of the host for transfers it submitted: OUT transfers complete
    // at the next microframe boundary; answers the firmware prepares from
    // them go out at the boundary after; then the host takes its latency to
    // see the completion and submit what comes next.
    void Wait(bool receives, bool sends) {
        ++waits;
        if (sends) clock = NextMicroframe(clock);
        if (receives) clock = NextMicroframe(clock);
        clock += hostLatency;
    }
    static std::chrono::microseconds NextMicroframe(std::chrono::microseconds t) {
        return (t / kMicroframe + 1) * kMicroframe;
    }

    Device* Find(int id) {
        return id >= 0 && static_cast<std::size_t>(id) < devices.size() ? &devices[static_cast<std::size_t>(id)]
                                                                        : nullptr;
    }

    static bool Take(Device& d, Fault fault) {
        int& left = d.faults[static_cast<std::size_t>(fault)];
        if (left == kAlways) return true;
        if (left > 0) {
            --left;
            return true;
        }
        return false;
    }

    // Counts a transfer; false when the device is (or just got) unplugged.
    static bool Transfer(Device& d, bool out, unsigned int timeoutMs) {
        if (!d.present) return false;
        d.smallestTimeoutMs = std::min(d.smallestTimeoutMs, timeoutMs);
        ++(out ? d.count.out : d.count.in);
        if (d.unplugIn > 0 && --d.unplugIn == 0) {
            d.present = false;
            d.claimed = false;
            return false;
        }
        return true;
    }

    static void Answer(Device& d, std::uint8_t command, const std::uint8_t* payload, std::size_t length) {
        Frame frame = EncodeFrame(command, payload, length);
        if (Take(d, Fault::WrongEcho)) frame[0] ^= 0x01;
        if (Take(d, Fault::BadLength)) ++frame[1];
        if (Take(d, Fault::ShortFrame)) frame.pop_back();
        d.answers.push_back(std::move(frame));
    }

    // What the chip received while selected ends with the selection (or at
    // once when the host writes without a chip select).
    static void FlushSpi(Device& d) {
        if (d.spiOut.empty()) return;
        bool lost = false;
        d.chip.Request(d.spiOut.data(), d.spiOut.size(), {}, &lost);
        d.spiOut.clear();
    }

    static void Firmware(Device& d, const std::uint8_t* data, std::size_t size) {
        while (size >= kHeaderBytes) {
            const std::uint8_t command = data[0];
            const std::size_t length = Le16(data + 1);
            if (size - kHeaderBytes < length) return;  // a torn frame: the firmware waits for ever
            const std::uint8_t* p = data + kHeaderBytes;
            switch (command) {
            case kCmdSpiInit: {
                const std::uint8_t status = length == kSpiInitPayloadBytes ? 0 : 1;
                if (status == 0) std::memcpy(d.config.data(), p, length);
                Answer(d, command, &status, 1);
                break;
            }
            case kCmdChipSelect:
                if (length == kChipSelectPayloadBytes) {
                    for (const std::uint8_t control : {p[0], p[5]}) {
                        if (!(control & 0x80)) continue;
                        d.selected = !(control & 0x40);
                        if (!d.selected) FlushSpi(d);
                    }
                }
                break;
            case kCmdSpiWrite: {
                d.spiOut.insert(d.spiOut.end(), p, p + length);
                if (!d.selected) FlushSpi(d);
                const std::uint8_t ok = 0;
                Answer(d, command, &ok, 1);
                break;
            }
            case kCmdSpiRead: {
                // More than a megabyte is no request this model serves.
                if (length != 4) break;
                FlushSpi(d);
                const std::uint32_t count =
                    static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<std::uint32_t>(p[3]) << 24;
                if (count > (1u << 20)) break;
                std::vector<std::uint8_t> bytes(count);
                d.chip.Reply(bytes.data(), bytes.size());
                if (!d.presetRead.empty()) {
                    std::copy_n(d.presetRead.begin(), std::min<std::size_t>(count, d.presetRead.size()), bytes.begin());
                    d.presetRead.clear();
                }
                for (std::size_t at = 0; at < bytes.size(); at += kMaxDataPerFrame)
                    Answer(d, command, bytes.data() + at, std::min(kMaxDataPerFrame, bytes.size() - at));
                break;
            }
            case kCmdInfo:
                if (length == 1 && p[0] == kInfoSpiConfig) {
                    Answer(d, command, d.config.data(), d.config.size());
                } else if (length == 1) {
                    const std::uint8_t version[2] = {static_cast<std::uint8_t>(kFirmwareVersion),
                                                     static_cast<std::uint8_t>(kFirmwareVersion >> 8)};
                    Answer(d, command, version, sizeof version);
                }
                break;
            default: break;  // unknown commands are ignored by the firmware
            }
            data += kHeaderBytes + length;
            size -= kHeaderBytes + length;
        }
    }
};

namespace {

class ModelHandle final : public UsbHandle {
public:
    ModelHandle(std::shared_ptr<FirmwareBus::State> state, int id, int spiInterface)
        : m_state(std::move(state)), m_id(id), m_spiInterface(spiInterface) {}

    ~ModelHandle() override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        Device* d = m_state->Find(m_id);
        if (d && m_claimedHere) d->claimed = false;
    }

    UsbError DetachKernelDriver(int iface, bool& detached) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        detached = false;
        Device* d = Live();
        if (!d) return UsbError::NoDevice;
        if (iface == m_spiInterface && d->driverAttached) {
            d->driverAttached = false;
            detached = true;
        }
        return UsbError::None;
    }

    UsbError AttachKernelDriver(int iface) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        Device* d = Live();
        if (!d) return UsbError::NoDevice;
        if (iface == m_spiInterface) d->driverAttached = true;
        return UsbError::None;
    }

    UsbError ClaimInterface(int iface) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        Device* d = Live();
        if (!d) return UsbError::NoDevice;
        if (iface != m_spiInterface) return UsbError::Other;
        if (d->claimed || d->driverAttached || FirmwareBus::State::Take(*d, Fault::Busy)) return UsbError::Busy;
        d->claimed = m_claimedHere = true;
        return UsbError::None;
    }

    UsbError ReleaseInterface(int iface) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        Device* d = Live();
        if (!d) return UsbError::NoDevice;
        if (iface != m_spiInterface || !m_claimedHere) return UsbError::Other;
        d->claimed = m_claimedHere = false;
        return UsbError::None;
    }

    UsbError BulkOut(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length,
                     unsigned int timeoutMs) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->Wait(false, true);
        return OutLocked(endpoint, data, length, timeoutMs);
    }

    UsbError BulkIn(std::uint8_t endpoint, std::uint8_t* data, std::size_t capacity, std::size_t& received,
                    unsigned int timeoutMs) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->Wait(true, false);
        return InLocked(endpoint, data, capacity, received, timeoutMs);
    }

    // The firmware takes the OUT transfers in order and answers each at
    // once, so the IN transfers, taken after them, find every answer queued.
    UsbError BulkPhase(std::uint8_t epOut, const std::vector<std::vector<std::uint8_t>>& out, std::uint8_t epIn,
                       std::size_t inTransfers, std::vector<std::uint8_t>& in, std::size_t& outSent,
                       unsigned int writeTimeoutMs, unsigned int readTimeoutMs) override {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->Wait(inTransfers > 0, !out.empty());
        outSent = 0;
        for (const std::vector<std::uint8_t>& frame : out) {
            const UsbError e = OutLocked(epOut, frame.data(), frame.size(), writeTimeoutMs);
            if (e != UsbError::None) return e;
            ++outSent;
        }
        for (std::size_t i = 0; i < inTransfers; ++i) {
            std::uint8_t buffer[kPhaseInBytes];
            std::size_t got = 0;
            const UsbError e = InLocked(epIn, buffer, sizeof buffer, got, readTimeoutMs);
            if (e != UsbError::None) return e;
            in.insert(in.end(), buffer, buffer + got);
        }
        return UsbError::None;
    }

private:
    Device* Live() {
        Device* d = m_state->Find(m_id);
        return d && d->present ? d : nullptr;
    }
    Device* Claimed(std::uint8_t endpoint, std::uint8_t expected) {
        Device* d = Live();
        return d && m_claimedHere && endpoint == expected ? d : nullptr;
    }
    UsbError Why() { return Live() ? UsbError::Other : UsbError::NoDevice; }

    UsbError OutLocked(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length, unsigned int timeoutMs) {
        Device* d = Claimed(endpoint, kSpiOut);
        if (!d) return Why();
        if (!FirmwareBus::State::Transfer(*d, true, timeoutMs)) return UsbError::NoDevice;
        if (d->recording) d->outLog.emplace_back(data, data + length);
        FirmwareBus::State::Firmware(*d, data, length);
        return UsbError::None;
    }

    UsbError InLocked(std::uint8_t endpoint, std::uint8_t* data, std::size_t capacity, std::size_t& received,
                      unsigned int timeoutMs) {
        received = 0;
        Device* d = Claimed(endpoint, kSpiIn);
        if (!d) return Why();
        if (!FirmwareBus::State::Transfer(*d, false, timeoutMs)) return UsbError::NoDevice;
        if (FirmwareBus::State::Take(*d, Fault::Timeout)) {
            d->answers.clear();
            ++d->count.timeouts;
            return UsbError::Timeout;
        }
        if (d->answers.empty()) {
            ++d->count.timeouts;
            return UsbError::Timeout;
        }
        Frame& frame = d->answers.front();
        if (frame.size() > capacity) return UsbError::Other;  // libusb: overflow
        std::memcpy(data, frame.data(), frame.size());
        received = frame.size();
        d->answers.pop_front();
        return UsbError::None;
    }

    std::shared_ptr<FirmwareBus::State> m_state;
    int m_id;
    int m_spiInterface;
    bool m_claimedHere = false;
};

}  // namespace

FirmwareBus::FirmwareBus() : m_state(std::make_shared<State>()) {}
FirmwareBus::~FirmwareBus() = default;

int FirmwareBus::Plug(const BridgeLayout& plan) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Device& d = m_state->devices.emplace_back();
    d.driverAttached = plan.kernelDriver;
    UsbDeviceInfo& info = d.info;
    info.bus = plan.bus;
    info.ports = plan.ports;
    info.address = m_state->nextAddress++;
    info.vendorId = kVendorId;
    info.productId = plan.productId;
    info.bcdDevice = plan.bcdDevice;
    info.product = plan.product;
    info.manufacturer = plan.manufacturer;
    info.serial = plan.serial;
    // The serial port's interfaces come first; SPI sits on the vendor
    // interface after them (2 on the CH347T, 4 on the CH347F).
    info.interfaces = {{0, 0, 0x83}, {1, 0x02, 0x82}};
    if (plan.productId == kPidCh347f) info.interfaces.push_back({2, 0x04, 0x84});
    if (plan.productId == kPidCh347f) info.interfaces.push_back({3, 0, 0x85});
    info.interfaces.push_back({plan.productId == kPidCh347f ? 4 : 2, kSpiOut, kSpiIn});
    return static_cast<int>(m_state->devices.size() - 1);
}

void FirmwareBus::Unplug(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (Device* d = m_state->Find(id)) d->present = d->claimed = false;
}

void FirmwareBus::UnplugAfter(int id, int transfers) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (Device* d = m_state->Find(id)) d->unplugIn = std::max(transfers, 0);
}

void FirmwareBus::InjectFault(int id, Fault fault, int count) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (Device* d = m_state->Find(id)) d->faults[static_cast<std::size_t>(fault)] = count;
}

TransferCount FirmwareBus::Transfers(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Device* d = m_state->Find(id);
    return d ? d->count : TransferCount{};
}

std::vector<Frame> FirmwareBus::OutTransfers(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Device* d = m_state->Find(id);
    return d ? d->outLog : std::vector<Frame>{};
}

void FirmwareBus::ClearRecord(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (Device* d = m_state->Find(id)) {
        d->outLog.clear();
        d->count = {};
    }
}

void FirmwareBus::SetRecording(int id, bool on) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (Device* d = m_state->Find(id)) d->recording = on;
}

bool FirmwareBus::Claimed(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Device* d = m_state->Find(id);
    return d && d->claimed;
}

bool FirmwareBus::KernelDriverAttached(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Device* d = m_state->Find(id);
    return d && d->driverAttached;
}

void FirmwareBus::SetHostLatency(std::chrono::microseconds latency) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->hostLatency = latency;
}

Timing FirmwareBus::GetTiming() {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return {m_state->waits, m_state->clock};
}

unsigned int FirmwareBus::SmallestTimeoutMs(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Device* d = m_state->Find(id);
    return d ? d->smallestTimeoutMs : kNoTimeoutYet;
}

bool FirmwareBus::ChipSelected(int id) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    Device* d = m_state->Find(id);
    return d && d->selected;
}

void FirmwareBus::PresetRead(int id, std::vector<std::uint8_t> bytes) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (Device* d = m_state->Find(id)) d->presetRead = std::move(bytes);
}

void FirmwareBus::WithChip(int id, const std::function<void(ch347::SimChip&)>& f) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (Device* d = m_state->Find(id)) f(d->chip);
}

std::vector<UsbDeviceInfo> FirmwareBus::List(std::uint16_t vendorId) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    std::vector<UsbDeviceInfo> out;
    for (const Device& d : m_state->devices) {
        if (d.present && d.info.vendorId == vendorId) out.push_back(d.info);
    }
    return out;
}

UsbError FirmwareBus::Open(const UsbDeviceInfo& device, std::unique_ptr<UsbHandle>& handle) {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    for (std::size_t id = 0; id < m_state->devices.size(); ++id) {
        Device& d = m_state->devices[id];
        // As libusb finds it again: where it is plugged in and what it is.
        if (!d.present || d.info.bus != device.bus || d.info.ports != device.ports ||
            d.info.vendorId != device.vendorId || d.info.productId != device.productId)
            continue;
        if (State::Take(d, Fault::AccessDenied)) return UsbError::AccessDenied;
        BridgeKind kind{};
        KindOfProduct(d.info.productId, kind);
        handle = std::make_unique<ModelHandle>(m_state, static_cast<int>(id), kind.spiInterface);
        return UsbError::None;
    }
    return UsbError::NoDevice;
}

}  // namespace ch347::model
