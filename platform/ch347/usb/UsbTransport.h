// What UsbBackend needs from USB, and nothing more: list the devices of a
// vendor, open one, take its interface from a kernel driver, claim it, bulk
// transfers with time-outs, and give everything back. LibusbTransport does it
// with libusb; tests put a model of the bridge's firmware behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CH347DLL.h"

namespace ch347 {

enum class UsbError {
    None,
    AccessDenied,  // no permission on the device node
    Busy,          // another program (or driver) holds the interface
    NoDevice,      // unplugged
    Timeout,
    Other,
};
const char* UsbErrorName(UsbError error);

// One IN transfer of a phase: a frame is at most 510 bytes, so it always
// ends in a short packet within one 512-byte high-speed packet.
inline constexpr std::size_t kPhaseInBytes = 512;

struct UsbInterfaceInfo {
    int number = 0;
    std::uint8_t bulkOut = 0;  // endpoint addresses; 0: none
    std::uint8_t bulkIn = 0;
};

struct UsbDeviceInfo {
    std::uint8_t bus = 0;
    std::vector<std::uint8_t> ports;  // port path from the root hub
    std::uint8_t address = 0;         // changes when the device is plugged in again
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdDevice = 0;
    std::string product;  // string descriptors; empty when they cannot be read
    std::string manufacturer;
    std::string serial;                        // empty also when the device has none
    std::vector<UsbInterfaceInfo> interfaces;  // of the active configuration
};

// An open device. Destroying it closes the device; that must be safe after
// the device was unplugged.
class CH347_API UsbHandle {
public:
    virtual ~UsbHandle() = default;
    // Takes the interface from a kernel driver; *detached tells whether one held it.
    virtual UsbError DetachKernelDriver(int interfaceNumber, bool& detached) = 0;
    virtual UsbError AttachKernelDriver(int interfaceNumber) = 0;
    virtual UsbError ClaimInterface(int interfaceNumber) = 0;
    virtual UsbError ReleaseInterface(int interfaceNumber) = 0;
    // Sends all `length` bytes or fails.
    virtual UsbError BulkOut(std::uint8_t endpoint, const std::uint8_t* data, std::size_t length,
                             unsigned int timeoutMs) = 0;
    // Receives one transfer of at most `capacity` bytes; `received` gets its size.
    virtual UsbError BulkIn(std::uint8_t endpoint, std::uint8_t* data, std::size_t capacity, std::size_t& received,
                            unsigned int timeoutMs) = 0;

    // One phase of a call, waited for once: the transfers in `out` go to
    // `epOut` in their order, and `inTransfers` transfers of at most
    // kPhaseInBytes each are received on `epIn`, all submitted together. `in`
    // gets the bytes received, transfer after transfer, up to the first that
    // failed; `outSent` how many of `out` went out whole. Every transfer
    // submitted has finished (completed, failed, or cancelled and reaped)
    // when it returns. The first error in submission order, OUT before IN.
    virtual UsbError BulkPhase(std::uint8_t epOut, const std::vector<std::vector<std::uint8_t>>& out, std::uint8_t epIn,
                               std::size_t inTransfers, std::vector<std::uint8_t>& in, std::size_t& outSent,
                               unsigned int writeTimeoutMs, unsigned int readTimeoutMs) = 0;
};

class CH347_API UsbTransport {
public:
    virtual ~UsbTransport() = default;
    // The devices of `vendorId` plugged in now.
    virtual std::vector<UsbDeviceInfo> List(std::uint16_t vendorId) = 0;
    // Opens a device that List returned, found again by bus, port path,
    // vendor and product ID: an address the kernel gave to another device
    // since must not lead to that device.
    virtual UsbError Open(const UsbDeviceInfo& device, std::unique_ptr<UsbHandle>& handle) = 0;
};

// A libusb error code (LIBUSB_ERROR_...) as the backend tells it apart.
UsbError UsbErrorFromLibusb(int code);

// libusb-1.0 behind the interface. Null, with the reason in *error, when
// libusb cannot start (no USB support on this machine).
std::shared_ptr<UsbTransport> MakeLibusbTransport(std::string* error = nullptr);

}  // namespace ch347
