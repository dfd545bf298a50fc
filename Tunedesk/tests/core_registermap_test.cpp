// The picture-quality register map against the simulated chip.
#include <cstdio>
#include <numeric>

#include "Ch347Sim.h"
#include "SPIUtil.h"
#include "SpiSettingFile.h"
#include "TimeUtil.h"
#include "support/core_fixture.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

class RegisterMap : public SimDeviceTest {
protected:
    void Set(unsigned int reg, unsigned int value) { ASSERT_TRUE(sim::SetRegister(kDevice, 0x0400, reg, value)); }
    unsigned int Reg(unsigned int reg) { return sim::GetRegister(kDevice, 0x0400, reg); }
    // The lines a getter or setter logged of its own (transaction lines dropped).
    std::vector<std::string> OwnLines() {
        std::vector<std::string> out;
        for (auto& l : log_->Utf8Lines())
            if (l.rfind("TX[", 0) != 0 && l.rfind("RX[", 0) != 0 && l.rfind("REG: ", 0) != 0) out.push_back(l);
        log_->Clear();
        return out;
    }
};

TEST_F(RegisterMap, GettersDecodeAndLogTheirFields) {
    unsigned int a = 0, b = 0, c = 0, raw = 0;
    Set(kRegBrightnessThreshold, 0xFFFF2A50);
    ASSERT_TRUE(GetBrightnessAndThreshold(kDevice, &a, &b, &raw));
    EXPECT_EQ(a, 0x50u);
    EXPECT_EQ(b, 0x2Au);
    EXPECT_EQ(raw, 0xFFFF2A50u);
    EXPECT_THAT(OwnLines(), ElementsAre("Brightness: 80", "Threshold Value: 42"));

    Set(kRegColorCorrectionIntensity, 0x0003FC00 | 0x3FF);
    ASSERT_TRUE(GetColorCorrectionIntensity(kDevice, &a, nullptr));
    EXPECT_EQ(a, 63u);
    EXPECT_THAT(OwnLines(), ElementsAre("Color Correction Intensity: 63"));

    Set(kRegExtendedContrast, 0x0000C504);
    ASSERT_TRUE(GetExtendedContrastParameters(kDevice, &a, &b, &c, &raw));
    EXPECT_EQ(a, 1u);
    EXPECT_EQ(b, 0u);
    EXPECT_EQ(c, 0xC5u);
    EXPECT_THAT(OwnLines(), ElementsAre("Extended Contrast On/Off State: ON!", "Auto Brightness On/Off State: OFF!",
                                        "Adaptive Contrast Value: 197"));
    // Only the outputs asked for are decoded and logged.
    a = b = 99;
    ASSERT_TRUE(GetExtendedContrastParameters(kDevice, nullptr, &b, nullptr, nullptr));
    EXPECT_EQ(b, 0u);
    EXPECT_THAT(OwnLines(), ElementsAre("Auto Brightness On/Off State: OFF!"));

    Set(kRegThroughDisplay, 1u << 9);
    ASSERT_TRUE(GetNavoThroughDisplayOnOffState(kDevice, &a, nullptr));
    EXPECT_EQ(a, 1u);
    EXPECT_THAT(OwnLines(), ElementsAre("Navo Through Display On/Off State: ON!"));

    Set(kRegNoiseRemoveSensitivity, 0x1FF);
    ASSERT_TRUE(GetRemoveNoiseSensitivity(kDevice, &a, nullptr));
    EXPECT_EQ(a, 255u);
    EXPECT_THAT(OwnLines(), ElementsAre("Remove Noise Sensitivity: 255"));

    Set(kRegSharpeningIntensity, 0xAA1234FF);
    ASSERT_TRUE(GetSharpeningIntensity(kDevice, &a, nullptr));
    EXPECT_EQ(a, 0x1234u);
    EXPECT_THAT(OwnLines(), ElementsAre("Sharpening Intensity: 4660"));

    Set(kRegSharpeningOnOff, 0xFFFFFFFB);
    ASSERT_TRUE(GetSharpeningOnOffState(kDevice, &a, &raw));
    EXPECT_EQ(a, 0u);
    EXPECT_THAT(OwnLines(), ElementsAre("Sharpening On/Off State: OFF!"));
    EXPECT_FALSE(GetSharpeningOnOffState(kDevice, nullptr, &raw));  // the state is required

    Set(kRegVividIntensity, 0x182);
    ASSERT_TRUE(GetVividIntensity(kDevice, &a, nullptr));
    EXPECT_EQ(a, 0x82u);
    EXPECT_THAT(OwnLines(), ElementsAre("Vivid Intensity: 130"));
}

TEST_F(RegisterMap, VividStatesAndRange) {
    unsigned int v = 9, cc = 9, nr = 9, range = 0, raw = 0;
    Set(kRegVividOnOff, 0x13);  // bits 0-1 are 11: noise remove reads off
    ASSERT_TRUE(GetVividOnOffState(kDevice, &v, &cc, &nr, &raw));
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(cc, 0u);
    EXPECT_EQ(nr, 0u);
    EXPECT_THAT(OwnLines(), ElementsAre("Vivid On/Off State: ON!", "Color Correction On/Off State: OFF!",
                                        "Noise Remove On/Off State: OFF!"));
    Set(kRegVividOnOff, 0x02);
    ASSERT_TRUE(GetVividOnOffState(kDevice, nullptr, nullptr, &nr, nullptr));
    EXPECT_EQ(nr, 1u);
    EXPECT_THAT(OwnLines(), ElementsAre("Noise Remove On/Off State: ON!"));

    const std::pair<unsigned int, const char*> ranges[] = {{0x00B00000, "Large"},
                                                           {0xFFAFFFFF, "Medium"},
                                                           {0x00900000, "Small"},
                                                           {0x00C00000, "Tiny"}};  // bit 22 is masked out
    for (unsigned int i = 0; i < 4; ++i) {
        Set(kRegVividRange, ranges[i].first);
        ASSERT_TRUE(GetVividRange(kDevice, &range, &raw));
        EXPECT_EQ(range, i);
        EXPECT_THAT(OwnLines(), ElementsAre(std::string("Vivid Range: ") + ranges[i].second + "!"));
    }
    Set(kRegVividRange, 0);
    EXPECT_TRUE(GetVividRange(kDevice, &range, &raw));
    EXPECT_EQ(range, 255u);
    EXPECT_THAT(OwnLines(), ElementsAre("Vivid Range: Unknown!"));
}

TEST_F(RegisterMap, FailedGettersWriteNothingAndLogTheirLine) {
    struct Case {
        std::function<bool(unsigned int*)> get;
        const char* line;  // nullptr: the getter has no failure line of its own
    };
    const Case cases[] = {
        {[](unsigned int* o) { return GetBrightnessAndThreshold(kDevice, o, o, o); },
         "Get Brightness & Threshold failed!"},
        {[](unsigned int* o) { return GetColorCorrectionIntensity(kDevice, o, o); },
         "Get Color Correction Intensity failed!"},
        {[](unsigned int* o) { return GetExtendedContrastParameters(kDevice, o, o, o, o); },
         "Get Extended Contrast parameters failed!"},
        {[](unsigned int* o) { return GetNavoThroughDisplayOnOffState(kDevice, o, o); }, nullptr},
        {[](unsigned int* o) { return GetRemoveNoiseSensitivity(kDevice, o, o); },
         "Get Remove Noise Sensitivity failed!"},
        {[](unsigned int* o) { return GetSharpeningIntensity(kDevice, o, o); }, "Get Sharpening Intensity failed!"},
        {[](unsigned int* o) { return GetSharpeningOnOffState(kDevice, o, o); }, "Get Sharpening On/Off State failed!"},
        {[](unsigned int* o) { return GetVividOnOffState(kDevice, o, o, o, o); }, nullptr},
        {[](unsigned int* o) { return GetVividRange(kDevice, o, o); }, "Get Vivid Range failed!"},
        {[](unsigned int* o) { return GetVividIntensity(kDevice, o, o); }, "Get Vivid Intensity failed!"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::ReadRefused));
        unsigned int out = 0xDEADBEEF;
        EXPECT_FALSE(c.get(&out));
        EXPECT_EQ(out, 0xDEADBEEFu);
        auto lines = log_->Utf8Lines();
        log_->Clear();
        ASSERT_EQ(lines.size(), c.line ? 3u : 2u);
        EXPECT_EQ(lines[1], "Read SPI failed!");
        if (c.line) {
            EXPECT_EQ(lines[2], c.line);
        }
    }
}

TEST_F(RegisterMap, SettersWriteTheirFieldAndLogTheOutcome) {
    struct Case {
        bool (*set)(unsigned long, unsigned int, unsigned int);
        unsigned int reg, current, setting, expected;
        const char* line;
    };
    const Case cases[] = {
        {SetAutoBrightnessOnOff, kRegExtendedContrast, 0xF0, 1, 0xF2, "Auto Brightness ON OK!"},
        {SetAutoBrightnessOnOff, kRegExtendedContrast, 0xFF, 0, 0xFD, "Auto Brightness OFF OK!"},
        {SetExtendedContrastOnOff, kRegExtendedContrast, 0, 5, 0x04, "Extended Contrast ON OK!"},
        {SetAdaptiveContrast, kRegExtendedContrast, 0xFFFFFFFF, 0x1A5, 0xFFFFA5FF, "Set Adaptive Contrast to 421 OK!"},
        {SetBrightness, kRegBrightnessThreshold, 0x1234FF00, 300, 0x1234FF2C, "Set Brightness to 300 OK!"},
        {SetThreshold, kRegBrightnessThreshold, 0x000000AA, 0x10, 0x000010AA, "Set Threshold to 16 OK!"},
        {SetColorCorrectionOnOff, kRegVividOnOff, 0xFF, 0, 0xFB, "Color Correction OFF OK!"},
        {SetNoiseRemoveOnOff, kRegVividOnOff, 0xF1, 1, 0xF2, "Noise Remove ON OK!"},
        {SetNoiseRemoveOnOff, kRegVividOnOff, 0xF3, 0, 0xF1, "Noise Remove OFF OK!"},
        {SetVividiOnOff, kRegVividOnOff, 0, 1, 0x10, "Vividi ON OK!"},
        {SetColorCorrectionIntensity, kRegColorCorrectionIntensity, 0, 63, 0x0000FC00,
         "Set Color Correction Intensity to 63 OK!"},
        // A setting beyond the 6-bit field leaves bits 16-17 alone.
        {SetColorCorrectionIntensity, kRegColorCorrectionIntensity, 0x00030000, 0xFF, 0x0003FC00,
         "Set Color Correction Intensity to 255 OK!"},
        {SetNoiseRemoveSensitivity, kRegNoiseRemoveSensitivity, 0xABCDEF00, 7, 0xABCDEF07,
         "Set Noise Remove Sensitivity to 7 OK!"},
        {SetSharpeningOnOff, kRegSharpeningOnOff, 0, 1, 0x04, "Sharpening ON OK!"},
        {SetSharpeningIntensity, kRegSharpeningIntensity, 0xAABBCCDD, 0x1234, 0xAA123400,
         "Set Sharpening Intensity to 4660 OK!"},
        {SetNavoThroughDisplay, kRegThroughDisplay, 0xFFFFFFFF, 0, 0xFFFFFDFF, "Navo Through Display OFF OK!"},
        {SetVividIntensity, kRegVividIntensity, 0x11111111, 0x2FF, 0x111111FF, "Set Vivid Intensity to 767 OK!"},
        {SetVividRange, kRegVividRange, 0x12345678, 1, 0x12A40000, "Set Vivid Range OK!"},
        {SetVividRange, kRegVividRange, 0, 0, 0x00B00000, "Set Vivid Range OK!"},
        {SetVividRange, kRegVividRange, 0, 2, 0x00900000, "Set Vivid Range OK!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Set(c.reg, 0x5A5A5A5A);
        EXPECT_TRUE(c.set(kDevice, c.current, c.setting));
        EXPECT_EQ(Reg(c.reg), c.expected);
        EXPECT_THAT(OwnLines(), ElementsAre(c.line));
    }
    // A refused write ends in "failed".
    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::WrongReplyStatus));
    EXPECT_FALSE(SetBrightness(kDevice, 0, 80));
    EXPECT_THAT(OwnLines(),
                ElementsAre("Update REG: 0x40080038, Value: 0x00000050 failed!", "Set Brightness to 80 failed!"));
    // An unknown range writes and logs nothing.
    sim::ClearRecord(kDevice);
    EXPECT_FALSE(SetVividRange(kDevice, 0, 3));
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 0);
    EXPECT_TRUE(log_->Lines().empty());
}

TEST_F(RegisterMap, SharpeningKernelsFollowTheBinomialRule) {
    const std::vector<int> topRows[3] = {
        {-8, -48, -120, -160, -120, -48, -8}, {-128, -512, -768, -512, -128}, {-2048, -4096, -2048}};
    const int centres[3] = {29568, 28160, 24576};
    const int firstIndex[3] = {24, 36, 48};
    const std::vector<int> middleRows[3] = {
        {-160, -960, -2400, 29568, -2400, -960, -160}, {-768, -3072, 28160, -3072, -768}, {-4096, 24576, -4096}};
    for (unsigned int size = 0; size < 3; ++size) {
        SCOPED_TRACE(size);
        int k[kSharpeningKernelSize];
        ASSERT_TRUE(BuildSharpeningKernel(size, k));
        EXPECT_EQ(std::accumulate(k, k + kSharpeningKernelSize, 0), 0);
        EXPECT_EQ(k[60], centres[size]);
        const int n = static_cast<int>(topRows[size].size());
        const int first = firstIndex[size];
        EXPECT_EQ(std::vector<int>(k + first, k + first + n), topRows[size]);
        const int last = first + (n - 1) * 11;
        EXPECT_EQ(std::vector<int>(k + last, k + last + n), topRows[size]);  // the last row mirrors the first
        EXPECT_EQ(std::vector<int>(k + 60 - n / 2, k + 60 - n / 2 + n), middleRows[size]);
        int nonZero = 0;
        for (int v : k) nonZero += v != 0;
        EXPECT_EQ(nonZero, n * n);

        // Written to the chip as 32-bit two's-complement words.
        ASSERT_TRUE(SetSharpeningProcessSize(kDevice, size));
        for (unsigned int i = 0; i < kSharpeningKernelSize; ++i)
            ASSERT_EQ(Reg(kRegSharpeningKernel + 4 * i), static_cast<unsigned int>(k[i])) << i;
        const char* names[3] = {"Large", "Medium", "Small"};
        EXPECT_THAT(OwnLines(), ElementsAre(std::string("Set Sharpening Process Size to ") + names[size] + " OK!"));
    }
    EXPECT_EQ(Reg(kRegSharpeningKernel + 4 * 24), 0u);  // the Small kernel cleared the Large one's corner
    EXPECT_EQ(Reg(kRegSharpeningKernel + 4 * 48), 0xFFFFF800u);

    // An unknown size writes nothing (the kernel on the chip stays) and logs nothing.
    sim::ClearRecord(kDevice);
    int unused[kSharpeningKernelSize];
    EXPECT_FALSE(BuildSharpeningKernel(3, unused));
    EXPECT_FALSE(SetSharpeningProcessSize(kDevice, 3));
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 0);
    EXPECT_TRUE(log_->Lines().empty());
    EXPECT_EQ(Reg(kRegSharpeningKernel + 4 * 60), 24576u);

    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::WrongReplyStatus));
    EXPECT_FALSE(SetSharpeningProcessSize(kDevice, 1));
    EXPECT_THAT(OwnLines(),
                ElementsAre("Update REG: 40088000 failed!", "Set Sharpening Process Size to Medium failed!"));
}

TEST_F(RegisterMap, ProcessingAreaPresets) {
    unsigned int area = 99;
    ASSERT_TRUE(GetVideoProcessingArea(kDevice, &area));  // power-on: the whole picture
    EXPECT_EQ(area, kAreaAll);
    EXPECT_THAT(OwnLines(), ElementsAre("Video Processing Area: All"));

    // Bits 12-31 do not take part.
    Set(kRegAreaHOffset, 0xFFFFF000 | 960);
    Set(kRegAreaVOffset, 0x00001000);
    Set(kRegAreaWidth, 960);
    Set(kRegAreaHeight, 0x12345000 | 1080);
    ASSERT_TRUE(GetVideoProcessingArea(kDevice, &area));
    EXPECT_EQ(area, kAreaRight);
    EXPECT_THAT(OwnLines(), ElementsAre("Video Processing Area: Right"));

    Set(kRegAreaHOffset, 0);
    Set(kRegAreaVOffset, 0);
    Set(kRegAreaWidth, 1920);
    Set(kRegAreaHeight, 1079);
    ASSERT_TRUE(GetVideoProcessingArea(kDevice, &area));
    EXPECT_EQ(area, kAreaOther);
    EXPECT_TRUE(OwnLines().empty());

    // Presets written by the setter read back as themselves.
    for (unsigned int i : {kAreaCenter, kAreaLeft}) {
        const auto& p = kProcessingAreaPresets[i];
        ASSERT_TRUE(SetVideoProcessingArea(kDevice, p.hOffset, p.vOffset, p.width, p.height));
        log_->Clear();
        ASSERT_TRUE(GetVideoProcessingArea(kDevice, &area));
        EXPECT_EQ(area, i);
        log_->Clear();
    }

    // A failed read names the register.
    ASSERT_TRUE(sim::InjectFault(kDevice, sim::Fault::ReadRefused));
    EXPECT_FALSE(GetVideoProcessingArea(kDevice, &area));
    EXPECT_THAT(OwnLines(),
                ElementsAre("Read SPI failed!", "Failed to obtain the Horizontal Offset of Video Process Area!"));
    EXPECT_FALSE(GetVideoProcessingArea(kDevice, nullptr));
}

TEST_F(RegisterMap, ProcessingAreaReadsInOrderWithPausesAndNamesTheFailedRead) {
    const unsigned int order[4] = {kRegAreaHOffset, kRegAreaVOffset, kRegAreaWidth, kRegAreaHeight};
    const char* const failLines[4] = {"Failed to obtain the Horizontal Offset of Video Process Area!",
                                      "Failed to obtain the Vertical Offset of Video Process Area!",
                                      "Failed to obtain the width of Video Process Area!",
                                      "Failed to obtain the height of Video Process Area!"};
    log_.reset();
    std::vector<std::string> steps;  // own lines, REG lines and pauses, as they happen
    int failAt = 0, reads = 0;
    SetLogSink([&](const std::u16string& text) {
        const std::string line = Utf8(text);
        if (line.rfind("TX[", 0) == 0 && reads++ == failAt) sim::InjectFault(kDevice, sim::Fault::ReadRefused);
        if (line.rfind("TX[", 0) != 0 && line.rfind("RX[", 0) != 0) steps.push_back(line);
    });
    SetSleepObserverForTest([&](unsigned int ms) { steps.push_back("pause " + std::to_string(ms)); });
    for (failAt = 0; failAt <= 4; ++failAt) {  // 4: no read fails
        steps.clear();
        reads = 0;
        std::vector<std::string> expected;
        for (int i = 0; i < 4; ++i) {
            if (i > 0) expected.push_back("pause 1");
            if (i == failAt) {
                expected.insert(expected.end(), {"Read SPI failed!", failLines[i]});
                break;
            }
            char line[64];
            snprintf(line, sizeof line, "REG: 0x%08X, Value: 0x%08X", order[i], Reg(order[i]));
            expected.push_back(line);
        }
        if (failAt == 4) expected.push_back("Video Processing Area: All");
        unsigned int area = 99;
        EXPECT_EQ(GetVideoProcessingArea(kDevice, &area), failAt == 4);
        EXPECT_EQ(area, failAt == 4 ? kAreaAll : 99u);
        EXPECT_EQ(steps, expected) << "read " << failAt << " refused";
    }
    SetSleepObserverForTest(nullptr);
    SetLogSink(nullptr);
}

TEST_F(RegisterMap, SetProcessingAreaKeepsHighBitsAndStopsAtTheFirstFailure) {
    Set(kRegAreaHOffset, 0xABC00000);
    Set(kRegAreaVOffset, 0);
    Set(kRegAreaWidth, 0x00005000);
    Set(kRegAreaHeight, 0x0000F123);
    ASSERT_TRUE(SetVideoProcessingArea(kDevice, 480, 270, 960, 0x1000 | 540));
    EXPECT_EQ(Reg(kRegAreaHOffset), 0xABC00000u | 480);
    EXPECT_EQ(Reg(kRegAreaVOffset), 270u);
    EXPECT_EQ(Reg(kRegAreaWidth), 0x00005000u | 960);
    EXPECT_EQ(Reg(kRegAreaHeight), 0x0000F000u | 540);
    EXPECT_THAT(OwnLines(), ElementsAre("Set Horizontal Offset to 480 OK!\n", "Set Vertical Offset to 270 OK!\n",
                                        "Set Width to 960 OK!\n", "Set Height to 4636 OK!\n"));

    // Make the width write fail: arm the fault once the width has been read.
    Set(kRegAreaHeight, 777);
    log_.reset();
    std::vector<std::string> lines;
    SetLogSink([&](const std::u16string& line) {
        lines.push_back(Utf8(line));
        if (Utf8(line).rfind("REG: 0x40080020", 0) == 0) sim::InjectFault(kDevice, sim::Fault::WriteRefused);
    });
    sim::ClearRecord(kDevice);
    EXPECT_FALSE(SetVideoProcessingArea(kDevice, 0, 0, 1920, 1080));
    SetLogSink(nullptr);
    EXPECT_EQ(Reg(kRegAreaHOffset), 0xABC00000u);
    EXPECT_EQ(Reg(kRegAreaVOffset), 0u);
    EXPECT_EQ(Reg(kRegAreaHeight), 777u);  // untouched
    // Read and write of both offsets, the width read, then the refused width
    // write; the height is never read.
    EXPECT_EQ(sim::Inspect(kDevice).writeCalls, 6);
    for (const auto& w : sim::GetWrites(kDevice)) EXPECT_NE(w[7], 0x28);
    std::vector<std::string> own;
    for (auto& l : lines)
        if (l.rfind("TX[", 0) != 0 && l.rfind("RX[", 0) != 0 && l.rfind("REG: ", 0) != 0) own.push_back(l);
    EXPECT_THAT(own,
                ElementsAre("Set Horizontal Offset to 0 OK!\n", "Set Vertical Offset to 0 OK!\n", "Write SPI failed!"));
}

}  // namespace
