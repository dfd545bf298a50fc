// The simulated bridge behind the vendor calls: which bridges exist, what they
// refuse, what they record, and that the backend can be swapped.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "CH347DLL.h"
#include "Ch347Backend.h"
#include "Ch347Sim.h"
#include "FaultBackend.h"
#include "regframe.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override { sim::Reset(); }
};

// One register read through the bridge; true when the reply is good.
bool ReadRegister(unsigned long index, std::uint32_t address, std::uint32_t* value = nullptr) {
    std::uint8_t buffer[16];
    libPro_GetRegisterValuePack(address, buffer, false, 0x0400);
    if (!CH347SPI_Write(index, 0x80, 10, 512, buffer)) return false;
    std::uint32_t n = 8;
    if (!CH347SPI_Read(index, 0x80, 0, &n, buffer)) return false;
    unsigned short calculated = 0, received = 0;
    if (!libPro_CheckCrc(buffer, 8, calculated, received, false)) return false;
    if ((buffer[0] << 8 | buffer[1]) != 0x0401) return false;
    if (value) *value = std::uint32_t{buffer[2]} << 24 | buffer[3] << 16 | buffer[4] << 8 | buffer[5];
    return true;
}

TEST_F(BridgeTest, DefaultIsOneSpiBridgeAtIndexZero) {
    EXPECT_TRUE(sim::HasBridge(0));
    for (unsigned long i = 1; i < kCh347MaxDevices; ++i) EXPECT_FALSE(sim::HasBridge(i));
    EXPECT_EQ(CH347OpenDevice(1), CH347_INVALID_HANDLE);
    EXPECT_EQ(CH347OpenDevice(16), CH347_INVALID_HANDLE);

    // Nothing but open works on a closed bridge.
    std::uint8_t byte = 0;
    EXPECT_EQ(CH347SPI_Write(0, 0x80, 1, 512, &byte), 0);
    mDeviceInforS info{};
    EXPECT_EQ(CH347GetDeviceInfor(0, &info), 0);

    ASSERT_NE(CH347OpenDevice(0), CH347_INVALID_HANDLE);
    EXPECT_TRUE(sim::IsOpen(0));
    std::memset(&info, 0x5A, sizeof info);
    ASSERT_NE(CH347GetDeviceInfor(0, &info), 0);
    EXPECT_EQ(info.ChipMode, 1);
    EXPECT_STREQ(info.FuncDescStr, sim::kDefaultDescription);
    EXPECT_STREQ(info.ProductString, sim::kDefaultProduct);
    EXPECT_STREQ(info.ManufacturerString, sim::kDefaultManufacturer);
    EXPECT_EQ(info.Reserved0[0], 0);  // the record is filled whole

    std::uint8_t dv = 0, lv = 0, rel = 0, ct = 0;
    EXPECT_NE(CH347GetVersion(0, &dv, &lv, &rel, &ct), 0);
    EXPECT_EQ(dv, 0x31);
    EXPECT_EQ(ct, 0x47);
    EXPECT_TRUE(ReadRegister(0, 0x40080040));

    EXPECT_NE(CH347CloseDevice(0), 0);
    EXPECT_FALSE(sim::IsOpen(0));
    EXPECT_FALSE(ReadRegister(0, 0x40080040));
    EXPECT_EQ(CH347CloseDevice(3), 0);  // nothing plugged in there
}

TEST_F(BridgeTest, RecordsWhatTheBridgeWasGiven) {
    sim::AddBridge(4, 0, "four");
    ASSERT_NE(CH347OpenDevice(4), CH347_INVALID_HANDLE);
    EXPECT_NE(CH347SetTimeout(4, 500, 400), 0);
    EXPECT_NE(CH347SPI_SetFrequency(4, 7500000), 0);
    EXPECT_NE(CH347SPI_SetDataBits(4, 1), 0);
    EXPECT_EQ(CH347SPI_SetDataBits(4, 2), 0);  // no such word size
    EXPECT_NE(CH347SPI_SetDataBits(4, 1), 0);

    mSpiCfgS cfg{};
    cfg.iMode = 3;
    cfg.iClock = 2;
    cfg.iByteOrder = 1;
    cfg.iSpiWriteReadInterval = 0x1234;
    cfg.iSpiOutDefaultData = 0xFF;
    cfg.iChipSelect = 0x81;
    cfg.iDelayDeactive = 4464;
    ASSERT_NE(CH347SPI_Init(4, &cfg), 0);
    mSpiCfgS back{};
    ASSERT_NE(CH347SPI_GetCfg(4, &back), 0);
    EXPECT_EQ(std::memcmp(&back, &cfg, sizeof cfg), 0);

    // A mode the bridge has not: refused, the applied configuration stays, the attempt is recorded.
    mSpiCfgS bad = cfg;
    bad.iMode = 4;
    EXPECT_EQ(CH347SPI_Init(4, &bad), 0);
    ASSERT_NE(CH347SPI_GetCfg(4, &back), 0);
    EXPECT_EQ(back.iMode, 3);

    ASSERT_TRUE(ReadRegister(4, 0x40080040));
    std::uint8_t raw[3] = {1, 2, 3};
    EXPECT_NE(CH347SPI_Write(4, 0x00, 3, 64, raw), 0);
    EXPECT_EQ(CH347SPI_Write(4, 0x80, 3, 0, raw), 0);  // a write step of 0 never ends

    sim::BridgeRecord r = sim::Inspect(4);
    EXPECT_TRUE(r.open);
    EXPECT_EQ(r.writeTimeout, 500u);
    EXPECT_EQ(r.readTimeout, 400u);
    EXPECT_EQ(r.frequencyHz, 7500000u);
    EXPECT_EQ(r.dataBits, 1);
    EXPECT_EQ(r.initCalls, 2);
    EXPECT_EQ(r.config[0], 4);  // the last configuration given, refused or not
    EXPECT_EQ(r.config[3], 0x34);
    EXPECT_EQ(r.config[4], 0x12);
    EXPECT_EQ(r.config[6], 0x81);
    EXPECT_EQ(r.config[16], 4464 & 0xFF);
    EXPECT_EQ(r.config[17], 4464 >> 8);
    EXPECT_EQ(r.chipSelects, (Bytes{0x80, 0x80, 0x00, 0x80}));
    EXPECT_EQ(r.writeSteps, (std::vector<std::uint32_t>{512, 64, 0}));
    ASSERT_EQ(r.writes.size(), 2u);
    EXPECT_EQ(r.writes[1], (Bytes{1, 2, 3}));
    EXPECT_EQ(r.readLengths, (std::vector<std::uint32_t>{8}));
    EXPECT_EQ(r.requests, 1);
    EXPECT_EQ(r.rejectedRequests, 1);
    EXPECT_EQ(sim::GetFrequency(4), 7500000u);
    EXPECT_EQ(sim::GetSpiConfig(4).iMode, 4);
    EXPECT_EQ(sim::GetChipSelects(4).size(), 4u);

    sim::ClearRecord(4);
    r = sim::Inspect(4);
    EXPECT_TRUE(r.chipSelects.empty());
    EXPECT_EQ(r.openCalls, 0);
    EXPECT_EQ(r.frequencyHz, 7500000u);  // the bridge's settings are kept

    // The lists keep only the latest transfers; the counters count them all.
    for (std::size_t i = 0; i < sim::kRecordLimit + 5; ++i) {
        std::uint8_t tag[1] = {static_cast<std::uint8_t>(i)};
        ASSERT_NE(CH347SPI_Write(4, i & 1 ? 0x80 : 0x00, 1, 7, tag), 0);
    }
    r = sim::Inspect(4);
    EXPECT_EQ(r.writeCalls, static_cast<int>(sim::kRecordLimit + 5));
    ASSERT_EQ(r.writes.size(), sim::kRecordLimit);
    ASSERT_EQ(r.chipSelects.size(), sim::kRecordLimit);
    EXPECT_EQ(r.writeSteps.size(), sim::kRecordLimit);
    EXPECT_EQ(r.writes.front(), Bytes{5});
    EXPECT_EQ(r.writes.back(), Bytes{static_cast<std::uint8_t>(sim::kRecordLimit + 4)});
    EXPECT_EQ(r.chipSelects.front(), 0x80);
    EXPECT_EQ(sim::GetWrites(4).size(), sim::kRecordLimit);
    sim::ClearRecord(4);

    // Chip mode 3 has no SPI port.
    sim::SetChipMode(4, 3);
    EXPECT_EQ(CH347SPI_Init(4, &cfg), 0);
    EXPECT_FALSE(ReadRegister(4, 0x40080040));

    // Unplugging closes.
    sim::RemoveBridge(4);
    EXPECT_FALSE(sim::IsOpen(4));
    EXPECT_EQ(CH347OpenDevice(4), CH347_INVALID_HANDLE);
    EXPECT_FALSE(sim::AddBridge(16));
}

TEST_F(BridgeTest, FaultsForTheNextCallsOrAlways) {
    sim::InjectFault(0, sim::Fault::OpenRefused, 2);
    EXPECT_EQ(CH347OpenDevice(0), CH347_INVALID_HANDLE);
    EXPECT_EQ(CH347OpenDevice(0), CH347_INVALID_HANDLE);
    ASSERT_NE(CH347OpenDevice(0), CH347_INVALID_HANDLE);

    // A refused write reaches nobody.
    sim::InjectFault(0, sim::Fault::WriteRefused);
    EXPECT_FALSE(ReadRegister(0, 0x40080040));
    EXPECT_TRUE(sim::Inspect(0).writes.empty());
    EXPECT_EQ(sim::Inspect(0).requests, 0);
    EXPECT_TRUE(ReadRegister(0, 0x40080040));

    // A refused read leaves the buffer as it was.
    sim::InjectFault(0, sim::Fault::ReadRefused);
    std::uint8_t buffer[16];
    libPro_GetRegisterValuePack(0x40080040, buffer, false, 0x0400);
    ASSERT_NE(CH347SPI_Write(0, 0x80, 10, 512, buffer), 0);
    std::memset(buffer, 0xAB, sizeof buffer);
    std::uint32_t n = 8;
    EXPECT_EQ(CH347SPI_Read(0, 0x80, 0, &n, buffer), 0);
    EXPECT_EQ(buffer[0], 0xAB);

    // A corrupted CRC on the next reply only; status and value stay right.
    sim::InjectFault(0, sim::Fault::BadReplyCrc);
    libPro_GetRegisterValuePack(0x40080040, buffer, false, 0x0400);
    ASSERT_NE(CH347SPI_Write(0, 0x80, 10, 512, buffer), 0);
    n = 8;
    ASSERT_NE(CH347SPI_Read(0, 0x80, 0, &n, buffer), 0);
    unsigned short calculated = 0, received = 0;
    EXPECT_FALSE(libPro_CheckCrc(buffer, 8, calculated, received, false));
    EXPECT_EQ(buffer[0] << 8 | buffer[1], 0x0401);
    EXPECT_EQ(buffer[5], 130);
    EXPECT_TRUE(ReadRegister(0, 0x40080040));

    // A wrong status until cleared.
    sim::InjectFault(0, sim::Fault::WrongReplyStatus, sim::kAlways);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(ReadRegister(0, 0x40080040));
    libPro_GetRegisterValuePack(0x40080040, buffer, false, 0x0400);
    ASSERT_NE(CH347SPI_Write(0, 0x80, 10, 512, buffer), 0);
    n = 8;
    ASSERT_NE(CH347SPI_Read(0, 0x80, 0, &n, buffer), 0);
    EXPECT_TRUE(libPro_CheckCrc(buffer, 8, calculated, received, false));
    EXPECT_EQ(buffer[0] << 8 | buffer[1], 0x0402);
    sim::ClearFaults(0);
    EXPECT_TRUE(ReadRegister(0, 0x40080040));

    sim::InjectFault(0, sim::Fault::CloseRefused, sim::kAlways);
    EXPECT_EQ(CH347CloseDevice(0), 0);
    EXPECT_TRUE(sim::IsOpen(0));
    sim::InjectFault(0, sim::Fault::CloseRefused, 0);
    EXPECT_NE(CH347CloseDevice(0), 0);
    EXPECT_FALSE(sim::InjectFault(0, sim::Fault::CloseRefused, -2));
}

TEST_F(BridgeTest, ResetRestoresPowerOnState) {
    sim::AddBridge(7);
    sim::RemoveBridge(0);
    sim::SetRegister(7, 0x4000, 0x40080040, 1);
    std::array<std::uint8_t, 256> blank{};
    sim::SetEdid(7, blank);
    sim::InjectFault(7, sim::Fault::OpenRefused, sim::kAlways);
    sim::SetTransferDelay(7, std::chrono::microseconds(5));
    sim::Reset();
    EXPECT_TRUE(sim::HasBridge(0));
    EXPECT_FALSE(sim::HasBridge(7));
    EXPECT_EQ(sim::GetRegister(7, 0x0400, 0x40080040), 130u);
    EXPECT_EQ(sim::GetEdid(7), sim::DefaultEdid());
    sim::AddBridge(7);
    EXPECT_NE(CH347OpenDevice(7), CH347_INVALID_HANDLE);
    EXPECT_EQ(sim::Inspect(7).openCalls, 1);
}

TEST_F(BridgeTest, BadArgumentsFailWithoutBusTraffic) {
    ASSERT_NE(CH347OpenDevice(0), CH347_INVALID_HANDLE);
    EXPECT_EQ(CH347SPI_Write(0, 0x80, 4, 512, nullptr), 0);
    std::uint8_t buffer[4];
    EXPECT_EQ(CH347SPI_Read(0, 0x80, 0, nullptr, buffer), 0);
    std::uint32_t n = 4;
    EXPECT_EQ(CH347SPI_Read(0, 0x80, 0, &n, nullptr), 0);
    EXPECT_EQ(CH347SPI_Init(0, nullptr), 0);
    EXPECT_EQ(CH347GetDeviceInfor(0, nullptr), 0);
    EXPECT_NE(CH347GetVersion(0, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(sim::Inspect(0).chipSelects.empty());
}

// A backend that records the calls; stands for a real-USB backend.
class FakeBackend : public ch347::Backend {
public:
    std::vector<std::string> calls;
    bool throwOnWrite = false;
    CH347_HANDLE OpenDevice(unsigned long index) override {
        calls.push_back("open " + std::to_string(index));
        return 77;
    }
    int CloseDevice(unsigned long) override { return 1; }
    int GetDeviceInfor(unsigned long, mDeviceInforS& info) override {
        info.ChipMode = 0;
        return 1;
    }
    int GetVersion(unsigned long, std::uint8_t&, std::uint8_t&, std::uint8_t&, std::uint8_t&) override { return 1; }
    int SetTimeout(unsigned long, std::uint32_t, std::uint32_t) override { return 1; }
    int SpiSetFrequency(unsigned long, std::uint32_t) override { return 1; }
    int SpiSetDataBits(unsigned long, std::uint8_t) override { return 1; }
    int SpiInit(unsigned long, const mSpiCfgS&) override { return 1; }
    int SpiGetCfg(unsigned long, mSpiCfgS&) override { return 1; }
    int SpiWrite(unsigned long, std::uint32_t, std::uint32_t length, std::uint32_t, std::uint8_t*) override {
        if (throwOnWrite) throw std::runtime_error("usb gone");
        calls.push_back("write " + std::to_string(length));
        return 1;
    }
    int SpiRead(unsigned long, std::uint32_t, std::uint32_t, std::uint32_t& length, std::uint8_t*) override {
        length = 0;
        return 1;
    }
    CH347_HANDLE ReopenDevice(unsigned long index) override { return OpenDevice(index); }
    std::vector<ch347::BridgeProblem> Problems() override { return {}; }
    std::string BridgeIdentity(unsigned long) override { return {}; }
    bool TakeFailureNotice(unsigned long) override { return false; }
};

TEST_F(BridgeTest, AnotherBackendServesTheSameCalls) {
    auto fake = std::make_shared<FakeBackend>();
    std::shared_ptr<ch347::Backend> previous = ch347::SetBackend(fake);
    EXPECT_EQ(previous, ch347::SimulatedBackend());
    EXPECT_EQ(CH347OpenDevice(9), 77);
    std::uint8_t bytes[2] = {0, 0};
    EXPECT_EQ(CH347SPI_Write(9, 0x80, 2, 512, bytes), 1);
    fake->throwOnWrite = true;
    EXPECT_EQ(CH347SPI_Write(9, 0x80, 2, 512, bytes), 0);  // nothing thrown leaves the library
    EXPECT_EQ(fake->calls, (std::vector<std::string>{"open 9", "write 2"}));
    EXPECT_EQ(sim::Inspect(9).openCalls, 0);
    EXPECT_EQ(ch347::SetBackend(nullptr), fake);
    EXPECT_EQ(ch347::GetBackend(), ch347::SimulatedBackend());
    EXPECT_EQ(CH347OpenDevice(9), CH347_INVALID_HANDLE);
}

TEST_F(BridgeTest, SeededFaultsAroundAnyBackend) {
    ch347::FaultPlan plan;
    EXPECT_TRUE(ch347::ParseFaultPlan("seed=42,rate=0.01,kinds=flip+short", plan));
    EXPECT_EQ(plan.seed, 42u);
    EXPECT_DOUBLE_EQ(plan.rate, 0.01);
    EXPECT_TRUE(plan.flip && plan.shortRead && !plan.refuseWrite && !plan.refuseRead);
    std::string error;
    for (const char* bad :
         {"", "seed=42", "rate=1.5", "rate=x", "rate=0.1,kinds=melt", "rate=0.1,speed=2", "seed=-1,rate=0.1", "rate"}) {
        EXPECT_FALSE(ch347::ParseFaultPlan(bad, plan, &error)) << bad;
        EXPECT_FALSE(error.empty() || error.find('\n') != std::string::npos) << bad;
    }

    // Reproducible from the seed: the same transfers meet the same faults.
    ASSERT_NE(CH347OpenDevice(0), CH347_INVALID_HANDLE);
    auto run = [](const std::string& text) {
        std::string outcomes;
        EXPECT_TRUE(ch347::InstallFaults(text));
        for (int i = 0; i < 200; ++i) outcomes += ReadRegister(0, 0x40080040) ? '.' : 'x';
        ch347::SetBackend(nullptr);
        return outcomes;
    };
    const std::string a = run("seed=7,rate=0.2");
    EXPECT_EQ(run("seed=7,rate=0.2"), a);
    EXPECT_NE(run("seed=8,rate=0.2"), a);
    EXPECT_NE(a.find('x'), std::string::npos);
    EXPECT_EQ(run("seed=7,rate=0"), std::string(200, '.'));

    // Each kind alone, always.
    std::uint8_t request[16];
    libPro_GetRegisterValuePack(0x40080040, request, false, 0x0400);
    std::uint8_t good[8];
    std::uint32_t n = 8;
    ASSERT_NE(CH347SPI_Write(0, 0x80, 10, 512, request), 0);
    ASSERT_NE(CH347SPI_Read(0, 0x80, 0, &n, good), 0);
    auto faulted = [&](const char* kinds, std::uint32_t& length, std::uint8_t(&reply)[8]) {
        ch347::InstallFaults(std::string("rate=1,kinds=") + kinds);
        std::memset(reply, 0xA5, sizeof reply);
        length = 8;
        const int wrote = CH347SPI_Write(0, 0x80, 10, 512, request);
        const int read = CH347SPI_Read(0, 0x80, 0, &length, reply);
        ch347::SetBackend(nullptr);
        return std::make_pair(wrote, read);
    };
    std::uint8_t reply[8];
    std::uint32_t length = 0;
    EXPECT_EQ(faulted("flip", length, reply), std::make_pair(1, 1));
    int flipped = 0;
    for (int i = 0; i < 8; ++i) flipped += __builtin_popcount(reply[i] ^ good[i]);
    EXPECT_EQ(flipped, 1);
    EXPECT_EQ(faulted("short", length, reply), std::make_pair(1, 1));
    ASSERT_LT(length, 8u);
    EXPECT_EQ(Bytes(reply, reply + length), Bytes(good, good + length));
    EXPECT_EQ(Bytes(reply + length, reply + 8), Bytes(8 - length, 0xA5));
    EXPECT_EQ(faulted("read", length, reply), std::make_pair(1, 0));
    EXPECT_EQ(reply[0], 0xA5);
    const int requests = sim::Inspect(0).requests;
    EXPECT_EQ(faulted("write", length, reply).first, 0);
    EXPECT_EQ(sim::Inspect(0).requests, requests);  // nothing reached the chip

    // Wraps whatever backend is installed, not only the simulator.
    auto fake = std::make_shared<FakeBackend>();
    ch347::SetBackend(fake);
    ASSERT_TRUE(ch347::InstallFaults("rate=0"));
    auto wrapper = std::dynamic_pointer_cast<ch347::FaultBackend>(ch347::GetBackend());
    ASSERT_NE(wrapper, nullptr);
    EXPECT_EQ(wrapper->Inner(), fake);
    EXPECT_EQ(CH347OpenDevice(3), 77);
    EXPECT_FALSE(ch347::InstallFaults("rate=2", &error));
    EXPECT_EQ(ch347::GetBackend(), wrapper);  // a bad plan changes nothing
    ch347::SetBackend(nullptr);
}

// The read-back thread, the GUI thread and tests steer one simulator at once.
TEST_F(BridgeTest, ConcurrentTransfersAndControl) {
    constexpr int kBridges = 3, kRounds = 300;
    for (unsigned long i = 0; i < kBridges; ++i) {
        sim::AddBridge(i);
        ASSERT_NE(CH347OpenDevice(i), CH347_INVALID_HANDLE);
        sim::SetRegister(i, 0x0400, 0x40080050, static_cast<unsigned>(100 + i));
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (unsigned long i = 0; i < kBridges; ++i)
        threads.emplace_back([i, &failures] {
            for (int r = 0; r < kRounds; ++r) {
                std::uint32_t value = 0;
                if (!ReadRegister(i, 0x40080050, &value) || value != 100 + i) ++failures;
            }
        });
    threads.emplace_back([] {
        for (int r = 0; r < kRounds; ++r) {
            sim::SetRegister(0, 0x2000, 0x10, static_cast<unsigned>(r));
            (void)sim::Inspect(1);
            (void)sim::GetEdid(2);
            sim::InjectFault(2, sim::Fault::OpenRefused, 0);
        }
    });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
    for (unsigned long i = 0; i < kBridges; ++i) {
        EXPECT_EQ(sim::Inspect(i).requests, kRounds);
        EXPECT_EQ(sim::Inspect(i).lostReplies, 0);
    }
}

// Two unsynchronised users of one bridge: with a transfer delay their
// transactions interleave, and the simulator shows it.
TEST_F(BridgeTest, InterleavedTransactionsAreVisible) {
    ASSERT_NE(CH347OpenDevice(0), CH347_INVALID_HANDLE);
    sim::SetTransferDelay(0, std::chrono::microseconds(200));
    std::uint8_t a[16], b[16];
    libPro_GetRegisterValuePack(0x40080040, a, false, 0x0400);
    libPro_GetRegisterValuePack(0x40080050, b, false, 0x0400);
    std::thread other([&] { CH347SPI_Write(0, 0x80, 10, 512, b); });
    CH347SPI_Write(0, 0x80, 10, 512, a);
    other.join();
    std::uint8_t reply[8];
    std::uint32_t n = 8;
    ASSERT_NE(CH347SPI_Read(0, 0x80, 0, &n, reply), 0);
    EXPECT_EQ(sim::Inspect(0).lostReplies, 1);
}

}  // namespace
