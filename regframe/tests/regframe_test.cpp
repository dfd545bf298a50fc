#include "regframe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Packet(const unsigned char* buf, int len) { return Bytes(buf, buf + (len > 0 ? len : 0)); }

// Plain bitwise CRC-16/XMODEM over a byte stream, written independently of the
// library's nibble table.
uint16_t XmodemBitwise(const Bytes& bytes) {
    uint16_t crc = 0;
    for (unsigned char b : bytes) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

TEST(RegframeCrc, MatchesXmodemOverSwappedPairs) {
    unsigned char check[] = {'2', '1', '4', '3', '6', '5', '8', '7'};
    // "12345678" pair-swapped enters the CRC as "12345678".
    EXPECT_EQ(libPro_CalcCrc(check, 8), XmodemBitwise(Bytes{'1', '2', '3', '4', '5', '6', '7', '8'}));
    EXPECT_EQ(libPro_CalcCrc(check, 0), 0x0000);

    std::mt19937 rng(12345);
    for (int round = 0; round < 2000; ++round) {
        const size_t len = 2 * (rng() % 258);
        Bytes data(len);
        for (auto& b : data) b = static_cast<unsigned char>(rng());
        Bytes swapped(len);
        for (size_t i = 0; i < len; i += 2) {
            swapped[i] = data[i + 1];
            swapped[i + 1] = data[i];
        }
        ASSERT_EQ(libPro_CalcCrc(data.data(), static_cast<unsigned short>(len)), XmodemBitwise(swapped))
            << "len " << len;
    }
}

TEST(RegframeCrc, XmodemCheckValue) {
    // "123456789" has an odd length; check the standard value on the even
    // prefix pair-swapped plus a library-independent whole-string check.
    EXPECT_EQ(XmodemBitwise(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x31C3);
}

struct WorkedExample {
    bool little;
    Bytes read;
    Bytes write;
    Bytes block;
};

TEST(RegframePackets, WorkedExamplesInBothByteOrders) {
    const WorkedExample cases[] = {
        {false,
         {0x00, 0x03, 0x04, 0x00, 0x40, 0x08, 0x00, 0x60, 0xD2, 0x37},
         {0x00, 0x05, 0x40, 0x00, 0x40, 0x08, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x10, 0xB5, 0x52},
         {0x00, 0x07, 0x40, 0x00, 0x40, 0x08, 0x80, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0xF1, 0x42}},
        {true, {0x03, 0x00, 0x00, 0x04, 0x60, 0x00, 0x08, 0x40, 0x8C, 0xC9}, {}, {}},
    };
    for (const auto& c : cases) {
        unsigned char buf[600];
        int n = libPro_GetRegisterValuePack(0x40080060, buf, c.little, 0x0400);
        EXPECT_EQ(n, 10);
        EXPECT_EQ(Packet(buf, n), c.read) << "little " << c.little;
        if (!c.write.empty()) {
            n = libPro_SetRegisterValuePack(0x4008003C, 0x10, buf, c.little, 0x4000);
            EXPECT_EQ(Packet(buf, n), c.write);
            unsigned int values[] = {1, 2};
            n = libPro_SetRegisterValuePack(0x40088000, values, 2, buf, c.little);
            EXPECT_EQ(Packet(buf, n), c.block);
        }
    }
}

TEST(RegframePackets, LittleEndianIsTheBigEndianPacketWithWordsAndHalvesSwapped) {
    unsigned char be[20], le[20];
    ASSERT_EQ(libPro_SetRegisterValuePack(0x12345678, 0x9ABCDEF0, be, false, 0x4000), 14);
    ASSERT_EQ(libPro_SetRegisterValuePack(0x12345678, 0x9ABCDEF0, le, true, 0x4000), 14);
    EXPECT_EQ(Packet(le, 12), (Bytes{0x05, 0x00, 0x00, 0x40, 0x78, 0x56, 0x34, 0x12, 0xF0, 0xDE, 0xBC, 0x9A}));
    // Both orders feed the same words to the CRC only when the words match; check
    // each CRC against its own bytes instead.
    unsigned short calc = 0, recv = 0;
    EXPECT_TRUE(libPro_CheckCrc(be, 14, calc, recv, false));
    EXPECT_TRUE(libPro_CheckCrc(le, 14, calc, recv, true));
}

TEST(RegframePackets, BlockWriteLimits) {
    std::vector<unsigned int> values(130);
    for (unsigned int i = 0; i < values.size(); ++i) values[i] = 0x01010101u * i;
    for (bool little : {false, true}) {
        unsigned char single[16], block[16];
        ASSERT_EQ(libPro_SetRegisterValuePack(0x40088000, values[7], single, little, 0x4000), 14);
        ASSERT_EQ(libPro_SetRegisterValuePack(0x40088000, &values[7], 1, block, little), 14);
        EXPECT_EQ(Packet(block, 14), Packet(single, 14));

        std::vector<unsigned char> big(kRegframeMaxPacketBytes + 16, 0xEE);
        ASSERT_EQ(libPro_SetRegisterValuePack(0x40088000, values.data(), 126, big.data(), little), 514);
        const unsigned wordCount = little ? (big[0] | big[1] << 8) : (big[0] << 8 | big[1]);
        EXPECT_EQ(wordCount, 255u);
        EXPECT_EQ(big[514], 0xEE) << "nothing past the packet";
        unsigned short calc, recv;
        EXPECT_TRUE(libPro_CheckCrc(big.data(), 514, calc, recv, little));

        // 127 values would not fit the 256-word working area: nothing is written.
        std::vector<unsigned char> untouched(700, 0xAB);
        EXPECT_EQ(libPro_SetRegisterValuePack(0x40088000, values.data(), 127, untouched.data(), little), 0);
        EXPECT_EQ(untouched, std::vector<unsigned char>(700, 0xAB));
    }
}

unsigned int ValueOf(const unsigned char* p, bool little) {
    // Bytes 8..11 of a write request.
    return little ? (p[8] | p[9] << 8 | p[10] << 16 | static_cast<unsigned>(p[11]) << 24)
                  : (static_cast<unsigned>(p[8]) << 24 | p[9] << 16 | p[10] << 8 | p[11]);
}

unsigned int AddressOf(const unsigned char* p, bool little) {
    return little ? (p[4] | p[5] << 8 | p[6] << 16 | static_cast<unsigned>(p[7]) << 24)
                  : (static_cast<unsigned>(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7]);
}

TEST(RegframeVividi, BuildersAndTheirEdges) {
    for (bool little : {false, true}) {
        unsigned char buf[16];
        EXPECT_EQ(libPro_GetVividiOnOffStatePack(buf, little), 10);
        EXPECT_EQ(AddressOf(buf, little), 0x4008003Cu);
        EXPECT_EQ(libPro_GetVividiRangePack(buf, little), 10);
        EXPECT_EQ(AddressOf(buf, little), 0x4008000Cu);
        EXPECT_EQ(libPro_GetVividiValuePack(buf, little), 10);
        EXPECT_EQ(AddressOf(buf, little), 0x40080040u);
        EXPECT_EQ(buf[little ? 2 : 3], 0x00);
        EXPECT_EQ(buf[little ? 3 : 2], 0x04);

        EXPECT_EQ(libPro_VividiOnOffPack(0xFFFFFFFF, 0, buf, little), 14);
        EXPECT_EQ(ValueOf(buf, little), 0xFFFFFFEFu);
        EXPECT_EQ(libPro_VividiOnOffPack(0, 7, buf, little), 14);
        EXPECT_EQ(ValueOf(buf, little), 0x10u);

        EXPECT_EQ(libPro_SetVividiRangePack(0xFFFFFFFF, 1, buf, little), 14);
        EXPECT_EQ(ValueOf(buf, little), 0xFFAF0000u);
        EXPECT_EQ(libPro_SetVividiRangePack(0, 0, buf, little), 14);
        EXPECT_EQ(ValueOf(buf, little), 0x00B00000u);
        EXPECT_EQ(libPro_SetVividiRangePack(0, 2, buf, little), 14);
        EXPECT_EQ(ValueOf(buf, little), 0x00900000u);
        unsigned char untouched[16];
        std::fill(std::begin(untouched), std::end(untouched), 0x5A);
        EXPECT_EQ(libPro_SetVividiRangePack(0, 3, untouched, little), 0);
        EXPECT_TRUE(std::all_of(std::begin(untouched), std::end(untouched), [](unsigned char c) { return c == 0x5A; }));

        EXPECT_EQ(libPro_SetVividiIntensityPack(0x1234, buf, little), 14);
        EXPECT_EQ(ValueOf(buf, little), 0x34u);
        EXPECT_EQ(libPro_SetVividiIntensityPack(-1, buf, little), 14);
        EXPECT_EQ(ValueOf(buf, little), 0xFFu);
        EXPECT_EQ(AddressOf(buf, little), 0x40080040u);
    }
}

TEST(RegframeCheck, RepliesSwappedCrcAndShortBuffers) {
    // Read reply from the chip for 0x00123400: CRC always high byte first.
    unsigned char reply[] = {0x04, 0x01, 0x00, 0x12, 0x34, 0x00, 0x4C, 0xBE};
    unsigned short calc = 1, recv = 1;
    EXPECT_TRUE(libPro_CheckCrc(reply, 8, calc, recv, false));
    EXPECT_EQ(calc, 0x4CBE);
    EXPECT_EQ(recv, 0x4CBE);

    unsigned char swapped[] = {0x04, 0x01, 0x00, 0x12, 0x34, 0x00, 0xBE, 0x4C};
    EXPECT_FALSE(libPro_CheckCrc(swapped, 8, calc, recv, false));
    EXPECT_EQ(calc, 0x4CBE);
    EXPECT_EQ(recv, 0xBE4C);
    EXPECT_TRUE(libPro_CheckCrc(swapped, 8, calc, recv, true)) << "same bytes read low byte first";

    unsigned char writeReply[] = {0x40, 0x01, 0x7B, 0xF5};
    EXPECT_TRUE(libPro_CheckCrc(writeReply, 4, calc, recv, false));

    // Two bytes: a zero-length CRC (0x0000) against the two bytes.
    unsigned char zeros[] = {0x00, 0x00};
    EXPECT_TRUE(libPro_CheckCrc(zeros, 2, calc, recv, false));

    for (unsigned short len : {0, 1}) {
        calc = recv = 0xFFFF;
        unsigned char one[] = {0x00};
        EXPECT_FALSE(libPro_CheckCrc(one, len, calc, recv, false));
        EXPECT_EQ(calc, 0);
        EXPECT_EQ(recv, 0);
    }
    calc = recv = 0xFFFF;
    EXPECT_FALSE(libPro_CheckCrc(nullptr, 8, calc, recv, true));
    EXPECT_EQ(calc, 0);
    EXPECT_EQ(recv, 0);
}

}  // namespace
