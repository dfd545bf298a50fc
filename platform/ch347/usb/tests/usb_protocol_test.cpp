// The bridge protocol byte for byte: what UsbBackend puts on the bulk OUT
// endpoint for the vendor calls, and how it takes answers apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

#include <libusb.h>

#include "FirmwareModel.h"
#include "UsbBackend.h"
#include "UsbProtocol.h"

namespace {

using namespace ch347;
using Bytes = std::vector<std::uint8_t>;

// What spilink makes of the settings file's defaults (mode 1, 3.75 MHz, MSB
// first, chip select 1 active low and driven by the host).
mSpiCfgS DefaultConfig() {
    mSpiCfgS cfg{};
    cfg.iMode = 1;
    cfg.iClock = 4;
    cfg.iByteOrder = 1;
    cfg.iSpiOutDefaultData = 0xFF;
    cfg.iChipSelect = 0x80;
    return cfg;
}

class BridgeOnModel : public ::testing::Test {
protected:
    void SetUp() override {
        id_ = bus_->Plug({});
        ASSERT_NE(backend_.OpenDevice(0), CH347_INVALID_HANDLE);
    }
    // The OUT transfers of `call`, each one frame.
    template <typename F>
    std::vector<Frame> Sent(F&& call) {
        bus_->ClearRecord(id_);
        call();
        return bus_->OutTransfers(id_);
    }

    std::shared_ptr<model::FirmwareBus> bus_ = std::make_shared<model::FirmwareBus>();
    UsbBackend backend_{bus_};
    int id_ = -1;
};

TEST_F(BridgeOnModel, SpiInitFrameForTheDefaultAndAChangedConfiguration) {
    mSpiCfgS cfg = DefaultConfig();
    std::vector<Frame> sent = Sent([&] { EXPECT_EQ(backend_.SpiInit(0, cfg), 1); });
    const Bytes defaults = {0xC0, 0x1A, 0x00,                    // command, 26 bytes
                            0x00, 0x00, 0x04, 0x01,              // full duplex, master
                            0x00, 0x00, 0x00, 0x00, 0x01, 0x00,  // 8-bit words, idle low, second edge
                            0x00, 0x02, 0x20, 0x00,              // software chip select, divider 8 x 4
                            0x00, 0x00, 0x07, 0x00,              // MSB first, CRC polynomial
                            0x00, 0x00, 0xFF, 0x00,              // interval, read filler, both active low
                            0x00, 0x00, 0x00, 0x00};
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], defaults);

    // SPI mode 3, LSB first, 16-bit words, clock option 5, chip select 2 active high.
    cfg.iMode = 3;
    cfg.iByteOrder = 0;
    cfg.iClock = 5;
    cfg.iChipSelect = 0x81;
    cfg.CS2Polarity = 1;
    cfg.iSpiWriteReadInterval = 0x0123;
    ASSERT_EQ(backend_.SpiSetDataBits(0, 1), 1);
    sent = Sent([&] { EXPECT_EQ(backend_.SpiInit(0, cfg), 1); });
    const Bytes changed = {0xC0, 0x1A, 0x00, 0x00, 0x00, 0x04, 0x01, 0x00, 0x08, 0x02, 0x00, 0x01, 0x00, 0x00, 0x02,
                           0x28, 0x00, 0x80, 0x00, 0x07, 0x00, 0x23, 0x01, 0xFF, 0x40, 0x00, 0x00, 0x00, 0x00};
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], changed);

    // The bridge reports it back; the host's own fields stay as given.
    mSpiCfgS back{};
    ASSERT_EQ(backend_.SpiGetCfg(0, back), 1);
    EXPECT_EQ(std::memcmp(&back, &cfg, sizeof cfg), 0);

    // A frequency picks the fastest divider not above it.
    ASSERT_EQ(backend_.SpiSetFrequency(0, 7500000), 1);
    sent = Sent([&] { EXPECT_EQ(backend_.SpiInit(0, cfg), 1); });
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][15], 8 * 3);

    // Settings the bridge has no setting for are refused without traffic.
    cfg.iMode = 4;
    EXPECT_TRUE(Sent([&] { EXPECT_EQ(backend_.SpiInit(0, cfg), 0); }).empty());
}

TEST_F(BridgeOnModel, ChipSelectAroundWritesAndLongWritesInFramesOf507) {
    mSpiCfgS cfg = DefaultConfig();
    cfg.iActiveDelay = 10;
    cfg.iDelayDeactive = 70000 & 0xFFFF;  // 4464 = 0x1170
    ASSERT_EQ(backend_.SpiInit(0, cfg), 1);

    Bytes data(1200);
    std::iota(data.begin(), data.end(), std::uint8_t{0});
    std::vector<Frame> sent = Sent([&] { EXPECT_EQ(backend_.SpiWrite(0, 0x80, 1200, 512, data.data()), 1); });
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[0], (Bytes{0xC1, 0x0A, 0x00, 0x80, 0x0A, 0x00, 0x70, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(sent[4], (Bytes{0xC1, 0x0A, 0x00, 0xC0, 0x0A, 0x00, 0x70, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00}));
    const std::size_t sizes[] = {507, 507, 186};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const Frame& f = sent[1 + i];
        ASSERT_EQ(f.size(), 3 + sizes[i]);
        EXPECT_EQ(f[0], 0xC4);
        EXPECT_EQ(f[1] | f[2] << 8, static_cast<int>(sizes[i]));
        EXPECT_TRUE(std::equal(f.begin() + 3, f.end(), data.begin() + static_cast<std::ptrdiff_t>(at)));
        at += sizes[i];
    }
    EXPECT_FALSE(bus_->ChipSelected(id_));

    // A smaller write step makes smaller frames; no chip select, no 0xC1.
    sent = Sent([&] { EXPECT_EQ(backend_.SpiWrite(0, 0x00, 100, 64, data.data()), 1); });
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].size(), 3u + 64);
    EXPECT_EQ(sent[1].size(), 3u + 36);

    // The second chip select has its own bytes.
    cfg.iChipSelect = 0x81;
    ASSERT_EQ(backend_.SpiInit(0, cfg), 1);
    sent = Sent([&] { EXPECT_EQ(backend_.SpiWrite(0, 0x80, 1, 512, data.data()), 1); });
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], (Bytes{0xC1, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x0A, 0x00, 0x70, 0x11}));
    EXPECT_EQ(sent[2], (Bytes{0xC1, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x0A, 0x00, 0x70, 0x11}));

    // Nothing to send is no frame at all (a zero-length 0xC4 hangs the firmware);
    // a write step of 0 would never end.
    EXPECT_TRUE(Sent([&] { EXPECT_EQ(backend_.SpiWrite(0, 0x80, 0, 512, data.data()), 1); }).empty());
    EXPECT_EQ(backend_.SpiWrite(0, 0x80, 10, 0, data.data()), 0);

    // A delay longer than the frame's 16 bits waits as long as they can say.
    cfg.iDelayDeactive = 70000;
    ASSERT_EQ(backend_.SpiInit(0, cfg), 1);
    sent = Sent([&] { EXPECT_EQ(backend_.SpiWrite(0, 0x80, 1, 512, data.data()), 1); });
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[2][11], 0xFF);
    EXPECT_EQ(sent[2][12], 0xFF);
}

TEST_F(BridgeOnModel, ReadAssemblesTheInFrames) {
    ASSERT_EQ(backend_.SpiInit(0, DefaultConfig()), 1);
    Bytes pattern(600);
    for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i * 7 + 3);
    bus_->PresetRead(id_, pattern);
    Bytes buffer(600 + 16, 0xEE);
    std::uint32_t length = 600;
    std::vector<Frame> sent = Sent([&] { EXPECT_EQ(backend_.SpiRead(0, 0x80, 0, length, buffer.data()), 1); });
    EXPECT_EQ(length, 600u);
    EXPECT_TRUE(std::equal(pattern.begin(), pattern.end(), buffer.begin()));
    EXPECT_EQ(buffer[600], 0xEE);  // nothing past the count
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], (Bytes{0xC3, 0x04, 0x00, 0x58, 0x02, 0x00, 0x00}));
    EXPECT_EQ(bus_->Transfers(id_).in, 2);  // 507 + 93
}

TEST_F(BridgeOnModel, MalformedAnswersFailTheCallAndTheNextCallIsClean) {
    ASSERT_EQ(backend_.SpiInit(0, DefaultConfig()), 1);
    Bytes data(8, 0x5A);
    for (model::Fault fault :
         {model::Fault::WrongEcho, model::Fault::ShortFrame, model::Fault::BadLength, model::Fault::Timeout}) {
        SCOPED_TRACE(static_cast<int>(fault));
        bus_->InjectFault(id_, fault);
        EXPECT_EQ(backend_.SpiWrite(0, 0x80, 8, 512, data.data()), 0);
        EXPECT_FALSE(bus_->ChipSelected(id_));  // released after the failure
        bus_->PresetRead(id_, {1, 2, 3, 4});
        std::uint32_t n = 4;
        EXPECT_EQ(backend_.SpiRead(0, 0x80, 0, n, data.data()), 1);
        EXPECT_EQ(data[3], 4);
    }
    // A read whose answer breaks off reports how much arrived.
    bus_->InjectFault(id_, model::Fault::WrongEcho);
    std::uint32_t n = 8;
    EXPECT_EQ(backend_.SpiRead(0, 0x80, 0, n, data.data()), 0);
    EXPECT_EQ(n, 0u);

    // A long read that fails at its first frame leaves no frame behind for the
    // next read to take as its own answer.
    Bytes tail(5 * 507 + 10, 0xF8);
    bus_->PresetRead(id_, tail);
    bus_->InjectFault(id_, model::Fault::WrongEcho);
    Bytes big(tail.size());
    n = static_cast<std::uint32_t>(big.size());
    EXPECT_EQ(backend_.SpiRead(0, 0x80, 0, n, big.data()), 0);
    bus_->PresetRead(id_, {1, 2, 3, 4});
    n = 4;
    EXPECT_EQ(backend_.SpiRead(0, 0x80, 0, n, data.data()), 1);
    EXPECT_EQ(data[0], 1);
}

TEST(UsbIndexes, ABridgeKeepsItsIndexWhenAnotherIsPluggedInBeforeIt) {
    auto bus = std::make_shared<model::FirmwareBus>();
    UsbBackend backend{bus};
    model::BridgeLayout later;
    later.ports = {3};
    bus->Plug(later);
    ASSERT_NE(backend.OpenDevice(0), CH347_INVALID_HANDLE);  // the list: 0# port 3
    backend.CloseDevice(0);
    model::BridgeLayout earlier;
    earlier.ports = {1};
    bus->Plug(earlier);
    mDeviceInforS info{};
    ASSERT_NE(backend.OpenDevice(0), CH347_INVALID_HANDLE);
    ASSERT_EQ(backend.GetDeviceInfor(0, info), 1);
    EXPECT_NE(std::string(info.FuncDescStr).find("port 3"), std::string::npos) << info.FuncDescStr;
    ASSERT_NE(backend.OpenDevice(1), CH347_INVALID_HANDLE);
    ASSERT_EQ(backend.GetDeviceInfor(1, info), 1);
    EXPECT_NE(std::string(info.FuncDescStr).find("port 1"), std::string::npos) << info.FuncDescStr;
}

// libusb's "access denied" at open is the permission problem of that bridge.
TEST(UsbIndexes, LibusbAccessDeniedIsReportedAsNoPermission) {
    class DeniedTransport final : public UsbTransport {
    public:
        explicit DeniedTransport(std::shared_ptr<model::FirmwareBus> bus) : m_bus(std::move(bus)) {}
        std::vector<UsbDeviceInfo> List(std::uint16_t vendorId) override { return m_bus->List(vendorId); }
        UsbError Open(const UsbDeviceInfo&, std::unique_ptr<UsbHandle>&) override {
            return UsbErrorFromLibusb(LIBUSB_ERROR_ACCESS);
        }

    private:
        std::shared_ptr<model::FirmwareBus> m_bus;
    };
    auto bus = std::make_shared<model::FirmwareBus>();
    model::BridgeLayout layout;
    layout.ports = {4};
    bus->Plug(layout);
    UsbBackend backend{std::make_shared<DeniedTransport>(bus)};
    EXPECT_EQ(backend.OpenDevice(0), CH347_INVALID_HANDLE);
    const std::vector<BridgeProblem> problems = backend.Problems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, BridgeProblem::Kind::NoPermission);
    EXPECT_EQ(problems[0].bridge, "CH347T (1a86:55db) at bus 1 port 4");
}

}  // namespace
