// Register transactions against the simulated bridge and chip.
#include <cstdio>

#include "Ch347Backend.h"
#include "Ch347Sim.h"
#include "SPIUtil.h"
#include "SpiSettingFile.h"
#include "StartOptions.h"
#include "regframe.h"
#include "support/core_fixture.h"

using ::testing::ElementsAre;

namespace {

using Transaction = SimDeviceTest;

constexpr unsigned int kReg = 0x40080060;

TEST_F(Transaction, ReadLogsRequestReplyAndValue) {
    ASSERT_TRUE(sim::SetRegister(kDevice, 0x0400, kReg, 0x00123400));
    unsigned int value = 0;
    ASSERT_TRUE(ReadRegister(kDevice, kReg, value, 0x0400));
    EXPECT_EQ(value, 0x00123400u);
    EXPECT_THAT(log_->Utf8Lines(),
                ElementsAre("TX[Len=10]: 00 03 04 00 40 08 00 60 D2 37 ", "RX[Len=8]: 04 01 00 12 34 00 4C BE ",
                            "REG: 0x40080060, Value: 0x00123400"));
    // Both SPI transfers drive the chip select (CSEnable defaults to 1).
    EXPECT_THAT(sim::GetChipSelects(kDevice), ElementsAre(0x80, 0x80));
}

TEST_F(Transaction, UpdateIsSilentWriteConfirms) {
    ASSERT_TRUE(UpdateRegister(kDevice, 0x4008003C, 0x10, 0x4000));
    EXPECT_EQ(sim::GetRegister(kDevice, 0x4000, 0x4008003C), 0x10u);
    EXPECT_THAT(log_->Utf8Lines(),
                ElementsAre("TX[Len=14]: 00 05 40 00 40 08 00 3C 00 00 00 10 B5 52 ", "RX[Len=4]: 40 01 7B F5 "));
    log_->Clear();
    ASSERT_TRUE(WriteRegister(kDevice, 0x4008003C, 0x11, 0x4000));
    auto lines = log_->Utf8Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Write Register: 0x4008003C, Value: 0x00000011 OK!");
    // Another command pair reaches its own register space.
    ASSERT_TRUE(WriteRegister(kDevice, 0x10, 0xABCD, 0x2000));
    unsigned int v = 0;
    ASSERT_TRUE(ReadRegister(kDevice, 0x10, v, 0x0200));
    EXPECT_EQ(v, 0xABCDu);
}

TEST_F(Transaction, LittleEndianPacketsKeepTheReplyCrcHighByteFirst) {
    ASSERT_TRUE(SaveByteOrder(0));
    ASSERT_TRUE(sim::SetRegister(kDevice, 0x0400, kReg, 0x00123400));
    unsigned int value = 0;
    ASSERT_TRUE(ReadRegister(kDevice, kReg, value, 0x0400));
    EXPECT_EQ(value, 0x00123400u);
    auto lines = log_->Utf8Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "TX[Len=10]: 03 00 00 04 60 00 08 40 8C C9 ");
    // Status and value low byte first; the CRC of those six bytes high byte first.
    unsigned char reply[6] = {0x01, 0x04, 0x00, 0x34, 0x12, 0x00};
    unsigned short crc = libPro_CalcCrc(reply, 6);
    char expected[64];
    snprintf(expected, sizeof expected, "RX[Len=8]: 01 04 00 34 12 00 %02X %02X ", crc >> 8, crc & 0xFF);
    EXPECT_EQ(lines[1], expected);

    ASSERT_TRUE(UpdateRegister(kDevice, kReg, 0xCAFE0102, 0x4000));
    EXPECT_EQ(sim::GetRegister(kDevice, 0x0400, kReg), 0xCAFE0102u);
    const unsigned int block[3] = {1, 0xFFFFFFF8, 3};
    ASSERT_TRUE(UpdateRegisterBlock(kDevice, 0x40088000, block, 3));
    EXPECT_EQ(sim::GetRegister(kDevice, 0x0400, 0x40088004), 0xFFFFFFF8u);
}

TEST_F(Transaction, WrongStatusFailsDespiteGoodCrc) {
    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::WrongReplyStatus, 2));
    unsigned int value = 0x5A5A5A5A;
    EXPECT_FALSE(ReadRegister(kDevice, kReg, value, 0x0400));
    EXPECT_EQ(value, 0x5A5A5A5Au);
    auto lines = log_->Utf8Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].substr(0, 17), "RX[Len=8]: 04 02 ");
    EXPECT_EQ(lines[2], "Read REG: 0x40080060 failed!");

    log_->Clear();
    EXPECT_FALSE(WriteRegister(kDevice, kReg, 0x42, 0x4000));
    lines = log_->Utf8Lines();
    ASSERT_EQ(lines.size(), 3u);  // no "Write Register ... OK!" line
    EXPECT_EQ(lines[2], "Update REG: 0x40080060, Value: 0x00000042 failed!");
}

TEST_F(Transaction, RefusedTransfersStopTheTransaction) {
    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::WriteRefused));
    unsigned int value = 7;
    EXPECT_FALSE(ReadRegister(kDevice, kReg, value, 0x0400));
    EXPECT_THAT(log_->Utf8Lines(), ElementsAre("TX[Len=10]: 00 03 04 00 40 08 00 60 D2 37 ", "Write SPI failed!"));
    EXPECT_EQ(sim::Inspect(kDevice).readCalls, 0);  // nothing is read after a refused write
    EXPECT_EQ(value, 7u);

    log_->Clear();
    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::ReadRefused));
    EXPECT_FALSE(UpdateRegister(kDevice, kReg, 1, 0x4000));
    auto lines = log_->Utf8Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Read SPI failed!");
}

TEST_F(Transaction, CrcMismatchLogsReceivedThenCalculated) {
    ASSERT_TRUE(sim::SetRegister(kDevice, 0x0400, kReg, 0x00123400));
    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::BadReplyCrc));
    unsigned int value = 0;
    EXPECT_FALSE(ReadRegister(kDevice, kReg, value, 0x0400));
    auto lines = log_->Utf8Lines();
    ASSERT_EQ(lines.size(), 3u);
    ASSERT_EQ(lines[1].size(), 35u);
    // The received CRC is what stands at the end of the RX line.
    std::string received = lines[1].substr(29, 2) + lines[1].substr(32, 2);
    EXPECT_NE(received, "4CBE");
    EXPECT_EQ(lines[2], "CRC Check failed, recved: " + received + ", calculated: 4CBE");
}

TEST_F(Transaction, ChipSelectFlagFollowsTheSettingsFile) {
    ASSERT_TRUE(SaveCSEnable(0));
    unsigned int value = 0;
    ASSERT_TRUE(ReadRegister(kDevice, kReg, value, 0x0400));
    ASSERT_TRUE(SaveCSEnable(1));
    ASSERT_TRUE(ReadRegister(kDevice, kReg, value, 0x0400));
    EXPECT_THAT(sim::GetChipSelects(kDevice), ElementsAre(0x00, 0x00, 0x80, 0x80));
}

TEST_F(Transaction, BadArgumentsFailWithoutBusTraffic) {
    unsigned char buffer[kExchangeBufferBytes] = {};
    EXPECT_FALSE(ExchangePacket(kDevice, buffer, 10, 1));
    EXPECT_FALSE(ExchangePacket(kDevice, buffer, 0, 8));
    EXPECT_FALSE(ExchangePacket(kDevice, buffer, 10, kExchangeBufferBytes + 1));
    EXPECT_FALSE(ExchangePacket(kDevice, nullptr, 10, 8));
    std::vector<unsigned int> many(kMaxBlockValues + 1, 1);
    EXPECT_FALSE(UpdateRegisterBlock(kDevice, 0x40088000, many.data(), kMaxBlockValues + 1));
    EXPECT_FALSE(UpdateRegisterBlock(kDevice, 0x40088000, nullptr, 3));
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 0);
    EXPECT_THAT(log_->Utf8Lines(), ElementsAre("Update REG: 40088000 failed!", "Update REG: 40088000 failed!"));
    // The largest block still fits the buffer.
    EXPECT_TRUE(UpdateRegisterBlock(kDevice, 0x40088000, many.data(), kMaxBlockValues));
}

TEST_F(Transaction, BlockWriteStatusIsChecked) {
    const unsigned int values[2] = {1, 2};
    ASSERT_TRUE(UpdateRegisterBlock(kDevice, 0x40088000, values, 2));
    EXPECT_EQ(log_->Utf8Lines().front(), "TX[Len=18]: 00 07 40 00 40 08 80 00 00 00 00 01 00 00 00 02 F1 42 ");
    EXPECT_EQ(sim::GetRegister(kDevice, 0x0400, 0x40088004), 2u);
    log_->Clear();
    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::WrongReplyStatus));
    EXPECT_FALSE(UpdateRegisterBlock(kDevice, 0x40088000, values, 2));
    EXPECT_EQ(log_->Utf8Lines().back(), "Update REG: 40088000 failed!");
}

TEST_F(Transaction, WorksWithoutASinkAndWithNegativeDelay) {
    log_.reset();                     // no sink installed
    ASSERT_TRUE(SaveSPIRWDelay(-1));  // counts as no wait instead of ~4e9 iterations
    unsigned int value = 0;
    EXPECT_TRUE(ReadRegister(kDevice, kReg, value, 0x0400));
    EXPECT_EQ(value, sim::PowerOnValue(kReg));
}

// --faults wraps the bridge the start options chose; bad fault settings are one line.
TEST_F(Transaction, FaultsFromTheStartOptions) {
    StartOptions options;
    options.backend = "sim";
    options.faults = "seed=3,rate=2";
    std::string error;
    EXPECT_FALSE(ApplyStartOptions(options, error));
    EXPECT_NE(error.find("rate"), std::string::npos);
    EXPECT_EQ(error.find('\n'), std::string::npos);
    options.faults = "seed=3,rate=1,kinds=write";
    ASSERT_TRUE(ApplyStartOptions(options, error)) << error;
    log_->Clear();
    EXPECT_FALSE(WriteRegister(kDevice, kReg, 1, 0x4000));
    const auto lines = log_->Utf8Lines();
    ch347::SetBackend(nullptr);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "Write SPI failed!");
    EXPECT_TRUE(WriteRegister(kDevice, kReg, 1, 0x4000));
}

}  // namespace
