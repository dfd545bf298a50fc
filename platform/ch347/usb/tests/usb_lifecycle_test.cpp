// Whole lifecycles over the USB code path without hardware: spilink -> the
// vendor calls -> UsbBackend -> transport -> firmware model -> simulated chip.
#include <atomic>
#include <chrono>
#include <list>
#include <thread>

#include "Ch347Backend.h"
#include "Ch347Sim.h"
#include "FirmwareModel.h"
#include "SPIUtil.h"
#include "SpiReadWriteOps.h"
#include "SpiSettingFile.h"
#include "BackendChoice.h"
#include "BridgeProblems.h"
#include "spilink.h"
#include "support/core_fixture.h"
#include "trace.h"

namespace {

using namespace ch347;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class UsbLifecycle : public SettingsFileTest {
protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        ASSERT_TRUE(SaveSPIRWDelay(0));
        sim::Reset();
        ch347::SetBackend(ch347::MakeBackend(ch347::BackendChoice::Usb, bus_));
        log_ = std::make_unique<LogCapture>();
    }
    void TearDown() override {
        log_.reset();
        ch347::SetBackend(nullptr);
        sim::Reset();
        SettingsFileTest::TearDown();
    }

    std::list<std::u16string> Enumerate() {
        std::list<std::u16string> names;
        const unsigned long count = libComm_EnumDevice(names);
        EXPECT_EQ(count, names.size());
        return names;
    }
    static bool Open(unsigned long index) {
        _UI_SPI_CONFIG config;
        LoadSpiConfig(config);
        return libComm_OpenDevice(index, config) == 1;
    }
    bool LogHas(const std::string& text) const {
        for (const std::string& line : log_->Utf8Lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    std::shared_ptr<model::FirmwareBus> bus_ = std::make_shared<model::FirmwareBus>();
    std::unique_ptr<LogCapture> log_;
};

TEST_F(UsbLifecycle, TwoBridgesAndAModeThreeOneEnumerateOpenReadBackAndClose) {
    model::BridgeLayout f;
    f.bus = 2;
    f.ports = {1};
    f.productId = kPidCh347f;
    f.kernelDriver = true;  // a kernel SPI driver holds the interface
    const int fId = bus_->Plug(f);
    model::BridgeLayout t;
    t.ports = {3};
    const int tId = bus_->Plug(t);
    model::BridgeLayout m3;
    m3.ports = {1, 2};
    m3.productId = kPidCh347tMode3;
    const int m3Id = bus_->Plug(m3);

    // Bus, then port path: the mode-3 bridge takes index 0 and is hidden.
    const std::list<std::u16string> names = Enumerate();
    EXPECT_THAT(names, ElementsAre(u"1# CH347T SPI bridge, bus 1 port 3", u"2# CH347F SPI bridge, bus 2 port 1"));
    EXPECT_EQ(Enumerate(), names);  // stable
    EXPECT_FALSE(bus_->Claimed(fId));
    EXPECT_TRUE(bus_->KernelDriverAttached(fId));  // given back after each look
    EXPECT_EQ(bus_->Transfers(m3Id).out, 0);       // its JTAG interface was left alone

    mDeviceInforS info{};
    ASSERT_NE(CH347OpenDevice(2), CH347_INVALID_HANDLE);
    ASSERT_EQ(CH347GetDeviceInfor(2, &info), 1);
    EXPECT_EQ(info.ChipMode, 1);
    EXPECT_STREQ(info.ProductString, "USB To UART+SPI+I2C");
    EXPECT_STREQ(info.ManufacturerString, "wch.cn");
    EXPECT_EQ(CH347CloseDevice(2), 1);

    ASSERT_TRUE(Open(2));
    EXPECT_TRUE(bus_->Claimed(fId));
    EXPECT_FALSE(bus_->KernelDriverAttached(fId));
    EXPECT_EQ(bus_->Transfers(tId).out, 0);

    // Every function reads back through the transaction layer.
    bus_->WithChip(fId, [](ch347::SimChip& chip) { chip.Set(0x0400, kRegBrightnessThreshold, 0x0A2B); });
    unsigned int a = 0, b = 0, c = 0;
    EXPECT_TRUE(GetNavoThroughDisplayOnOffState(2, &a, nullptr));
    ASSERT_TRUE(GetVividOnOffState(2, &a, &b, &c, nullptr));
    EXPECT_EQ(a, 1u);
    ASSERT_TRUE(GetVividRange(2, &a, nullptr));
    EXPECT_EQ(a, kVividRangeMedium);
    ASSERT_TRUE(GetVividIntensity(2, &a, nullptr));
    EXPECT_EQ(a, 130u);
    EXPECT_TRUE(GetSharpeningOnOffState(2, &a, nullptr));
    EXPECT_TRUE(GetSharpeningIntensity(2, &a, nullptr));
    EXPECT_TRUE(GetExtendedContrastParameters(2, &a, &b, &c, nullptr));
    ASSERT_TRUE(GetBrightnessAndThreshold(2, &a, &b, nullptr));
    EXPECT_EQ(a, 0x2Bu);
    EXPECT_EQ(b, 0x0Au);
    EXPECT_TRUE(GetColorCorrectionIntensity(2, &a, nullptr));
    EXPECT_TRUE(GetRemoveNoiseSensitivity(2, &a, nullptr));
    ASSERT_TRUE(GetVideoProcessingArea(2, &a));
    EXPECT_EQ(a, kAreaAll);
    ASSERT_TRUE(SetBrightness(2, 0x0A2B, 80));
    unsigned int raw = 0;
    bus_->WithChip(fId, [&](ch347::SimChip& chip) { raw = chip.Get(0x0400, kRegBrightnessThreshold).value_or(0); });
    EXPECT_EQ(raw, 0x0A50u);

    // The EDID through sequence A.
    std::array<std::uint8_t, 256> edid{};
    bus_->WithChip(fId, [&](ch347::SimChip& chip) { edid = chip.Edid(); });
    unsigned int values[256] = {};
    spirw::RunSequenceARead(2, 0x6000, 0x0600, values);
    EXPECT_TRUE(std::equal(edid.begin(), edid.end(), values));
    EXPECT_FALSE(LogHas("failed"));

    EXPECT_EQ(libComm_CloseDevice(2), 1);
    EXPECT_FALSE(bus_->Claimed(fId));
    EXPECT_TRUE(bus_->KernelDriverAttached(fId));
    EXPECT_TRUE(ch347::BridgeProblems().empty());
}

TEST_F(UsbLifecycle, AutoUsesRealBridgesOnlyWhenOneIsPluggedIn) {
    ch347::SetBackend(ch347::MakeBackend(ch347::BackendChoice::Auto, bus_));
    EXPECT_THAT(Enumerate(), ElementsAre(u"0# USB2.0 to SPI bridge (simulated)"));
    const int id = bus_->Plug({});
    EXPECT_THAT(Enumerate(), ElementsAre(u"0# CH347T SPI bridge, bus 1 port 1"));
    ASSERT_TRUE(Open(0));
    unsigned int value = 0;
    EXPECT_TRUE(GetVividIntensity(0, &value, nullptr));
    EXPECT_GT(bus_->Transfers(id).out, 0);
    EXPECT_FALSE(sim::Inspect(0).configured);
    EXPECT_EQ(libComm_CloseDevice(0), 1);
    bus_->Unplug(id);
    EXPECT_THAT(Enumerate(), ElementsAre(u"0# USB2.0 to SPI bridge (simulated)"));
}

TEST_F(UsbLifecycle, PermissionDeniedAndBusyBridgesAreReportedWithTheirFix) {
    model::BridgeLayout t;
    t.ports = {4};
    const int tId = bus_->Plug(t);
    model::BridgeLayout f;
    f.ports = {5};
    f.productId = kPidCh347f;
    const int fId = bus_->Plug(f);
    model::BridgeLayout hid;
    hid.ports = {6};
    hid.productId = kPidCh347tMode2;
    bus_->Plug(hid);
    bus_->InjectFault(tId, model::Fault::AccessDenied, model::kAlways);
    bus_->InjectFault(fId, model::Fault::Busy, model::kAlways);

    std::vector<std::string> traced;
    trace::Sink previous = trace::SetSink([&](const char*, int, std::string_view text) { traced.emplace_back(text); });
    EXPECT_TRUE(Enumerate().empty());
    trace::SetSink(previous);
    const std::vector<std::string> problems = BridgeProblemLines();
    EXPECT_THAT(
        problems,
        ElementsAre(
            AllOf(HasSubstr("CH347T (1a86:55dc) at bus 1 port 6"), HasSubstr("in mode 2 (HID)")),
            AllOf(HasSubstr("CH347T (1a86:55db) at bus 1 port 4"), HasSubstr("no permission"), HasSubstr("udev rules")),
            AllOf(HasSubstr("CH347F (1a86:55de) at bus 1 port 5"), HasSubstr("in use by another program"))));
    // The library traces what went wrong; the fix is the program's to word.
    EXPECT_THAT(traced, Contains(HasSubstr("CH347T (1a86:55db) at bus 1 port 4: cannot be opened (access denied)")));
    EXPECT_FALSE(Open(0));

    // Fixed (rules installed, the other program closed): listed, no problems left.
    bus_->InjectFault(tId, model::Fault::AccessDenied, 0);
    bus_->InjectFault(fId, model::Fault::Busy, 0);
    EXPECT_EQ(Enumerate().size(), 2u);
    EXPECT_EQ(ch347::BridgeProblems().size(), 1u);  // the HID one stays unusable
}

TEST_F(UsbLifecycle, TimeOutAndWrongEchoFailTheTransactionThenItWorksAgain) {
    const int id = bus_->Plug({});
    Enumerate();
    ASSERT_TRUE(Open(0));
    for (model::Fault fault : {model::Fault::Timeout, model::Fault::WrongEcho}) {
        SCOPED_TRACE(static_cast<int>(fault));
        log_->Clear();
        bus_->InjectFault(id, fault);
        unsigned int value = 0;
        EXPECT_FALSE(ReadRegister(0, kRegVividIntensity, value, kReadCommand));
        EXPECT_TRUE(LogHas("SPI failed!"));
        EXPECT_FALSE(bus_->ChipSelected(id));
        ASSERT_TRUE(ReadRegister(0, kRegVividIntensity, value, kReadCommand));
        EXPECT_EQ(value, 130u);
    }
    EXPECT_EQ(libComm_CloseDevice(0), 1);
}

// The EDID worker reads while the bridge is pulled out and the panel
// refreshes the list: every call fails at once, nothing read before is
// lost, closing fails cleanly and the bridge is no longer listed.
TEST_F(UsbLifecycle, UnplugInTheMiddleOfAnEdidRead) {
    model::BridgeLayout plan;
    plan.productId = kPidCh347f;
    const int id = bus_->Plug(plan);
    Enumerate();
    ASSERT_TRUE(Open(0));
    std::array<std::uint8_t, 256> edid{};
    bus_->WithChip(id, [&](ch347::SimChip& chip) { edid = chip.Edid(); });

    unsigned int values[256] = {};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        spirw::RunSequenceARead(0, 0x6000, 0x0600, values);
        done = true;
    });
    // Pull it out once the first EDID block is under way.
    while (bus_->Transfers(id).out < 400 && !done) std::this_thread::yield();
    bus_->Unplug(id);
    EXPECT_TRUE(Enumerate().empty());
    worker.join();

    EXPECT_TRUE(LogHas("Write SPI failed!"));
    int read = 0;
    for (int i = 0; i < 256; ++i) {
        if (values[i] == 0) continue;
        EXPECT_EQ(values[i], edid[static_cast<std::size_t>(i)]) << i;
        ++read;
    }
    EXPECT_GT(read, 0);
    EXPECT_LT(read, 256);
    unsigned int value = 0;
    EXPECT_FALSE(ReadRegister(0, kRegVividIntensity, value, kReadCommand));
    libComm_CloseDevice(0);
    EXPECT_FALSE(Open(0));
    EXPECT_TRUE(Enumerate().empty());
}

// Numbers and modes: a number a bridge left is not handed to another one in
// the same scan; a bridge in mode 3 alone says why the list is empty and
// leaves "auto" on the simulator; no transfer is ever given "no time-out".
TEST_F(UsbLifecycle, ANumberLeftInAScanModeThreeAloneAndTheTimeOutsGiven) {
    model::BridgeLayout a;
    a.ports = {1};
    const int idA = bus_->Plug(a);
    EXPECT_THAT(Enumerate(), ElementsAre(u"0# CH347T SPI bridge, bus 1 port 1"));
    ASSERT_TRUE(Open(0));
    CH347SetTimeout(0, 0, 0);  // 0 would be "wait for ever" to libusb
    unsigned int value = 0;
    EXPECT_TRUE(GetVividIntensity(0, &value, nullptr));
    EXPECT_GE(bus_->SmallestTimeoutMs(idA), 1u);
    EXPECT_NE(bus_->SmallestTimeoutMs(idA), model::kNoTimeoutYet);

    bus_->Unplug(idA);
    model::BridgeLayout b;
    b.ports = {1};
    const int idB = bus_->Plug(b);
    EXPECT_THAT(Enumerate(), ElementsAre(u"1# CH347T SPI bridge, bus 1 port 1"));
    EXPECT_FALSE(Open(0));
    EXPECT_EQ(bus_->Transfers(idB).out, 0);
    EXPECT_THAT(Enumerate(), ElementsAre(u"1# CH347T SPI bridge, bus 1 port 1"));  // and keeps it
    bus_->Unplug(idB);

    model::BridgeLayout jtag;
    jtag.productId = kPidCh347tMode3;
    const int idJ = bus_->Plug(jtag);
    EXPECT_TRUE(Enumerate().empty());
    EXPECT_THAT(BridgeProblemLines(),
                ElementsAre(AllOf(HasSubstr("CH347T (1a86:55dd) at bus 1 port 1"), HasSubstr("in mode 3 (JTAG)"),
                                  HasSubstr("Set the bridge to mode 1"))));
    ch347::SetBackend(ch347::MakeBackend(ch347::BackendChoice::Auto, bus_));
    EXPECT_THAT(Enumerate(), ElementsAre(u"0# USB2.0 to SPI bridge (simulated)"));
    EXPECT_EQ(BridgeProblemLines().size(), 1u);
    EXPECT_EQ(bus_->Transfers(idJ).out, 0);
}

// A bridge whose IN endpoint stops answering costs one time-out and one
// resynchronisation, then fails every transfer at once and says so once;
// closed and opened again, it is a fresh bridge.
TEST_F(UsbLifecycle, ABridgeThatStopsAnsweringFailsFastUntilItIsOpenedAgain) {
    const int id = bus_->Plug({});
    Enumerate();
    ASSERT_TRUE(Open(0));
    bus_->ClearRecord(id);
    bus_->InjectFault(id, model::Fault::Timeout, model::kAlways);
    for (int change = 0; change < 10; ++change) EXPECT_FALSE(SetBrightness(0, 0x0A2B, 10 + change));
    const model::TransferCount stuck = bus_->Transfers(id);
    EXPECT_LE(stuck.timeouts, 2);  // the transaction's, the resynchronisation's
    int notices = 0;
    for (const std::string& line : log_->Utf8Lines())
        notices += line == "The device stopped answering: close it and open it again!";
    EXPECT_EQ(notices, 1);
    unsigned int value = 0;
    EXPECT_FALSE(ReadRegister(0, kRegVividIntensity, value, kReadCommand));
    EXPECT_EQ(bus_->Transfers(id).out, stuck.out);  // nothing reaches the bus any more
    EXPECT_EQ(bus_->Transfers(id).in, stuck.in);

    bus_->InjectFault(id, model::Fault::Timeout, 0);
    EXPECT_EQ(libComm_CloseDevice(0), 1);
    ASSERT_TRUE(Open(0));
    ASSERT_TRUE(ReadRegister(0, kRegVividIntensity, value, kReadCommand));
    EXPECT_EQ(value, 130u);
}

}  // namespace
