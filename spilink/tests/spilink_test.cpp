// The SPI link library against the simulated bridge: enumeration, open and
// configuration, transfers, close, and the trace lines on the way.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Ch347Sim.h"
#include "regframe.h"
#include "spilink.h"
#include "trace.h"

namespace {

class SpilinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        trace::SetSink([this](const char*, int, std::string_view text) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.emplace_back(text);
        });
    }
    void TearDown() override {
        trace::SetSink({});
        libComm_CloseDevice(0);
        sim::Reset();
    }

    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    bool Traced(const std::string& line) {
        std::vector<std::string> lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    void ClearLines() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

std::u16string U(const std::string& s) { return std::u16string(s.begin(), s.end()); }

TEST_F(SpilinkTest, EnumerationFindsTheSimulatedBridgeAndAppends) {
    std::list<std::u16string> names = {u"keep me"};
    EXPECT_EQ(libComm_EnumDevice(names), 1u);
    EXPECT_EQ(names, (std::list<std::u16string>{u"keep me", u"0# " + U(sim::kDefaultDescription)}));
    for (unsigned long i = 0; i < kCh347MaxDevices; ++i) {
        sim::BridgeRecord r = sim::Inspect(i);
        EXPECT_EQ(r.openCalls, 1) << i;
        EXPECT_EQ(r.closeCalls, 1) << i;
    }
    EXPECT_FALSE(sim::IsOpen(0));
    EXPECT_TRUE(Traced(std::string("M:") + sim::kDefaultManufacturer + ", P:" + sim::kDefaultProduct + " \r\n"));
    EXPECT_TRUE(Traced("DV:31  DLLV:22 BCD:41 CT:47. \r\n"));

    // A second run appends again; a bridge at 5 is listed by its own index.
    sim::AddBridge(5, 0, "fifth");
    EXPECT_EQ(libComm_EnumDevice(names), 2u);
    EXPECT_EQ(names.size(), 4u);
    EXPECT_EQ(names.back(), u"5# fifth");
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
}

TEST_F(SpilinkTest, EnumerationEdgeCases) {
    // No bridge: all 16 indexes are tried, nothing is appended.
    sim::RemoveAllBridges();
    std::list<std::u16string> names = {u"x"};
    EXPECT_EQ(libComm_EnumDevice(names), 0u);
    EXPECT_EQ(names, std::list<std::u16string>{u"x"});
    for (unsigned long i = 0; i < kCh347MaxDevices; ++i) EXPECT_EQ(sim::Inspect(i).openCalls, 1) << i;

    // Chip mode 3: opened, looked at, not listed, closed.
    sim::Reset();
    sim::AddBridge(2, 3, "jtag");
    names.clear();
    EXPECT_EQ(libComm_EnumDevice(names), 1u);
    EXPECT_EQ(names, std::list<std::u16string>{u"0# " + U(sim::kDefaultDescription)});
    sim::BridgeRecord r = sim::Inspect(2);
    EXPECT_EQ(r.openCalls, 1);
    EXPECT_EQ(r.infoCalls, 1);
    EXPECT_EQ(r.versionCalls, 0);
    EXPECT_EQ(r.closeCalls, 1);
    EXPECT_FALSE(r.open);

    // A description that fills its field without a NUL ends at the field.
    sim::BridgeInfo info;
    info.description = std::string(70, 'd');
    info.unterminatedDescription = true;
    sim::AddBridge(2, info);
    names.clear();
    EXPECT_EQ(libComm_EnumDevice(names), 2u);
    EXPECT_EQ(names.back(), u"2# " + std::u16string(64, u'd'));

    // A bridge that refuses to open is skipped but still closed.
    sim::InjectFault(0, sim::Fault::OpenRefused);
    names.clear();
    EXPECT_EQ(libComm_EnumDevice(names), 1u);
    EXPECT_EQ(sim::Inspect(0).closeCalls, 3);  // one per enumeration since the reset
}

TEST_F(SpilinkTest, OpenConfiguresAndCloseClears) {
    _UI_SPI_CONFIG config;
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
    EXPECT_EQ(libComm_OpenDevice(0, config), 1);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 1);
    sim::BridgeRecord r = sim::Inspect(0);
    EXPECT_EQ(r.writeTimeout, 500u);
    EXPECT_EQ(r.readTimeout, 500u);
    EXPECT_TRUE(r.configured);
    EXPECT_TRUE(Traced(">>Open the device...Success \r\n"));
    EXPECT_TRUE(Traced("iByteOrder:01.\r\n"));
    EXPECT_TRUE(Traced("CH347SPI_Init succ \r\n"));

    // Enumerating closes the bridge underneath, but the flag stays.
    std::list<std::u16string> names;
    libComm_EnumDevice(names);
    EXPECT_FALSE(sim::IsOpen(0));
    EXPECT_EQ(libComm_GetDeviceOpenState(), 1);

    // A failed open clears the flag and configures nothing.
    EXPECT_EQ(libComm_OpenDevice(0, config), 1);
    sim::ClearRecord(3);
    EXPECT_EQ(libComm_OpenDevice(3, config), 0);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
    EXPECT_EQ(sim::Inspect(3).initCalls, 0);

    // A failed close leaves the flag at 1.
    EXPECT_EQ(libComm_OpenDevice(0, config), 1);
    sim::InjectFault(0, sim::Fault::CloseRefused);
    EXPECT_EQ(libComm_CloseDevice(0), 0);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 1);
    EXPECT_EQ(libComm_CloseDevice(0), 1);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);

    // A configuration the bridge refuses still leaves the bridge open.
    config.SpiMode = 7;
    ClearLines();
    EXPECT_EQ(libComm_OpenDevice(0, config), 1);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 1);
    EXPECT_TRUE(Traced("CH347SPI_Init failure \r\n"));
    EXPECT_EQ(libComm_InitSpi(0, config), 0);
    config.SpiMode = 0;
    EXPECT_NE(libComm_InitSpi(0, config), 0);
}

TEST_F(SpilinkTest, ConfigurationTranslation) {
    _UI_SPI_CONFIG config;
    config.SpiMode = 3;
    config.SpiClock = 0x102;  // low byte only
    config.ByteOrder = 0;
    config.CS1Polarity = 1;
    config.CS2Polarity = 0;
    config.InOutInterval = 0x12345;
    config.CSEnable = 1;
    config.CSChipIndex = 1;
    config.ActiveRwDelay = 0x10203;
    config.DeactiveRwDelay = 70000;
    config.CSActive = 1;
    config.DataBits = 1;
    ASSERT_EQ(libComm_OpenDevice(0, config), 1);
    sim::BridgeRecord r = sim::Inspect(0);
    const std::array<std::uint8_t, 20> expected = {3, 2, 0, 0x45, 0x23, 0xFF, 0x81, 0,    0, 0,
                                                   1, 0, 1, 0,    0x03, 0x02, 0x70, 0x11, 0, 0};
    EXPECT_EQ(r.config, expected);
    EXPECT_EQ(std::uint32_t{sim::GetSpiConfig(0).iDelayDeactive}, 4464u);  // 70000's low 16 bits
    EXPECT_EQ(std::uint32_t{sim::GetSpiConfig(0).iChipSelect}, 0x81u);
    EXPECT_EQ(r.dataBits, 1);
    EXPECT_EQ(r.frequencyHz, 0u);  // no free frequency
    EXPECT_TRUE(Traced("iByteOrder:00.\r\n"));

    // Every transfer passes 0x80 for the chip-select flag, whatever chip select is configured.
    std::uint8_t request[16];
    libPro_GetRegisterValuePack(0x40080060, request, false, 0x0400);
    sim::SetRegister(0, 0x0400, 0x40080060, 0x00123400);
    EXPECT_NE(libComm_WriteSpiData(0, 1, 10, request), 0);
    std::uint8_t reply[8] = {};
    EXPECT_NE(libComm_ReadSpiData(0, 5, 8, reply), 0);
    const std::uint8_t worked[8] = {0x04, 0x01, 0x00, 0x12, 0x34, 0x00, 0x4C, 0xBE};
    EXPECT_EQ(std::memcmp(reply, worked, 8), 0);
    EXPECT_NE(libComm_WriteSpiData(0, 0, 10, request), 0);
    EXPECT_EQ(sim::GetChipSelects(0), (std::vector<std::uint8_t>{0x80, 0x80, 0x00}));
    EXPECT_EQ(sim::Inspect(0).writeSteps, (std::vector<std::uint32_t>{512, 512}));
}

TEST_F(SpilinkTest, FrequencyRule) {
    _UI_SPI_CONFIG config;
    ASSERT_EQ(libComm_OpenDevice(0, config), 1);
    config.FreqEnable = 1;
    struct Case {
        std::u16string text;
        int unit;
        std::uint32_t hz;
    };
    const Case cases[] = {
        {u"7.5", 0, 7500000},       {u"7.5", 1, 7500},    {u"abc", 0, 0},
        {u" 12.5MHz", 0, 12500000}, {u"", 0, 0},          {u"-5", 0, 0},  // no negative clock
        {u"1e12", 0, 0xFFFFFFFFu},  {u"60", 0, 60000000}, {u"7,5", 0, 7000000},
        {u"\u00BD", 0, 0},
    };
    for (const Case& c : cases) {
        config.Frequency = c.text;
        config.FreqUnit = c.unit;
        libComm_InitSpi(0, config);
        EXPECT_EQ(sim::GetFrequency(0), c.hz) << std::string(c.text.begin(), c.text.end()) << " unit " << c.unit;
    }
    ClearLines();
    config.Frequency = u"abc";
    libComm_InitSpi(0, config);
    EXPECT_TRUE(Traced("SpiFrequency: 0.00 \r\n"));
    config.Frequency = u"7.5";
    libComm_InitSpi(0, config);
    EXPECT_TRUE(Traced("SpiFrequency: 7.50 \r\n"));

    // Switched off: 0 Hz, and no frequency line.
    config.FreqEnable = 0;
    ClearLines();
    libComm_InitSpi(0, config);
    EXPECT_EQ(sim::GetFrequency(0), 0u);
    for (const std::string& line : Lines()) EXPECT_EQ(line.find("SpiFrequency"), std::string::npos);
}

TEST_F(SpilinkTest, TransfersCheckArgumentsAndReportRefusals) {
    _UI_SPI_CONFIG config;
    ASSERT_EQ(libComm_OpenDevice(0, config), 1);
    std::uint8_t buffer[16] = {};
    EXPECT_EQ(libComm_WriteSpiData(0, 1, -1, buffer), 0);
    EXPECT_EQ(libComm_WriteSpiData(-1, 1, 4, buffer), 0);
    EXPECT_EQ(libComm_WriteSpiData(0, 1, 4, nullptr), 0);
    EXPECT_EQ(libComm_ReadSpiData(0, 1, 4, nullptr), 0);
    if (sizeof(unsigned long) > 4) {
        EXPECT_EQ(libComm_ReadSpiData(0, 1, 0x100000000ul, buffer), 0);
    }
    EXPECT_EQ(sim::Inspect(0).writeCalls + sim::Inspect(0).readCalls, 0);

    sim::InjectFault(0, sim::Fault::WriteRefused);
    EXPECT_EQ(libComm_WriteSpiData(0, 1, 10, buffer), 0);
    sim::InjectFault(0, sim::Fault::ReadRefused);
    EXPECT_EQ(libComm_ReadSpiData(0, 1, 8, buffer), 0);
    // Transfers do not look at the open flag; a closed bridge refuses them itself.
    ASSERT_EQ(libComm_CloseDevice(0), 1);
    libPro_GetRegisterValuePack(0x40080040, buffer, false, 0x0400);
    EXPECT_EQ(libComm_WriteSpiData(0, 1, 10, buffer), 0);
}

// Transfers run on the read-back and EDID threads while the GUI thread
// re-applies the settings and asks for the open flag.
TEST_F(SpilinkTest, TransfersFromSeveralThreads) {
    _UI_SPI_CONFIG config;
    for (unsigned long i = 0; i < 3; ++i) {
        sim::AddBridge(i);
        ASSERT_EQ(libComm_OpenDevice(i, config), 1);
        sim::SetRegister(i, 0x0400, 0x40080050, 0x100 + i);
    }
    std::vector<int> bad(3, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([i, &bad] {
            for (int round = 0; round < 200; ++round) {
                std::uint8_t buffer[16];
                libPro_GetRegisterValuePack(0x40080050, buffer, false, 0x0400);
                if (!libComm_WriteSpiData(i, 1, 10, buffer) || !libComm_ReadSpiData(i, 1, 8, buffer) ||
                    buffer[4] != 0x01 || buffer[5] != i)
                    ++bad[static_cast<std::size_t>(i)];
            }
        });
    for (int round = 0; round < 200; ++round) {
        EXPECT_EQ(libComm_GetDeviceOpenState(), 1);
        libComm_InitSpi(static_cast<unsigned long>(round % 3), config);
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(bad, (std::vector<int>{0, 0, 0}));
    for (unsigned long i = 1; i < 3; ++i) EXPECT_EQ(libComm_CloseDevice(i), 1);
}

}  // namespace
