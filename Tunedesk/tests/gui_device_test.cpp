// Device list, open/close, SPI initialisation, parameter print-out and the
// read-back thread of the main window, against the simulated bridge and chip.
#include <algorithm>
#include <chrono>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include "Ch347Backend.h"
#include "Ch347Sim.h"
#include "FirmwareModel.h"
#include "SpiSettingFile.h"
#include "TunedeskDlg.h"
#include "BackendChoice.h"
#include "WorkerThread.h"
#include "spilink.h"
#include "support/gui_device_fixture.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

const std::string kOpenCaption = "デバイスを開く";
const std::string kCloseCaption = "デバイスを閉じる";
const std::string kDefaultEntry = std::string("0# ") + sim::kDefaultDescription;

// The seven groups' read texts, in read-back order.
const std::vector<std::string> kReadTexts = {
    "Get Navo Through Display On/Off State...",
    "Get Vivid On/Off State...",
    "Get Vivid Range...",
    "Get Vivid Intensity...",
    "Get Sharpening On/Off State...",
    "Get Sharpening Intensity...",
    "Get Extended Contrast Parameters...",
    "Get Brightness & Threshold Value...",
    "Get Color Correction Intensity...",
    "Get Remove Noise Sensitivity...",
    "Get Video Processing Area...",
};

std::vector<std::string> ReadTextsIn(const std::vector<std::string>& log) {
    std::vector<std::string> out;
    for (const auto& line : log)
        if (line.rfind("Get ", 0) == 0 && line.size() > 3 && line.compare(line.size() - 3, 3, "...") == 0)
            out.push_back(line);
    return out;
}

}  // namespace

class DeviceTest : public DevicePanelTest {};

TEST_F(DeviceTest, RefreshListsBridgesInOrderAndLogsOnlyWhenAsked) {
    sim::AddBridge(1, 1, "Second bridge");
    CreateWindow();
    // The start-up refresh is silent but fills the list.
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->count(), 2);
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->currentIndex(), 0);

    SelectDevice(1);
    Click(IDC_BTN_REFRESH_DEVICE);
    EXPECT_THAT(Log(), ElementsAre("Refreshing Device...", "=>Device: \"" + kDefaultEntry + "\" found.",
                                   "=>Device: \"1# Second bridge\" found.", "Refresh Device OK!"));
    ASSERT_EQ(Combo(IDC_CMB_DEVICE_LIST)->count(), 2);
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->itemText(1).toStdString(), "1# Second bridge");
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->currentIndex(), 0);

    // Unplugged: an empty list with nothing selected, and open refuses politely.
    sim::RemoveAllBridges();
    ClearLog();
    Click(IDC_BTN_REFRESH_DEVICE);
    EXPECT_THAT(Log(), ElementsAre("Refreshing Device...", "No available device found!"));
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->count(), 0);
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->currentIndex(), -1);

    for (unsigned long i = 0; i < 16; ++i) sim::ClearRecord(i);
    ClearLog();
    PressOpenCloseButton();
    EXPECT_THAT(Log(), ElementsAre("Failed to open the SPI device, please select the device first!"));
    for (unsigned long i = 0; i < 16; ++i) EXPECT_EQ(sim::Inspect(i).openCalls, 0) << i;
    EXPECT_EQ(dlg_->m_nDevIndex.load(), -1);
}

TEST_F(DeviceTest, EntryNumberIsTheDeviceIndexAndSpiInitUsesTheFailedIndex) {
    sim::AddBridge(2, 1, "Bridge two");
    CreateWindow();
    ASSERT_EQ(Combo(IDC_CMB_DEVICE_LIST)->count(), 2);
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->itemText(1).toStdString(), "2# Bridge two");

    // Before any open attempt SPI initialisation has no device to work on.
    Command(ID_MENU_SPI_INIT);
    EXPECT_THAT(Log(), ElementsAre("Failed to initialize SPI, please select the SPI device first!\n", ""));

    for (unsigned long i = 0; i < 16; ++i) sim::ClearRecord(i);
    ClearLog();
    sim::InjectFault(2, sim::Fault::OpenRefused);
    SelectDevice(1);
    PressOpenCloseButton();
    Pump();
    // The second entry is bridge 2, whatever its position in the list.
    EXPECT_EQ(sim::Inspect(2).openCalls, 1);
    EXPECT_EQ(sim::Inspect(1).openCalls, 0);
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log.front(), "Getting SPI parameters...");
    EXPECT_THAT(std::vector<std::string>(log.end() - 2, log.end()),
                ElementsAre("Failed to open the selected device!", ""));
    EXPECT_EQ(dlg_->m_nDevIndex.load(), 2);
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kOpenCaption);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
    EXPECT_FALSE(dlg_->m_readBackThread.joinable());

    // "SPIの初期化" now tries bridge 2, the failed attempt's.
    ClearLog();
    Command(ID_MENU_SPI_INIT);
    EXPECT_EQ(sim::Inspect(2).initCalls, 1);
    EXPECT_EQ(sim::Inspect(0).initCalls, 0);
    log = Log();
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log[0], "Getting SPI parameters...");
    EXPECT_EQ(log[8], "Failed to initialize SPI!\n");  // bridge 2 is still closed
    EXPECT_EQ(log[9], "");
}

TEST_F(DeviceTest, OpenButtonFollowsTheLinkStateAndClosesTheSelectedEntry) {
    sim::AddBridge(1, 1, "Second bridge");
    CreateWindow();
    OpenDevice();
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kCloseCaption);
    EXPECT_TRUE(sim::IsOpen(0));
    EXPECT_EQ(dlg_->m_nDevIndex.load(), 0);

    // The list now points at the other bridge: closing takes the list's entry.
    SelectDevice(1);
    sim::ClearRecord(0);
    sim::ClearRecord(1);
    ClearLog();
    PressOpenCloseButton();
    EXPECT_EQ(sim::Inspect(1).closeCalls, 1);
    EXPECT_EQ(sim::Inspect(0).closeCalls, 0);
    EXPECT_THAT(Log(), ElementsAre("The selected device closed successfully!"));
    EXPECT_EQ(dlg_->m_nDevIndex.load(), -1);
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kOpenCaption);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);

    // Closing keeps the controls as they are.
    EXPECT_EQ(Combo(IDC_CMB_VIVID_ONOFF)->currentIndex(), 1);
    EXPECT_TRUE(Slider(IDC_SLIDER_VIVID_INTENSITY)->isEnabled());

    // A refused close keeps the link open: the next press closes again.
    SelectDevice(0);
    PressOpenCloseButton();
    WaitReadBack();
    sim::InjectFault(0, sim::Fault::CloseRefused, 1);
    PressOpenCloseButton();
    EXPECT_EQ(libComm_GetDeviceOpenState(), 1);
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kOpenCaption);
    sim::ClearRecord(0);
    PressOpenCloseButton();
    EXPECT_EQ(sim::Inspect(0).closeCalls, 1);
    EXPECT_EQ(sim::Inspect(0).openCalls, 0);
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
}

TEST_F(DeviceTest, LogSpiConfigPrintsSevenLinesThroughTheOptionTables) {
    CreateWindow();
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    config.Frequency = u"12.5";  // ignored while FreqEnable is 0
    dlg_->LogSpiConfig(config);
    EXPECT_THAT(
        Log(), ElementsAre("Mode: Mode1, Clock: 3.75MHz", "ByteOrder: MSB, DataBits: 8bit",
                           "CS Enable State: Enabled, CS Select: CS1",
                           "CS1 Polarity: CS1 POLA_LOW, CS2 Polarity: CS2 POLA_LOW", "Frequency Enable State: Disabled",
                           "WriteReadInterval: 0 us", "ActiveDelay: 0 us, Deactive Delay: 0 us"));

    ClearLog();
    config.SpiMode = 3;
    config.SpiClock = 9;  // outside the table: an empty name
    config.ByteOrder = 0;
    config.DataBits = 1;
    config.CSEnable = 0;
    config.CSChipIndex = -1;
    config.CS1Polarity = 1;
    config.CS2Polarity = 1;
    config.FreqEnable = 1;
    config.Frequency = u"7.5";
    config.FreqUnit = 1;
    config.InOutInterval = 12;
    config.ActiveRwDelay = 3;
    config.DeactiveRwDelay = 70000;
    dlg_->LogSpiConfig(config);
    EXPECT_THAT(Log(), ElementsAre("Mode: Mode3, Clock: ", "ByteOrder: LSB, DataBits: 16bit",
                                   "CS Enable State: Disabled, CS Select: ",
                                   "CS1 Polarity: CS1 POLA_HIGH, CS2 Polarity: CS2 POLA_HIGH",
                                   "Frequency Enable State: Enabled, Frequency: 7.5 KHz", "WriteReadInterval: 12 us",
                                   "ActiveDelay: 3 us, Deactive Delay: 70000 us"));
}

TEST_F(DeviceTest, CleanReadBackPostsThirteenNotificationsInOrderAndShowsTheChip) {
    // A chip state unlike the window's start-up state in every control.
    sim::SetRegister(0, 0x0400, 0x40080018, 1u << 9);     // through display on
    sim::SetRegister(0, 0x0400, 0x4008000C, 0x00900000);  // Vivid range Small
    sim::SetRegister(0, 0x0400, 0x40080040, 77);          // Vivid intensity
    sim::SetRegister(0, 0x0400, 0x40080060, 700u << 8);   // Sharpening intensity
    sim::SetRegister(0, 0x0400, 0x40080034, 0x2A06);      // EC on, Auto Brightness on, Adaptive 42
    sim::SetRegister(0, 0x0400, 0x40080038, 0x1E50);      // Threshold 30, Brightness 80
    sim::SetRegister(0, 0x0400, 0x40080048, 21u << 10);   // Color Correction 21
    sim::SetRegister(0, 0x0400, 0x40080050, 200);         // Noise Remove sensitivity
    sim::SetRegister(0, 0x0400, 0x4008001C, 960);         // processing area: right half
    sim::SetRegister(0, 0x0400, 0x40080020, 960);
    CreateWindow();
    PressOpenCloseButton();
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kCloseCaption);
    WaitReadBack();

    EXPECT_THAT(
        notes_->Messages(),
        ElementsAre(WM_VIVID_ONOFF, WM_VIVID_RANGE, WM_VIVID_INTENSITY, WM_SHARPENING_ONOFF, WM_SHARPENING_INTENSITY,
                    WM_EXTENDED_CONTRAST_ONOFF, WM_AUTO_BRIGHTNESS_ONOFF, WM_ADAPTIVE_CONTRAST, WM_BRIGHTNESS,
                    WM_THRESHOLD, WM_COLOR_CORRECTION, WM_NOISE_REMOVE_SENSITIVITY, WM_VIDEO_PROCESS_AREA));
    EXPECT_EQ(dlg_->m_bThroughDisp.load(), 1);
    EXPECT_EQ(Combo(IDC_CMB_VIVID_ONOFF)->currentIndex(), 1);
    EXPECT_TRUE(Button(IDC_RADIO_VIVID_RANGE_SMALL)->isChecked());
    EXPECT_FALSE(Button(IDC_RADIO_VIVID_RANGE_MEDIUM)->isChecked());
    EXPECT_EQ(Slider(IDC_SLIDER_VIVID_INTENSITY)->value(), 77);
    EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "77");
    EXPECT_EQ(Combo(IDC_CMB_SHARPENING_ONOFF)->currentIndex(), 1);
    EXPECT_EQ(Slider(IDC_SLIDER_SHARPENING_INTENSITY)->value(), 700);
    EXPECT_EQ(Combo(IDC_CMB_EXTENDED_CONTRAST_ONOFF)->currentIndex(), 1);
    EXPECT_TRUE(Button(IDC_CHK_AUTO_BRIGHTNESS)->isChecked());
    EXPECT_EQ(Slider(IDC_SLIDER_ADAPTIVE_CONTRAST)->value(), 42);
    EXPECT_EQ(Slider(IDC_SLIDER_BRIGHTNESS)->value(), 80);
    EXPECT_EQ(Text(IDC_LABEL_BRIGHTNESS), "80");
    EXPECT_EQ(Slider(IDC_SLIDER_THRESHOLD)->value(), 30);
    EXPECT_EQ(Slider(IDC_SLIDER_COLOR_CORRECTION)->value(), 21);
    EXPECT_EQ(Text(IDC_LABEL_COLOR_CORRECTION), "21");
    EXPECT_EQ(Slider(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY)->value(), 200);
    EXPECT_TRUE(Button(IDC_RADIO_AREA_RIGHT)->isChecked());
    EXPECT_FALSE(Button(IDC_RADIO_AREA_ALL)->isChecked());
    // Nothing the user did: the read-back writes nothing to the chip.
    EXPECT_EQ(CountPrefix(Log(), "Set "), 0);

    // Each read once, in order, each ending in a blank line before the next.
    const std::vector<std::string> log = Log();
    EXPECT_THAT(ReadTextsIn(log), ElementsAreArray(kReadTexts));
    for (size_t i = 1; i < kReadTexts.size(); ++i) {
        const int at = IndexOf(log, kReadTexts[i]);
        ASSERT_GT(at, 0);
        EXPECT_EQ(log[static_cast<size_t>(at) - 1], "") << kReadTexts[i];
    }
    EXPECT_EQ(log.back(), "");
    EXPECT_EQ(sim::Inspect(0).lostReplies, 0);
}

TEST_F(DeviceTest, VividRangeFailingThreeTimesEndsTheReadBack) {
    CreateWindow();
    // The read that follows "Vivid On/Off State" (the range, three tries) is refused.
    OnRegisterLogLine(u"Vivid On/Off State: ON!", [] { sim::InjectFault(0, sim::Fault::WrongReplyStatus, 3); });
    OpenDevice();
    const std::vector<std::string> log = Log();
    EXPECT_EQ(Count(log, "Get Vivid Range..."), 3);
    EXPECT_EQ(Count(log, "Get Vivid Range failed!"), 3);
    int at = IndexOf(log, "Get Vivid Range...");
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int failed = IndexOf(log, "Get Vivid Range failed!", at);
        ASSERT_GT(failed, at);
        EXPECT_EQ(log[static_cast<size_t>(failed) + 1], "") << attempt;
        at = IndexOf(log, "Get Vivid Range...", failed);
    }
    // The blank line after the third failure is the last thing logged.
    EXPECT_EQ(log.back(), "");
    EXPECT_EQ(log[log.size() - 2], "Get Vivid Range failed!");
    EXPECT_EQ(Count(log, "Get Vivid Intensity..."), 0);
    EXPECT_EQ(Count(log, "Get Sharpening On/Off State..."), 0);
    EXPECT_EQ(Count(log, "Get Video Processing Area..."), 0);
    EXPECT_THAT(notes_->Messages(), ElementsAre(WM_VIVID_ONOFF));
    // The controls of the failed group keep what they showed.
    EXPECT_FALSE(Button(IDC_RADIO_VIVID_RANGE_MEDIUM)->isChecked());
    EXPECT_EQ(Slider(IDC_SLIDER_VIVID_INTENSITY)->value(), 130);
    EXPECT_EQ(Combo(IDC_CMB_SHARPENING_ONOFF)->currentIndex(), 0);
}

TEST_F(DeviceTest, ARetriedReadThatRecoversLetsTheReadBackGoOn) {
    CreateWindow();
    OnRegisterLogLine(u"Sharpening On/Off State: ON!", [] { sim::InjectFault(0, sim::Fault::BadReplyCrc, 2); });
    OpenDevice();
    const std::vector<std::string> log = Log();
    EXPECT_EQ(Count(log, "Get Sharpening Intensity..."), 3);
    EXPECT_EQ(Count(log, "Get Video Processing Area..."), 1);
    EXPECT_EQ(notes_->Messages().size(), 13u);
}

TEST_F(DeviceTest, TinyUnknownRangeAndOddAreaLeaveTheRadiosAlone) {
    sim::SetRegister(0, 0x0400, 0x4008000C, 0x00C00000);  // code 8 once bit 22 is masked: Tiny
    sim::SetRegister(0, 0x0400, 0x40080028, 1079);        // no preset matches: area 4
    CreateWindow();
    Button(IDC_RADIO_VIVID_RANGE_LARGE)->setChecked(true);
    Button(IDC_RADIO_AREA_CENTER)->setChecked(true);
    OpenDevice();
    EXPECT_TRUE(Button(IDC_RADIO_VIVID_RANGE_LARGE)->isChecked());
    EXPECT_FALSE(Button(IDC_RADIO_VIVID_RANGE_MEDIUM)->isChecked());
    EXPECT_TRUE(Button(IDC_RADIO_AREA_CENTER)->isChecked());
    EXPECT_FALSE(Button(IDC_RADIO_AREA_ALL)->isChecked());
    // The odd values still count as successful reads: the read-back went on.
    ASSERT_EQ(notes_->Notes().size(), 13u);
    EXPECT_EQ(notes_->Notes()[1].value, 3u);
    EXPECT_EQ(notes_->Notes()[12].value, 4u);
    EXPECT_EQ(Count(Log(), "Vivid Range: Tiny!"), 1);

    // An unknown code (255) on the next open changes nothing either.
    PressOpenCloseButton();
    sim::SetRegister(0, 0x0400, 0x4008000C, 0);
    notes_->Clear();
    OpenDevice();
    ASSERT_EQ(notes_->Notes().size(), 13u);
    EXPECT_EQ(notes_->Notes()[1].value, 255u);
    EXPECT_TRUE(Button(IDC_RADIO_VIVID_RANGE_LARGE)->isChecked());
}

TEST_F(DeviceTest, AReadBackThatCannotStartLeavesTheDeviceOpenAndSaysSo) {
    CreateWindow();
    SetWorkerStartFailureForTest(true);
    PressOpenCloseButton();
    SetWorkerStartFailureForTest(false);
    Pump();
    const std::vector<std::string> log = Log();
    EXPECT_EQ(log.back(), "Failed to start reading the device parameters!");
    EXPECT_TRUE(ReadTextsIn(log).empty());
    EXPECT_NE(libComm_GetDeviceOpenState(), 0);
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kCloseCaption);
}

TEST_F(DeviceTest, ClosingDuringAReadBackStopsItAndReopenReadsEverything) {
    CreateWindow();
    // Slow transfers keep the read-back busy while the user presses close.
    sim::SetTransferDelay(0, std::chrono::milliseconds(3));
    PressOpenCloseButton();
    ASSERT_TRUE(dlg_->m_readBackThread.joinable());
    PressOpenCloseButton();  // close: waits for the read in progress only
    EXPECT_FALSE(dlg_->m_readBackThread.joinable());
    EXPECT_FALSE(sim::IsOpen(0));
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
    std::vector<std::string> log = Log();
    EXPECT_EQ(log.back(), "The selected device closed successfully!");
    EXPECT_LT(ReadTextsIn(log).size(), kReadTexts.size());
    // The stopped pass left no failed transaction behind (the bridge was still open).
    EXPECT_EQ(CountPrefix(log, "Write SPI failed!") + CountPrefix(log, "Read SPI failed!"), 0);

    sim::SetTransferDelay(0, std::chrono::microseconds(0));
    notes_->Clear();
    ClearLog();
    OpenDevice();
    EXPECT_THAT(ReadTextsIn(Log()), ElementsAreArray(kReadTexts));
    EXPECT_EQ(notes_->Messages().size(), 13u);
}

TEST_F(DeviceTest, ASecondOpenWaitsForTheEarlierReadBack) {
    CreateWindow();
    sim::SetTransferDelay(0, std::chrono::milliseconds(1));
    dlg_->OpenSelectedDevice();
    dlg_->OpenSelectedDevice();  // the link library still says open: only a direct call gets here
    WaitReadBack();
    const std::vector<std::string> log = Log();
    // The first pass ran to its end before the second open began.
    const int firstEnd = IndexOf(log, "Get Video Processing Area...");
    const int secondOpen = IndexOf(log, "Getting SPI parameters...", 1);
    ASSERT_GT(firstEnd, 0);
    EXPECT_GT(secondOpen, firstEnd);
    EXPECT_EQ(Count(log, "Get Video Processing Area..."), 2);
    EXPECT_EQ(notes_->Messages().size(), 26u);
    EXPECT_EQ(sim::Inspect(0).lostReplies, 0);
}

TEST_F(DeviceTest, DestroyingTheWindowDuringAReadBackClosesTheDevice) {
    for (int round = 0; round < 3; ++round) {
        CreateWindow();
        sim::SetTransferDelay(0, std::chrono::milliseconds(2));
        PressOpenCloseButton();
        ASSERT_TRUE(dlg_->m_readBackThread.joinable());
        const auto start = std::chrono::steady_clock::now();
        DestroyWindow();
        // Only the read in progress is finished (a few transfers), not the whole pass.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_FALSE(sim::IsOpen(0));
        EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
        std::list<std::u16string> rest;
        TakeLogLines(rest);  // lines logged after the window went stay queued
    }
}

TEST_F(DeviceTest, SpiInitialisationReappliesTheSettingsToTheOpenDevice) {
    CreateWindow();
    OpenDevice();
    ASSERT_TRUE(SaveSpiMode(3));
    ASSERT_TRUE(SaveSpiClock(6));
    sim::ClearRecord(0);
    ClearLog();
    Command(ID_MENU_SPI_INIT);
    const std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 10u);
    EXPECT_EQ(log[0], "Getting SPI parameters...");
    EXPECT_EQ(log[1], "Mode: Mode3, Clock: 937.5KHz");
    EXPECT_EQ(log[8], "Initialize SPI OK!\n");
    EXPECT_EQ(log[9], "");
    EXPECT_EQ(sim::Inspect(0).initCalls, 1);
    EXPECT_EQ(sim::GetSpiConfig(0).iMode, 3);
    EXPECT_EQ(sim::GetSpiConfig(0).iClock, 6);
}

// Pictures for the documentation: run with TUNEDESK_SCREENSHOT_DIR set (under
// Xvfb with QT_QPA_PLATFORM=xcb for the real rendering path).
TEST_F(DeviceTest, ScreenshotAfterReadBack) {
    const QByteArray dir = qgetenv("TUNEDESK_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "TUNEDESK_SCREENSHOT_DIR not set";
    sim::SetRegister(0, 0x0400, 0x40080040, 180);
    sim::SetRegister(0, 0x0400, 0x40080038, 0x2050);
    CreateWindow();
    dlg_->show();
    OpenDevice();
    for (int i = 0; i < 20; ++i) QTest::qWait(20);
    EXPECT_TRUE(dlg_->grab().save(QString::fromUtf8(dir) + "/main_window_after_readback.png"));
    ChooseCombo(IDC_CMB_VIVID_ONOFF, 0);
    Click(IDC_RADIO_AREA_CENTER);
    Drag(IDC_SLIDER_COLOR_CORRECTION, {40});
    Pump();
    for (int i = 0; i < 20; ++i) QTest::qWait(20);
    EXPECT_TRUE(dlg_->grab().save(QString::fromUtf8(dir) + "/main_window_after_changes.png"));
}

TEST_F(DeviceTest, RefreshWhileOpenKeepsTheDeviceReachable) {
    sim::AddBridge(1, 1, "Second bridge");
    CreateWindow();
    OpenDevice();
    Click(IDC_BTN_REFRESH_DEVICE);
    // Enumeration closed every bridge on its way; the panel took its own up again.
    EXPECT_TRUE(sim::IsOpen(0));
    EXPECT_EQ(libComm_GetDeviceOpenState(), 1);
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kCloseCaption);
    ClearLog();
    Drag(IDC_SLIDER_COLOR_CORRECTION, {7});
    EXPECT_EQ(Count(Log(), "Set Color Correction Intensity to 7 OK!"), 1);

    // Unplugged meanwhile: the panel says so and offers to open again.
    sim::RemoveAllBridges();
    ClearLog();
    Click(IDC_BTN_REFRESH_DEVICE);
    EXPECT_THAT(Log(), ElementsAre("Refreshing Device...", "The opened device is gone (unplugged or replaced)!",
                                   "Failed to open the selected device!", "", "No available device found!"));
    EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kOpenCaption);
}

TEST_F(DeviceTest, ABridgeThatCannotBeOpenedIsExplainedAfterAUserRefreshOnly) {
    auto bus = std::make_shared<ch347::model::FirmwareBus>();
    const int id = bus->Plug({});
    bus->InjectFault(id, ch347::model::Fault::AccessDenied, ch347::model::kAlways);
    ch347::SetBackend(ch347::MakeBackend(ch347::BackendChoice::Usb, bus));
    CreateWindow();
    EXPECT_TRUE(Log().empty());  // the start-up refresh stays silent
    Click(IDC_BTN_REFRESH_DEVICE);
    const std::vector<std::string> log = Log();
    ch347::SetBackend(nullptr);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "Refreshing Device...");
    EXPECT_THAT(log[1], ::testing::StartsWith("CH347T (1a86:55db) at bus 1 port 1: no permission"));
    EXPECT_EQ(log[2], "No available device found!");
}

// A session is bound to the physical bridge it opened: after a refresh the
// panel takes up only that bridge again, or ends the session loudly.
class SessionTest : public DevicePanelTest {
protected:
    void TearDown() override {
        DestroyWindow();
        ch347::SetBackend(nullptr);
        DevicePanelTest::TearDown();
    }
    void UseBridges(ch347::BackendChoice choice) { ch347::SetBackend(ch347::MakeBackend(choice, bus_)); }
    static int Count(const std::vector<std::string>& log, const std::string& text) {
        return static_cast<int>(std::count(log.begin(), log.end(), text));
    }
    // After the session ended: closed caption, the link library closed, and a
    // control change fails as with no device open.
    void ExpectSessionEnded() {
        EXPECT_EQ(libComm_GetDeviceOpenState(), 0);
        EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kOpenCaption);
        ClearLog();
        ChooseCombo(IDC_CMB_VIVID_ONOFF, 0);
        EXPECT_EQ(Count(Log(), "Failed to control, please open the device first!\n"), 1);
        for (const std::string& line : Log()) EXPECT_EQ(line.find("OK!"), std::string::npos) << line;
    }

    std::shared_ptr<ch347::model::FirmwareBus> bus_ = std::make_shared<ch347::model::FirmwareBus>();
};

TEST_F(SessionTest, AutoWithARealBridgeUnpluggedAndRefreshedDoesNotMoveToTheSimulator) {
    const int id = bus_->Plug({});
    UseBridges(ch347::BackendChoice::Auto);
    CreateWindow();
    OpenDevice();
    EXPECT_TRUE(bus_->Claimed(id));
    bus_->Unplug(id);
    ClearLog();
    Click(IDC_BTN_REFRESH_DEVICE);
    EXPECT_EQ(Count(Log(), "The opened device is gone (unplugged or replaced)!"), 1);
    EXPECT_EQ(Count(Log(), "Failed to open the selected device!"), 1);
    EXPECT_FALSE(sim::IsOpen(0));
    ExpectSessionEnded();
    // With nothing open, the next refresh may offer the simulator.
    Click(IDC_BTN_REFRESH_DEVICE);
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->itemText(0).toStdString(), kDefaultEntry);
    EXPECT_FALSE(sim::IsOpen(0));
}

TEST_F(SessionTest, AutoOnTheSimulatorStaysThereWhenARealBridgeIsPluggedIn) {
    UseBridges(ch347::BackendChoice::Auto);
    CreateWindow();
    OpenDevice();
    const int id = bus_->Plug({});
    Click(IDC_BTN_REFRESH_DEVICE);
    EXPECT_EQ(Combo(IDC_CMB_DEVICE_LIST)->itemText(0).toStdString(), kDefaultEntry);
    EXPECT_TRUE(sim::IsOpen(0));
    EXPECT_EQ(libComm_GetDeviceOpenState(), 1);
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kCloseCaption);
    EXPECT_FALSE(bus_->Claimed(id));
    EXPECT_EQ(bus_->Transfers(id).out, 0);
}

TEST_F(SessionTest, AnotherBridgeInTheSamePortOrAnotherIsNotReopened) {
    UseBridges(ch347::BackendChoice::Usb);
    for (std::uint8_t port : {1, 2}) {
        SCOPED_TRACE(port);
        ch347::model::BridgeLayout a;
        a.ports = {1};
        const int idA = bus_->Plug(a);
        CreateWindow();
        OpenDevice();
        ASSERT_TRUE(bus_->Claimed(idA));
        bus_->Unplug(idA);
        ch347::model::BridgeLayout b;
        b.ports = {port};
        const int idB = bus_->Plug(b);
        Click(IDC_BTN_REFRESH_DEVICE);
        EXPECT_FALSE(bus_->Claimed(idB));
        EXPECT_EQ(bus_->Transfers(idB).out, 0);
        ExpectSessionEnded();
        EXPECT_EQ(bus_->Transfers(idB).out, 0);
        // B is a bridge of its own that the user may open.
        Click(IDC_BTN_REFRESH_DEVICE);
        OpenDevice();
        EXPECT_TRUE(bus_->Claimed(idB));
        PressOpenCloseButton();
        bus_->Unplug(idB);
        DestroyWindow();
    }
}

TEST_F(SessionTest, AStuckBridgeIsToldOnceAndThePanelStaysUsable) {
    const int id = bus_->Plug({});
    UseBridges(ch347::BackendChoice::Usb);
    CreateWindow();
    OpenDevice();
    bus_->InjectFault(id, ch347::model::Fault::Timeout, ch347::model::kAlways);
    ClearLog();
    for (int step = 0; step < 10; ++step) Drag(IDC_SLIDER_COLOR_CORRECTION, {10 + step});
    EXPECT_EQ(Count(Log(), "The device stopped answering: close it and open it again!"), 1);
    EXPECT_EQ(Count(Log(), "Set Color Correction Intensity to 19 OK!"), 0);
    EXPECT_LE(bus_->Transfers(id).timeouts, 2);

    bus_->InjectFault(id, ch347::model::Fault::Timeout, 0);
    PressOpenCloseButton();
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), kOpenCaption);
    OpenDevice();
    ClearLog();
    Drag(IDC_SLIDER_COLOR_CORRECTION, {7});
    EXPECT_EQ(Count(Log(), "Set Color Correction Intensity to 7 OK!"), 1);
}
