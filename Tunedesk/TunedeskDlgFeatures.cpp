// Feature handlers of the main window: ON/OFF combos, sliders, radios,
// through display and the hidden test buttons.
//
// Every chip change is a read-modify-write: the register is read for its raw
// value, and after a 1 ms pause (the chip needs it between a read and the
// following write) only the feature's bit field is replaced and written back.
#include "TunedeskDlg.h"

#include <ctime>
#include <random>

#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include "SPIUtil.h"
#include "StrFormat.h"
#include "TimeUtil.h"
#include "spilink.h"
#include "trace.h"

namespace {

constexpr int kComboOn = 1;

bool DeviceOpen() { return libComm_GetDeviceOpenState() != 0; }

unsigned long DeviceArg(int index) { return static_cast<unsigned long>(static_cast<long>(index)); }

// Reads the raw register value, pauses, and hands it to `write`; true when the
// write succeeded. The read and write operations log their own outcome.
template <class ReadRaw, class Write>
bool ReadThenWrite(bool traceRaw, ReadRaw readRaw, Write write) {
    unsigned int raw = 0;
    if (!readRaw(raw)) return false;
    if (traceRaw) TD_TRACEF("nOriginRegValue = %08X \r\n", raw);
    WexSleep(1);
    return write(raw);
}

// A slider or radio apply: the setting line, the read-modify-write, then a
// blank separator line whatever happened.
template <class ReadRaw, class Write, class Done>
void ApplySetting(const std::u16string& text, bool traceRaw, ReadRaw readRaw, Write write, Done done) {
    CTunedeskDlg::AddLog(text);
    if (ReadThenWrite(traceRaw, readRaw, write)) done();
    CTunedeskDlg::AddLog(u"");
}

const char16_t* SizeName(int size) {
    switch (size) {
    case 0: return u"Large";
    case 1: return u"Medium";
    default: return u"Small";
    }
}

const char16_t* OnOffText(int on, const char16_t* offText, const char16_t* onText) {
    return on == 0 ? offText : onText;
}

}  // namespace

// ---------------------------------------------------------------------------
// ON/OFF combos and the Auto Brightness check box

void CTunedeskDlg::OnCbnSelChangedVividiOnOff() {
    const int sel = ComboSel(IDC_CMB_VIVID_ONOFF);
    TD_TRACEF("OnCbnSelChangedVividiOnOff: %d \r\n", sel);
    if (!DeviceOpen()) {
        AddLog(u"Failed to control, please open the device first!\n");
        return;
    }
    m_nDevIndex = SelectedDevice();
    const unsigned long dev = DeviceArg(m_nDevIndex);
    AddLog(OnOffText(sel, u"Handle Vividi Off...", u"Handle Vividi On..."));
    const bool written = ReadThenWrite(
        true,
        [&](unsigned int& raw) {
            unsigned int on = 0;
            return GetVividOnOffState(dev, &on, nullptr, nullptr, &raw);
        },
        [&](unsigned int raw) { return SetVividiOnOff(dev, raw, static_cast<unsigned int>(sel)); });
    if (written) EnableVividCtrls(sel != 0);
    AddLog(u"");
}

void CTunedeskDlg::OnCbnSelChangedSharpeningOnOff() {
    const int sel = ComboSel(IDC_CMB_SHARPENING_ONOFF);
    TD_TRACEF("OnCbnSelChangedSharpeningOnOff: %d \r\n", sel);
    if (!DeviceOpen()) {
        AddLog(u"Failed to control Sharpening On/Off State, please open the device first!\n");
        return;
    }
    m_nDevIndex = SelectedDevice();
    const unsigned long dev = DeviceArg(m_nDevIndex);
    AddLog(OnOffText(sel, u"Handle Sharpening Off...", u"Handle Sharpening On..."));
    const bool written = ReadThenWrite(
        true,
        [&](unsigned int& raw) {
            unsigned int on = 0;
            return GetSharpeningOnOffState(dev, &on, &raw);
        },
        [&](unsigned int raw) { return SetSharpeningOnOff(dev, raw, static_cast<unsigned int>(sel)); });
    if (written) EnableSharpeningCtrls(sel != 0);
    AddLog(u"");
}

void CTunedeskDlg::OnCbnSelChangedExtendedContrastOnOff() {
    const int sel = ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF);
    AddLog(OnOffText(sel, u"Handle Extended Contrast Off...", u"Handle Extended Contrast On..."));
    TD_TRACEF("OnCbnSelChangedExtendedContrastOnOff: %d \r\n", sel);
    if (!DeviceOpen()) {
        AddLog(u"Failed to control Extended Contrast On/Off State, please open the device first!\n");
        return;
    }
    m_nDevIndex = SelectedDevice();
    const unsigned long dev = DeviceArg(m_nDevIndex);
    const bool written = ReadThenWrite(
        true,
        [&](unsigned int& raw) {
            unsigned int on = 0;
            return GetExtendedContrastParameters(dev, &on, nullptr, nullptr, &raw);
        },
        [&](unsigned int raw) { return SetExtendedContrastOnOff(dev, raw, static_cast<unsigned int>(sel)); });
    if (written) EnableExtendedContrastCtrls(sel != 0);
    AddLog(u"");
}

void CTunedeskDlg::OnBnClickedBtnAutoBrightness() {
    const int checked = IsChecked(IDC_CHK_AUTO_BRIGHTNESS) ? 1 : 0;
    AddLog(OnOffText(checked, u"Handle Auto Brightness Off...", u"Handle Auto Brightness On..."));
    TD_TRACEF("OnBnClickedBtnAutoBrightness: %d \r\n", checked);
    if (!DeviceOpen()) {
        AddLog(u"Failed to control Auto Brightness On/Off State, please open the device first!\n");
        return;
    }
    m_nDevIndex = SelectedDevice();
    const unsigned long dev = DeviceArg(m_nDevIndex);
    const bool written = ReadThenWrite(
        true,
        [&](unsigned int& raw) {
            unsigned int on = 0;
            return GetExtendedContrastParameters(dev, nullptr, &on, nullptr, &raw);
        },
        [&](unsigned int raw) { return SetAutoBrightnessOnOff(dev, raw, static_cast<unsigned int>(checked)); });
    if (written) {
        // The chip sets the brightness itself while Auto Brightness is on.
        GetDlgItem(IDC_SLIDER_BRIGHTNESS)->setEnabled(ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF) != 0 && checked == 0);
        GetDlgItem(IDC_LABEL_BRIGHTNESS)->update();
    }
    AddLog(u"");
}

// ---------------------------------------------------------------------------
// Through display

void CTunedeskDlg::HandleNavoThroughDispOnOff(int on) {
    TD_TRACEF("HandleNavoThroughDispOnOff: %d \r\n", on);
    if (!DeviceOpen()) {
        AddLog(u"Failed to control, please open the device first!\n");
        return;
    }
    m_nDevIndex = SelectedDevice();
    const unsigned long dev = DeviceArg(m_nDevIndex);
    AddLog(StrFormat(u"Handle Navo Through Display %s...", on != 0 ? u"ON" : u"OFF"));
    const bool written = ReadThenWrite(
        true,
        [&](unsigned int& raw) {
            unsigned int state = 0;
            return GetNavoThroughDisplayOnOffState(dev, &state, &raw);
        },
        [&](unsigned int raw) { return SetNavoThroughDisplay(dev, raw, static_cast<unsigned int>(on)); });
    if (written) {
        m_bThroughDisp = on;
        UpdateThroughDispMenu();
    }
    AddLog(u"");
}

// ---------------------------------------------------------------------------
// Sliders

void CTunedeskDlg::OnHScroll(unsigned nSBCode, unsigned /*nPos*/, QSlider* pSlider) {
    struct SliderRoute {
        int slider;
        int label;
        void (CTunedeskDlg::*apply)(int);  // null: the slider only moves its label
    };
    static constexpr SliderRoute kRoutes[] = {
        {IDC_SLIDER_VIVID_INTENSITY, IDC_LABEL_VIVID_INTENSITY, &CTunedeskDlg::ApplyVividIntensity},
        {IDC_SLIDER_SHARPENING_INTENSITY, IDC_LABEL_SHARPENING_INTENSITY, &CTunedeskDlg::ApplySharpeningIntensity},
        {IDC_SLIDER_THRESHOLD, IDC_LABEL_THRESHOLD, &CTunedeskDlg::ApplyThreshold},
        {IDC_SLIDER_BRIGHTNESS, IDC_LABEL_BRIGHTNESS, &CTunedeskDlg::ApplyBrightness},
        {IDC_SLIDER_ADAPTIVE_CONTRAST, IDC_LABEL_ADAPTIVE_CONTRAST, &CTunedeskDlg::ApplyAdaptiveContrast},
        {IDC_SLIDER_COLOR_CORRECTION, IDC_LABEL_COLOR_CORRECTION, &CTunedeskDlg::ApplyColorCorrection},
        {IDC_SLIDER_NOISE_REMOVAL_INTENSITY, IDC_LABEL_NOISE_REMOVAL_INTENSITY, nullptr},
        {IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, IDC_LABEL_NOISE_REMOVE_SENSITIVITY,
         &CTunedeskDlg::ApplyNoiseRemoveSensitivity},
    };
    if (pSlider == nullptr) return;
    for (const SliderRoute& route : kRoutes) {
        if (GetDlgItem(route.slider) != pSlider) continue;
        const int pos = pSlider->sliderPosition();
        Item<QLabel>(route.label)->setText(QString::fromStdU16String(StrFormat(u"%d", pos)));
        // The label follows the thumb; the chip is written once per finished action.
        if (nSBCode == TB_ENDTRACK && route.apply != nullptr) (this->*route.apply)(pos);
        return;
    }
}

void CTunedeskDlg::ApplyVividIntensity(int value) {
    if (!DeviceOpen() || ComboSel(IDC_CMB_VIVID_ONOFF) != kComboOn) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    ApplySetting(
        StrFormat(u"Setting Vivid Intensity to %d...", value), false,
        [&](unsigned int& raw) { return GetVividIntensity(dev, nullptr, &raw); },
        [&](unsigned int raw) { return SetVividIntensity(dev, raw, static_cast<unsigned int>(value)); },
        [&] { PostMessage(this, WM_VIVID_INTENSITY, static_cast<quintptr>(value), 0); });
}

void CTunedeskDlg::ApplySharpeningIntensity(int value) {
    if (!DeviceOpen() || ComboSel(IDC_CMB_SHARPENING_ONOFF) != kComboOn) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    ApplySetting(
        StrFormat(u"Setting Sharpening Intensity to %d...", value), false,
        [&](unsigned int& raw) { return GetSharpeningIntensity(dev, nullptr, &raw); },
        [&](unsigned int raw) { return SetSharpeningIntensity(dev, raw, static_cast<unsigned int>(value)); },
        [&] { PostMessage(this, WM_SHARPENING_INTENSITY, static_cast<quintptr>(value), 0); });
}

void CTunedeskDlg::ApplyThreshold(int value) {
    if (!DeviceOpen() || ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF) != kComboOn) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    ApplySetting(
        StrFormat(u"Setting Threshold to %d...", value), true,
        [&](unsigned int& raw) {
            unsigned int threshold = 0;
            return GetBrightnessAndThreshold(dev, nullptr, &threshold, &raw);
        },
        [&](unsigned int raw) { return SetThreshold(dev, raw, static_cast<unsigned int>(value)); },
        [&] { PostMessage(this, WM_THRESHOLD, static_cast<quintptr>(value), 0); });
}

void CTunedeskDlg::ApplyBrightness(int value) {
    if (!DeviceOpen() || ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF) != kComboOn) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    ApplySetting(
        StrFormat(u"Setting Brightness to %d...", value), true,
        [&](unsigned int& raw) {
            unsigned int brightness = 0;
            return GetBrightnessAndThreshold(dev, &brightness, nullptr, &raw);
        },
        [&](unsigned int raw) { return SetBrightness(dev, raw, static_cast<unsigned int>(value)); },
        [&] { PostMessage(this, WM_BRIGHTNESS, static_cast<quintptr>(value), 0); });
}

void CTunedeskDlg::ApplyAdaptiveContrast(int value) {
    if (!DeviceOpen() || ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF) != kComboOn) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    ApplySetting(
        StrFormat(u"Setting Adaptive Contrast to %d...", value), true,
        [&](unsigned int& raw) { return GetExtendedContrastParameters(dev, nullptr, nullptr, nullptr, &raw); },
        [&](unsigned int raw) { return SetAdaptiveContrast(dev, raw, static_cast<unsigned int>(value)); },
        [&] { PostMessage(this, WM_ADAPTIVE_CONTRAST, static_cast<quintptr>(value), 0); });
}

void CTunedeskDlg::ApplyColorCorrection(int value) {
    if (!DeviceOpen()) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    // The intensity has no effect while Color Correction is off in the chip,
    // and no control shows that state: switch it on first.
    unsigned int on = 0, raw = 0;
    if (GetVividOnOffState(dev, nullptr, &on, nullptr, &raw) && on == 0) {
        WexSleep(1);
        if (!SetColorCorrectionOnOff(dev, raw, 1)) {
            AddLog(u"");
            return;
        }
        WexSleep(1);
    }
    ApplySetting(
        StrFormat(u"Setting Color Correction to %d...", value), true,
        [&](unsigned int& current) {
            unsigned int intensity = 0;
            return GetColorCorrectionIntensity(dev, &intensity, &current);
        },
        [&](unsigned int current) {
            return SetColorCorrectionIntensity(dev, current, static_cast<unsigned int>(value));
        },
        [&] { PostMessage(this, WM_COLOR_CORRECTION, static_cast<quintptr>(value), 0); });
}

void CTunedeskDlg::ApplyNoiseRemoveSensitivity(int value) {
    if (!DeviceOpen()) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    // As Color Correction: the sensitivity only matters with Noise Remove on.
    unsigned int on = 0, raw = 0;
    if (GetVividOnOffState(dev, nullptr, nullptr, &on, &raw) && on == 0) {
        WexSleep(1);
        if (!SetNoiseRemoveOnOff(dev, raw, 1)) {
            AddLog(u"");
            return;
        }
        WexSleep(1);
    }
    ApplySetting(
        StrFormat(u"Setting Noise Remove Sensitivity to %d...", value), true,
        [&](unsigned int& current) {
            unsigned int sensitivity = 0;
            return GetRemoveNoiseSensitivity(dev, &sensitivity, &current);
        },
        [&](unsigned int current) { return SetNoiseRemoveSensitivity(dev, current, static_cast<unsigned int>(value)); },
        [&] { PostMessage(this, WM_NOISE_REMOVE_SENSITIVITY, static_cast<quintptr>(value), 0); });
}

// ---------------------------------------------------------------------------
// Vivid range and Sharpening process size radios

void CTunedeskDlg::ApplyVividRange(int range) {
    if (!DeviceOpen() || ComboSel(IDC_CMB_VIVID_ONOFF) != kComboOn) return;
    const unsigned long dev = DeviceArg(m_nDevIndex);
    // SetVividRange logs its own outcome; the radio stays on the user's choice.
    ApplySetting(
        StrFormat(u"Setting Vivid Range to %s...", SizeName(range)), false,
        [&](unsigned int& raw) { return GetVividRange(dev, nullptr, &raw); },
        [&](unsigned int raw) { return SetVividRange(dev, raw, static_cast<unsigned int>(range)); }, [] {});
}

void CTunedeskDlg::ApplySharpeningProcessSize(int size) {
    if (!DeviceOpen() || ComboSel(IDC_CMB_SHARPENING_ONOFF) != kComboOn) return;
    // The kernel is written whole, so there is nothing to read first.
    AddLog(StrFormat(u"Setting Sharpening Process Size to %s...", SizeName(size)));
    SetSharpeningProcessSize(DeviceArg(m_nDevIndex), static_cast<unsigned int>(size));
    AddLog(u"");
}

// ---------------------------------------------------------------------------
// Processing area radios: no open check of their own; a closed device shows
// as failed transactions in the log.

void CTunedeskDlg::OnBnClickedRadioAreaAll() {
    const ProcessingAreaPreset& a = kProcessingAreaPresets[kAreaAll];
    SetVideoProcessingArea(DeviceArg(m_nDevIndex), a.hOffset, a.vOffset, a.width, a.height);
}

void CTunedeskDlg::OnBnClickedRadioAreaCenter() {
    const ProcessingAreaPreset& a = kProcessingAreaPresets[kAreaCenter];
    SetVideoProcessingArea(DeviceArg(m_nDevIndex), a.hOffset, a.vOffset, a.width, a.height);
}

void CTunedeskDlg::OnBnClickedRadioAreaLeft() {
    const ProcessingAreaPreset& a = kProcessingAreaPresets[kAreaLeft];
    SetVideoProcessingArea(DeviceArg(m_nDevIndex), a.hOffset, a.vOffset, a.width, a.height);
}

void CTunedeskDlg::OnBnClickedRadioAreaRight() {
    const ProcessingAreaPreset& a = kProcessingAreaPresets[kAreaRight];
    SetVideoProcessingArea(DeviceArg(m_nDevIndex), a.hOffset, a.vOffset, a.width, a.height);
}

// ---------------------------------------------------------------------------
// Hidden test buttons: a write and a read of the Sharpening intensity register.

void CTunedeskDlg::OnBnClickedBtnWriteTestReg() {
    if (!DeviceOpen()) {
        AddLog(u"Failed to control, please open the device first!\n");
        return;
    }
    std::minstd_rand random(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
    const unsigned int value = static_cast<unsigned int>(random()) & 0xFFFFFFu;
    WriteRegister(DeviceArg(m_nDevIndex), kRegSharpeningIntensity, value, kWriteCommand);
}

void CTunedeskDlg::OnBnClickedBtnReadTestReg() {
    if (!DeviceOpen()) {
        AddLog(u"Failed to control, please open the device first!\n");
        return;
    }
    unsigned int value = 0;
    ReadRegister(DeviceArg(m_nDevIndex), kRegSharpeningIntensity, value, kReadCommand);
    AddLog(u"");
}
