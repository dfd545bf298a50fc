// The libusb transport end to end: libusb enumerates and drives a CH347T
// that umockdev emulates (sysfs, udev, the usbdevfs device node); its
// usbdevfs ioctls reach the handler below, which hands the bulk URBs to the
// firmware model. Runs under umockdev-wrapper (ctest does that); skips
// elsewhere.
#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>
#include <memory>

#include "Ch347Backend.h"
#include "FirmwareModel.h"
#include "BackendChoice.h"
#include "regframe.h"
#include "spilink.h"

// GLib and umockdev keep type data and a worker for the whole process; they
// are not built with the sanitizers, so what they do among their threads is theirs.
extern "C" const char* __lsan_default_suppressions() { return "leak:libglib-2.0.so\nleak:libgobject-2.0.so\n"; }
extern "C" const char* __tsan_default_options() { return "ignore_noninstrumented_modules=1"; }

namespace {

using namespace ch347;

// Device, configuration, then the three interfaces of a CH347T in mode 1:
// CDC control (interrupt 0x83), CDC data (bulk 0x02/0x82), vendor SPI (bulk 0x06/0x86).
const std::uint8_t kDescriptors[] = {
    0x12, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40, 0x86, 0x1A, 0xDB, 0x55, 0x41, 0x02, 0x00, 0x00, 0x00, 0x01,
    0x09, 0x02, 0x47, 0x00, 0x03, 0x01, 0x00, 0x80, 0x32, 0x09, 0x04, 0x00, 0x00, 0x01, 0x02, 0x02, 0x01, 0x00,
    0x07, 0x05, 0x83, 0x03, 0x08, 0x00, 0x01, 0x09, 0x04, 0x01, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x00, 0x07, 0x05,
    0x02, 0x02, 0x00, 0x02, 0x00, 0x07, 0x05, 0x82, 0x02, 0x00, 0x02, 0x00, 0x09, 0x04, 0x02, 0x00, 0x02, 0xFF,
    0x00, 0x00, 0x00, 0x07, 0x05, 0x06, 0x02, 0x00, 0x02, 0x00, 0x07, 0x05, 0x86, 0x02, 0x00, 0x02, 0x00,
};
const char kDevNode[] = "/dev/bus/usb/001/002";

// usbdevfs as the kernel would serve it, with the bridge firmware behind the bulk endpoints.
struct Usbdevfs {
    std::shared_ptr<model::FirmwareBus> bus = std::make_shared<model::FirmwareBus>();
    std::unique_ptr<UsbHandle> bridge;
    int id = -1;
    std::atomic<int> claims{0};  // the handler runs on umockdev's worker thread
    std::atomic<bool> unplugged{false};
    std::atomic<int> urbsBeforeUnplug{-1};  // unplugged at this many more URBs; -1: never
    std::vector<UMockdevIoctlData*> done;   // URBs waiting to be reaped

    Usbdevfs() {
        id = bus->Plug({});
        const std::vector<UsbDeviceInfo> list = bus->List(kVendorId);
        bool detached = false;
        if (list.size() != 1 || bus->Open(list[0], bridge) != UsbError::None ||
            bridge->DetachKernelDriver(2, detached) != UsbError::None || bridge->ClaimInterface(2) != UsbError::None)
            bridge.reset();
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        return static_cast<Usbdevfs*>(self)->Handle(client);
    }

    gboolean Handle(UMockdevIoctlClient* client) {
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        GError* error = nullptr;
        long result = 0;
        int err = 0;
        const bool reap = request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB;
        // URBs that completed before the unplug are still given back.
        if (unplugged && !(reap && !done.empty())) {
            result = -1;
            err = ENODEV;
        } else if (request == USBDEVFS_GET_CAPABILITIES) {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), &error);
            if (caps) std::memset(caps->data, 0, sizeof(std::uint32_t));
        } else if (request == USBDEVFS_CLAIMINTERFACE) {
            ++claims;
        } else if (request == USBDEVFS_RELEASEINTERFACE) {
            --claims;
        } else if (request == USBDEVFS_IOCTL) {
            result = -1;  // no kernel driver on any interface
            err = ENODATA;
        } else if (request == USBDEVFS_SUBMITURB && urbsBeforeUnplug.load() == 0) {
            unplugged = true;  // pulled out in the middle of a phase
            result = -1;
            err = ENODEV;
        } else if (request == USBDEVFS_SUBMITURB) {
            if (urbsBeforeUnplug.load() > 0) --urbsBeforeUnplug;
            UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
            auto* urb = urbData ? reinterpret_cast<usbdevfs_urb*>(urbData->data) : nullptr;
            UMockdevIoctlData* buffer =
                urb ? umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                  static_cast<gsize>(urb->buffer_length), &error)
                    : nullptr;
            if (!urb || !buffer || urb->type != USBDEVFS_URB_TYPE_BULK || !bridge) {
                result = -1;
                err = urb && urb->type != USBDEVFS_URB_TYPE_BULK ? EPIPE : EINVAL;
            } else {
                UsbError e;
                std::size_t got = 0;
                if (urb->endpoint & 0x80) {
                    e = bridge->BulkIn(urb->endpoint, buffer->data, static_cast<std::size_t>(buffer->data_len), got, 0);
                } else {
                    e = bridge->BulkOut(urb->endpoint, buffer->data, static_cast<std::size_t>(buffer->data_len), 0);
                    got = static_cast<std::size_t>(buffer->data_len);
                }
                // A transfer the firmware model refuses (nothing to answer)
                // ends as a stall at once, so nothing waits for a discard.
                urb->status = e == UsbError::None ? 0 : -EPIPE;
                urb->actual_length = static_cast<int>(got);
                done.push_back(static_cast<UMockdevIoctlData*>(g_object_ref(urbData)));
            }
        } else if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) {
            if (done.empty()) {
                result = -1;
                err = EAGAIN;
            } else {
                // The argument points at the caller's URB pointer, which gets the reaped URB.
                UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
                if (slot) umockdev_ioctl_data_set_ptr(slot, 0, done.front());
                g_object_unref(done.front());
                done.erase(done.begin());
            }
        } else if (request == USBDEVFS_DISCARDURB) {
            result = -1;
            err = EINVAL;
        } else {
            return FALSE;
        }
        if (error) {
            g_error_free(error);
            result = -1;
            err = EFAULT;
        }
        umockdev_ioctl_client_complete(client, result, err);
        return TRUE;
    }
};

// sysfs and udev as the kernel shows a CH347T at bus 1 port `port` with the
// device number `devnum`, and its usbdevfs node.
std::string DeviceRecord(int port, int devnum) {
    std::string hex;
    for (std::uint8_t b : kDescriptors) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", b);
        hex += two;
    }
    char number[4];
    std::snprintf(number, sizeof number, "%03d", devnum);
    const std::string p = std::to_string(port), n = number, d = std::to_string(devnum);
    return "P: /devices/usb1/1-" + p + "\nN: bus/usb/001/" + n + "=" + hex +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/001/" + n +
           "\nE: BUSNUM=001\nE: DEVNUM=" + n +
           "\nA: idVendor=1a86\\n\nA: idProduct=55db\\n\nA: bcdDevice=0241\\n\nA: busnum=1\\n\nA: devnum=" + d +
           "\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\nA: bNumInterfaces= 3\\n\nA: dev=189:" +
           std::to_string(devnum - 1) + "\\n\nH: descriptors=" + hex + "\n";
}

TEST(LibusbTransport, DrivesAnEmulatedBridgeThroughUsbdevfs) {
    UMockdevTestbed* testbed = umockdev_testbed_new();
    if (!umockdev_in_mock_environment()) {
        g_object_unref(testbed);
        GTEST_SKIP() << "needs umockdev-wrapper";
    }
    // sysfs and udev as the kernel shows a CH347T at bus 1 port 1, and its usbdevfs node.
    const std::string device = DeviceRecord(1, 2);
    GError* error = nullptr;
    const bool added = umockdev_testbed_add_from_string(testbed, device.c_str(), &error);
    ASSERT_TRUE(added) << (error ? error->message : "");
    Usbdevfs usbdevfs;
    ASSERT_TRUE(usbdevfs.bridge);
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(&Usbdevfs::OnIoctl), &usbdevfs);
    const bool attached = umockdev_testbed_attach_ioctl(testbed, kDevNode, handler, &error);
    ASSERT_TRUE(attached) << (error ? error->message : "");

    std::string reason;
    ASSERT_TRUE(ch347::SelectBackend(ch347::BackendChoice::Usb, &reason)) << reason;
    std::list<std::u16string> names;
    EXPECT_EQ(libComm_EnumDevice(names), 1u);
    EXPECT_EQ(names, std::list<std::u16string>{u"0# CH347T SPI bridge, bus 1 port 1"});

    _UI_SPI_CONFIG config;
    config.SpiMode = 1;
    config.SpiClock = 4;
    config.ByteOrder = 1;
    config.CSEnable = 1;
    ASSERT_EQ(libComm_OpenDevice(0, config), 1);
    EXPECT_EQ(usbdevfs.claims, 1);
    usbdevfs.bus->WithChip(usbdevfs.id, [](ch347::SimChip& chip) { chip.Set(0x0400, 0x40080040, 0x77); });
    unsigned char buffer[16];
    const int length = libPro_GetRegisterValuePack(0x40080040, buffer, false, 0x0400);
    ASSERT_EQ(libComm_WriteSpiData(0, 1, length, buffer), 1);
    ASSERT_EQ(libComm_ReadSpiData(0, 1, 8, buffer), 1);
    EXPECT_EQ(buffer[0] << 8 | buffer[1], 0x0401);
    EXPECT_EQ(buffer[5], 0x77);
    EXPECT_EQ(libComm_CloseDevice(0), 1);
    EXPECT_EQ(usbdevfs.claims, 0);

    // Pulled out in the middle of a transfer's phase: the URBs submitted
    // before come back, the rest is never submitted, and the call fails.
    ASSERT_EQ(libComm_OpenDevice(0, config), 1);
    usbdevfs.urbsBeforeUnplug = 2;
    EXPECT_EQ(libComm_WriteSpiData(0, 1, length, buffer), 0);
    EXPECT_TRUE(usbdevfs.unplugged);
    EXPECT_EQ(libComm_ReadSpiData(0, 1, 8, buffer), 0);
    EXPECT_EQ(libComm_CloseDevice(0), 1);
    usbdevfs.unplugged = false;
    usbdevfs.urbsBeforeUnplug = -1;

    // Pulled out while open: the kernel answers ENODEV, libusb "no device".
    ASSERT_EQ(libComm_OpenDevice(0, config), 1);
    usbdevfs.unplugged = true;
    EXPECT_EQ(libComm_WriteSpiData(0, 1, length, buffer), 0);
    EXPECT_EQ(libComm_ReadSpiData(0, 1, 8, buffer), 0);
    EXPECT_EQ(libComm_CloseDevice(0), 1);

    ch347::SetBackend(nullptr);
    umockdev_testbed_detach_ioctl(testbed, kDevNode, nullptr);
    g_object_unref(handler);
    g_object_unref(testbed);
}

// Two bridges on one bus: listed by port, and what goes to index 1 reaches
// the second device only (the transport finds a device by its port path).
TEST(LibusbTransport, TwoBridgesOnOneBusAreToldApartByPort) {
    UMockdevTestbed* testbed = umockdev_testbed_new();
    if (!umockdev_in_mock_environment()) {
        g_object_unref(testbed);
        GTEST_SKIP() << "needs umockdev-wrapper";
    }
    GError* error = nullptr;
    // The second one first: the list follows the port, not the order found.
    for (const auto& [port, devnum] : {std::pair{2, 3}, std::pair{1, 2}})
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, DeviceRecord(port, devnum).c_str(), &error))
            << (error ? error->message : "");
    Usbdevfs first, second;
    ASSERT_TRUE(first.bridge && second.bridge);
    UMockdevIoctlBase* handlers[2] = {umockdev_ioctl_base_new(), umockdev_ioctl_base_new()};
    g_signal_connect(handlers[0], "handle-ioctl", G_CALLBACK(&Usbdevfs::OnIoctl), &first);
    g_signal_connect(handlers[1], "handle-ioctl", G_CALLBACK(&Usbdevfs::OnIoctl), &second);
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed, "/dev/bus/usb/001/002", handlers[0], &error));
    ASSERT_TRUE(umockdev_testbed_attach_ioctl(testbed, "/dev/bus/usb/001/003", handlers[1], &error));

    std::string reason;
    ASSERT_TRUE(ch347::SelectBackend(ch347::BackendChoice::Usb, &reason)) << reason;
    std::list<std::u16string> names;
    EXPECT_EQ(libComm_EnumDevice(names), 2u);
    EXPECT_EQ(names, (std::list<std::u16string>{u"0# CH347T SPI bridge, bus 1 port 1",
                                                u"1# CH347T SPI bridge, bus 1 port 2"}));
    first.bus->ClearRecord(first.id);
    second.bus->ClearRecord(second.id);

    _UI_SPI_CONFIG config;
    ASSERT_EQ(libComm_OpenDevice(1, config), 1);
    EXPECT_EQ(first.claims, 0);
    EXPECT_EQ(second.claims, 1);
    second.bus->WithChip(second.id, [](ch347::SimChip& chip) { chip.Set(0x0400, 0x40080040, 0x55); });
    unsigned char buffer[16];
    const int length = libPro_GetRegisterValuePack(0x40080040, buffer, false, 0x0400);
    ASSERT_EQ(libComm_WriteSpiData(1, 1, length, buffer), 1);
    ASSERT_EQ(libComm_ReadSpiData(1, 1, 8, buffer), 1);
    EXPECT_EQ(buffer[5], 0x55);
    EXPECT_GT(second.bus->Transfers(second.id).out, 0);
    EXPECT_EQ(first.bus->Transfers(first.id).out, 0);
    EXPECT_EQ(first.bus->Transfers(first.id).in, 0);
    EXPECT_EQ(libComm_CloseDevice(1), 1);

    ch347::SetBackend(nullptr);
    umockdev_testbed_detach_ioctl(testbed, "/dev/bus/usb/001/002", nullptr);
    umockdev_testbed_detach_ioctl(testbed, "/dev/bus/usb/001/003", nullptr);
    for (UMockdevIoctlBase* handler : handlers) g_object_unref(handler);
    g_object_unref(testbed);
}

}  // namespace
