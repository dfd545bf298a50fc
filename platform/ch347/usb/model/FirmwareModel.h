// A USB bus with CH347 bridges on it, for tests and benchmarks: a
// UsbTransport whose devices answer frames as the bridge's firmware does and
// hand the SPI bytes to a simulated chip (ch347::SimChip). It can be told
// to fail the way real bridges and hosts fail: no permission, interface busy,
// unplugged after N transfers, no answer, a wrong echo byte, a short frame, a
// wrong length field.
//
// The model answers at once (a missing answer is a time-out straight away)
// and counts every bulk transfer, so the cost of the protocol shows without
// the 125 us microframes of real hardware. Thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "SimChip.h"
#include "UsbProtocol.h"
#include "UsbTransport.h"

namespace ch347::model {

enum class Fault {
    AccessDenied,  // opening the device fails
    Busy,          // claiming the SPI interface fails (another program holds it)
    Timeout,       // an IN transfer gets no answer; the answers queued are lost
    WrongEcho,     // an answer carries another command byte
    ShortFrame,    // an answer loses its last byte
    BadLength,     // an answer's length field is one more than its payload
};
inline constexpr int kAlways = -1;
inline constexpr unsigned int kNoTimeoutYet = ~0u;

struct BridgeLayout {
    std::uint8_t bus = 1;
    std::vector<std::uint8_t> ports{1};
    std::uint16_t productId = kPidCh347tMode1;
    std::uint16_t bcdDevice = 0x0241;
    std::string product = "USB To UART+SPI+I2C";
    std::string manufacturer = "wch.cn";
    std::string serial;
    bool kernelDriver = false;  // a kernel driver holds the SPI interface at first
};

// What the host waited for, over every bridge of the bus: how often, and the
// modelled time that took (transfers complete on 125 us microframe
// boundaries, and the host takes SetHostLatency to act on each completion).
// A model of the timing, not a measurement: the model itself answers at once.
struct Timing {
    long waits = 0;
    std::chrono::microseconds modelled{0};
};

struct TransferCount {
    int out = 0;
    int in = 0;
    int timeouts = 0;  // IN transfers that waited for their whole time-out
};

class FirmwareBus final : public UsbTransport {
public:
    FirmwareBus();
    ~FirmwareBus() override;

    // Plugs a bridge in; returns its id for the calls below.
    int Plug(const BridgeLayout& plan);
    void Unplug(int id);
    // Unplugs the bridge during its `transfers`-th bulk transfer from now (1: the next).
    void UnplugAfter(int id, int transfers);
    // Arms a fault for the next `count` occasions (kAlways: until cleared; 0: off).
    void InjectFault(int id, Fault fault, int count = 1);

    TransferCount Transfers(int id);
    // Every OUT transfer's bytes since the last ClearRecord, when recording (the default).
    std::vector<Frame> OutTransfers(int id);
    void ClearRecord(int id);
    void SetRecording(int id, bool on);
    bool Claimed(int id);
    bool KernelDriverAttached(int id);
    bool ChipSelected(int id);
    void SetHostLatency(std::chrono::microseconds latency);
    Timing GetTiming();
    // The smallest time-out any bulk transfer was given (0 would mean "wait
    // for ever" to libusb); kNoTimeoutYet before the first transfer.
    unsigned int SmallestTimeoutMs(int id);

    // The bytes the next 0xC3 read clocks in, instead of the chip's reply.
    void PresetRead(int id, std::vector<std::uint8_t> bytes);
    // Runs `f` on the chip behind the bridge, under the bus lock.
    void WithChip(int id, const std::function<void(ch347::SimChip&)>& f);

    std::vector<UsbDeviceInfo> List(std::uint16_t vendorId) override;
    UsbError Open(const UsbDeviceInfo& device, std::unique_ptr<UsbHandle>& handle) override;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace ch347::model
