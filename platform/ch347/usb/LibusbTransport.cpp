// UsbTransport over libusb-1.0: each call is one libusb call, its error code
// folded into UsbError. Kept thin on purpose; what to do with the bridge is
// UsbBackend's business.
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>

#include "UsbTransport.h"

namespace ch347 {
namespace {

using Context = std::shared_ptr<libusb_context>;

// How long past its longest time-out a phase waits for its transfers before
// it cancels what is left.
constexpr unsigned int kPhaseGraceMs = 200;
// How long after that it waits for cancelled transfers to come back.
constexpr unsigned int kPhaseAbandonMs = 2000;

std::string ReadString(libusb_device_handle* handle, std::uint8_t index) {
    if (index == 0) return {};
    unsigned char text[128] = {};
    const int n = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return n > 0 ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n)) : std::string();
}

std::vector<UsbInterfaceInfo> ReadInterfaces(libusb_device* device) {
    std::vector<UsbInterfaceInfo> out;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0)
        return out;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& iface = config->interface[i];
        if (iface.num_altsetting < 1) continue;
        const libusb_interface_descriptor& alt = iface.altsetting[0];
        UsbInterfaceInfo info;
        info.number = alt.bInterfaceNumber;
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& ep = alt.endpoint[e];
            if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) continue;
            std::uint8_t& slot = (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) ? info.bulkIn : info.bulkOut;
            if (slot == 0) slot = ep.bEndpointAddress;
        }
        out.push_back(info);
    }
    libusb_free_config_descriptor(config);
    return out;
}

UsbDeviceInfo Describe(libusb_device* device, const libusb_device_descriptor& d) {
    UsbDeviceInfo info;
    info.bus = libusb_get_bus_number(device);
    std::uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    if (depth > 0) info.ports.assign(ports, ports + depth);
    info.address = libusb_get_device_address(device);
    info.vendorId = d.idVendor;
    info.productId = d.idProduct;
    info.bcdDevice = d.bcdDevice;
    info.interfaces = ReadInterfaces(device);
    // Reading the strings needs the device opened; without permission they stay empty.
    libusb_device_handle* handle = nullptr;
    if (libusb_open(device, &handle) == 0) {
        info.product = ReadString(handle, d.iProduct);
        info.manufacturer = ReadString(handle, d.iManufacturer);
        info.serial = ReadString(handle, d.iSerialNumber);
        libusb_close(handle);
    }
    return info;
}

// The device List described, by where it is plugged in and what it is.
bool IsDevice(libusb_device* dev, const UsbDeviceInfo& device) {
    if (libusb_get_bus_number(dev) != device.bus) return false;
    std::uint8_t ports[8] = {};
    const int depth = libusb_get_port_numbers(dev, ports, sizeof ports);
    if (depth < 0 || !std::equal(device.ports.begin(), device.ports.end(), ports, ports + depth)) return false;
    libusb_device_descriptor d{};
    return libusb_get_device_descriptor(dev, &d) == 0 && d.idVendor == device.vendorId &&
           d.idProduct == device.productId;
}

class LibusbHandle final : public UsbHandle {
public:
    LibusbHandle(Context context, libusb_device_handle* handle) : m_context(std::move(context)), m_handle(handle) {}
    ~LibusbHandle() override { libusb_close(m_handle); }

    UsbError DetachKernelDriver(int interfaceNumber, bool& detached) override {
        detached = false;
        const int active = libusb_kernel_driver_active(m_handle, interfaceNumber);
        if (active == 0 || active == LIBUSB_ERROR_NOT_SUPPORTED) return UsbError::None;
        if (active < 0) return UsbErrorFromLibusb(active);
        const int r = libusb_detach_kernel_driver(m_handle, interfaceNumber);
        if (r == LIBUSB_ERROR_NOT_FOUND) return UsbError::None;
        detached = r == 0;
        return UsbErrorFromLibusb(r);
    }

    UsbError AttachKernelDriver(int interfaceNumber) override {
        return UsbErrorFromLibusb(libusb_attach_kernel_driver(m_handle, interfaceNumber));
    }

    UsbError ClaimInterface(int interfaceNumber) override {
        // Some hosts leave the bridge unconfigured; setting the configuration
        // again on a configured device would reset it, so only when there is
        // none. Busy means another interface is in use: configured anyway.
        int configuration = -1;
        if (libusb_get_configuration(m_handle, &configuration) == 0 && configuration == 0) {
            const int r = libusb_set_configuration(m_handle, 1);
            if (r != 0 && r != LIBUSB_ERROR_BUSY) return UsbErrorFromLibusb(r);
        }
        return UsbErrorFromLibusb(libusb_claim_interface(m_handle, interfaceNumber));
    }

    UsbError ReleaseInterface(int interfaceNumber) override {
        return UsbErrorFromLibusb(libusb_release_interface(m_handle, interfaceNumber));
    }

    UsbError BulkOut(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length,
                     unsigned int timeoutMs) override {
        int sent = 0;
        // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
        const int r = libusb_bulk_transfer(m_handle, endpoint, const_cast<unsigned char*>(data),
                                           static_cast<int>(length), &sent, timeoutMs);
        if (r != 0) return UsbErrorFromLibusb(r);
        return sent == static_cast<int>(length) ? UsbError::None : UsbError::Other;
    }

    UsbError BulkIn(std::uint8_t endpoint, std::uint8_t* data, std::size_t capacity, std::size_t& received,
                    unsigned int timeoutMs) override {
        int got = 0;
        const int r = libusb_bulk_transfer(m_handle, endpoint, data, static_cast<int>(capacity), &got, timeoutMs);
        received = r == 0 ? static_cast<std::size_t>(got) : 0;
        return UsbErrorFromLibusb(r);
    }

    UsbError BulkPhase(std::uint8_t epOut, const std::vector<std::vector<std::uint8_t>>& out, std::uint8_t epIn,
                       std::size_t inTransfers, std::vector<std::uint8_t>& in, std::size_t& outSent,
                       unsigned int writeTimeoutMs, unsigned int readTimeoutMs) override;

private:
    Context m_context;  // outlives every handle
    libusb_device_handle* m_handle;
};

// The transfers of one phase. Each callback may run on whichever thread is
// handling libusb's events at the time, so what it writes is published
// through `pending`.
struct Phase {
    struct Slot {
        libusb_transfer* transfer = nullptr;
        std::vector<std::uint8_t> buffer;
        bool submitted = false;
        libusb_transfer_status status = LIBUSB_TRANSFER_ERROR;
        int actual = 0;
    };
    std::vector<Slot> slots;  // OUT transfers first, then IN; never resized once submitted
    std::atomic<int> pending{0};
    std::atomic<bool> failed{false};  // a transfer ended other than completed: the rest is cancelled
    int completed = 0;                // for libusb_handle_events_timeout_completed

    static void LIBUSB_CALL Done(libusb_transfer* transfer) {
        auto* phase = static_cast<Phase*>(transfer->user_data);
        for (Slot& slot : phase->slots) {
            if (slot.transfer != transfer) continue;
            slot.status = transfer->status;
            slot.actual = transfer->actual_length;
        }
        if (transfer->status != LIBUSB_TRANSFER_COMPLETED) phase->failed.store(true, std::memory_order_release);
        if (phase->pending.fetch_sub(1, std::memory_order_acq_rel) == 1) phase->completed = 1;
    }

    void CancelRest() {
        for (Slot& slot : slots)
            if (slot.submitted) libusb_cancel_transfer(slot.transfer);  // NOT_FOUND: already done
    }

    ~Phase() {
        for (Slot& slot : slots) libusb_free_transfer(slot.transfer);
    }
};

UsbError FromTransferStatus(libusb_transfer_status status) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return UsbError::None;
    case LIBUSB_TRANSFER_TIMED_OUT: return UsbError::Timeout;
    case LIBUSB_TRANSFER_NO_DEVICE: return UsbError::NoDevice;
    default: return UsbError::Other;
    }
}

UsbError LibusbHandle::BulkPhase(std::uint8_t epOut, const std::vector<std::vector<std::uint8_t>>& out,
                                 std::uint8_t epIn, std::size_t inTransfers, std::vector<std::uint8_t>& in,
                                 std::size_t& outSent, unsigned int writeTimeoutMs, unsigned int readTimeoutMs) {
    outSent = 0;
    // Nothing may complete into freed memory: the phase lives on the heap and
    // is let go only after every transfer submitted has come back.
    auto phase = std::make_unique<Phase>();
    phase->slots.resize(out.size() + inTransfers);
    for (Phase::Slot& slot : phase->slots) {
        slot.transfer = libusb_alloc_transfer(0);
        if (!slot.transfer) return UsbError::Other;
    }
    for (std::size_t i = 0; i < phase->slots.size(); ++i) {
        Phase::Slot& slot = phase->slots[i];
        const bool sending = i < out.size();
        slot.buffer = sending ? out[i] : std::vector<std::uint8_t>(kPhaseInBytes);
        libusb_fill_bulk_transfer(slot.transfer, m_handle, sending ? epOut : epIn, slot.buffer.data(),
                                  static_cast<int>(slot.buffer.size()), &Phase::Done, phase.get(),
                                  sending ? writeTimeoutMs : readTimeoutMs);
    }
    UsbError submitError = UsbError::None;
    for (Phase::Slot& slot : phase->slots) {
        phase->pending.fetch_add(1, std::memory_order_acq_rel);
        const int r = libusb_submit_transfer(slot.transfer);
        if (r != 0) {
            phase->pending.fetch_sub(1, std::memory_order_acq_rel);
            submitError = UsbErrorFromLibusb(r);
            break;
        }
        slot.submitted = true;
    }
    if (submitError != UsbError::None) phase->CancelRest();
    // Each transfer ends by itself within its time-out; a cancel ends it at
    // once. After a failure (a time-out, an unplug) or past the longest
    // time-out and a grace, whatever is left is cancelled; the loop ends only
    // when every callback has run.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(std::max(writeTimeoutMs, readTimeoutMs) + kPhaseGraceMs);
    bool cancelled = submitError != UsbError::None;
    while (phase->pending.load(std::memory_order_acquire) > 0) {
        timeval tv{0, 100000};
        libusb_handle_events_timeout_completed(m_context.get(), &tv, &phase->completed);
        if (phase->pending.load(std::memory_order_acquire) == 0) break;
        const auto now = std::chrono::steady_clock::now();
        if (!cancelled && (phase->failed.load(std::memory_order_acquire) || now > deadline)) {
            phase->CancelRest();
            cancelled = true;
        }
        if (now > deadline + std::chrono::milliseconds(kPhaseAbandonMs)) {
            // libusb never gave back what was cancelled (a host controller
            // gone wrong): the transfers still point into the phase, so it is
            // left to them rather than freed under them.
            static_cast<void>(phase.release());
            return UsbError::Other;
        }
    }
    UsbError result = submitError;
    bool intact = true;
    for (std::size_t i = 0; i < phase->slots.size(); ++i) {
        const Phase::Slot& slot = phase->slots[i];
        if (!slot.submitted) {
            intact = false;
            continue;
        }
        UsbError e = FromTransferStatus(slot.status);
        if (e == UsbError::None && i < out.size() && slot.actual != static_cast<int>(slot.buffer.size()))
            e = UsbError::Other;
        if (e != UsbError::None && result == UsbError::None) result = e;
        if (!intact || e != UsbError::None) {
            intact = false;
            continue;
        }
        if (i < out.size())
            ++outSent;
        else
            in.insert(in.end(), slot.buffer.begin(), slot.buffer.begin() + slot.actual);
    }
    return result;
}

class LibusbTransport final : public UsbTransport {
public:
    explicit LibusbTransport(Context context) : m_context(std::move(context)) {}

    std::vector<UsbDeviceInfo> List(std::uint16_t vendorId) override {
        std::vector<UsbDeviceInfo> out;
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(m_context.get(), &list);
        if (count < 0) return out;
        try {
            for (ssize_t i = 0; i < count; ++i) {
                libusb_device_descriptor d{};
                if (libusb_get_device_descriptor(list[i], &d) != 0 || d.idVendor != vendorId) continue;
                out.push_back(Describe(list[i], d));
            }
        } catch (...) {
            libusb_free_device_list(list, 1);
            throw;
        }
        libusb_free_device_list(list, 1);
        return out;
    }

    UsbError Open(const UsbDeviceInfo& device, std::unique_ptr<UsbHandle>& handle) override {
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(m_context.get(), &list);
        if (count < 0) return UsbErrorFromLibusb(static_cast<int>(count));
        UsbError result = UsbError::NoDevice;
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device* dev = list[i];
            if (!IsDevice(dev, device)) continue;
            libusb_device_handle* raw = nullptr;
            result = UsbErrorFromLibusb(libusb_open(dev, &raw));
            if (result == UsbError::None) {
                try {
                    handle = std::make_unique<LibusbHandle>(m_context, raw);
                } catch (...) {
                    libusb_close(raw);
                    result = UsbError::Other;
                }
            }
            break;
        }
        libusb_free_device_list(list, 1);
        return result;
    }

private:
    Context m_context;
};

}  // namespace

UsbError UsbErrorFromLibusb(int code) {
    switch (code) {
    case LIBUSB_SUCCESS: return UsbError::None;
    case LIBUSB_ERROR_ACCESS: return UsbError::AccessDenied;
    case LIBUSB_ERROR_BUSY: return UsbError::Busy;
    case LIBUSB_ERROR_NO_DEVICE: return UsbError::NoDevice;
    case LIBUSB_ERROR_TIMEOUT: return UsbError::Timeout;
    default: return UsbError::Other;
    }
}

std::shared_ptr<UsbTransport> MakeLibusbTransport(std::string* error) {
    try {
        libusb_context* raw = nullptr;
        const int r = libusb_init(&raw);
        if (r != 0) {
            if (error) *error = std::string("libusb could not start: ") + libusb_strerror(static_cast<libusb_error>(r));
            return nullptr;
        }
        Context context(raw, [](libusb_context* c) { libusb_exit(c); });
        return std::make_shared<LibusbTransport>(std::move(context));
    } catch (...) {
        if (error) *error = "out of memory";
        return nullptr;
    }
}

}  // namespace ch347
