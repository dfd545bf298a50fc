// The simulated chip as the panel meets it: requests framed by regframe,
// written and read through the vendor calls of the simulated bridge.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <optional>
#include <vector>

#include "CH347DLL.h"
#include "Ch347Sim.h"
#include "regframe.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// One host talking to bridge `index` in one packet byte order, the way the
// register transaction layer does: write the request, read the reply.
struct Host {
    bool le = false;
    unsigned long index = 0;

    Bytes Exchange(const std::uint8_t* request, std::size_t length, std::uint32_t replyLength) {
        Bytes buffer(request, request + length);
        EXPECT_NE(CH347SPI_Write(index, 0x80, static_cast<std::uint32_t>(length), 512, buffer.data()), 0);
        Bytes reply(replyLength, 0);
        std::uint32_t n = replyLength;
        EXPECT_NE(CH347SPI_Read(index, 0x80, 0, &n, reply.data()), 0);
        return reply;
    }

    std::uint16_t Status(const Bytes& reply) const {
        return le ? static_cast<std::uint16_t>(reply[0] | reply[1] << 8)
                  : static_cast<std::uint16_t>(reply[0] << 8 | reply[1]);
    }

    static bool CrcOk(Bytes reply) {
        unsigned short calculated = 0, received = 0;
        return libPro_CheckCrc(reply.data(), static_cast<unsigned short>(reply.size()), calculated, received, false);
    }

    std::optional<std::uint32_t> Read(std::uint16_t command, std::uint32_t address) {
        std::uint8_t request[16];
        int n = libPro_GetRegisterValuePack(address, request, le, command);
        Bytes reply = Exchange(request, static_cast<std::size_t>(n), 8);
        if (!CrcOk(reply) || Status(reply) != command + 1) return std::nullopt;
        return le ? (std::uint32_t{reply[2]} | std::uint32_t{reply[3]} << 8 | std::uint32_t{reply[4]} << 16 |
                     std::uint32_t{reply[5]} << 24)
                  : (std::uint32_t{reply[2]} << 24 | std::uint32_t{reply[3]} << 16 | std::uint32_t{reply[4]} << 8 |
                     std::uint32_t{reply[5]});
    }

    bool Write(std::uint16_t command, std::uint32_t address, std::uint32_t value) {
        std::uint8_t request[16];
        int n = libPro_SetRegisterValuePack(address, value, request, le, command);
        Bytes reply = Exchange(request, static_cast<std::size_t>(n), 4);
        return CrcOk(reply) && Status(reply) == command + 1;
    }
};

class SimChipTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::Reset();
        ASSERT_NE(CH347OpenDevice(0), CH347_INVALID_HANDLE);
    }
    void TearDown() override { sim::Reset(); }
};

Bytes Raw(std::initializer_list<int> bytes) {
    Bytes out;
    for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
    return out;
}

TEST_F(SimChipTest, AnswersTheWorkedExamplesByteForByteInBothOrders) {
    ASSERT_TRUE(sim::SetRegister(0, 0x0400, 0x40080060, 0x00123400));

    Host be{false};
    Bytes request = Raw({0x00, 0x03, 0x04, 0x00, 0x40, 0x08, 0x00, 0x60, 0xD2, 0x37});
    EXPECT_EQ(be.Exchange(request.data(), request.size(), 8), Raw({0x04, 0x01, 0x00, 0x12, 0x34, 0x00, 0x4C, 0xBE}));

    // Low byte first: status and value follow the request, the CRC stays high byte first.
    Host le{true};
    request = Raw({0x03, 0x00, 0x00, 0x04, 0x60, 0x00, 0x08, 0x40, 0x8C, 0xC9});
    Bytes reply = le.Exchange(request.data(), request.size(), 8);
    Bytes head(reply.begin(), reply.begin() + 6);
    EXPECT_EQ(head, Raw({0x01, 0x04, 0x00, 0x34, 0x12, 0x00}));
    unsigned short crc = libPro_CalcCrc(head.data(), 6);
    EXPECT_EQ(reply[6], crc >> 8);
    EXPECT_EQ(reply[7], crc & 0xFF);

    request = Raw({0x00, 0x05, 0x40, 0x00, 0x40, 0x08, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x10, 0xB5, 0x52});
    EXPECT_EQ(be.Exchange(request.data(), request.size(), 4), Raw({0x40, 0x01, 0x7B, 0xF5}));
    EXPECT_EQ(sim::GetRegister(0, 0x4000, 0x4008003C), 0x10u);

    EXPECT_TRUE(le.Write(0x4000, 0x4008003C, 0x00ABCDEF));
    EXPECT_EQ(sim::GetRegister(0, 0x0400, 0x4008003C), 0x00ABCDEFu);
    EXPECT_EQ(le.Read(0x0400, 0x4008003C), 0x00ABCDEFu);
    EXPECT_EQ(be.Read(0x0400, 0x4008003C), 0x00ABCDEFu);

    // Block write of 121 values, as the sharpening kernel travels.
    for (bool order : {false, true}) {
        std::uint32_t values[121];
        for (unsigned i = 0; i < 121; ++i) values[i] = order ? 0xFFFFFF00u + i : i * 3;
        std::uint8_t block[512];
        int n = libPro_SetRegisterValuePack(0x40088000, values, 121, block, order);
        Host host{order};
        Bytes ack = host.Exchange(block, static_cast<std::size_t>(n), 4);
        EXPECT_TRUE(Host::CrcOk(ack));
        EXPECT_EQ(host.Status(ack), 0x4001);
        for (unsigned i = 0; i < 121; ++i) EXPECT_EQ(sim::GetRegister(0, 0x0400, 0x40088000 + 4 * i), values[i]);
    }
}

TEST_F(SimChipTest, RequestsItCannotParseGetAWrongStatus) {
    Host be{false};
    sim::SetRegister(0, 0x0400, 0x40080060, 0x55);
    auto expectRejected = [&](Bytes request, std::uint32_t replyLength, std::uint16_t status) {
        Bytes reply = be.Exchange(request.data(), request.size(), replyLength);
        EXPECT_TRUE(Host::CrcOk(Bytes(reply.begin(), reply.begin() + (replyLength == 8 ? 8 : 4))));
        EXPECT_EQ(be.Status(reply), status);
    };
    // Wrong CRC.
    expectRejected(Raw({0x00, 0x03, 0x04, 0x00, 0x40, 0x08, 0x00, 0x60, 0xD2, 0x38}), 8, 0x0402);
    // CRC right, but the write's data is cut off.
    std::uint8_t write[16];
    libPro_SetRegisterValuePack(0x40080060, 0x77, write, false, 0x4000);
    expectRejected(Bytes(write, write + 12), 4, 0x4002);
    EXPECT_EQ(sim::GetRegister(0, 0x0400, 0x40080060), 0x55u);
    // Unknown command with a good CRC.
    std::uint8_t read[16];
    libPro_GetRegisterValuePack(0x40080060, read, false, 0x0300);
    expectRejected(Bytes(read, read + 10), 8, 0x0302);
    // A read command with a write's word count.
    libPro_SetRegisterValuePack(0x40080060, 0x77, write, false, 0x0400);
    expectRejected(Bytes(write, write + 14), 8, 0x0402);
    // Block writes reach the picture-quality space only.
    std::uint32_t two[2] = {1, 2};
    std::uint8_t block[32];
    libPro_SetRegisterValuePack(0x10, two, 2, block, false);
    block[2] = 0x20;  // command 0x2000, CRC recomputed
    unsigned short crc = libPro_CalcCrc(block, 16);
    block[16] = static_cast<std::uint8_t>(crc >> 8);
    block[17] = static_cast<std::uint8_t>(crc);
    expectRejected(Bytes(block, block + 18), 4, 0x2002);
    EXPECT_FALSE(sim::HasRegister(0, 0x2000, 0x10));
    // Too short to hold a command; a word count of zero. Both shaped as reads.
    expectRejected(Raw({0x00, 0x03, 0x04}), 8, 0xFFFF);
    expectRejected(Raw({0x00, 0x00, 0x04, 0x00, 0x40, 0x08, 0x00, 0x60, 0x00, 0x00}), 8, 0x0402);

    sim::BridgeRecord record = sim::Inspect(0);
    EXPECT_EQ(record.rejectedRequests, 7);
    EXPECT_EQ(record.requests, 0);
}

TEST_F(SimChipTest, ReplyIsConsumedAndPaddedAndReplacedByTheNextRequest) {
    Host be{false};
    std::uint8_t request[16];
    libPro_GetRegisterValuePack(0x40080040, request, false, 0x0400);
    Bytes reply = be.Exchange(request, 10, 12);
    EXPECT_EQ(be.Status(reply), 0x0401);
    EXPECT_EQ(Bytes(reply.begin() + 8, reply.end()), Raw({0xFF, 0xFF, 0xFF, 0xFF}));
    Bytes again(8, 0);
    std::uint32_t n = 8;
    ASSERT_NE(CH347SPI_Read(0, 0x80, 0, &n, again.data()), 0);
    EXPECT_EQ(again, Bytes(8, 0xFF));

    // Two requests before one read: the first reply is lost, the read sees the second.
    sim::SetRegister(0, 0x0400, 0x40080050, 7);
    std::uint8_t first[16], second[16];
    libPro_GetRegisterValuePack(0x40080040, first, false, 0x0400);
    libPro_GetRegisterValuePack(0x40080050, second, false, 0x0400);
    ASSERT_NE(CH347SPI_Write(0, 0x80, 10, 512, first), 0);
    ASSERT_NE(CH347SPI_Write(0, 0x80, 10, 512, second), 0);
    Bytes out(8, 0);
    n = 8;
    ASSERT_NE(CH347SPI_Read(0, 0x80, 0, &n, out.data()), 0);
    EXPECT_EQ(out[5], 7);
    EXPECT_EQ(sim::Inspect(0).lostReplies, 1);
}

// Whatever arrives on the bus, the chip answers with a well-formed reply and
// changes a register only for a request whose CRC is right.
TEST_F(SimChipTest, GarbageAndMangledRequests) {
    std::uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 16;
    };
    int sent = 0;
    for (int round = 0; round < 3000; ++round) {
        Bytes request;
        if (round % 3 == 0) {
            request.resize(1 + next() % 600);
            for (std::uint8_t& b : request) b = static_cast<std::uint8_t>(next());
        } else {
            std::uint8_t packet[16];
            bool le = next() & 1;
            int n = libPro_SetRegisterValuePack(0x40080000 + 4 * (next() % 8), next(), packet, le,
                                                static_cast<unsigned short>(next() & 0x7700));
            request.assign(packet, packet + n);
            request[next() % request.size()] ^= static_cast<std::uint8_t>(1u << (next() % 8));
            if (next() % 4 == 0) request.resize(1 + next() % (request.size() - 1));
        }
        ++sent;
        // Write and read in one bridge call: the bridge sends the request, then reads.
        std::uint8_t buffer[600];
        std::copy(request.begin(), request.end(), buffer);
        std::uint32_t n = 8;
        ASSERT_NE(CH347SPI_Read(0, 0x80, static_cast<std::uint32_t>(request.size()), &n, buffer), 0);
        Bytes reply(buffer, buffer + 8);
        bool shortReply = reply[4] == 0xFF && reply[5] == 0xFF && reply[6] == 0xFF && reply[7] == 0xFF;
        EXPECT_TRUE(Host::CrcOk(shortReply ? Bytes(reply.begin(), reply.begin() + 4) : reply))
            << round << " " << testing::PrintToString(reply);
    }
    sim::BridgeRecord record = sim::Inspect(0);
    EXPECT_EQ(record.requests + record.rejectedRequests, sent);
    EXPECT_GT(record.rejectedRequests, 1000);
    // A single flipped bit is always caught by the CRC: registers outside the 8 targets keep their values.
    for (unsigned a = 0x40080020; a < 0x40080064; a += 4) {
        EXPECT_EQ(sim::GetRegister(0, 0x0400, a), sim::PowerOnValue(a)) << std::hex << a;
    }
}

TEST_F(SimChipTest, PowerOnValuesAndSeparateSpaces) {
    Host be{false};
    EXPECT_EQ(be.Read(0x0400, 0x4008001C), 0u);
    EXPECT_EQ(be.Read(0x0400, 0x40080024), 0u);
    EXPECT_EQ(be.Read(0x0400, 0x40080020), 1920u);
    EXPECT_EQ(be.Read(0x0400, 0x40080028), 1080u);
    EXPECT_EQ((*be.Read(0x0400, 0x4008000C) & 0x00B00000) >> 20, 0xAu);  // Medium
    EXPECT_EQ(*be.Read(0x0400, 0x40080040) & 0xFF, 130u);
    EXPECT_EQ((*be.Read(0x0400, 0x40080038) >> 8) & 0xFF, 10u);
    std::int64_t sum = 0;
    for (unsigned i = 0; i < 121; ++i) sum += static_cast<std::int32_t>(*be.Read(0x0400, 0x40088000 + 4 * i));
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(static_cast<std::int32_t>(*be.Read(0x0400, 0x40088000 + 4 * 60)), 28160);
    EXPECT_EQ(sim::PowerOnValue(0x40080020), 1920u);

    // The same address in another pair's space is another register.
    EXPECT_TRUE(be.Write(0x2000, 0x40080020, 0xDEADBEEF));
    EXPECT_EQ(be.Read(0x0200, 0x40080020), 0xDEADBEEFu);
    EXPECT_EQ(be.Read(0x0400, 0x40080020), 1920u);
    EXPECT_EQ(be.Read(0x0600, 0x40080020), 0u);
    // The EDID spaces hold bytes.
    EXPECT_TRUE(be.Write(0x7000, 0x10, 0x1234));
    EXPECT_EQ(be.Read(0x0700, 0x10), 0x34u);

    EXPECT_FALSE(sim::SetRegister(0, 0x0300, 0x10, 1));
    EXPECT_EQ(sim::GetRegister(0, 0x0300, 0x10), 0u);
}

TEST(SimEdid, DefaultEdidIsValid) {
    std::array<std::uint8_t, 256> e = sim::DefaultEdid();
    EXPECT_EQ(Bytes(e.begin(), e.begin() + 8), Raw({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}));
    for (int block = 0; block < 2; ++block) {
        unsigned sum = 0;
        for (int i = 0; i < 128; ++i) sum += e[static_cast<std::size_t>(block * 128 + i)];
        EXPECT_EQ(sum % 256, 0u) << "block " << block;
    }
    EXPECT_EQ(e[126], 1);     // one extension
    EXPECT_EQ(e[128], 0x02);  // CTA extension
    // Preferred timing: 1920 x 1080.
    const std::uint8_t* dtd = &e[54];
    EXPECT_EQ(dtd[2] | (dtd[4] & 0xF0) << 4, 1920);
    EXPECT_EQ(dtd[5] | (dtd[7] & 0xF0) << 4, 1080);
    EXPECT_EQ(dtd[0] | dtd[1] << 8, 14850);  // 148.5 MHz
}

// Sinks and tools that check EDIDs strictly must find nothing to fault.
TEST(SimEdid, DefaultEdidPassesEdidDecodeCheck) {
    if (std::system("command -v edid-decode >/dev/null 2>&1") != 0) GTEST_SKIP() << "edid-decode is not installed";
    char path[] = "/tmp/simedid_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::array<std::uint8_t, 256> e = sim::DefaultEdid();
    ASSERT_EQ(write(fd, e.data(), e.size()), 256);
    close(fd);
    std::string report;
    FILE* out = popen(("edid-decode --check " + std::string(path) + " 2>&1").c_str(), "r");
    ASSERT_NE(out, nullptr);
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, out)) > 0;) report.append(chunk, n);
    const int status = pclose(out);
    unlink(path);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    EXPECT_EQ(report.find("Failures:"), std::string::npos) << report;
}

// ---- The EDID register sequences, as the register console runs them ----------

struct EdidHost : Host {
    std::uint16_t writeCmd = 0x6000, readCmd = 0x0600;
    int writes = 0, reads = 0;

    void W(std::uint32_t reg, std::uint32_t v) {
        EXPECT_TRUE(Write(writeCmd, reg, v)) << std::hex << reg;
        ++writes;
    }
    std::uint8_t R(std::uint32_t reg) {
        ++reads;
        std::optional<std::uint32_t> v = Read(readCmd, reg);
        EXPECT_TRUE(v.has_value());
        return static_cast<std::uint8_t>(v.value_or(0));
    }

    std::array<std::uint8_t, 256> ReadA() {
        std::array<std::uint8_t, 256> out{};
        for (auto [r, v] : {std::pair{0xFF, 0xE0},
                            {0xEE, 0x01},
                            {0x5E, 0xDF},
                            {0x58, 0x00},
                            {0x59, 0x50},
                            {0x5A, 0x10},
                            {0x5A, 0x00},
                            {0x58, 0x21}})
            W(r, v);
        for (unsigned b = 0; b < 8; ++b) {
            for (auto [r, v] : {std::pair<unsigned, unsigned>{0xFF, 0xE1},
                                {0x03, 0xBF},
                                {0x03, 0xFF},
                                {0xFF, 0xE0},
                                {0x5E, 0x5F},
                                {0x5A, 0x20},
                                {0x5A, 0x00},
                                {0x5B, 0x00},
                                {0x5C, 0x80},
                                {0x5D, b * 32},
                                {0x5A, 0x10},
                                {0x5A, 0x00},
                                {0x58, 0x21},
                                {0xFF, 0xE0}})
                W(r, v);
            for (unsigned i = 0; i < 32; ++i) out[b * 32 + i] = R(0x5F);
        }
        for (auto [r, v] : {std::pair{0x5A, 0x08}, {0x5A, 0x00}, {0x58, 0x00}}) W(r, v);
        return out;
    }

    void WriteA(const std::array<std::uint8_t, 256>& edid) {
        for (auto [r, v] : {std::pair{0xFF, 0xE0},
                            {0xEE, 0x01},
                            {0x5E, 0xDF},
                            {0x58, 0x00},
                            {0x59, 0x50},
                            {0x5A, 0x10},
                            {0x5A, 0x00},
                            {0x58, 0x21},
                            {0x5A, 0x04},
                            {0x5A, 0x00},
                            {0x5B, 0x00},
                            {0x5C, 0x80},
                            {0x5D, 0x00},
                            {0x5A, 0x01},
                            {0x5A, 0x00}})
            W(r, v);
        for (unsigned b = 0; b < 8; ++b) {
            for (auto [r, v] : {std::pair{0xFF, 0xE1},
                                {0x03, 0xBF},
                                {0x03, 0xFF},
                                {0xFF, 0xE0},
                                {0x5A, 0x04},
                                {0x5A, 0x00},
                                {0x5E, 0xDF},
                                {0x5A, 0x20},
                                {0x5A, 0x00},
                                {0x58, 0x21}})
                W(r, v);
            for (unsigned i = 0; i < 32; ++i) W(0x59, edid[b * 32 + i]);
            for (auto [r, v] :
                 {std::pair<unsigned, unsigned>{0x5B, 0x00}, {0x5C, 0x80}, {0x5D, b * 32}, {0x5A, 0x10}, {0x5A, 0x00}})
                W(r, v);
        }
        for (auto [r, v] : {std::pair{0x5A, 0x08}, {0x5A, 0x00}, {0x58, 0x00}}) W(r, v);
    }

    std::array<std::uint8_t, 256> ReadB(bool rightCode = true) {
        std::array<std::uint8_t, 256> out{};
        for (unsigned b = 0; b < 8; ++b) {
            for (auto [r, v] : {std::pair<unsigned, unsigned>{0xFF, 0xE0},
                                {0xDE, 0x01},
                                {0xB0, 0x57},
                                {0xB1, 0x4B},
                                {0xB2, 0x36},
                                {0xB3, rightCode ? 0x3Bu : 0x3Cu},
                                {0xB4, b},
                                {0xDE, 0x02},
                                {0x85, 0x25}})
                W(r, v);
            for (unsigned i = 0; i < 32; ++i) out[b * 32 + i] = R(0x8A + i);
        }
        return out;
    }
};

TEST_F(SimChipTest, EdidSequencesReadAndWriteTheChipsEdid) {
    const std::array<std::uint8_t, 256> original = sim::GetEdid(0);
    ASSERT_EQ(original, sim::DefaultEdid());

    EdidHost a;
    EXPECT_EQ(a.ReadA(), original);
    EXPECT_EQ(a.writes, 8 + 8 * 14 + 3);
    EXPECT_EQ(a.reads, 256);

    EdidHost b;
    b.writeCmd = 0x7000;
    b.readCmd = 0x0700;
    EXPECT_EQ(b.ReadB(), original);

    std::array<std::uint8_t, 256> other;
    for (unsigned i = 0; i < 256; ++i) other[i] = static_cast<std::uint8_t>(i * 7 + 3);
    EdidHost w;
    w.le = true;  // the sequences work in either packet byte order
    w.WriteA(other);
    EXPECT_EQ(sim::GetEdid(0), other);
    EXPECT_EQ(w.ReadA(), other);
    EXPECT_EQ(b.ReadB(), other);

    // Without the unlock code the window is not loaded: it keeps the last block read.
    std::array<std::uint8_t, 256> locked = b.ReadB(false);
    for (unsigned i = 0; i < 32; ++i) EXPECT_EQ(locked[i], other[7 * 32 + i]);

    sim::SetEdid(0, original);
    EXPECT_EQ(a.ReadA(), original);
}

}  // namespace
