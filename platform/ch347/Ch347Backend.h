// What serves the vendor calls of CH347DLL.h. The simulated bridge is one
// backend; a backend for real bridges over USB implements the same interface
// and is installed with SetBackend, without any change to the callers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CH347DLL.h"

namespace ch347 {

class CH347_API Backend {
public:
    virtual ~Backend() = default;

    virtual CH347_HANDLE OpenDevice(unsigned long index) = 0;
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

    // One line per bridge that the last enumeration found but could not open:
    // which bridge, why, and how to fix it. Backends that cannot fail that way
    // report none.
    virtual std::vector<std::string> Problems() { return {}; }
};

// Installs the backend that serves every following call (null: back to the
// simulated bridge). Returns the one that served until now. Calls already
// running finish on the old backend.
CH347_API std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend);
CH347_API std::shared_ptr<Backend> GetBackend();

// The simulated bridge, the default backend (Ch347Sim.h steers it).
CH347_API std::shared_ptr<Backend> SimulatedBackend();

// Which bridges serve the calls: real bridges when any is plugged in, else the
// simulated bridge (Auto); only real bridges (Usb); only the simulator (Sim).
enum class BackendChoice { Auto, Usb, Sim };

// "auto", "usb" or "sim" (as the command line and TUNEDESK_BACKEND spell them).
CH347_API bool ParseBackendChoice(const std::string& text, BackendChoice& choice);
CH347_API const char* BackendChoiceName(BackendChoice choice);

// Installs what serves the calls for a choice. False, with a one-line reason
// in *error, when the choice cannot be served by this build.
CH347_API bool SelectBackend(BackendChoice choice, std::string* error = nullptr);

// The current backend's Problems().
CH347_API std::vector<std::string> BridgeProblems();

}  // namespace ch347
