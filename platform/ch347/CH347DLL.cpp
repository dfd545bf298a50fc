// The vendor calls: argument checks common to every backend, then dispatch to
// the installed backend. Nothing thrown inside a backend leaves the library.
#include "CH347DLL.h"

#include <mutex>

#include "Ch347Backend.h"

namespace ch347 {
namespace {

std::mutex g_backendMutex;
std::shared_ptr<Backend> g_backend;  // null: the simulated bridge

// OpenOnlyIfSameBridge's request for the next open of one index.
struct SameBridgePin {
    bool set = false;
    unsigned long index = 0;
    std::string identity;
};
std::mutex g_pinMutex;
SameBridgePin g_pin;

// Takes the pin when it is for `index`.
bool TakePin(unsigned long index, std::string& identity) {
    std::lock_guard<std::mutex> lock(g_pinMutex);
    if (!g_pin.set || g_pin.index != index) return false;
    identity = std::move(g_pin.identity);
    g_pin = SameBridgePin{};
    return true;
}

}  // namespace

std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend) {
    std::lock_guard<std::mutex> lock(g_backendMutex);
    std::shared_ptr<Backend> previous = g_backend ? g_backend : SimulatedBackend();
    g_backend = std::move(backend);
    return previous;
}

std::shared_ptr<Backend> GetBackend() {
    std::lock_guard<std::mutex> lock(g_backendMutex);
    return g_backend ? g_backend : SimulatedBackend();
}

std::string BridgeIdentity(unsigned long index) {
    try {
        return GetBackend()->BridgeIdentity(index);
    } catch (...) {
        return {};
    }
}

bool TakeBridgeFailureNotice(unsigned long index) {
    try {
        return GetBackend()->TakeFailureNotice(index);
    } catch (...) {
        return false;
    }
}

void OpenOnlyIfSameBridge(unsigned long index, const std::string& identity) {
    std::lock_guard<std::mutex> lock(g_pinMutex);
    try {
        g_pin.identity = identity;
        g_pin.index = index;
        g_pin.set = true;
    } catch (...) {
        // Without the pin's text no bridge can match: the open fails.
        g_pin.identity.clear();
        g_pin.index = index;
        g_pin.set = true;
    }
}

}  // namespace ch347

namespace {

// Runs one call on the current backend; a throwing backend counts as a refusal.
template <typename R, typename F>
R Dispatch(R failure, F&& call) {
    try {
        std::shared_ptr<ch347::Backend> backend = ch347::GetBackend();
        if (!backend) return failure;
        return call(*backend);
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

CH347_HANDLE CH347OpenDevice(unsigned long index) {
    return Dispatch<CH347_HANDLE>(CH347_INVALID_HANDLE, [&](ch347::Backend& b) {
        std::string identity;
        if (!ch347::TakePin(index, identity)) return b.OpenDevice(index);
        if (identity.empty() || b.BridgeIdentity(index) != identity) return CH347_INVALID_HANDLE;
        return b.ReopenDevice(index);
    });
}

int CH347CloseDevice(unsigned long index) {
    return Dispatch(0, [&](ch347::Backend& b) { return b.CloseDevice(index); });
}

int CH347GetDeviceInfor(unsigned long index, mDeviceInforS* info) {
    if (!info) return 0;
    return Dispatch(0, [&](ch347::Backend& b) { return b.GetDeviceInfor(index, *info); });
}

int CH347GetVersion(unsigned long index, std::uint8_t* driverVersion, std::uint8_t* libraryVersion,
                    std::uint8_t* deviceRelease, std::uint8_t* chipType) {
    std::uint8_t dv = 0, lv = 0, rel = 0, ct = 0;
    int ok = Dispatch(0, [&](ch347::Backend& b) { return b.GetVersion(index, dv, lv, rel, ct); });
    if (driverVersion) *driverVersion = dv;
    if (libraryVersion) *libraryVersion = lv;
    if (deviceRelease) *deviceRelease = rel;
    if (chipType) *chipType = ct;
    return ok;
}

int CH347SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) {
    return Dispatch(0, [&](ch347::Backend& b) { return b.SetTimeout(index, writeTimeout, readTimeout); });
}

int CH347SPI_SetFrequency(unsigned long index, std::uint32_t hz) {
    return Dispatch(0, [&](ch347::Backend& b) { return b.SpiSetFrequency(index, hz); });
}

int CH347SPI_SetDataBits(unsigned long index, std::uint8_t dataBits) {
    return Dispatch(0, [&](ch347::Backend& b) { return b.SpiSetDataBits(index, dataBits); });
}

int CH347SPI_Init(unsigned long index, mSpiCfgS* config) {
    if (!config) return 0;
    return Dispatch(0, [&](ch347::Backend& b) { return b.SpiInit(index, *config); });
}

int CH347SPI_GetCfg(unsigned long index, mSpiCfgS* config) {
    if (!config) return 0;
    return Dispatch(0, [&](ch347::Backend& b) { return b.SpiGetCfg(index, *config); });
}

int CH347SPI_Write(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                   void* buffer) {
    if (length > 0 && !buffer) return 0;
    return Dispatch(0, [&](ch347::Backend& b) {
        return b.SpiWrite(index, chipSelect, length, writeStep, static_cast<std::uint8_t*>(buffer));
    });
}

int CH347SPI_Read(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t* length,
                  void* buffer) {
    if (!length) return 0;
    if ((*length > 0 || sendLength > 0) && !buffer) return 0;
    return Dispatch(0, [&](ch347::Backend& b) {
        return b.SpiRead(index, chipSelect, sendLength, *length, static_cast<std::uint8_t*>(buffer));
    });
}

}  // extern "C"
