// What serves the vendor calls of CH347DLL.h. The simulated bridge is one
// backend; real bridges over USB are another, and wrappers (the choice
// "auto", the seeded fault injection) sit around one of them. A backend is
// installed with SetBackend, without any change to the callers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CH347DLL.h"

namespace ch347 {

// Why a bridge that the last scan found cannot be used. The library tells
// what and which bridge; the programs word the fix for their user.
struct BridgeProblem {
    enum class Kind {
        NoPermission,  // the device node may not be opened by this user
        Busy,          // another program or driver holds its SPI interface
        Unplugged,     // gone while it was being opened
        CannotOpen,    // any other USB failure; `detail` names it
        NoSpiMode,     // a mode without an SPI port we drive; `detail` names the mode
    };
    Kind kind = Kind::CannotOpen;
    std::string bridge;  // "CH347T (1a86:55db) at bus 1 port 1.4"
    std::string detail;  // "mode 2 (HID)", "USB error", ...
    bool operator==(const BridgeProblem&) const = default;
};

class CH347_API Backend {
public:
    virtual ~Backend() = default;

    virtual CH347_HANDLE OpenDevice(unsigned long index) = 0;
    // Opens the bridge that holds `index` now, without looking for other
    // bridges first (no scan, no change between real and simulated bridges).
    virtual CH347_HANDLE ReopenDevice(unsigned long index) = 0;
    virtual int CloseDevice(unsigned long index) = 0;
    virtual int GetDeviceInfor(unsigned long index, mDeviceInforS& info) = 0;
    virtual int GetVersion(unsigned long index, std::uint8_t& driverVersion, std::uint8_t& libraryVersion,
                           std::uint8_t& deviceRelease, std::uint8_t& chipType) = 0;
    virtual int SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) = 0;
    virtual int SpiSetFrequency(unsigned long index, std::uint32_t hz) = 0;
    virtual int SpiSetDataBits(unsigned long index, std::uint8_t dataBits) = 0;
    virtual int SpiInit(unsigned long index, const mSpiCfgS& config) = 0;
    virtual int SpiGetCfg(unsigned long index, mSpiCfgS& config) = 0;
    virtual int SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                         std::uint8_t* buffer) = 0;
    // Sends sendLength bytes from buffer, then reads length bytes into it; length
    // receives the count read.
    virtual int SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                        std::uint8_t* buffer) = 0;

    // The bridges that the last enumeration found but could not open, or
    // cannot serve. Backends that cannot fail that way report none.
    virtual std::vector<BridgeProblem> Problems() = 0;
    // What tells the physical bridge at `index` apart from every other one,
    // and from itself after it was plugged in again: empty when there is
    // none. Equal texts mean the very same bridge of the same backend.
    virtual std::string BridgeIdentity(unsigned long index) = 0;
    // True once after the bridge at `index` stopped answering (a time-out
    // that a resynchronisation did not cure): from then on every call on it
    // fails at once until it is closed and opened again.
    virtual bool TakeFailureNotice(unsigned long index) = 0;
};

// A backend that passes every call on to another one (Target()) unless it
// overrides it. Backend's calls are all pure, so a call added there and not
// here leaves every wrapper abstract instead of silently unforwarded.
class ForwardingBackend : public Backend {
public:
    CH347_HANDLE OpenDevice(unsigned long index) override { return Target().OpenDevice(index); }
    CH347_HANDLE ReopenDevice(unsigned long index) override { return Target().ReopenDevice(index); }
    int CloseDevice(unsigned long index) override { return Target().CloseDevice(index); }
    int GetDeviceInfor(unsigned long index, mDeviceInforS& info) override {
        return Target().GetDeviceInfor(index, info);
    }
    int GetVersion(unsigned long index, std::uint8_t& driverVersion, std::uint8_t& libraryVersion,
                   std::uint8_t& deviceRelease, std::uint8_t& chipType) override {
        return Target().GetVersion(index, driverVersion, libraryVersion, deviceRelease, chipType);
    }
    int SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) override {
        return Target().SetTimeout(index, writeTimeout, readTimeout);
    }
    int SpiSetFrequency(unsigned long index, std::uint32_t hz) override { return Target().SpiSetFrequency(index, hz); }
    int SpiSetDataBits(unsigned long index, std::uint8_t dataBits) override {
        return Target().SpiSetDataBits(index, dataBits);
    }
    int SpiInit(unsigned long index, const mSpiCfgS& config) override { return Target().SpiInit(index, config); }
    int SpiGetCfg(unsigned long index, mSpiCfgS& config) override { return Target().SpiGetCfg(index, config); }
    int SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                 std::uint8_t* buffer) override {
        return Target().SpiWrite(index, chipSelect, length, writeStep, buffer);
    }
    int SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                std::uint8_t* buffer) override {
        return Target().SpiRead(index, chipSelect, sendLength, length, buffer);
    }
    std::vector<BridgeProblem> Problems() override { return Target().Problems(); }
    std::string BridgeIdentity(unsigned long index) override { return Target().BridgeIdentity(index); }
    bool TakeFailureNotice(unsigned long index) override { return Target().TakeFailureNotice(index); }

protected:
    // The backend that serves the call being forwarded.
    virtual Backend& Target() = 0;
};

// Installs the backend that serves every following call (null: back to the
// simulated bridge). Returns the one that served until now. Calls already
// running finish on the old backend.
CH347_API std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend);
CH347_API std::shared_ptr<Backend> GetBackend();

// The simulated bridge, the default backend (Ch347Sim.h steers it).
CH347_API std::shared_ptr<Backend> SimulatedBackend();

// The current backend's Problems().
CH347_API std::vector<BridgeProblem> BridgeProblems();
// The current backend's BridgeIdentity(index).
CH347_API std::string BridgeIdentity(unsigned long index);
// The current backend's TakeFailureNotice(index).
CH347_API bool TakeBridgeFailureNotice(unsigned long index);

// Makes the next CH347OpenDevice(index) open the bridge whose identity is
// `identity` (BridgeIdentity) and nothing else: when another bridge, or none,
// holds the index by then, that open fails without touching any bridge. The
// panel's reopen after a refresh goes through it, so that a session never
// moves to another bridge or between real and simulated bridges.
CH347_API void OpenOnlyIfSameBridge(unsigned long index, const std::string& identity);

}  // namespace ch347
