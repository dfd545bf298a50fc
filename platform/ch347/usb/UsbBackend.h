// Real CH347 bridges behind the vendor calls: SPI over the bridge's vendor
// interface, on any UsbTransport (libusb in the product, a firmware model in
// tests).
//
// Indexes: the bridges found are ordered by bus number, then port path. A
// bridge keeps its index while it stays plugged in (one plugged in later takes
// a free index, so an open session never moves to another bridge), and an
// index that a bridge left is not given to another one in the same scan. The
// bus is scanned again when index 0 is opened (the start of every enumeration)
// and at the first open. A CH347T in mode 3 takes an index and opens without
// touching USB (its interface carries JTAG), so the link library can read its
// chip mode and hide it.
//
// Threads: every call may come from any thread. Calls on one bridge are
// serialised by the bridge's own lock; a scan never waits for a transfer. A
// bridge unplugged in the middle of a call makes that call and every later
// one fail at once (or after the time-out), and the next scan drops it.
#pragma once

#include <array>
#include <memory>
#include <mutex>

#include "Ch347Backend.h"
#include "UsbTransport.h"

namespace ch347 {

inline constexpr unsigned int kDefaultTimeoutMs = 500;

class UsbBackend final : public Backend {
public:
    explicit UsbBackend(std::shared_ptr<UsbTransport> transport);
    ~UsbBackend() override;

    // Lists the bridges again; returns how many with an SPI port were found,
    // openable or not. Open bridges still plugged in keep their state. A
    // CH347T in mode 0 or 2 (no SPI port served here) takes no index and is
    // only reported by Problems(); one in mode 3 takes an index (the link
    // library hides it) and is reported when no bridge with SPI was found.
    std::size_t Rescan();
    // OpenDevice without the scan at index 0 (the caller has just scanned).
    CH347_HANDLE OpenScanned(unsigned long index);

    CH347_HANDLE OpenDevice(unsigned long index) override;
    CH347_HANDLE ReopenDevice(unsigned long index) override;
    int CloseDevice(unsigned long index) override;
    int GetDeviceInfor(unsigned long index, mDeviceInforS& info) override;
    int GetVersion(unsigned long index, std::uint8_t& driverVersion, std::uint8_t& libraryVersion,
                   std::uint8_t& deviceRelease, std::uint8_t& chipType) override;
    int SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) override;
    int SpiSetFrequency(unsigned long index, std::uint32_t hz) override;
    int SpiSetDataBits(unsigned long index, std::uint8_t dataBits) override;
    int SpiInit(unsigned long index, const mSpiCfgS& config) override;
    int SpiGetCfg(unsigned long index, mSpiCfgS& config) override;
    int SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                 std::uint8_t* buffer) override;
    int SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                std::uint8_t* buffer) override;
    std::vector<BridgeProblem> Problems() override;
    std::string BridgeIdentity(unsigned long index) override;
    bool TakeFailureNotice(unsigned long index) override;

    class Bridge;

private:
    // What a call needs of the bridge before it may touch it.
    enum class Need { Listed, Open, SpiOpen, SpiReady };
    // The common prologue: looks the bridge up, takes its lock and checks
    // that it is in the state `need`; then runs `call(bridge)`. 0 when the
    // bridge is missing or not ready.
    template <typename F>
    int OnBridge(unsigned long index, Need need, F&& call);

    std::shared_ptr<Bridge> At(unsigned long index);
    void SetProblem(Bridge& bridge, UsbError error);

    std::shared_ptr<UsbTransport> m_transport;
    std::mutex m_mutex;  // the table and every bridge's problem
    bool m_scanned = false;
    std::uint64_t m_plugs = 0;
    const bool
        m_phasesTogether;  // read from the environment once, at construction  // bridges the scans have met, so that no two share an identity
    std::array<std::shared_ptr<Bridge>, kCh347MaxDevices> m_bridges;
    std::vector<BridgeProblem> m_unusable;  // bridges in a mode we do not drive, from the last scan
};

}  // namespace ch347
