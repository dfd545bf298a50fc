// Choosing what serves the vendor calls.
#include <bitset>
#include <mutex>

#include "BackendChoice.h"
#include "trace.h"
#include "usb/UsbBackend.h"

namespace ch347 {
namespace {

// Real bridges when the last scan found any, else the simulated bridge. The
// choice is made again at every enumeration (which starts by opening index
// 0), so plugging a bridge in and refreshing the list switches to it -- but
// only while no bridge is open: a session never moves between real and
// simulated bridges, and a reopen (ReopenDevice) never chooses again.
class AutoBackend final : public ForwardingBackend {
public:
    explicit AutoBackend(std::shared_ptr<UsbBackend> usb) : m_usb(std::move(usb)) {}

    CH347_HANDLE OpenDevice(unsigned long index) override {
        bool choose = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            choose = (index == 0 || !m_chosen) && m_open.none();
        }
        if (!choose) return Opened(index, Target().OpenDevice(index));
        const bool real = m_usb->Rescan() > 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_chosen || real != m_real) TD_TRACEF("bridges: %s \r\n", real ? "USB" : "simulated");
            m_chosen = true;
            m_real = real;
        }
        return Opened(index, real ? m_usb->OpenScanned(index) : SimulatedBackend()->OpenDevice(index));
    }
    CH347_HANDLE ReopenDevice(unsigned long index) override { return Opened(index, Target().ReopenDevice(index)); }
    int CloseDevice(unsigned long index) override {
        const int closed = Target().CloseDevice(index);
        // Closed or not, the caller is done with it; a bridge that refused
        // to close must not pin the choice for ever.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < m_open.size()) m_open.reset(index);
        return closed;
    }
    // A bridge that is plugged in but cannot be opened is worth telling about
    // whichever backend serves.
    std::vector<BridgeProblem> Problems() override { return m_usb->Problems(); }

protected:
    Backend& Target() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_real ? static_cast<Backend&>(*m_usb) : *SimulatedBackend();
    }

private:
    CH347_HANDLE Opened(unsigned long index, CH347_HANDLE handle) {
        if (handle != CH347_INVALID_HANDLE && index < m_open.size()) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open.set(index);
        }
        return handle;
    }

    std::shared_ptr<UsbBackend> m_usb;
    std::mutex m_mutex;
    bool m_chosen = false;
    bool m_real = false;
    std::bitset<kCh347MaxDevices> m_open;  // indexes opened and not closed since
};

}  // namespace

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
        std::shared_ptr<UsbTransport> transport = MakeLibusbTransport(&reason);
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
        SetBackend(MakeBackend(choice, std::move(transport)));
        return true;
    } catch (...) {
        if (error) *error = "out of memory";
    }
    return false;
}

std::shared_ptr<Backend> MakeBackend(BackendChoice choice, std::shared_ptr<UsbTransport> transport) {
    switch (choice) {
    case BackendChoice::Sim: return SimulatedBackend();
    case BackendChoice::Usb: return std::make_shared<UsbBackend>(std::move(transport));
    case BackendChoice::Auto: return std::make_shared<AutoBackend>(std::make_shared<UsbBackend>(std::move(transport)));
    }
    return SimulatedBackend();
}

std::vector<BridgeProblem> BridgeProblems() {
    try {
        return GetBackend()->Problems();
    } catch (...) {
        return {};
    }
}

}  // namespace ch347
