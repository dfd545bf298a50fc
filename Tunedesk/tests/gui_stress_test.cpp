// Many open / read-back / close cycles with the user releasing sliders while
// the read-back thread talks to the chip: no crash, no thread left behind,
// no interleaved transaction, nothing missing from the log.
#include <dirent.h>

#include <chrono>
#include <cstdio>

#include <QSlider>

#include "Ch347Sim.h"
#include "TunedeskDlg.h"
#include "spilink.h"
#include "support/gui_device_fixture.h"

namespace {

int ThreadCount() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir)) n += e->d_name[0] != '.' ? 1 : 0;
        closedir(dir);
    }
    return n;
}

std::string Format(const char* format, int value) {
    char text[128];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

class StressTest : public DevicePanelTest {};

TEST_F(StressTest, FiftyOpenReadBackCloseCyclesWhileSlidersAreReleased) {
    constexpr int kCycles = 50;
    CreateWindow();
    // Slow transfers widen the window in which unsynchronised exchanges would interleave.
    sim::SetTransferDelay(0, std::chrono::microseconds(150));
    // Counted after the first cycle: tools such as ThreadSanitizer start a
    // helper thread of their own with the first thread the program creates.
    int threadsAfterFirstCycle = 0;

    for (int cycle = 0; cycle < kCycles; ++cycle) {
        PressOpenCloseButton();
        ASSERT_EQ(libComm_GetDeviceOpenState(), 1) << cycle;
        ASSERT_TRUE(dlg_->m_readBackThread.joinable()) << cycle;
        // The user releases two sliders while the read-back runs.
        Drag(IDC_SLIDER_COLOR_CORRECTION, {cycle + 1});
        Drag(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, {100 + cycle});
        // Every fifth cycle closes at once, cutting into the read-back.
        if (cycle % 5 != 4) dlg_->FinishReadDeviceParamsThread();
        Pump();
        PressOpenCloseButton();
        ASSERT_FALSE(dlg_->m_readBackThread.joinable()) << cycle;
        ASSERT_EQ(libComm_GetDeviceOpenState(), 0) << cycle;
        ASSERT_FALSE(sim::IsOpen(0)) << cycle;
        if (cycle == 0) threadsAfterFirstCycle = ThreadCount();
    }
    Pump();
    EXPECT_EQ(ThreadCount(), threadsAfterFirstCycle);

    const std::vector<std::string> log = Log();
    EXPECT_EQ(Count(log, "The selected device opened successfully!"), kCycles);
    EXPECT_EQ(Count(log, "The selected device closed successfully!"), kCycles);
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        EXPECT_EQ(Count(log, Format("Setting Color Correction to %d...", cycle + 1)), 1) << cycle;
        EXPECT_EQ(Count(log, Format("Set Color Correction Intensity to %d OK!", cycle + 1)), 1) << cycle;
        EXPECT_EQ(Count(log, Format("Set Noise Remove Sensitivity to %d OK!", 100 + cycle)), 1) << cycle;
    }
    // Whole passes for the cycles that waited; the cut ones may stop anywhere.
    const int passes = Count(log, "Get Video Processing Area...");
    EXPECT_GE(passes, kCycles - kCycles / 5);
    EXPECT_LE(passes, kCycles);
    // No exchange was garbled or refused: nothing failed anywhere.
    for (const auto& line : log) EXPECT_EQ(line.find("failed"), std::string::npos) << line;
    const sim::BridgeRecord record = sim::Inspect(0);
    EXPECT_EQ(record.lostReplies, 0);
    EXPECT_EQ(record.rejectedRequests, 0);
    EXPECT_EQ(sim::GetRegister(0, 0x0400, 0x40080048), static_cast<unsigned>(kCycles) << 10);
    EXPECT_EQ(sim::GetRegister(0, 0x0400, 0x40080050) & 0xFF, 100u + kCycles - 1);
}
