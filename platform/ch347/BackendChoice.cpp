// Choosing what serves the vendor calls.
#include <mutex>

#include "Ch347Backend.h"
#include "trace.h"
#include "usb/UsbBackend.h"

namespace ch347 {
namespace {

// Real bridges when the last scan found any, else the simulated bridge. The
// choice is made again at every enumeration (which starts by opening index
// 0), so plugging a bridge in and refreshing the list switches to it.
class AutoBackend final : public Backend {
public:
    explicit AutoBackend(std::shared_ptr<ch347usb::UsbBackend> usb) : usb_(std::move(usb)) {}

    CH347_HANDLE OpenDevice(unsigned long index) override {
        bool choose = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            choose = index == 0 || !chosen_;
        }
        if (!choose) return Current()->OpenDevice(index);
        const bool real = usb_->Rescan() > 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!chosen_ || real != real_) TD_TRACEF("bridges: %s \r\n", real ? "USB" : "simulated");
            chosen_ = true;
            real_ = real;
        }
        return real ? usb_->OpenScanned(index) : SimulatedBackend()->OpenDevice(index);
    }
    int CloseDevice(unsigned long index) override { return Current()->CloseDevice(index); }
    int GetDeviceInfor(unsigned long index, mDeviceInforS& info) override {
        return Current()->GetDeviceInfor(index, info);
    }
    int GetVersion(unsigned long index, std::uint8_t& driverVersion, std::uint8_t& libraryVersion,
                   std::uint8_t& deviceRelease, std::uint8_t& chipType) override {
        return Current()->GetVersion(index, driverVersion, libraryVersion, deviceRelease, chipType);
    }
    int SetTimeout(unsigned long index, std::uint32_t writeTimeout, std::uint32_t readTimeout) override {
        return Current()->SetTimeout(index, writeTimeout, readTimeout);
    }
    int SpiSetFrequency(unsigned long index, std::uint32_t hz) override {
        return Current()->SpiSetFrequency(index, hz);
    }
    int SpiSetDataBits(unsigned long index, std::uint8_t dataBits) override {
        return Current()->SpiSetDataBits(index, dataBits);
    }
    int SpiInit(unsigned long index, const mSpiCfgS& config) override { return Current()->SpiInit(index, config); }
    int SpiGetCfg(unsigned long index, mSpiCfgS& config) override { return Current()->SpiGetCfg(index, config); }
    int SpiWrite(unsigned long index, std::uint32_t chipSelect, std::uint32_t length, std::uint32_t writeStep,
                 std::uint8_t* buffer) override {
        return Current()->SpiWrite(index, chipSelect, length, writeStep, buffer);
    }
    int SpiRead(unsigned long index, std::uint32_t chipSelect, std::uint32_t sendLength, std::uint32_t& length,
                std::uint8_t* buffer) override {
        return Current()->SpiRead(index, chipSelect, sendLength, length, buffer);
    }
    // A bridge that is plugged in but cannot be opened is worth telling about
    // whichever backend serves.
    std::vector<std::string> Problems() override { return usb_->Problems(); }

private:
    Backend* Current() {
        std::lock_guard<std::mutex> lock(mutex_);
        return real_ ? static_cast<Backend*>(usb_.get()) : SimulatedBackend().get();
    }

    std::shared_ptr<ch347usb::UsbBackend> usb_;
    std::mutex mutex_;
    bool chosen_ = false;
    bool real_ = false;
};

}  // namespace

}  // namespace ch347

std::shared_ptr<ch347::Backend> ch347usb::MakeAutoBackend(std::shared_ptr<UsbBackend> usb) {
    return std::make_shared<ch347::AutoBackend>(std::move(usb));
}

namespace ch347 {

bool ParseBackendChoice(const std::string& text, BackendChoice& choice) {
    if (text == "auto")
        choice = BackendChoice::Auto;
    else if (text == "usb")
        choice = BackendChoice::Usb;
    else if (text == "sim")
        choice = BackendChoice::Sim;
    else
        return false;
    return true;
}

const char* BackendChoiceName(BackendChoice choice) {
    switch (choice) {
    case BackendChoice::Auto: return "auto";
    case BackendChoice::Usb: return "usb";
    case BackendChoice::Sim: return "sim";
    }
    return "auto";
}

bool SelectBackend(BackendChoice choice, std::string* error) {
    try {
        if (choice == BackendChoice::Sim) {
            SetBackend(nullptr);
            return true;
        }
        std::string reason;
        std::shared_ptr<ch347usb::UsbTransport> transport = ch347usb::MakeLibusbTransport(&reason);
        if (!transport) {
            if (choice == BackendChoice::Usb) {
                if (error) *error = reason;
                return false;
            }
            // No USB on this machine: the simulated bridge is all there is.
            TD_TRACEF("bridges: simulated only (%s) \r\n", reason.c_str());
            SetBackend(nullptr);
            return true;
        }
        auto usb = std::make_shared<ch347usb::UsbBackend>(std::move(transport));
        if (choice == BackendChoice::Usb)
            SetBackend(usb);
        else
            SetBackend(ch347usb::MakeAutoBackend(std::move(usb)));
        return true;
    } catch (...) {
        if (error) *error = "out of memory";
    }
    return false;
}

std::vector<std::string> BridgeProblems() {
    try {
        return GetBackend()->Problems();
    } catch (...) {
        return {};
    }
}

}  // namespace ch347
