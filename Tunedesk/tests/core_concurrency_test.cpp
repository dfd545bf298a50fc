// Transactions from several threads on one device: the per-device lock keeps
// each request/reply exchange whole.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "Ch347Sim.h"
#include "SPIUtil.h"
#include "SpiSettingFile.h"
#include "support/core_fixture.h"

namespace {

using Concurrency = SimDeviceTest;

TEST_F(Concurrency, ExchangesFromManyThreadsNeverInterleave) {
    // Every transfer sleeps first, so unsynchronised callers would overlap.
    sim::SetTransferDelay(kDevice, std::chrono::microseconds(50));
    constexpr int kThreads = 4, kRounds = 60;
    for (int t = 0; t < kThreads; ++t)
        ASSERT_TRUE(sim::SetRegister(kDevice, 0x0400, 0x40080100 + 4 * t, 0x1000 * (t + 1)));

    std::atomic<int> wrong{0}, failed{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                unsigned int value = 0;
                if (!ReadRegister(kDevice, 0x40080100 + 4 * t, value, 0x0400))
                    ++failed;
                else if (value != 0x1000u * (t + 1))
                    ++wrong;
            }
        });
    }
    // A writer changing another register, as the GUI thread does while the
    // read-back thread runs.
    threads.emplace_back([&] {
        for (unsigned int i = 0; i < kRounds; ++i)
            if (!UpdateRegister(kDevice, 0x40080200, i, 0x4000)) ++failed;
    });
    // The settings dialog saving meanwhile (the same values, so the result is fixed).
    std::thread saver([&] {
        while (!stop) {
            SaveByteOrder(1);
            SaveCSEnable(1);
        }
    });
    // Swapping the log sink while lines are handed out.
    std::thread sinkSwapper([&] {
        for (int i = 0; i < 50 && !stop; ++i) {
            SetLogSink([](const std::u16string&) {});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (auto& th : threads) th.join();
    stop = true;
    saver.join();
    sinkSwapper.join();

    EXPECT_EQ(failed, 0);
    EXPECT_EQ(wrong, 0);
    sim::BridgeRecord record = sim::Inspect(kDevice);
    EXPECT_EQ(record.lostReplies, 0);
    EXPECT_EQ(record.rejectedRequests, 0);
    EXPECT_EQ(record.requests, (kThreads + 1) * kRounds);
    EXPECT_EQ(sim::GetRegister(kDevice, 0x4000, 0x40080200), unsigned(kRounds - 1));
}

// The bytes of a "TX[Len=n]: " or "RX[Len=n]: " line.
std::vector<unsigned int> LineBytes(const std::string& line) {
    std::istringstream in(line.substr(line.find(": ") + 2));
    std::vector<unsigned int> bytes;
    unsigned int b = 0;
    while (in >> std::hex >> b) bytes.push_back(b);
    return bytes;
}

unsigned int Dword(const std::vector<unsigned int>& b, size_t at) {
    return (b.at(at) << 24) | (b.at(at + 1) << 16) | (b.at(at + 2) << 8) | b.at(at + 3);
}

TEST_F(Concurrency, EachTransactionsLinesStayTogether) {
    // Both transfers of every exchange sleep, so a line logged outside the
    // device's lock would land between another thread's lines.
    sim::SetTransferDelay(kDevice, std::chrono::microseconds(200));
    constexpr int kReaders = 3, kRounds = 15;
    for (int t = 0; t < kReaders; ++t)
        ASSERT_TRUE(sim::SetRegister(kDevice, 0x0400, 0x40080100 + 4 * t, 0x11111111u * (t + 1)));
    std::vector<std::thread> threads;
    for (int t = 0; t < kReaders; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kRounds; ++i) {
                unsigned int value = 0;
                ReadRegister(kDevice, 0x40080100 + 4 * t, value, 0x0400);
            }
        });
    threads.emplace_back([] {
        for (unsigned int i = 0; i < kRounds; ++i) WriteRegister(kDevice, 0x40080200, 0xA0 + i, 0x4000);
    });
    for (auto& th : threads) th.join();

    // TX, RX, then the verdict on what that reply carried, transaction by transaction.
    const std::vector<std::string> lines = log_->Utf8Lines();
    ASSERT_EQ(lines.size(), 3u * (kReaders + 1) * kRounds);
    char verdict[80];
    for (size_t i = 0; i < lines.size(); i += 3) {
        ASSERT_EQ(lines[i].rfind("TX[", 0), 0u) << i;
        ASSERT_EQ(lines[i + 1].rfind("RX[", 0), 0u) << i;
        const std::vector<unsigned int> tx = LineBytes(lines[i]), rx = LineBytes(lines[i + 1]);
        if (tx.size() == 10)
            snprintf(verdict, sizeof verdict, "REG: 0x%08X, Value: 0x%08X", Dword(tx, 4), Dword(rx, 2));
        else
            snprintf(verdict, sizeof verdict, "Write Register: 0x%08X, Value: 0x%08X OK!", Dword(tx, 4), Dword(tx, 8));
        ASSERT_EQ(lines[i + 2], verdict) << i;
    }
}

TEST_F(Concurrency, GettersOnSeveralDevicesRunSideBySide) {
    ASSERT_TRUE(sim::AddBridge(1));
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    ASSERT_EQ(libComm_OpenDevice(1, config), 1);
    std::atomic<int> failed{0};
    auto reader = [&](unsigned long device) {
        for (int i = 0; i < 40; ++i) {
            unsigned int area = 99, range = 99;
            if (!GetVideoProcessingArea(device, &area) || area != kAreaAll) ++failed;
            if (!GetVividRange(device, &range, nullptr) || range != kVividRangeMedium) ++failed;
        }
    };
    std::thread a(reader, 0), b(reader, 1);
    a.join();
    b.join();
    EXPECT_EQ(failed, 0);
    libComm_CloseDevice(1);
}

}  // namespace
