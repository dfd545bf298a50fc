// Device connection of the main window: device list, open/close, SPI
// initialisation, the SPI parameter print-out and the read-back thread.
#include "TunedeskDlg.h"

#include <span>

#include <QComboBox>
#include <QPushButton>

#include "BridgeProblems.h"
#include "Ch347Backend.h"
#include "Convert.h"
#include "Features.h"
#include "SpiOptions.h"
#include "SpiSettingFile.h"
#include "StartOptions.h"
#include "StrFormat.h"
#include "TextParse.h"
#include "TimeUtil.h"
#include "WorkerThread.h"
#include "spilink.h"

namespace {

const char* const kOpenCaption = QT_TRANSLATE_NOOP("Caption", "デバイスを開く");
const char* const kCloseCaption = QT_TRANSLATE_NOOP("Caption", "デバイスを閉じる");

// Register reads of the read-back are tried this often before the group fails.
constexpr int kReadBackTries = 3;

unsigned long DeviceArg(int index) { return static_cast<unsigned long>(static_cast<long>(index)); }

// Not a message: the through-display state goes to m_bThroughDisp, which the
// menu reads when it opens.
constexpr unsigned kToThroughDisp = 0;

// One read of the read-back: the text logged before each attempt, and the
// features that one call of their shared getter reads, each handed to the
// window with its message, in this order.
struct ReadBackRead {
    const char16_t* text;
    const char* features[3];
    unsigned messages[3];
};

constexpr ReadBackRead kThroughDisplayReads[] = {
    {u"Get Navo Through Display On/Off State...", {"through"}, {kToThroughDisp}}};
constexpr ReadBackRead kVividReads[] = {
    {u"Get Vivid On/Off State...", {"vivid"}, {WM_VIVID_ONOFF}},
    {u"Get Vivid Range...", {"vivid.range"}, {WM_VIVID_RANGE}},  // Tiny (3) and Unknown (255) change no radio
    {u"Get Vivid Intensity...", {"vivid.intensity"}, {WM_VIVID_INTENSITY}}};
constexpr ReadBackRead kSharpeningReads[] = {
    {u"Get Sharpening On/Off State...", {"sharpening"}, {WM_SHARPENING_ONOFF}},
    {u"Get Sharpening Intensity...", {"sharpening.intensity"}, {WM_SHARPENING_INTENSITY}}};
constexpr ReadBackRead kExtendedContrastReads[] = {
    {u"Get Extended Contrast Parameters...",
     {"contrast", "contrast.auto-brightness", "contrast.adaptive"},
     {WM_EXTENDED_CONTRAST_ONOFF, WM_AUTO_BRIGHTNESS_ONOFF, WM_ADAPTIVE_CONTRAST}},
    {u"Get Brightness & Threshold Value...",
     {"contrast.brightness", "contrast.threshold"},
     {WM_BRIGHTNESS, WM_THRESHOLD}}};
constexpr ReadBackRead kColorCorrectionReads[] = {
    {u"Get Color Correction Intensity...", {"color-correction.intensity"}, {WM_COLOR_CORRECTION}}};
constexpr ReadBackRead kNoiseRemovalReads[] = {
    {u"Get Remove Noise Sensitivity...", {"noise-remove.sensitivity"}, {WM_NOISE_REMOVE_SENSITIVITY}}};
constexpr ReadBackRead kProcessingAreaReads[] = {
    {u"Get Video Processing Area...", {"area"}, {WM_VIDEO_PROCESS_AREA}}};  // 4 (no preset) changes no radio

// The groups in the order they are read; the pass stops at the first that fails.
constexpr std::span<const ReadBackRead> kReadBackGroups[] = {
    kThroughDisplayReads,  kVividReads,        kSharpeningReads,    kExtendedContrastReads,
    kColorCorrectionReads, kNoiseRemovalReads, kProcessingAreaReads};

// One read-back pass over the chip. Each read is logged before every attempt
// and retried; a read that still fails ends the pass, so no later group is
// read from a chip that stopped answering.
class ReadBack {
public:
    ReadBack(CTunedeskDlg* dlg, unsigned long device) : dlg_(dlg), through_(dlg->m_bThroughDisp), device_(device) {}

    // Every read of the group with 1 ms between them; false at the first that fails.
    bool Group(std::span<const ReadBackRead> reads) {
        bool first = true;
        for (const ReadBackRead& read : reads) {
            if (!first) WexSleep(1);
            first = false;
            if (!Read(read)) return false;
        }
        return true;
    }

private:
    // Tries the read up to three times. false when every attempt failed or the
    // window asked us to stop.
    bool Read(const ReadBackRead& read) {
        const features::Feature* group[3] = {};
        size_t count = 0;
        while (count < 3 && read.features[count] != nullptr) {
            group[count] = features::Find(read.features[count]);
            ++count;
        }
        for (int attempt = 0; attempt < kReadBackTries; ++attempt) {
            if (Stopping()) return false;
            CTunedeskDlg::AddLog(read.text);
            if (read.messages[0] == kToThroughDisp) through_.store(0);
            unsigned int values[3] = {};
            if (features::ReadTogether(device_, std::span(group, count), values)) {
                for (size_t i = 0; i < count; ++i) {
                    if (read.messages[i] == kToThroughDisp)
                        through_.store(static_cast<int>(values[i]));
                    else
                        PostMessage(dlg_, read.messages[i], values[i], 0);
                }
                CTunedeskDlg::AddLog(u"");
                return true;
            }
            CTunedeskDlg::AddLog(u"");
            WexSleep(1);
        }
        return false;
    }

    bool Stopping() const { return dlg_->m_bStopReadBack.load(); }

    CTunedeskDlg* dlg_;
    std::atomic<int>& through_;
    unsigned long device_;
};

}  // namespace

void CTunedeskDlg::RefreshDeviceList(bool log) {
    // Enumeration opens and closes every bridge; keep it off the bus while a
    // read-back still talks to the chip.
    FinishReadDeviceParamsThread();

    if (log) AddLog(u"Refreshing Device...");
    auto* list = Item<QComboBox>(IDC_CMB_DEVICE_LIST);
    list->clear();

    const bool wasOpen = libComm_GetDeviceOpenState() != 0 && m_nDevIndex >= 0;
    // The session is bound to the physical bridge, not to its number.
    const std::string session = wasOpen ? ch347::BridgeIdentity(DeviceArg(m_nDevIndex)) : std::string();
    std::list<std::u16string> names;
    const unsigned long count = libComm_EnumDevice(names);
    // Enumeration opens and closes every bridge, the one we hold open too,
    // while the link library still reports it open: take it up again so the
    // panel's actions keep reaching the chip.
    if (wasOpen) ReopenAfterEnumeration(session);
    // Bridges that are plugged in but could not be opened (no permission, in
    // use elsewhere): the user learns which and how to fix it. Not at the
    // silent start-up refresh; the bridge library has traced them already.
    if (log) {
        for (const std::string& problem : BridgeProblemLines()) AddLog(Ansi2CString(problem));
    }
    if (count == 0 || names.empty()) {
        if (log) AddLog(u"No available device found!");
        return;
    }
    int index = 0;
    for (const std::u16string& name : names) {
        // "N# description": N is the bridge number every later call takes.
        const long number = parse::DeviceEntryNumber(name);
        const int device = number >= 0 ? static_cast<int>(number) : index;
        list->insertItem(index++, QString::fromStdU16String(name), device);
        if (log) AddLog(StrFormat(u"=>Device: \"%s\" found.", name.c_str()));
    }
    if (log) AddLog(u"Refresh Device OK!");
    list->setCurrentIndex(0);
}

void CTunedeskDlg::OnBnClickedBtnRefreshDevice() { RefreshDeviceList(true); }

void CTunedeskDlg::ReopenAfterEnumeration(const std::string& session) {
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    // Only the very bridge that was open: never another one that took its
    // number, never the simulator instead of a real bridge or the reverse.
    ch347::OpenOnlyIfSameBridge(DeviceArg(m_nDevIndex), session);
    if (libComm_OpenDevice(DeviceArg(m_nDevIndex), config) != 0) return;
    // The bridge is gone (unplugged or replaced): say so and offer to open
    // again; the failed open leaves the link library closed, so every later
    // control change fails as with no device open.
    AddLog(u"The opened device is gone (unplugged or replaced)!");
    AddLog(u"Failed to open the selected device!");
    AddLog(u"");
    Item<QPushButton>(IDC_BTN_OPEN_DEVICE)->setText(Caption(kOpenCaption));
}

void CTunedeskDlg::OnBnClickedBtnOpenDevice() {
    // The link library, not the caption, knows whether a device is open.
    if (libComm_GetDeviceOpenState() == 0) {
        OpenSelectedDevice();
    } else {
        CloseSelectedDevice();
    }
}

void CTunedeskDlg::OpenSelectedDevice() {
    m_nDevIndex = SelectedDevice();
    if (m_nDevIndex < 0) {
        AddLog(u"Failed to open the SPI device, please select the device first!");
        return;
    }
    // Only one read-back at a time: an earlier one finishes before this open
    // reconfigures the bridge and starts the next.
    FinishReadDeviceParamsThread();

    AddLog(u"Getting SPI parameters...");
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    LogSpiConfig(config);

    if (libComm_OpenDevice(DeviceArg(m_nDevIndex), config) == 0) {
        AddLog(u"Failed to open the selected device!");
        AddLog(u"");
        return;
    }
    AddLog(u"The selected device opened successfully!");
    AddLog(u"");
    Item<QPushButton>(IDC_BTN_OPEN_DEVICE)->setText(Caption(kCloseCaption));
    StartReadBack();
}

void CTunedeskDlg::StartReadBack() {
    FinishReadDeviceParamsThread();
    m_bStopReadBack = false;
    m_bReadBackRunning = true;
    if (!StartWorkerThread(
            m_readBackThread,
            [this] {
                ReadDeviceParamsThread(this);
                m_bReadBackRunning = false;
            },
            "read-back")) {
        m_bReadBackRunning = false;
        // The device is open and usable; only its current values are not shown.
        AddLog(u"Failed to start reading the device parameters!");
    }
}

void CTunedeskDlg::CloseSelectedDevice() {
    const int index = SelectedDevice();
    if (index < 0) {
        AddLog(u"Failed to close the device, please select the device first!");
        return;
    }
    // The bridge must not go away under a transaction of the read-back thread.
    WaitReadDeviceParamsThread();
    libComm_CloseDevice(DeviceArg(index));
    m_nDevIndex = -1;
    // The simulated chip goes to its image now: a crash or a power cut later
    // must not take what was set with it.
    if (std::string error; !StoreSimImage(&error)) AddLog(Ansi2CString(error));
    AddLog(u"The selected device closed successfully!");
    Item<QPushButton>(IDC_BTN_OPEN_DEVICE)->setText(Caption(kOpenCaption));
}

void CTunedeskDlg::OnMenuSpiInit() {
    if (m_nDevIndex < 0) {
        AddLog(u"Failed to initialize SPI, please select the SPI device first!\n");
        return;
    }
    AddLog(u"Getting SPI parameters...");
    _UI_SPI_CONFIG config;
    LoadSpiConfig(config);
    LogSpiConfig(config);
    // Reconfiguring the bridge in the middle of a read-back exchange would
    // garble that exchange; let the read-back finish first.
    FinishReadDeviceParamsThread();
    if (libComm_InitSpi(DeviceArg(m_nDevIndex), config) == 0) {
        AddLog(u"Failed to initialize SPI!\n");
    } else {
        AddLog(u"Initialize SPI OK!\n");
    }
}

void CTunedeskDlg::LogSpiConfig(const _UI_SPI_CONFIG& config) {
    AddLog(StrFormat(u"Mode: %s, Clock: %s", GetSpiModeName(config.SpiMode).c_str(),
                     GetSpiClockName(config.SpiClock).c_str()));
    AddLog(StrFormat(u"ByteOrder: %s, DataBits: %s", GetSpiByteOrderName(config.ByteOrder).c_str(),
                     GetSpiDataBitsName(config.DataBits).c_str()));
    AddLog(StrFormat(u"CS Enable State: %s, CS Select: %s", config.CSEnable != 0 ? u"Enabled" : u"Disabled",
                     GetSpiCSName(config.CSChipIndex).c_str()));
    AddLog(StrFormat(u"CS1 Polarity: %s, CS2 Polarity: %s", GetSpiCS1PolarName(config.CS1Polarity).c_str(),
                     GetSpiCS2PolarName(config.CS2Polarity).c_str()));
    if (config.FreqEnable == 0) {
        AddLog(u"Frequency Enable State: Disabled");
    } else {
        AddLog(StrFormat(u"Frequency Enable State: Enabled, Frequency: %s %s", config.Frequency.c_str(),
                         GetSpiFreqUnitName(config.FreqUnit).c_str()));
    }
    AddLog(StrFormat(u"WriteReadInterval: %d us", config.InOutInterval));
    AddLog(StrFormat(u"ActiveDelay: %d us, Deactive Delay: %d us", config.ActiveRwDelay, config.DeactiveRwDelay));
}

unsigned CTunedeskDlg::ReadDeviceParamsThread(CTunedeskDlg* dlg) {
    // The device is taken once: a feature handler may re-read m_nDevIndex from
    // the list while the pass runs, and the pass must stay on the opened device.
    ReadBack rb(dlg, DeviceArg(dlg->m_nDevIndex.load()));
    bool first = true;
    for (const std::span<const ReadBackRead> group : kReadBackGroups) {
        if (!first) WexSleep(1);
        first = false;
        if (!rb.Group(group)) break;
    }
    return 0;
}

void CTunedeskDlg::WaitReadDeviceParamsThread() {
    if (m_finishBusCall) m_finishBusCall();
    if (!m_readBackThread.joinable()) return;
    m_bStopReadBack = true;
    m_readBackThread.join();
    m_bStopReadBack = false;
}

void CTunedeskDlg::FinishReadDeviceParamsThread() {
    if (m_finishBusCall) m_finishBusCall();
    if (m_readBackThread.joinable()) m_readBackThread.join();
}
