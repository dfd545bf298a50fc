// Feature handlers of the main window driven as a user would, against the
// simulated chip: what reaches the chip, what the log says, what the controls show.
#include <functional>

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTest>

#include "Ch347Sim.h"
#include "SpiSettingFile.h"
#include "TunedeskDlg.h"
#include "spilink.h"
#include "support/gui_device_fixture.h"

using ::testing::ElementsAre;

namespace {

unsigned int Reg(unsigned int address) { return sim::GetRegister(0, 0x0400, address); }

}  // namespace

class FeaturesTest : public DevicePanelTest {
protected:
    // Window up, bridge 0 opened through the button, read-back done, log empty.
    void OpenFresh() {
        CreateWindow();
        OpenDevice();
        sim::ClearRecord(0);
        notes_->Clear();
        ClearLog();
    }
};

TEST_F(FeaturesTest, VividSliderLabelFollowsTheThumbAndTheChipIsWrittenOnceAtRelease) {
    OpenFresh();
    QSlider* slider = Slider(IDC_SLIDER_VIVID_INTENSITY);
    ASSERT_TRUE(slider->isEnabled());
    ASSERT_EQ(slider->value(), 130);

    slider->setSliderDown(true);
    for (int pos = 131; pos <= 200; ++pos) {
        slider->setSliderPosition(pos);
        if (pos == 160) {
            EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "160");
        }
    }
    EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "200");
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(sim::Inspect(0).writeCalls, 0);

    slider->setSliderDown(false);
    const std::vector<std::string> log = Log();
    EXPECT_EQ(Count(log, "Setting Vivid Intensity to 200..."), 1);
    EXPECT_EQ(CountPrefix(log, "Setting "), 1);
    EXPECT_EQ(log.front(), "Setting Vivid Intensity to 200...");
    EXPECT_EQ(Count(log, "Set Vivid Intensity to 200 OK!"), 1);
    EXPECT_EQ(log.back(), "");
    EXPECT_EQ(Reg(0x40080040) & 0xFF, 200u);
    EXPECT_EQ(sim::Inspect(0).writeCalls, 2);  // one read, one write
    ASSERT_EQ(notes_->Notes().size(), 1u);
    EXPECT_EQ(notes_->Notes()[0].message, WM_VIVID_INTENSITY);
    EXPECT_EQ(notes_->Notes()[0].value, 200u);

    // A key step is one action too: one write, at the key's release.
    ClearLog();
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "201");
    EXPECT_THAT(Count(Log(), "Setting Vivid Intensity to 201..."), 1);
    EXPECT_EQ(Reg(0x40080040) & 0xFF, 201u);
}

TEST_F(FeaturesTest, NoiseRemovalIntensityOnlyMovesItsLabel) {
    OpenFresh();
    Drag(IDC_SLIDER_NOISE_REMOVAL_INTENSITY, {1, 2, 3});
    EXPECT_EQ(Text(IDC_LABEL_NOISE_REMOVAL_INTENSITY), "3");
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(sim::Inspect(0).writeCalls, 0);
}

TEST_F(FeaturesTest, EverySliderWritesItsOwnFieldAndShowsTheValue) {
    OpenFresh();
    const unsigned int ec = Reg(0x40080034);
    Drag(IDC_SLIDER_SHARPENING_INTENSITY, {900});
    Drag(IDC_SLIDER_THRESHOLD, {77});
    Drag(IDC_SLIDER_BRIGHTNESS, {33});
    Drag(IDC_SLIDER_ADAPTIVE_CONTRAST, {201});
    Drag(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, {5});
    const std::vector<std::string> log = Log();
    for (const char* line :
         {"Setting Sharpening Intensity to 900...", "Set Sharpening Intensity to 900 OK!", "Setting Threshold to 77...",
          "Set Threshold to 77 OK!", "Setting Brightness to 33...", "Set Brightness to 33 OK!",
          "Setting Adaptive Contrast to 201...", "Set Adaptive Contrast to 201 OK!",
          "Setting Noise Remove Sensitivity to 5...", "Set Noise Remove Sensitivity to 5 OK!"})
        EXPECT_EQ(Count(log, line), 1) << line;
    EXPECT_EQ(Count(log, "failed"), 0);
    EXPECT_EQ((Reg(0x40080060) >> 8) & 0xFFFF, 900u);
    EXPECT_EQ(Reg(0x40080038), (77u << 8) | 33u);
    EXPECT_EQ(Reg(0x40080034), (ec & 0xFFFF00FF) | (201u << 8));  // on/off bits kept
    EXPECT_EQ(Reg(0x40080050) & 0xFF, 5u);
    EXPECT_EQ(Text(IDC_LABEL_THRESHOLD), "77");
    EXPECT_EQ(Slider(IDC_SLIDER_BRIGHTNESS)->value(), 33);
    EXPECT_EQ(Text(IDC_LABEL_ADAPTIVE_CONTRAST), "201");
}

TEST_F(FeaturesTest, SliderReleasesDoNothingWithoutADeviceOrWithTheirFeatureOff) {
    CreateWindow();
    // No device: no log line, no bus traffic.
    Drag(IDC_SLIDER_COLOR_CORRECTION, {12});
    Drag(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, {12});
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(sim::Inspect(0).writeCalls, 0);
    EXPECT_EQ(Text(IDC_LABEL_COLOR_CORRECTION), "12");

    OpenDevice();
    ChooseCombo(IDC_CMB_EXTENDED_CONTRAST_ONOFF, 0);
    EXPECT_FALSE(Slider(IDC_SLIDER_BRIGHTNESS)->isEnabled());
    EXPECT_EQ(Reg(0x40080034) & 0x4, 0u);
    sim::ClearRecord(0);
    ClearLog();
    // Extended Contrast off: Brightness, Threshold and Adaptive Contrast stay silent.
    for (const int id : {IDC_SLIDER_BRIGHTNESS, IDC_SLIDER_THRESHOLD, IDC_SLIDER_ADAPTIVE_CONTRAST}) {
        Slider(id)->setValue(80);
        dlg_->OnHScroll(TB_ENDTRACK, 80, Slider(id));
    }
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(sim::Inspect(0).writeCalls, 0);
    EXPECT_EQ(Text(IDC_LABEL_BRIGHTNESS), "80");
}

TEST_F(FeaturesTest, WithoutADeviceTheOnOffHandlersSayWhyInTheirOrder) {
    CreateWindow();
    ChooseCombo(IDC_CMB_VIVID_ONOFF, 1);
    EXPECT_THAT(Log(), ElementsAre("Failed to control, please open the device first!\n", ""));
    EXPECT_EQ(Combo(IDC_CMB_VIVID_ONOFF)->currentIndex(), 1);  // keeps the user's choice
    EXPECT_FALSE(Slider(IDC_SLIDER_VIVID_INTENSITY)->isEnabled());

    ClearLog();
    ChooseCombo(IDC_CMB_EXTENDED_CONTRAST_ONOFF, 1);
    EXPECT_THAT(Log(),
                ElementsAre("Handle Extended Contrast On...",
                            "Failed to control Extended Contrast On/Off State, please open the device first!\n", ""));

    ClearLog();
    ChooseCombo(IDC_CMB_SHARPENING_ONOFF, 1);
    Click(IDC_CHK_AUTO_BRIGHTNESS);  // disabled for the user; the handler still guards
    dlg_->OnBnClickedBtnAutoBrightness();
    Command(ID_MENU_THROUGH_DISP_ON);
    Click(IDC_BTN_WRITE_TEST_REG);
    Click(IDC_BTN_READ_TEST_REG);
    const std::vector<std::string> log = Log();
    EXPECT_EQ(Count(log, "Failed to control Sharpening On/Off State, please open the device first!\n"), 1);
    EXPECT_EQ(Count(log, "Failed to control Auto Brightness On/Off State, please open the device first!\n"), 1);
    EXPECT_EQ(Count(log, "Failed to control, please open the device first!\n"), 3);
    EXPECT_EQ(CountPrefix(log, "TX["), 0);
    EXPECT_EQ(dlg_->m_bThroughDisp.load(), 0);
}

TEST_F(FeaturesTest, OnOffCombosWriteTheirBitAndFollowWithTheEnabling) {
    OpenFresh();
    ChooseCombo(IDC_CMB_VIVID_ONOFF, 0);
    std::vector<std::string> log = Log();
    EXPECT_EQ(log.front(), "Handle Vividi Off...");
    EXPECT_EQ(Count(log, "Vividi OFF OK!"), 1);
    EXPECT_EQ(log.back(), "");
    EXPECT_EQ(Reg(0x4008003C) & 0x10, 0u);
    EXPECT_EQ(Reg(0x4008003C) & 0x4, 0x4u);  // Color Correction bit kept
    EXPECT_FALSE(Slider(IDC_SLIDER_VIVID_INTENSITY)->isEnabled());
    EXPECT_FALSE(Button(IDC_RADIO_VIVID_RANGE_LARGE)->isEnabled());

    ChooseCombo(IDC_CMB_SHARPENING_ONOFF, 0);
    EXPECT_EQ(Reg(0x40080014) & 0x4, 0u);
    EXPECT_FALSE(Slider(IDC_SLIDER_SHARPENING_INTENSITY)->isEnabled());
    ChooseCombo(IDC_CMB_EXTENDED_CONTRAST_ONOFF, 0);
    EXPECT_EQ(Reg(0x40080034) & 0x4, 0u);
    EXPECT_FALSE(Slider(IDC_SLIDER_THRESHOLD)->isEnabled());

    // A refused write: the combo shows the choice, the enabling stays as it was.
    ClearLog();
    OnRegisterLogLine(u"Vivid On/Off State: OFF!", [] { sim::InjectFault(0, sim::Fault::WriteRefused, 1); });
    ChooseCombo(IDC_CMB_VIVID_ONOFF, 1);
    log = Log();
    EXPECT_EQ(Count(log, "Vividi ON failed!"), 1);
    EXPECT_EQ(log.back(), "");
    EXPECT_EQ(Combo(IDC_CMB_VIVID_ONOFF)->currentIndex(), 1);
    EXPECT_FALSE(Slider(IDC_SLIDER_VIVID_INTENSITY)->isEnabled());
    EXPECT_EQ(Reg(0x4008003C) & 0x10, 0u);
}

TEST_F(FeaturesTest, ColorCorrectionAndNoiseRemoveAreSwitchedOnBeforeTheirValue) {
    sim::SetRegister(0, 0x0400, 0x4008003C, 0x11);  // Vivid on, Color Correction off, Noise Remove off
    OpenFresh();
    Drag(IDC_SLIDER_COLOR_CORRECTION, {40});
    std::vector<std::string> log = Log();
    const int state = IndexOf(log, "Color Correction On/Off State: OFF!");
    const int on = IndexOf(log, "Color Correction ON OK!");
    const int setting = IndexOf(log, "Setting Color Correction to 40...");
    const int written = IndexOf(log, "Set Color Correction Intensity to 40 OK!");
    EXPECT_EQ(state, 3);  // after the read's TX, RX and REG lines
    EXPECT_GT(on, state);
    EXPECT_GT(setting, on);
    EXPECT_GT(written, setting);
    EXPECT_EQ(Reg(0x4008003C), 0x15u);
    EXPECT_EQ(Reg(0x40080048), 40u << 10);
    EXPECT_EQ(Slider(IDC_SLIDER_COLOR_CORRECTION)->value(), 40);
    EXPECT_EQ(Text(IDC_LABEL_COLOR_CORRECTION), "40");

    // Already on: straight to the setting.
    ClearLog();
    Drag(IDC_SLIDER_COLOR_CORRECTION, {41});
    log = Log();
    EXPECT_EQ(Count(log, "Color Correction ON OK!"), 0);
    EXPECT_EQ(Count(log, "Set Color Correction Intensity to 41 OK!"), 1);

    // Switching on fails: a blank line, and the value is not written.
    sim::SetRegister(0, 0x0400, 0x4008003C, 0x11);
    ClearLog();
    OnRegisterLogLine(u"Color Correction On/Off State: OFF!", [] { sim::InjectFault(0, sim::Fault::WriteRefused, 1); });
    Drag(IDC_SLIDER_COLOR_CORRECTION, {10});
    log = Log();
    EXPECT_EQ(Count(log, "Color Correction ON failed!"), 1);
    EXPECT_EQ(Reg(0x4008003C), 0x11u);
    EXPECT_EQ(CountPrefix(log, "Setting Color Correction"), 0);
    EXPECT_EQ(log.back(), "");
    EXPECT_EQ(Reg(0x40080048), 41u << 10);

    // Noise Remove: on is the pattern 2 in bits 0-1.
    ClearLog();
    Drag(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, {99});
    log = Log();
    EXPECT_LT(IndexOf(log, "Noise Remove ON OK!"), IndexOf(log, "Setting Noise Remove Sensitivity to 99..."));
    EXPECT_EQ(Reg(0x4008003C) & 0x3, 0x2u);
    EXPECT_EQ(Reg(0x40080050) & 0xFF, 99u);
}

TEST_F(FeaturesTest, AFailedRegisterReadWritesNothing) {
    OpenFresh();  // Vivid on at power-on: its slider and radios act
    const unsigned int before[3] = {Reg(0x4008003C), Reg(0x4008000C), Reg(0x40080040)};
    auto withReadRefused = [&](const char* what, const std::function<void()>& action) {
        sim::ClearRecord(0);
        ClearLog();
        notes_->Clear();
        ASSERT_TRUE(sim::InjectFault(0, sim::Fault::ReadRefused));
        action();
        EXPECT_EQ(sim::Inspect(0).writeCalls, 1) << what << ": only the read request reaches the bridge";
        const std::vector<std::string> log = Log();
        EXPECT_EQ(Count(log, "Read SPI failed!"), 1) << what;
        EXPECT_EQ(CountPrefix(log, "Set "), 0) << what;
        EXPECT_EQ(log.back(), "") << what;
        EXPECT_TRUE(notes_->Notes().empty()) << what;
    };
    withReadRefused("slider", [&] { Drag(IDC_SLIDER_VIVID_INTENSITY, {200}); });
    EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "200");  // the user's value stays shown
    withReadRefused("radio", [&] { Click(IDC_RADIO_VIVID_RANGE_SMALL); });
    withReadRefused("combo", [&] { ChooseCombo(IDC_CMB_VIVID_ONOFF, 0); });
    EXPECT_TRUE(Slider(IDC_SLIDER_VIVID_INTENSITY)->isEnabled());  // enabling follows the chip, not the choice
    EXPECT_EQ(Reg(0x4008003C), before[0]);
    EXPECT_EQ(Reg(0x4008000C), before[1]);
    EXPECT_EQ(Reg(0x40080040), before[2]);
}

TEST_F(FeaturesTest, AutoBrightnessTogglesTheBrightnessSlider) {
    OpenFresh();
    ASSERT_EQ(Combo(IDC_CMB_EXTENDED_CONTRAST_ONOFF)->currentIndex(), 1);
    ASSERT_TRUE(Slider(IDC_SLIDER_BRIGHTNESS)->isEnabled());
    Click(IDC_CHK_AUTO_BRIGHTNESS);
    std::vector<std::string> log = Log();
    EXPECT_EQ(log.front(), "Handle Auto Brightness On...");
    EXPECT_EQ(Count(log, "Auto Brightness ON OK!"), 1);
    EXPECT_EQ(Reg(0x40080034) & 0x2, 0x2u);
    EXPECT_FALSE(Slider(IDC_SLIDER_BRIGHTNESS)->isEnabled());

    Click(IDC_CHK_AUTO_BRIGHTNESS);
    EXPECT_EQ(Reg(0x40080034) & 0x2, 0u);
    EXPECT_TRUE(Slider(IDC_SLIDER_BRIGHTNESS)->isEnabled());
}

TEST_F(FeaturesTest, ProcessingAreaRadiosWriteTheirPresetWithoutAnOpenCheck) {
    CreateWindow();
    // Nothing opened yet: the transactions fail and say so; the radio stays checked.
    Click(IDC_RADIO_AREA_CENTER);
    std::vector<std::string> log = Log();
    EXPECT_EQ(CountPrefix(log, "TX[Len=10]: "), 1);
    EXPECT_EQ(Count(log, "Write SPI failed!"), 1);
    EXPECT_EQ(CountPrefix(log, "Set Horizontal Offset"), 0);
    EXPECT_TRUE(Button(IDC_RADIO_AREA_CENTER)->isChecked());

    // The link library reports no open device (a failed open elsewhere cleared
    // its flag) while bridge 0 is still open: "中心" still writes the centre.
    OpenDevice();
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    ASSERT_EQ(libComm_OpenDevice(5, config), 0);
    ASSERT_EQ(libComm_GetDeviceOpenState(), 0);
    ClearLog();
    Click(IDC_RADIO_AREA_CENTER);
    EXPECT_EQ(Reg(0x4008001C), 480u);
    EXPECT_EQ(Reg(0x40080024), 270u);
    EXPECT_EQ(Reg(0x40080020), 960u);
    EXPECT_EQ(Reg(0x40080028), 540u);
    log = Log();
    EXPECT_EQ(Count(log, "Set Horizontal Offset to 480 OK!\n"), 1);
    EXPECT_EQ(Count(log, "Set Height to 540 OK!\n"), 1);
    EXPECT_TRUE(Button(IDC_RADIO_AREA_CENTER)->isChecked());

    Click(IDC_RADIO_AREA_RIGHT);
    EXPECT_EQ(Reg(0x4008001C), 960u);
    EXPECT_EQ(Reg(0x40080028), 1080u);
    EXPECT_FALSE(Button(IDC_RADIO_AREA_CENTER)->isChecked());
    Click(IDC_RADIO_AREA_LEFT);
    EXPECT_EQ(Reg(0x4008001C), 0u);
    EXPECT_EQ(Reg(0x40080020), 960u);
    Click(IDC_RADIO_AREA_ALL);
    EXPECT_EQ(Reg(0x40080020), 1920u);
    libComm_CloseDevice(0);
}

TEST_F(FeaturesTest, RangeAndSizeRadiosWriteWhileTheirFeatureIsOn) {
    OpenFresh();
    Click(IDC_RADIO_VIVID_RANGE_SMALL);
    std::vector<std::string> log = Log();
    EXPECT_EQ(log.front(), "Setting Vivid Range to Small...");
    EXPECT_EQ(Count(log, "Set Vivid Range OK!"), 1);
    EXPECT_EQ((Reg(0x4008000C) >> 20) & 0xF, 0x9u);

    ClearLog();
    Click(IDC_RADIO_SHARPENING_LARGE);
    log = Log();
    EXPECT_EQ(log.front(), "Setting Sharpening Process Size to Large...");
    EXPECT_EQ(Count(log, "Set Sharpening Process Size to Large OK!"), 1);
    EXPECT_EQ(Reg(0x40088000 + 4 * 60), 29568u);
    EXPECT_EQ(Reg(0x40088000 + 4 * 24), static_cast<unsigned int>(-8));

    // Sharpening off: the size radio writes nothing.
    ChooseCombo(IDC_CMB_SHARPENING_ONOFF, 0);
    sim::ClearRecord(0);
    ClearLog();
    dlg_->ApplySharpeningProcessSize(2);
    dlg_->ApplySharpeningIntensity(5);
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(sim::Inspect(0).writeCalls, 0);
}

TEST_F(FeaturesTest, ThroughDisplayAndTheHiddenTestButtons) {
    OpenFresh();
    Command(ID_MENU_THROUGH_DISP_ON);
    std::vector<std::string> log = Log();
    EXPECT_EQ(log.front(), "Handle Navo Through Display ON...");
    EXPECT_EQ(Count(log, "Navo Through Display ON OK!"), 1);
    EXPECT_EQ(Reg(0x40080018) & (1u << 9), 1u << 9);
    EXPECT_EQ(dlg_->m_bThroughDisp.load(), 1);
    EXPECT_FALSE(dlg_->GetMenuItem(ID_MENU_THROUGH_DISP_ON)->isEnabled());
    EXPECT_TRUE(dlg_->GetMenuItem(ID_MENU_THROUGH_DISP_OFF)->isEnabled());
    Command(ID_MENU_THROUGH_DISP_OFF);
    EXPECT_EQ(Reg(0x40080018) & (1u << 9), 0u);
    EXPECT_EQ(dlg_->m_bThroughDisp.load(), 0);

    ClearLog();
    Click(IDC_BTN_WRITE_TEST_REG);
    const unsigned int written = Reg(0x40080060);
    EXPECT_LE(written, 0xFFFFFFu);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Write Register: 0x40080060, Value: 0x%08X OK!", written);
    EXPECT_EQ(Count(Log(), expected), 1);

    ClearLog();
    Click(IDC_BTN_READ_TEST_REG);
    log = Log();
    std::snprintf(expected, sizeof expected, "REG: 0x40080060, Value: 0x%08X", written);
    EXPECT_EQ(Count(log, expected), 1);
    EXPECT_EQ(log.back(), "");
}

// As a new user would: open, change every control, then start over with a new
// window (as after restarting the program) and find the chip's values read back.
TEST_F(FeaturesTest, EveryChangeIsReadBackByTheNextSession) {
    OpenFresh();
    ChooseCombo(IDC_CMB_VIVID_ONOFF, 1);
    Click(IDC_RADIO_VIVID_RANGE_LARGE);
    Drag(IDC_SLIDER_VIVID_INTENSITY, {140, 180});
    Drag(IDC_SLIDER_SHARPENING_INTENSITY, {512});
    Click(IDC_RADIO_SHARPENING_SMALL);
    Drag(IDC_SLIDER_THRESHOLD, {64});
    Drag(IDC_SLIDER_BRIGHTNESS, {90});
    Drag(IDC_SLIDER_ADAPTIVE_CONTRAST, {17});
    Click(IDC_CHK_AUTO_BRIGHTNESS);
    Drag(IDC_SLIDER_COLOR_CORRECTION, {50});
    Drag(IDC_SLIDER_NOISE_REMOVAL_INTENSITY, {2});
    Drag(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, {222});
    Click(IDC_RADIO_AREA_LEFT);
    Command(ID_MENU_THROUGH_DISP_ON);
    ChooseCombo(IDC_CMB_SHARPENING_ONOFF, 0);
    for (const auto& line : Log()) EXPECT_EQ(line.find("failed"), std::string::npos) << line;
    PressOpenCloseButton();
    DestroyWindow();

    CreateWindow();
    OpenDevice();
    EXPECT_EQ(Combo(IDC_CMB_VIVID_ONOFF)->currentIndex(), 1);
    EXPECT_TRUE(Button(IDC_RADIO_VIVID_RANGE_LARGE)->isChecked());
    EXPECT_EQ(Text(IDC_LABEL_VIVID_INTENSITY), "180");
    EXPECT_EQ(Combo(IDC_CMB_SHARPENING_ONOFF)->currentIndex(), 0);
    EXPECT_FALSE(Slider(IDC_SLIDER_SHARPENING_INTENSITY)->isEnabled());
    EXPECT_EQ(Text(IDC_LABEL_SHARPENING_INTENSITY), "512");
    EXPECT_EQ(Text(IDC_LABEL_THRESHOLD), "64");
    EXPECT_EQ(Text(IDC_LABEL_BRIGHTNESS), "90");
    EXPECT_EQ(Text(IDC_LABEL_ADAPTIVE_CONTRAST), "17");
    EXPECT_TRUE(Button(IDC_CHK_AUTO_BRIGHTNESS)->isChecked());
    EXPECT_EQ(Text(IDC_LABEL_COLOR_CORRECTION), "50");
    EXPECT_EQ(Text(IDC_LABEL_NOISE_REMOVE_SENSITIVITY), "222");
    EXPECT_TRUE(Button(IDC_RADIO_AREA_LEFT)->isChecked());
    EXPECT_EQ(dlg_->m_bThroughDisp.load(), 1);
    dlg_->UpdateThroughDispMenu();  // what opening the menu does
    EXPECT_TRUE(dlg_->GetMenuItem(ID_MENU_THROUGH_DISP_OFF)->isEnabled());
    // Neither the Noise Removal intensity nor the sharpening size is read back.
    EXPECT_EQ(Text(IDC_LABEL_NOISE_REMOVAL_INTENSITY), "0");
    EXPECT_FALSE(Button(IDC_RADIO_SHARPENING_SMALL)->isChecked());
}
