#include "TunedeskDlg.h"

#include <cstdio>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include "AboutDlg.h"
#include "AppPaths.h"
#include "CHListBox.h"
#include "CProcessingArea.h"
#include "Profile.h"
#include "SPIUtil.h"
#include "SpiSetting.h"
#include "TunedeskDlgLayout.h"
#include "UiHooks.h"
#include "spilink.h"
#include "trace.h"
#include "Convert.h"
#include "FileUtil.h"
#include "StrFormat.h"
#include "TimeUtil.h"

// Opens the register console for `mainWindow` (defined with the console).
void ShowRegisterConsole(QWidget* mainWindow);

namespace {
const QColor kValueTextOn(148, 0, 135);
const QColor kValueTextOff(128, 128, 128);

// The eight value labels.
constexpr int kValueLabels[] = {IDC_LABEL_VIVID_INTENSITY,
                                IDC_LABEL_SHARPENING_INTENSITY,
                                IDC_LABEL_THRESHOLD,
                                IDC_LABEL_BRIGHTNESS,
                                IDC_LABEL_ADAPTIVE_CONTRAST,
                                IDC_LABEL_COLOR_CORRECTION,
                                IDC_LABEL_NOISE_REMOVAL_INTENSITY,
                                IDC_LABEL_NOISE_REMOVE_SENSITIVITY};

// A long log burst drains in slices of at most this long, so paint and input
// events get through in between.
constexpr auto kLogDrainSlice = std::chrono::milliseconds(20);

// "MS Shell Dlg" is the desktop's sans font here.
QFont DialogFont(int points) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(points);
    return font;
}

// Bold, 30 pixels from top of the tallest glyph to bottom of the lowest, in the
// CJK sans font that stands in for "微软雅黑".
QFont MakeValueFont() {
    QFont font;
    font.setFamilies({QStringLiteral("Microsoft YaHei"), QString::fromUtf8("微软雅黑"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("IPAGothic")});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Bold);
    font.setPixelSize(30);
    const int height = QFontMetrics(font).height();
    if (height > 30) font.setPixelSize(std::max(8, 30 * 30 / height));
    return font;
}

// Writes one log line the way a narrow text stream would: the locale's
// character set, a line feed inside the line as CR LF, then the closing CR.
bool WriteExportLine(std::FILE* file, const std::u16string& line) {
    std::string narrow;
    if (!CString2Ansi(line, narrow)) {
        // A character the locale's character set lacks (a device name, a path):
        // the line goes out as UTF-8 rather than being lost.
        narrow = QString::fromStdU16String(line).toStdString();
    }
    std::string out;
    out.reserve(narrow.size() + 8);
    for (const char c : narrow) {
        if (c == '\n') out += '\r';
        out += c;
    }
    out += '\r';
    return std::fwrite(out.data(), 1, out.size(), file) == out.size();
}
}  // namespace

CTunedeskDlg::CTunedeskDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kTunedeskDlgCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    const QFont font = DialogFont(kTunedeskDlgFontPoints);
    setFont(font);
    m_client = new QWidget(this);
    m_client->setFont(font);
    m_controls.Build(m_client, TunedeskDlgControls(), font);
    // Qt would make the first auto-default button the window's default and
    // frame it, while Enter away from the buttons ends the window: no button is
    // a default here, and keyPressEvent gives Enter to the focused one.
    for (QPushButton* button : m_client->findChildren<QPushButton*>()) button->setAutoDefault(false);
    const QSize clientSize = m_controls.MapDialogSize(kTunedeskDlgWidth, kTunedeskDlgHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(PlaceInScrollArea(this, m_client, clientSize), 1);

    // Window initialisation: About entry, icon, controls, runtime, then the menu bar.
    setWindowIcon(TunedeskIcon());
    InitControls();
    InitRuntime();
    CreateMenus();
    layout->setMenuBar(m_menuBar);
    WireControls();

    resize(FirstWindowSize(this, QSize(clientSize.width(), clientSize.height() + m_menuBar->sizeHint().height())));
}

CTunedeskDlg::~CTunedeskDlg() {
    // A running read-back posts to this window; let it finish before the window goes.
    WaitReadDeviceParamsThread();
    if (g_hMainWnd.Get() == this) g_hMainWnd.Set(nullptr);
    if (libComm_GetDeviceOpenState() != 0) {
        TD_TRACE("Close Device... \r\n");
        libComm_CloseDevice(static_cast<unsigned long>(static_cast<long>(m_nDevIndex.load())));
    }
}

// ---------------------------------------------------------------------------
// Initialisation

void CTunedeskDlg::InitControls() {
    m_valueFont = MakeValueFont();
    m_valueBrush = QColor(255, 255, 255);
    for (const int id : kValueLabels) {
        if (auto* label = Item<CValueLabel>(id)) {
            label->setFont(m_valueFont);
            label->SetColorProvider([this, id] { return ValueLabelColors(id); });
        }
    }

    for (const int id : {IDC_CMB_VIVID_ONOFF, IDC_CMB_SHARPENING_ONOFF, IDC_CMB_EXTENDED_CONTRAST_ONOFF}) {
        auto* combo = Item<QComboBox>(id);
        combo->insertItem(0, QStringLiteral("OFF"));
        combo->insertItem(1, QStringLiteral("ON"));
        combo->setCurrentIndex(0);
    }

    auto setupSlider = [this](int id, int min, int max, int pos) {
        auto* slider = Item<QSlider>(id);
        slider->setRange(min, max);
        slider->setValue(pos);
    };
    setupSlider(IDC_SLIDER_VIVID_INTENSITY, 0, 255, 130);
    EnableVividCtrls(false);
    setupSlider(IDC_SLIDER_SHARPENING_INTENSITY, 0, 1024, 0);
    EnableSharpeningCtrls(false);
    setupSlider(IDC_SLIDER_THRESHOLD, 0, 128, 10);
    setupSlider(IDC_SLIDER_BRIGHTNESS, 0, 255, 0);
    setupSlider(IDC_SLIDER_ADAPTIVE_CONTRAST, 0, 255, 0);
    EnableExtendedContrastCtrls(false);
    setupSlider(IDC_SLIDER_COLOR_CORRECTION, 0, 63, 0);
    setupSlider(IDC_SLIDER_NOISE_REMOVAL_INTENSITY, 0, 3, 0);
    setupSlider(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, 0, 255, 0);

    Item<CProcessingArea>(IDC_PIC_AREA_ALL)->SetArea(CProcessingArea::kAreaAll);
    Item<CProcessingArea>(IDC_PIC_AREA_CENTER)->SetArea(CProcessingArea::kAreaCenter);
    Item<CProcessingArea>(IDC_PIC_AREA_LEFT)->SetArea(CProcessingArea::kAreaLeft);
    Item<CProcessingArea>(IDC_PIC_AREA_RIGHT)->SetArea(CProcessingArea::kAreaRight);
    // Each picture illustrates the radio button above it.
    for (const auto& [picture, radio] :
         {std::pair{IDC_PIC_AREA_ALL, IDC_RADIO_AREA_ALL}, std::pair{IDC_PIC_AREA_CENTER, IDC_RADIO_AREA_CENTER},
          std::pair{IDC_PIC_AREA_LEFT, IDC_RADIO_AREA_LEFT}, std::pair{IDC_PIC_AREA_RIGHT, IDC_RADIO_AREA_RIGHT}}) {
        GetDlgItem(picture)->setAccessibleName(GetDlgItem(radio)->accessibleName());
    }

    GetDlgItem(IDC_BTN_WRITE_TEST_REG)->hide();
    GetDlgItem(IDC_BTN_READ_TEST_REG)->hide();
}

void CTunedeskDlg::InitRuntime() {
    g_hMainWnd.Set(this);
    SetLogSink(&::AddLog);

    auto setText = [this](int id, int value) {
        Item<QLabel>(id)->setText(QString::fromStdU16String(StrFormat(u"%d", value)));
    };
    setText(IDC_STATIC_COLOR_CORRECTION_MIN, 0);
    setText(IDC_STATIC_COLOR_CORRECTION_MAX, 63);
    setText(IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MIN, 0);
    setText(IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MAX, 255);

    RefreshDeviceList(false);

    TD_TRACEF("-2048=%08X, -4096=%08X, 24576=%08X, ", static_cast<unsigned>(-2048), static_cast<unsigned>(-4096),
              24576u);
}

void CTunedeskDlg::CreateMenus() {
    m_menuBar = new QMenuBar(this);
    auto addItem = [this](QMenu* menu, const char* caption, int id) {
        QAction* action = menu->addAction(Caption(caption));
        action->setData(id);
        m_menuItems[id] = action;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        return action;
    };

    QMenu* spi = m_menuBar->addMenu(Caption(QT_TRANSLATE_NOOP("Caption", "SPI設定")));
    addItem(spi, QT_TRANSLATE_NOOP("Caption", "パラメータ設定"), ID_MENU_SPI_SETTING);
    addItem(spi, QT_TRANSLATE_NOOP("Caption", "SPIの初期化"), ID_MENU_SPI_INIT);
    QMenu* console = m_menuBar->addMenu(Caption(QT_TRANSLATE_NOOP("Caption", "SPI 読み書き")));
    addItem(console, QT_TRANSLATE_NOOP("Caption", "SPI 読み書き"), ID_MENU_SPI_READWRITE);
    m_throughDispMenu = m_menuBar->addMenu(Caption(QT_TRANSLATE_NOOP("Caption", "スルー表示")));
    addItem(m_throughDispMenu, "ON", ID_MENU_THROUGH_DISP_ON);
    addItem(m_throughDispMenu, "OFF", ID_MENU_THROUGH_DISP_OFF);
    connect(m_throughDispMenu, &QMenu::aboutToShow, this, &CTunedeskDlg::UpdateThroughDispMenu);
    UpdateThroughDispMenu();
    QMenu* profiles = m_menuBar->addMenu(Caption(QT_TRANSLATE_NOOP("Caption", "プロファイル")));
    addItem(profiles, QT_TRANSLATE_NOOP("Caption", "保存..."), ID_MENU_PROFILE_SAVE);
    addItem(profiles, QT_TRANSLATE_NOOP("Caption", "読み込み..."), ID_MENU_PROFILE_LOAD);

    // Desktops here do not let a program extend the window menu, so the About
    // entry sits in a menu of its own at the end of the menu bar.
    QMenu* help = m_menuBar->addMenu(Caption(QT_TRANSLATE_NOOP("Caption", "ヘルプ")));
    help->addSeparator();
    addItem(help, QT_TRANSLATE_NOOP("Caption", "关于 Tunedesk(&A)..."), IDM_ABOUTBOX);

    m_logPopup = new QMenu(QStringLiteral("popup"), this);
    addItem(m_logPopup, "Export", ID_MENU_EXPORT_LOG);
    addItem(m_logPopup, "Clear", ID_MENU_CLEAR_LOG);
}

void CTunedeskDlg::WireControls() {
    auto clicked = [this](int id, void (CTunedeskDlg::*handler)()) {
        connect(Item<QAbstractButton>(id), &QAbstractButton::clicked, this, handler);
    };
    auto clickedWith = [this](int id, void (CTunedeskDlg::*handler)(int), int value) {
        connect(Item<QAbstractButton>(id), &QAbstractButton::clicked, this,
                [this, handler, value] { (this->*handler)(value); });
    };
    // Only a choice the user makes counts; selections set from code do not.
    auto selChanged = [this](int id, void (CTunedeskDlg::*handler)()) {
        connect(Item<QComboBox>(id), &QComboBox::activated, this, handler);
    };

    clicked(IDC_BTN_REFRESH_DEVICE, &CTunedeskDlg::OnBnClickedBtnRefreshDevice);
    clicked(IDC_BTN_OPEN_DEVICE, &CTunedeskDlg::OnBnClickedBtnOpenDevice);
    clicked(IDC_BTN_WRITE_TEST_REG, &CTunedeskDlg::OnBnClickedBtnWriteTestReg);
    clicked(IDC_BTN_READ_TEST_REG, &CTunedeskDlg::OnBnClickedBtnReadTestReg);

    selChanged(IDC_CMB_VIVID_ONOFF, &CTunedeskDlg::OnCbnSelChangedVividiOnOff);
    selChanged(IDC_CMB_SHARPENING_ONOFF, &CTunedeskDlg::OnCbnSelChangedSharpeningOnOff);
    selChanged(IDC_CMB_EXTENDED_CONTRAST_ONOFF, &CTunedeskDlg::OnCbnSelChangedExtendedContrastOnOff);
    clicked(IDC_CHK_AUTO_BRIGHTNESS, &CTunedeskDlg::OnBnClickedBtnAutoBrightness);

    clickedWith(IDC_RADIO_VIVID_RANGE_LARGE, &CTunedeskDlg::ApplyVividRange, 0);
    clickedWith(IDC_RADIO_VIVID_RANGE_MEDIUM, &CTunedeskDlg::ApplyVividRange, 1);
    clickedWith(IDC_RADIO_VIVID_RANGE_SMALL, &CTunedeskDlg::ApplyVividRange, 2);
    clickedWith(IDC_RADIO_SHARPENING_LARGE, &CTunedeskDlg::ApplySharpeningProcessSize, 0);
    clickedWith(IDC_RADIO_SHARPENING_MEDIUM, &CTunedeskDlg::ApplySharpeningProcessSize, 1);
    clickedWith(IDC_RADIO_SHARPENING_SMALL, &CTunedeskDlg::ApplySharpeningProcessSize, 2);

    clicked(IDC_RADIO_AREA_ALL, &CTunedeskDlg::OnBnClickedRadioAreaAll);
    clicked(IDC_RADIO_AREA_CENTER, &CTunedeskDlg::OnBnClickedRadioAreaCenter);
    clicked(IDC_RADIO_AREA_LEFT, &CTunedeskDlg::OnBnClickedRadioAreaLeft);
    clicked(IDC_RADIO_AREA_RIGHT, &CTunedeskDlg::OnBnClickedRadioAreaRight);

    for (const int id : {IDC_SLIDER_VIVID_INTENSITY, IDC_SLIDER_SHARPENING_INTENSITY, IDC_SLIDER_THRESHOLD,
                         IDC_SLIDER_BRIGHTNESS, IDC_SLIDER_ADAPTIVE_CONTRAST, IDC_SLIDER_COLOR_CORRECTION,
                         IDC_SLIDER_NOISE_REMOVAL_INTENSITY, IDC_SLIDER_NOISE_REMOVE_SENSITIVITY}) {
        QSlider* slider = Item<QSlider>(id);
        ConnectSliderScroll(slider, [this, slider](unsigned code) {
            OnHScroll(code, static_cast<unsigned>(slider->sliderPosition()), slider);
        });
    }

    connect(LogList(), &CHListBox::rightButtonPressed, this,
            [this](const QPoint& globalPos) { m_logPopup->exec(globalPos); });
    // The menu key and Shift+F10 open the same menu, at the selected line.
    connect(LogList(), &CHListBox::menuKeyPressed, this,
            [this](const QPoint& globalPos) { m_logPopup->exec(globalPos); });
}

// ---------------------------------------------------------------------------
// Commands and menus

QAction* CTunedeskDlg::GetMenuItem(int commandId) const {
    const auto it = m_menuItems.find(commandId);
    return it == m_menuItems.end() ? nullptr : it->second;
}

CHListBox* CTunedeskDlg::LogList() const { return Item<CHListBox>(IDC_LIST_LOG); }

void CTunedeskDlg::OnCommand(int commandId) {
    if (commandId == ID_MENU_THROUGH_DISP_ON || commandId == ID_MENU_THROUGH_DISP_OFF) {
        UpdateThroughDispMenu();
        if (!GetMenuItem(commandId)->isEnabled()) return;  // greyed: not choosable
    }
    switch (commandId) {
    case ID_MENU_SPI_SETTING: OnMenuSpiSetting(); break;
    case ID_MENU_SPI_INIT: OnMenuSpiInit(); break;
    case ID_MENU_SPI_READWRITE: OnMenuSpiReadWrite(); break;
    case ID_MENU_PROFILE_SAVE: OnMenuProfileSave(); break;
    case ID_MENU_PROFILE_LOAD: OnMenuProfileLoad(); break;
    case ID_MENU_THROUGH_DISP_ON: HandleNavoThroughDispOnOff(1); break;
    case ID_MENU_THROUGH_DISP_OFF: HandleNavoThroughDispOnOff(0); break;
    case ID_MENU_EXPORT_LOG: OnMenuExportLog(); break;
    case ID_MENU_CLEAR_LOG: OnMenuClearLog(); break;
    case IDM_ABOUTBOX: OnSysCommand(commandId); break;
    default: break;
    }
}

void CTunedeskDlg::UpdateThroughDispMenu() {
    const bool on = m_bThroughDisp.load() != 0;
    GetMenuItem(ID_MENU_THROUGH_DISP_ON)->setEnabled(!on);
    GetMenuItem(ID_MENU_THROUGH_DISP_OFF)->setEnabled(on);
}

void CTunedeskDlg::OnMenuSpiSetting() {
    // The settings take effect at the next open or SPI initialisation.
    SpiSetting dialog(nullptr);
    RunModal(&dialog);
}

void CTunedeskDlg::OnMenuSpiReadWrite() { ShowRegisterConsole(this); }

namespace {
// The profile file the user picks; empty when cancelled or no device is open.
std::u16string ChooseProfile(QWidget* parent, bool save) {
    if (libComm_GetDeviceOpenState() == 0) {
        AddLog(u"Failed to control, please open the device first!\n");
        return {};
    }
    return ChooseFile(parent, save, Caption("プロファイル"), QStringLiteral("Profiles (*.ini);;All files (*)"))
        .toStdU16String();
}

void LogProfileOutcome(const char16_t* format, const std::u16string& path, profile::Result result,
                       const std::string& error) {
    if (result != profile::Result::Ok) AddLog(QString::fromStdString(error).toStdU16String());
    AddLog(StrFormat(format, path.c_str(), result == profile::Result::Ok ? u"OK" : u"failed"));
    AddLog(u"");
}
}  // namespace

void CTunedeskDlg::OnMenuProfileSave() {
    const std::u16string path = ChooseProfile(this, true);
    if (path.empty()) return;
    AddLog(StrFormat(u"Saving Profile to %s...", path.c_str()));
    std::string error;
    const profile::Result result = profile::Save(static_cast<unsigned long>(m_nDevIndex.load()), path, error);
    LogProfileOutcome(u"Save Profile to %s %s!", path, result, error);
}

void CTunedeskDlg::OnMenuProfileLoad() {
    const std::u16string path = ChooseProfile(this, false);
    if (path.empty()) return;
    // The controls are read back afterwards; a read-back still running must not
    // show values from before the profile.
    FinishReadDeviceParamsThread();
    AddLog(StrFormat(u"Applying Profile %s...", path.c_str()));
    std::string error;
    const profile::Result result = profile::Apply(static_cast<unsigned long>(m_nDevIndex.load()), path, error);
    LogProfileOutcome(u"Apply Profile %s %s!", path, result, error);
    StartReadBack();
}

void CTunedeskDlg::OnSysCommand(int commandId) {
    if (commandId == IDM_ABOUTBOX) ShowAboutBox();
}

void CTunedeskDlg::ShowAboutBox() {
    CAboutDlg about(this);
    RunModal(&about);
}

void CTunedeskDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter presses the focused push button; Enter that no control takes ends
        // the window like its close box, as Escape does.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            if (button->isEnabled()) button->click();
        } else {
            accept();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---------------------------------------------------------------------------
// Enabling and painting

void CTunedeskDlg::EnableVividCtrls(bool on) {
    for (const int id : {IDC_RADIO_VIVID_RANGE_LARGE, IDC_RADIO_VIVID_RANGE_MEDIUM, IDC_RADIO_VIVID_RANGE_SMALL,
                         IDC_SLIDER_VIVID_INTENSITY}) {
        GetDlgItem(id)->setEnabled(on);
    }
    GetDlgItem(IDC_LABEL_VIVID_INTENSITY)->update();
}

void CTunedeskDlg::EnableSharpeningCtrls(bool on) {
    for (const int id : {IDC_SLIDER_SHARPENING_INTENSITY, IDC_RADIO_SHARPENING_LARGE, IDC_RADIO_SHARPENING_MEDIUM,
                         IDC_RADIO_SHARPENING_SMALL}) {
        GetDlgItem(id)->setEnabled(on);
    }
    GetDlgItem(IDC_LABEL_SHARPENING_INTENSITY)->update();
}

void CTunedeskDlg::EnableExtendedContrastCtrls(bool on) {
    GetDlgItem(IDC_CHK_AUTO_BRIGHTNESS)->setEnabled(on);
    GetDlgItem(IDC_SLIDER_THRESHOLD)->setEnabled(on);
    GetDlgItem(IDC_LABEL_THRESHOLD)->update();
    GetDlgItem(IDC_SLIDER_BRIGHTNESS)->setEnabled(on && !IsChecked(IDC_CHK_AUTO_BRIGHTNESS));
    GetDlgItem(IDC_LABEL_BRIGHTNESS)->update();
    GetDlgItem(IDC_SLIDER_ADAPTIVE_CONTRAST)->setEnabled(on);
    GetDlgItem(IDC_LABEL_ADAPTIVE_CONTRAST)->update();
}

CValueLabel::Colors CTunedeskDlg::ValueLabelColors(int id) const {
    bool purple = true;
    switch (id) {
    case IDC_LABEL_VIVID_INTENSITY: purple = ComboSel(IDC_CMB_VIVID_ONOFF) != 0; break;
    case IDC_LABEL_SHARPENING_INTENSITY: purple = ComboSel(IDC_CMB_SHARPENING_ONOFF) != 0; break;
    case IDC_LABEL_THRESHOLD:
    case IDC_LABEL_ADAPTIVE_CONTRAST: purple = ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF) != 0; break;
    case IDC_LABEL_BRIGHTNESS:
        purple = ComboSel(IDC_CMB_EXTENDED_CONTRAST_ONOFF) != 0 && !IsChecked(IDC_CHK_AUTO_BRIGHTNESS);
        break;
    default: break;  // 1048, 1054, 1059: always purple
    }
    return {purple ? kValueTextOn : kValueTextOff, m_valueBrush};
}

bool CTunedeskDlg::IsChecked(int id) const {
    const auto* button = Item<QAbstractButton>(id);
    return button != nullptr && button->isChecked();
}

int CTunedeskDlg::ComboSel(int id) const {
    const auto* combo = Item<QComboBox>(id);
    return combo != nullptr ? combo->currentIndex() : -1;
}

int CTunedeskDlg::SelectedDevice() const {
    // Entries carry their bridge number: the list skips bridges it cannot use
    // (no SPI port, no permission), so a position is not a bridge number.
    const auto* combo = Item<QComboBox>(IDC_CMB_DEVICE_LIST);
    if (combo == nullptr || combo->currentIndex() < 0) return -1;
    bool ok = false;
    const int device = combo->currentData().toInt(&ok);
    return ok ? device : combo->currentIndex();
}

void CTunedeskDlg::SetRadioChecked(int id, bool checked) { Item<QAbstractButton>(id)->setChecked(checked); }

void CTunedeskDlg::SetSliderAndLabel(int sliderId, int labelId, int value) {
    Item<QSlider>(sliderId)->setValue(value);
    Item<QLabel>(labelId)->setText(QString::fromStdU16String(StrFormat(u"%d", value)));
}

// ---------------------------------------------------------------------------
// UI notifications

bool CTunedeskDlg::event(QEvent* event) {
    const WinMsgEvent* msg = AsWinMsg(event);
    if (msg == nullptr) return QDialog::event(event);
    const quintptr w = msg->wParam;
    const qintptr l = msg->lParam;
    switch (msg->message()) {
    case WM_LOG_MESSAGE: OnLogMessage(w, l); break;
    case WM_VIVID_ONOFF: OnVividOnOff(w, l); break;
    case WM_VIVID_RANGE: OnVividRange(w, l); break;
    case WM_VIVID_INTENSITY: OnVividIntensity(w, l); break;
    case WM_SHARPENING_ONOFF: OnSharpeningOnOff(w, l); break;
    case WM_SHARPENING_AREA: OnSharpeningArea(w, l); break;
    case WM_SHARPENING_INTENSITY: OnSharpeningIntensity(w, l); break;
    case WM_EXTENDED_CONTRAST_ONOFF: OnExtendedContrastOnOff(w, l); break;
    case WM_AUTO_BRIGHTNESS_ONOFF: OnAutoBrightnessOnOff(w, l); break;
    case WM_ADAPTIVE_CONTRAST: OnAdaptiveContrast(w, l); break;
    case WM_BRIGHTNESS: OnBrightness(w, l); break;
    case WM_THRESHOLD: OnThreshold(w, l); break;
    case WM_COLOR_CORRECTION: OnColorCorrection(w, l); break;
    case WM_NOISE_REMOVE_SENSITIVITY: OnNoiseRemoveSensitivity(w, l); break;
    case WM_VIDEO_PROCESS_AREA: OnVideoProcessArea(w, l); break;
    default: return QDialog::event(event);
    }
    return true;
}

qintptr CTunedeskDlg::OnVividOnOff(quintptr wParam, qintptr) {
    if (wParam > 1) return 0;
    Item<QComboBox>(IDC_CMB_VIVID_ONOFF)->setCurrentIndex(static_cast<int>(wParam));
    EnableVividCtrls(wParam != 0);
    return 0;
}

qintptr CTunedeskDlg::OnVividRange(quintptr wParam, qintptr) {
    if (wParam > 2) return 0;
    static constexpr int radios[] = {IDC_RADIO_VIVID_RANGE_LARGE, IDC_RADIO_VIVID_RANGE_MEDIUM,
                                     IDC_RADIO_VIVID_RANGE_SMALL};
    for (const int id : radios) SetRadioChecked(id, false);
    SetRadioChecked(radios[wParam], true);
    return 0;
}

qintptr CTunedeskDlg::OnVividIntensity(quintptr wParam, qintptr) {
    if (wParam > 255) return 0;
    SetSliderAndLabel(IDC_SLIDER_VIVID_INTENSITY, IDC_LABEL_VIVID_INTENSITY, static_cast<int>(wParam));
    return 0;
}

qintptr CTunedeskDlg::OnSharpeningOnOff(quintptr wParam, qintptr) {
    if (wParam > 1) return 0;
    Item<QComboBox>(IDC_CMB_SHARPENING_ONOFF)->setCurrentIndex(static_cast<int>(wParam));
    EnableSharpeningCtrls(wParam != 0);
    return 0;
}

qintptr CTunedeskDlg::OnSharpeningArea(quintptr, qintptr) { return 0; }

qintptr CTunedeskDlg::OnSharpeningIntensity(quintptr wParam, qintptr) {
    if (wParam > 1024) return 0;
    SetSliderAndLabel(IDC_SLIDER_SHARPENING_INTENSITY, IDC_LABEL_SHARPENING_INTENSITY, static_cast<int>(wParam));
    return 0;
}

qintptr CTunedeskDlg::OnExtendedContrastOnOff(quintptr wParam, qintptr) {
    if (wParam > 1) return 0;
    Item<QComboBox>(IDC_CMB_EXTENDED_CONTRAST_ONOFF)->setCurrentIndex(static_cast<int>(wParam));
    EnableExtendedContrastCtrls(wParam != 0);
    return 0;
}

qintptr CTunedeskDlg::OnAutoBrightnessOnOff(quintptr wParam, qintptr) {
    // Only the check mark; the Brightness slider's enabling is not recomputed.
    Item<QCheckBox>(IDC_CHK_AUTO_BRIGHTNESS)->setChecked(wParam != 0);
    return 0;
}

qintptr CTunedeskDlg::OnAdaptiveContrast(quintptr wParam, qintptr) {
    if (wParam > 255) return 0;
    SetSliderAndLabel(IDC_SLIDER_ADAPTIVE_CONTRAST, IDC_LABEL_ADAPTIVE_CONTRAST, static_cast<int>(wParam));
    return 0;
}

qintptr CTunedeskDlg::OnBrightness(quintptr wParam, qintptr) {
    if (wParam > 255) return 0;
    SetSliderAndLabel(IDC_SLIDER_BRIGHTNESS, IDC_LABEL_BRIGHTNESS, static_cast<int>(wParam));
    return 0;
}

qintptr CTunedeskDlg::OnThreshold(quintptr wParam, qintptr) {
    if (wParam > 128) return 0;
    SetSliderAndLabel(IDC_SLIDER_THRESHOLD, IDC_LABEL_THRESHOLD, static_cast<int>(wParam));
    return 0;
}

qintptr CTunedeskDlg::OnColorCorrection(quintptr wParam, qintptr) {
    if (wParam > 63) return 0;
    SetSliderAndLabel(IDC_SLIDER_COLOR_CORRECTION, IDC_LABEL_COLOR_CORRECTION, static_cast<int>(wParam));
    return 0;
}

qintptr CTunedeskDlg::OnNoiseRemoveSensitivity(quintptr wParam, qintptr) {
    if (wParam > 255) return 0;
    SetSliderAndLabel(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, IDC_LABEL_NOISE_REMOVE_SENSITIVITY,
                      static_cast<int>(wParam));
    return 0;
}

qintptr CTunedeskDlg::OnVideoProcessArea(quintptr wParam, qintptr) {
    if (wParam > 3) return 0;
    static constexpr int radios[] = {IDC_RADIO_AREA_ALL, IDC_RADIO_AREA_CENTER, IDC_RADIO_AREA_LEFT,
                                     IDC_RADIO_AREA_RIGHT};
    for (quintptr i = 0; i < 4; ++i) SetRadioChecked(radios[i], i == wParam);
    return 0;
}

// ---------------------------------------------------------------------------
// Log

void CTunedeskDlg::AddLog(const std::u16string& text) { ::AddLog(text); }

std::u16string CTunedeskDlg::GetLogTimeString() { return ::GetLogTimeString(); }

bool CTunedeskDlg::TakeLogLines(std::list<std::u16string>& lines) { return ::TakeLogLines(lines); }

qintptr CTunedeskDlg::OnLogMessage(quintptr, qintptr) {
    const bool taken = ::TakeLogLines(m_logBacklog);
    if (!taken && m_logBacklog.empty()) return 0;
    CHListBox* list = LogList();
    const bool more = list->AppendLines(m_logBacklog, std::chrono::steady_clock::now() + kLogDrainSlice);
    list->ScrollToBottom();
    // The rest of a long burst follows after the events waiting now.
    if (more) PostMessage(this, WM_LOG_MESSAGE, 0, 0);
    return 0;
}

void CTunedeskDlg::OnMenuExportLog() {
    CHListBox* list = LogList();
    const int count = list->GetCount();
    if (count == 0) return;

    const std::u16string folder = OutputLogDir();
    if (!MakeAppFolder(folder)) return;
    const std::u16string path = folder + GetFileSeparator() + GetDateTime(u"Output_%04d-%02d-%02d_%02d%02d%02d.log");
    if (FileExists(path)) RemoveFile(path);

    std::string narrowPath;
    CString2Ansi(path, narrowPath);
    std::FILE* file = std::fopen(narrowPath.c_str(), "wb");
    if (file == nullptr) return;
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) ok = WriteExportLine(file, list->GetLine(i));
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;

    if (!ok) {
        // A partial file would pass for the whole log; the view still holds every line.
        RemoveFile(path);
        MessageBox(this, StrFormat(u"Failed to export the log to %s!", path.c_str()));
        return;
    }
    MessageBox(this, StrFormat(u"Export Output Log OK! The storage path for the exported file is: %s!", path.c_str()));
}

void CTunedeskDlg::OnMenuClearLog() { LogList()->ResetContent(); }
