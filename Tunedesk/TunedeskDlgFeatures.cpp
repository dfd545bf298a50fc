// Feature handlers of the main window: ON/OFF combos, sliders, radios,
// through display and the hidden test buttons.
//
// Every chip change goes through the feature table (Features.h): a
// read-modify-write of the feature's register, with the 1 ms pause the chip
// needs between a read and the following write.
#include "TunedeskDlg.h"

#include <ctime>
#include <random>

#include <QComboBox>
#include <QLabel>
#include <QSlider>

#include "Features.h"
#include "SPIUtil.h"
#include "StrFormat.h"
#include "spilink.h"
#include "trace.h"

namespace {

constexpr int kComboOn = 1;

// The ON/OFF controls read the current state (the getter logs it) and trace the raw value.
constexpr features::WriteOptions kSwitch{.logCurrent = true, .traceRaw = true};

bool DeviceOpen() { return libComm_GetDeviceOpenState() != 0; }

unsigned long DeviceArg(int index) { return static_cast<unsigned long>(static_cast<long>(index)); }

// The combo that shows a function's state; a feature of that function with
// WhenOff::Skip is written only while it shows ON.
int FunctionCombo(const features::Feature& function) {
    static constexpr struct {
        const char* function;
        int combo;
    } kCombos[] = {{"vivid", IDC_CMB_VIVID_ONOFF},
                   {"sharpening", IDC_CMB_SHARPENING_ONOFF},
                   {"contrast", IDC_CMB_EXTENDED_CONTRAST_ONOFF}};
    for (const auto& c : kCombos)
        if (std::string_view(c.function) == function.name) return c.combo;
    return 0;
}

// An ON/OFF control (combo, check box or menu command) and its texts.
struct OnOffControl {
    const char* feature;
    const char* handler;      // named in the debug trace with the new state
    const char16_t* closed;   // logged when no device is open
    const char16_t* offText;  // logged before the write
    const char16_t* onText;
    bool textFirst = false;  // the off/on text comes before the trace and the open check
};
constexpr OnOffControl kVividSwitch{.feature = "vivid",
                                    .handler = "OnCbnSelChangedVividiOnOff",
                                    .closed = u"Failed to control, please open the device first!\n",
                                    .offText = u"Handle Vividi Off...",
                                    .onText = u"Handle Vividi On..."};
constexpr OnOffControl kSharpeningSwitch{
    .feature = "sharpening",
    .handler = "OnCbnSelChangedSharpeningOnOff",
    .closed = u"Failed to control Sharpening On/Off State, please open the device first!\n",
    .offText = u"Handle Sharpening Off...",
    .onText = u"Handle Sharpening On..."};
constexpr OnOffControl kExtendedContrastSwitch{
    .feature = "contrast",
    .handler = "OnCbnSelChangedExtendedContrastOnOff",
    .closed = u"Failed to control Extended Contrast On/Off State, please open the device first!\n",
    .offText = u"Handle Extended Contrast Off...",
    .onText = u"Handle Extended Contrast On...",
    .textFirst = true};
constexpr OnOffControl kAutoBrightnessSwitch{
    .feature = "contrast.auto-brightness",
    .handler = "OnBnClickedBtnAutoBrightness",
    .closed = u"Failed to control Auto Brightness On/Off State, please open the device first!\n",
    .offText = u"Handle Auto Brightness Off...",
    .onText = u"Handle Auto Brightness On...",
    .textFirst = true};
constexpr OnOffControl kThroughDisplaySwitch{.feature = "through",
                                             .handler = "HandleNavoThroughDispOnOff",
                                             .closed = u"Failed to control, please open the device first!\n",
                                             .offText = u"Handle Navo Through Display OFF...",
                                             .onText = u"Handle Navo Through Display ON..."};

// An ON/OFF control's change: the off/on text, the trace and the open check
// (in the control's order), the device chosen in the list, the write with the
// current state logged and the raw value traced, `done` when it was written,
// and a blank line.
template <class Done>
void SwitchFeature(CTunedeskDlg& dlg, const OnOffControl& control, int state, int selected, Done done) {
    const char16_t* text = state == 0 ? control.offText : control.onText;
    if (control.textFirst) CTunedeskDlg::AddLog(text);
    TD_TRACEF("%s: %d \r\n", control.handler, state);
    if (!DeviceOpen()) {
        CTunedeskDlg::AddLog(control.closed);
        return;
    }
    dlg.m_nDevIndex = selected;
    if (!control.textFirst) CTunedeskDlg::AddLog(text);
    const features::Assignment change{features::Find(control.feature), static_cast<unsigned int>(state)};
    if (features::Write(DeviceArg(selected), change, kSwitch)) done();
    CTunedeskDlg::AddLog(u"");
}

// A slider or radio: nothing without an open device or while the feature's
// function is off; otherwise the setting line, the write, the value posted to
// the window when written (`message` 0: nothing posted), and a blank line.
void ApplyFeature(CTunedeskDlg& dlg, const char* name, const std::u16string& text, int value,
                  features::WriteOptions how, unsigned message) {
    const features::Feature* feature = features::Find(name);
    if (feature == nullptr || !DeviceOpen()) return;
    const unsigned long dev = DeviceArg(dlg.m_nDevIndex);
    if (const features::Feature* function = features::FunctionOf(*feature)) {
        if (feature->whenOff == features::WhenOff::Skip) {
            const auto* combo = dlg.Item<QComboBox>(FunctionCombo(*function));
            if (combo == nullptr || combo->currentIndex() != kComboOn) return;
        } else if (feature->whenOff == features::WhenOff::SwitchOn && !features::SwitchOn(dev, *function)) {
            // The value would have no effect with its function still off.
            CTunedeskDlg::AddLog(u"");
            return;
        }
    }
    CTunedeskDlg::AddLog(text);
    if (features::Write(dev, {feature, static_cast<unsigned int>(value)}, how) && message != 0)
        PostMessage(&dlg, message, static_cast<quintptr>(value), 0);
    CTunedeskDlg::AddLog(u"");
}

const char16_t* SizeName(int size) {
    switch (size) {
    case 0: return u"Large";
    case 1: return u"Medium";
    default: return u"Small";
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// ON/OFF combos and the Auto Brightness check box

void CTunedeskDlg::OnCbnSelChangedVividiOnOff() {
    const int sel = ComboSel(IDC_CMB_VIVID_ONOFF);
    SwitchFeature(*this, kVividSwitch, sel, SelectedDevice(), [&] { EnableVividCtrls(sel != 0); });
}

void CTunedeskDlg::OnCbnSelChangedSharpeningOnOff() {
    const int sel = ComboSel(IDC_CMB_SHARPENING_ONOFF);
    SwitchFeature(*this, kSharpeningSwitch, sel, SelectedDevice(), [&] { EnableSharpeningCtrls(sel != 0); });
}

void CTunedeskDlg::OnCbnSelChangedExtendedContrastOnOff() {
    const int sel = ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF);
    SwitchFeature(*this, kExtendedContrastSwitch, sel, SelectedDevice(),
                  [&] { EnableExtendedContrastCtrls(sel != 0); });
}

void CTunedeskDlg::OnBnClickedBtnAutoBrightness() {
    const int checked = IsChecked(IDC_CHK_AUTO_BRIGHTNESS) ? 1 : 0;
    SwitchFeature(*this, kAutoBrightnessSwitch, checked, SelectedDevice(), [&] {
        // The chip sets the brightness itself while Auto Brightness is on.
        GetDlgItem(IDC_SLIDER_BRIGHTNESS)->setEnabled(ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF) != 0 && checked == 0);
        GetDlgItem(IDC_LABEL_BRIGHTNESS)->update();
    });
}

// ---------------------------------------------------------------------------
// Through display

void CTunedeskDlg::HandleNavoThroughDispOnOff(int on) {
    SwitchFeature(*this, kThroughDisplaySwitch, on, SelectedDevice(), [&] {
        m_bThroughDisp = on;
        UpdateThroughDispMenu();
    });
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

// Which of them ask the getter for the current value (so that it is logged)
// and trace the raw value differs from slider to slider; the log shows it.
void CTunedeskDlg::ApplyVividIntensity(int value) {
    ApplyFeature(*this, "vivid.intensity", StrFormat(u"Setting Vivid Intensity to %d...", value), value,
                 {.logCurrent = false}, WM_VIVID_INTENSITY);
}

void CTunedeskDlg::ApplySharpeningIntensity(int value) {
    ApplyFeature(*this, "sharpening.intensity", StrFormat(u"Setting Sharpening Intensity to %d...", value), value,
                 {.logCurrent = false}, WM_SHARPENING_INTENSITY);
}

void CTunedeskDlg::ApplyThreshold(int value) {
    ApplyFeature(*this, "contrast.threshold", StrFormat(u"Setting Threshold to %d...", value), value,
                 {.logCurrent = true, .traceRaw = true}, WM_THRESHOLD);
}

void CTunedeskDlg::ApplyBrightness(int value) {
    ApplyFeature(*this, "contrast.brightness", StrFormat(u"Setting Brightness to %d...", value), value,
                 {.logCurrent = true, .traceRaw = true}, WM_BRIGHTNESS);
}

void CTunedeskDlg::ApplyAdaptiveContrast(int value) {
    ApplyFeature(*this, "contrast.adaptive", StrFormat(u"Setting Adaptive Contrast to %d...", value), value,
                 {.logCurrent = false, .traceRaw = true}, WM_ADAPTIVE_CONTRAST);
}

void CTunedeskDlg::ApplyColorCorrection(int value) {
    ApplyFeature(*this, "color-correction.intensity", StrFormat(u"Setting Color Correction to %d...", value), value,
                 {.logCurrent = true, .traceRaw = true}, WM_COLOR_CORRECTION);
}

void CTunedeskDlg::ApplyNoiseRemoveSensitivity(int value) {
    ApplyFeature(*this, "noise-remove.sensitivity", StrFormat(u"Setting Noise Remove Sensitivity to %d...", value),
                 value, {.logCurrent = true, .traceRaw = true}, WM_NOISE_REMOVE_SENSITIVITY);
}

// ---------------------------------------------------------------------------
// Vivid range and Sharpening process size radios: the setters log their own
// outcome, and the radio stays on the user's choice.

void CTunedeskDlg::ApplyVividRange(int range) {
    ApplyFeature(*this, "vivid.range", StrFormat(u"Setting Vivid Range to %s...", SizeName(range)), range,
                 {.logCurrent = false}, 0);
}

void CTunedeskDlg::ApplySharpeningProcessSize(int size) {
    ApplyFeature(*this, "sharpening.size", StrFormat(u"Setting Sharpening Process Size to %s...", SizeName(size)), size,
                 {}, 0);
}

// ---------------------------------------------------------------------------
// Processing area radios: no open check of their own; a closed device shows
// as failed transactions in the log.

void CTunedeskDlg::OnBnClickedRadioAreaAll() {
    features::Write(DeviceArg(m_nDevIndex), {features::Find("area"), kAreaAll});
}

void CTunedeskDlg::OnBnClickedRadioAreaCenter() {
    features::Write(DeviceArg(m_nDevIndex), {features::Find("area"), kAreaCenter});
}

void CTunedeskDlg::OnBnClickedRadioAreaLeft() {
    features::Write(DeviceArg(m_nDevIndex), {features::Find("area"), kAreaLeft});
}

void CTunedeskDlg::OnBnClickedRadioAreaRight() {
    features::Write(DeviceArg(m_nDevIndex), {features::Find("area"), kAreaRight});
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
