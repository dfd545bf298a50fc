// UsbTransport over libusb-1.0: each call is one libusb call, its error code
// folded into UsbError. Kept thin on purpose; what to do with the bridge is
// UsbBackend's business.
#include <libusb.h>

#include <algorithm>
#include <cstring>

#include "UsbTransport.h"

namespace ch347 {
namespace {

using Context = std::shared_ptr<libusb_context>;

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

private:
    Context m_context;  // outlives every handle
    libusb_device_handle* m_handle;
};

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
