// The main window headless: start-up state, UI notifications and their ranges,
// enabling and colour rules, menus, and the posting rules around the window's
// lifetime. Controls are found by their IDs, as the handlers find them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "CHListBox.h"
#include "Ch347Sim.h"
#include "SpiSetting.h"
#include "TunedeskDlg.h"
#include "TunedeskDlgLayout.h"
#include "support/core_fixture.h"
#include "support/gui_panel.h"

namespace {

class MainWindowTest : public SettingsFileTest {
protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        PanelApp();
        sim::Reset();
        DiscardQueuedLog();
    }
    void TearDown() override {
        sim::Reset();
        SettingsFileTest::TearDown();
    }

    static bool Enabled(const CTunedeskDlg& dlg, int id) { return dlg.GetDlgItem(id)->isEnabled(); }
    static bool Checked(const CTunedeskDlg& dlg, int id) { return dlg.Item<QAbstractButton>(id)->isChecked(); }
    static QString Text(const CTunedeskDlg& dlg, int id) { return dlg.Item<QLabel>(id)->text(); }
    static int Sel(const CTunedeskDlg& dlg, int id) { return dlg.Item<QComboBox>(id)->currentIndex(); }
    static void Post(unsigned message, quintptr value) {
        ASSERT_TRUE(PostMessage(g_hMainWnd, message, value, 0));
        DrainEvents();
    }
};

const int kAllRadios[] = {IDC_RADIO_VIVID_RANGE_LARGE, IDC_RADIO_VIVID_RANGE_MEDIUM, IDC_RADIO_VIVID_RANGE_SMALL,
                          IDC_RADIO_SHARPENING_LARGE,  IDC_RADIO_SHARPENING_MEDIUM,  IDC_RADIO_SHARPENING_SMALL,
                          IDC_RADIO_INPUT_LIMITED,     IDC_RADIO_INPUT_FULL,         IDC_RADIO_OUTPUT_LIMITED,
                          IDC_RADIO_OUTPUT_FULL,       IDC_RADIO_AREA_ALL,           IDC_RADIO_AREA_CENTER,
                          IDC_RADIO_AREA_LEFT,         IDC_RADIO_AREA_RIGHT};

TEST_F(MainWindowTest, StartsWithFeatureGroupsOffAndNothingLogged) {
    sim::RemoveAllBridges();
    CTunedeskDlg dlg;
    DrainEvents();

    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Tunedesk_V1.7.0"));
    EXPECT_EQ(dlg.Item<QComboBox>(IDC_CMB_DEVICE_LIST)->count(), 0);
    EXPECT_EQ(dlg.LogList()->GetCount(), 0) << "the start-up refresh must be silent";
    std::list<std::u16string> queued;
    EXPECT_FALSE(TakeLogLines(queued));

    for (const int id : {IDC_RADIO_VIVID_RANGE_LARGE, IDC_RADIO_VIVID_RANGE_MEDIUM, IDC_RADIO_VIVID_RANGE_SMALL,
                         IDC_SLIDER_VIVID_INTENSITY, IDC_SLIDER_SHARPENING_INTENSITY, IDC_RADIO_SHARPENING_LARGE,
                         IDC_RADIO_SHARPENING_MEDIUM, IDC_RADIO_SHARPENING_SMALL, IDC_CHK_AUTO_BRIGHTNESS,
                         IDC_SLIDER_THRESHOLD, IDC_SLIDER_BRIGHTNESS, IDC_SLIDER_ADAPTIVE_CONTRAST}) {
        EXPECT_FALSE(Enabled(dlg, id)) << "control " << id;
    }
    for (const int id :
         {IDC_SLIDER_COLOR_CORRECTION, IDC_SLIDER_NOISE_REMOVAL_INTENSITY, IDC_SLIDER_NOISE_REMOVE_SENSITIVITY,
          IDC_RADIO_AREA_ALL, IDC_RADIO_INPUT_FULL, IDC_BTN_SAVE, IDC_BTN_OPEN_DEVICE}) {
        EXPECT_TRUE(Enabled(dlg, id)) << "control " << id;
    }
    for (const int id : kAllRadios) EXPECT_FALSE(Checked(dlg, id)) << "radio " << id;
    for (const int id : {IDC_CMB_VIVID_ONOFF, IDC_CMB_SHARPENING_ONOFF, IDC_CMB_EXTENDED_CONTRAST_ONOFF}) {
        auto* combo = dlg.Item<QComboBox>(id);
        ASSERT_EQ(combo->count(), 2);
        EXPECT_EQ(combo->itemText(0), QStringLiteral("OFF"));
        EXPECT_EQ(combo->itemText(1), QStringLiteral("ON"));
        EXPECT_EQ(combo->currentText(), QStringLiteral("OFF"));
    }

    // The template says 7 and 10; start-up puts the real ranges there.
    EXPECT_EQ(Text(dlg, IDC_STATIC_COLOR_CORRECTION_MIN), QStringLiteral("0"));
    EXPECT_EQ(Text(dlg, IDC_STATIC_COLOR_CORRECTION_MAX), QStringLiteral("63"));
    EXPECT_EQ(Text(dlg, IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MIN), QStringLiteral("0"));
    EXPECT_EQ(Text(dlg, IDC_STATIC_NOISE_REMOVE_SENSITIVITY_MAX), QStringLiteral("255"));

    struct SliderStart {
        int id, min, max, pos;
    };
    for (const SliderStart s :
         {SliderStart{IDC_SLIDER_VIVID_INTENSITY, 0, 255, 130},
          SliderStart{IDC_SLIDER_SHARPENING_INTENSITY, 0, 1024, 0}, SliderStart{IDC_SLIDER_THRESHOLD, 0, 128, 10},
          SliderStart{IDC_SLIDER_BRIGHTNESS, 0, 255, 0}, SliderStart{IDC_SLIDER_ADAPTIVE_CONTRAST, 0, 255, 0},
          SliderStart{IDC_SLIDER_COLOR_CORRECTION, 0, 63, 0}, SliderStart{IDC_SLIDER_NOISE_REMOVAL_INTENSITY, 0, 3, 0},
          SliderStart{IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, 0, 255, 0}}) {
        const auto* slider = dlg.Item<QSlider>(s.id);
        EXPECT_EQ(slider->minimum(), s.min) << s.id;
        EXPECT_EQ(slider->maximum(), s.max) << s.id;
        EXPECT_EQ(slider->value(), s.pos) << s.id;
    }
    EXPECT_EQ(Text(dlg, IDC_LABEL_VIVID_INTENSITY), QStringLiteral("130"));

    EXPECT_TRUE(dlg.GetDlgItem(IDC_BTN_WRITE_TEST_REG)->isHidden());
    EXPECT_TRUE(dlg.GetDlgItem(IDC_BTN_READ_TEST_REG)->isHidden());
    EXPECT_EQ(dlg.Item<QPushButton>(IDC_BTN_OPEN_DEVICE)->text(), QString::fromUtf8("デバイスを開く"));

    // Positions come from the table in dialog units of the dialog font.
    const QFont& valueFont = dlg.ValueFont();
    EXPECT_TRUE(valueFont.bold());
    EXPECT_EQ(dlg.Item<QLabel>(IDC_LABEL_BRIGHTNESS)->font(), valueFont);
    const ControlTable& table = dlg.Controls();
    EXPECT_EQ(dlg.GetDlgItem(IDC_LIST_LOG)->geometry(), table.MapDialogRect(444, 10, 279, 393));
    EXPECT_EQ(dlg.GetDlgItem(IDC_BTN_OPEN_DEVICE)->geometry(), table.MapDialogRect(157, 41, 58, 14));
    EXPECT_GT(table.BaseUnits().width(), 2);
    EXPECT_GT(table.BaseUnits().height(), 8);
}

TEST_F(MainWindowTest, StartupRefreshListsBridgesWithoutLogging) {
    sim::AddBridge(2, 1, "second bridge");
    CTunedeskDlg dlg;
    DrainEvents();
    auto* devices = dlg.Item<QComboBox>(IDC_CMB_DEVICE_LIST);
    EXPECT_EQ(devices->count(), 2);
    EXPECT_EQ(devices->currentIndex(), 0);
    EXPECT_EQ(dlg.LogList()->GetCount(), 0);
    EXPECT_EQ(dlg.m_nDevIndex.load(), -1);
}

TEST_F(MainWindowTest, NotificationsOutsideTheirRangeChangeNothing) {
    CTunedeskDlg dlg;
    DrainEvents();

    Post(WM_VIVID_ONOFF, 2);
    EXPECT_EQ(Sel(dlg, IDC_CMB_VIVID_ONOFF), 0);
    EXPECT_FALSE(Enabled(dlg, IDC_SLIDER_VIVID_INTENSITY));
    Post(WM_VIVID_ONOFF, 1);
    EXPECT_EQ(dlg.Item<QComboBox>(IDC_CMB_VIVID_ONOFF)->currentText(), QStringLiteral("ON"));
    for (const int id : {IDC_RADIO_VIVID_RANGE_LARGE, IDC_RADIO_VIVID_RANGE_MEDIUM, IDC_RADIO_VIVID_RANGE_SMALL,
                         IDC_SLIDER_VIVID_INTENSITY}) {
        EXPECT_TRUE(Enabled(dlg, id)) << id;
    }

    Post(WM_VIDEO_PROCESS_AREA, 4);
    for (const int id : {IDC_RADIO_AREA_ALL, IDC_RADIO_AREA_CENTER, IDC_RADIO_AREA_LEFT, IDC_RADIO_AREA_RIGHT}) {
        EXPECT_FALSE(Checked(dlg, id));
    }
    Post(WM_VIDEO_PROCESS_AREA, 0);
    Post(WM_VIDEO_PROCESS_AREA, 2);
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_AREA_ALL));
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_AREA_CENTER));
    EXPECT_TRUE(Checked(dlg, IDC_RADIO_AREA_LEFT));
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_AREA_RIGHT));

    Post(WM_VIVID_RANGE, 3);  // Tiny: no radio for it
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_VIVID_RANGE_LARGE));
    Post(WM_VIVID_RANGE, 1);
    Post(WM_VIVID_RANGE, 2);
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_VIVID_RANGE_MEDIUM));
    EXPECT_TRUE(Checked(dlg, IDC_RADIO_VIVID_RANGE_SMALL));

    // Each slider takes exactly its range; a negative value is out of range too.
    struct Range {
        unsigned message;
        int slider, label, max;
    };
    for (const Range r :
         {Range{WM_VIVID_INTENSITY, IDC_SLIDER_VIVID_INTENSITY, IDC_LABEL_VIVID_INTENSITY, 255},
          Range{WM_SHARPENING_INTENSITY, IDC_SLIDER_SHARPENING_INTENSITY, IDC_LABEL_SHARPENING_INTENSITY, 1024},
          Range{WM_THRESHOLD, IDC_SLIDER_THRESHOLD, IDC_LABEL_THRESHOLD, 128},
          Range{WM_BRIGHTNESS, IDC_SLIDER_BRIGHTNESS, IDC_LABEL_BRIGHTNESS, 255},
          Range{WM_ADAPTIVE_CONTRAST, IDC_SLIDER_ADAPTIVE_CONTRAST, IDC_LABEL_ADAPTIVE_CONTRAST, 255},
          Range{WM_COLOR_CORRECTION, IDC_SLIDER_COLOR_CORRECTION, IDC_LABEL_COLOR_CORRECTION, 63},
          Range{WM_NOISE_REMOVE_SENSITIVITY, IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, IDC_LABEL_NOISE_REMOVE_SENSITIVITY,
                255}}) {
        Post(r.message, static_cast<quintptr>(r.max));
        EXPECT_EQ(dlg.Item<QSlider>(r.slider)->value(), r.max) << r.message;
        EXPECT_EQ(Text(dlg, r.label), QString::number(r.max)) << r.message;
        Post(r.message, static_cast<quintptr>(r.max + 1));
        Post(r.message, static_cast<quintptr>(-1));
        EXPECT_EQ(dlg.Item<QSlider>(r.slider)->value(), r.max) << r.message;
        EXPECT_EQ(Text(dlg, r.label), QString::number(r.max)) << r.message;
    }

    // Sharpening area has no effect; Auto Brightness takes any value.
    Post(WM_SHARPENING_AREA, 1);
    Post(WM_AUTO_BRIGHTNESS_ONOFF, 7);
    EXPECT_TRUE(Checked(dlg, IDC_CHK_AUTO_BRIGHTNESS));
    Post(WM_AUTO_BRIGHTNESS_ONOFF, 0);
    EXPECT_FALSE(Checked(dlg, IDC_CHK_AUTO_BRIGHTNESS));

    Post(WM_SHARPENING_ONOFF, 1);
    EXPECT_TRUE(Enabled(dlg, IDC_SLIDER_SHARPENING_INTENSITY));
    EXPECT_TRUE(Enabled(dlg, IDC_RADIO_SHARPENING_SMALL));
    Post(WM_SHARPENING_ONOFF, 0);
    EXPECT_FALSE(Enabled(dlg, IDC_RADIO_SHARPENING_SMALL));
}

TEST_F(MainWindowTest, ValueLabelColoursFollowTheFeatureStates) {
    CTunedeskDlg dlg;
    DrainEvents();
    const QColor purple(148, 0, 135);
    const QColor grey(128, 128, 128);
    auto color = [&](int id) { return dlg.ValueLabelColors(id).text; };

    for (const int id :
         {IDC_LABEL_COLOR_CORRECTION, IDC_LABEL_NOISE_REMOVAL_INTENSITY, IDC_LABEL_NOISE_REMOVE_SENSITIVITY}) {
        EXPECT_EQ(color(id), purple) << id;
        EXPECT_EQ(dlg.ValueLabelColors(id).background, QColor(255, 255, 255));
    }
    for (const int id : {IDC_LABEL_VIVID_INTENSITY, IDC_LABEL_SHARPENING_INTENSITY, IDC_LABEL_THRESHOLD,
                         IDC_LABEL_BRIGHTNESS, IDC_LABEL_ADAPTIVE_CONTRAST}) {
        EXPECT_EQ(color(id), grey) << id;
    }

    // A read-back that finds Extended Contrast on and then Auto Brightness on:
    // the Brightness slider was enabled while the box was still clear and stays
    // so, but its label is grey.
    Post(WM_EXTENDED_CONTRAST_ONOFF, 1);
    EXPECT_EQ(color(IDC_LABEL_BRIGHTNESS), purple);
    Post(WM_AUTO_BRIGHTNESS_ONOFF, 1);
    EXPECT_TRUE(Enabled(dlg, IDC_SLIDER_BRIGHTNESS));
    EXPECT_EQ(color(IDC_LABEL_BRIGHTNESS), grey);
    EXPECT_EQ(color(IDC_LABEL_THRESHOLD), purple);
    EXPECT_EQ(color(IDC_LABEL_ADAPTIVE_CONTRAST), purple);

    // Enabling computed now sees the box checked: Brightness goes disabled.
    dlg.EnableExtendedContrastCtrls(true);
    EXPECT_FALSE(Enabled(dlg, IDC_SLIDER_BRIGHTNESS));
    EXPECT_TRUE(Enabled(dlg, IDC_SLIDER_THRESHOLD));

    Post(WM_VIVID_ONOFF, 1);
    EXPECT_EQ(color(IDC_LABEL_VIVID_INTENSITY), purple);
    EXPECT_EQ(color(IDC_LABEL_SHARPENING_INTENSITY), grey);

    // The colours are what the labels actually paint with.
    auto paints = [&](int id, const QColor& wanted) {
        QWidget* label = dlg.GetDlgItem(id);
        const QImage image = label->grab().toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == wanted) return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(paints(IDC_LABEL_COLOR_CORRECTION, purple));
    EXPECT_TRUE(paints(IDC_LABEL_BRIGHTNESS, grey));
    EXPECT_FALSE(paints(IDC_LABEL_BRIGHTNESS, purple));
}

TEST_F(MainWindowTest, MenusCarryTheirCommandsAndThroughDisplayEnabling) {
    CTunedeskDlg dlg;
    DrainEvents();
    QStringList titles;
    QMenu* through = nullptr;
    for (QAction* action : dlg.MenuBar()->actions()) {
        titles << action->text();
        if (action->text() == QString::fromUtf8("スルー表示")) through = action->menu();
    }
    EXPECT_EQ(titles.mid(0, 3), QStringList({QString::fromUtf8("SPI設定"), QString::fromUtf8("SPI 読み書き"),
                                             QString::fromUtf8("スルー表示")}));
    ASSERT_NE(through, nullptr);

    struct Item {
        int id;
        const char* text;
    };
    for (const Item item : {Item{ID_MENU_SPI_SETTING, "パラメータ設定"}, Item{ID_MENU_SPI_INIT, "SPIの初期化"},
                            Item{ID_MENU_SPI_READWRITE, "SPI 読み書き"}, Item{ID_MENU_THROUGH_DISP_ON, "ON"},
                            Item{ID_MENU_THROUGH_DISP_OFF, "OFF"}, Item{ID_MENU_EXPORT_LOG, "Export"},
                            Item{ID_MENU_CLEAR_LOG, "Clear"}, Item{IDM_ABOUTBOX, "关于 Tunedesk(&A)..."}}) {
        ASSERT_NE(dlg.GetMenuItem(item.id), nullptr) << item.id;
        EXPECT_EQ(dlg.GetMenuItem(item.id)->text(), QString::fromUtf8(item.text));
    }
    EXPECT_EQ(dlg.GetMenuItem(ID_MENU_EXPORT_LOG)->parent(), dlg.LogPopupMenu());

    auto opened = [&] {
        emit through->aboutToShow();
        return std::pair{dlg.GetMenuItem(ID_MENU_THROUGH_DISP_ON)->isEnabled(),
                         dlg.GetMenuItem(ID_MENU_THROUGH_DISP_OFF)->isEnabled()};
    };
    EXPECT_EQ(opened(), std::pair(true, false));
    dlg.m_bThroughDisp = 1;
    EXPECT_EQ(opened(), std::pair(false, true));
    dlg.m_bThroughDisp = 0;
    EXPECT_EQ(opened(), std::pair(true, false));
}

TEST_F(MainWindowTest, MenuCommandsOpenTheirDialogsAndTheLogPopup) {
    CTunedeskDlg dlg;
    dlg.show();
    DrainEvents();
    std::vector<QString> titles;
    std::vector<bool> settingsWithoutParent;
    const RunModalHook previous = SetRunModalHook([&](QDialog* dialog) {
        titles.push_back(dialog->windowTitle());
        if (qobject_cast<SpiSetting*>(dialog)) settingsWithoutParent.push_back(dialog->parentWidget() == nullptr);
        return static_cast<int>(QDialog::Rejected);
    });
    dlg.OnCommand(ID_MENU_SPI_SETTING);
    dlg.GetMenuItem(IDM_ABOUTBOX)->trigger();
    SetRunModalHook(previous);
    EXPECT_EQ(titles, (std::vector<QString>{QString::fromUtf8("SPI設定"), QString::fromUtf8("关于 Tunedesk")}));
    EXPECT_EQ(settingsWithoutParent, std::vector<bool>{true});

    // A right-button press on the log list opens the Export/Clear pop-up.
    QWidget* shown = nullptr;
    QTimer::singleShot(0, &dlg, [&] {
        shown = QApplication::activePopupWidget();
        dlg.LogPopupMenu()->close();
    });
    QTest::mousePress(dlg.LogList()->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_EQ(shown, dlg.LogPopupMenu());
}

TEST_F(MainWindowTest, ProcessingAreaPicturesDrawTheirOwnArea) {
    CTunedeskDlg dlg;
    dlg.show();
    DrainEvents();
    // Which region a picture fills, told from five pixels clear of every edge:
    // 0 whole, 1 centre, 2 left half, 3 right half.
    auto drawnArea = [&](int id) {
        const QImage image = dlg.GetDlgItem(id)->grab().toImage();
        std::string filled;
        for (auto [x, y] : {std::pair{0.15, 0.5}, {0.85, 0.5}, {0.3, 0.1}, {0.7, 0.1}, {0.4, 0.5}})
            filled +=
                image.pixelColor(int(x * image.width()), int(y * image.height())) == QColor(Qt::white) ? '0' : '1';
        const std::string patterns[] = {"11111", "00001", "10101", "01010"};
        for (int area = 0; area < 4; ++area)
            if (filled == patterns[area]) return area;
        return -1;
    };
    EXPECT_EQ(drawnArea(IDC_PIC_AREA_ALL), 0);
    EXPECT_EQ(drawnArea(IDC_PIC_AREA_CENTER), 1);
    EXPECT_EQ(drawnArea(IDC_PIC_AREA_LEFT), 2);
    EXPECT_EQ(drawnArea(IDC_PIC_AREA_RIGHT), 3);
    EXPECT_EQ(IDC_PIC_AREA_ALL, 1074);
    EXPECT_EQ(IDC_PIC_AREA_CENTER, 1076);
    EXPECT_EQ(IDC_PIC_AREA_LEFT, 1075);
    EXPECT_EQ(IDC_PIC_AREA_RIGHT, 1077);
}

TEST_F(MainWindowTest, RadioGroupsAreSeparateAndMayShowNoChoice) {
    CTunedeskDlg dlg;
    dlg.show();
    DrainEvents();
    auto click = [&](int id) { QTest::mouseClick(dlg.Item<QAbstractButton>(id), Qt::LeftButton); };

    click(IDC_RADIO_INPUT_LIMITED);
    click(IDC_RADIO_OUTPUT_FULL);
    EXPECT_TRUE(Checked(dlg, IDC_RADIO_INPUT_LIMITED));
    EXPECT_TRUE(Checked(dlg, IDC_RADIO_OUTPUT_FULL));
    click(IDC_RADIO_INPUT_FULL);
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_INPUT_LIMITED));
    EXPECT_TRUE(Checked(dlg, IDC_RADIO_INPUT_FULL));
    EXPECT_TRUE(Checked(dlg, IDC_RADIO_OUTPUT_FULL)) << "another group is not touched";
    click(IDC_RADIO_INPUT_FULL);
    EXPECT_TRUE(Checked(dlg, IDC_RADIO_INPUT_FULL)) << "a click never clears a radio";
    dlg.Item<QAbstractButton>(IDC_RADIO_INPUT_FULL)->setChecked(false);
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_INPUT_FULL));
    EXPECT_FALSE(Checked(dlg, IDC_RADIO_INPUT_LIMITED));
}

TEST_F(MainWindowTest, NoButtonIsDefaultAndEnterPressesOnlyTheFocusedButton) {
    CTunedeskDlg dlg;
    dlg.show();
    DrainEvents();
    auto noDefault = [&] {
        for (QPushButton* button : dlg.findChildren<QPushButton*>())
            EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
    };
    noDefault();
    auto* refresh = dlg.Item<QPushButton>(IDC_BTN_REFRESH_DEVICE);
    refresh->setFocus();
    QTest::keyClick(refresh, Qt::Key_Return);
    DrainEvents();
    EXPECT_TRUE(dlg.isVisible());
    const CHListBox* log = dlg.Item<CHListBox>(IDC_LIST_LOG);
    ASSERT_GT(log->GetCount(), 0);
    EXPECT_NE(log->GetLine(0).find(u"Refreshing Device..."), std::u16string::npos);
    // Focus leaving a button leaves no default behind for Enter elsewhere.
    auto* list = dlg.Item<QComboBox>(IDC_CMB_DEVICE_LIST);
    list->setFocus();
    noDefault();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(MainWindowTest, EscapeAndUnconsumedEnterEndTheWindow) {
    {
        CTunedeskDlg dlg;
        dlg.show();
        DrainEvents();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    {
        CTunedeskDlg dlg;
        dlg.show();
        DrainEvents();
        QSlider* slider = dlg.Item<QSlider>(IDC_SLIDER_COLOR_CORRECTION);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Return);
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
}

TEST_F(MainWindowTest, PostsAfterTheWindowIsGoneAreDroppedAndLinesWait) {
    {
        CTunedeskDlg dlg;
        DrainEvents();
        EXPECT_EQ(g_hMainWnd.Get(), &dlg);
    }
    EXPECT_EQ(g_hMainWnd.Get(), nullptr);
    EXPECT_FALSE(PostMessage(g_hMainWnd, WM_BRIGHTNESS, 5, 0));
    AddLog(u"after the window");
    DrainEvents();
    std::list<std::u16string> lines;
    ASSERT_TRUE(TakeLogLines(lines));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines.front().ends_with(u"] after the window"));

    // A worker posting and logging all the time while windows come and go.
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        for (quintptr i = 0; !stop.load(); ++i) {
            PostMessage(g_hMainWnd, WM_BRIGHTNESS, i % 256, 0);
            if (i % 16 == 0) AddLog(u"worker line");
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    for (int round = 0; round < 5; ++round) {
        CTunedeskDlg dlg;
        for (int i = 0; i < 10; ++i) DrainEvents();
    }
    stop = true;
    worker.join();
    DrainEvents();
    DiscardQueuedLog();
}

TEST(UiHooksTest, WorkerMessageBoxIsShownOnTheGuiThread) {
    PanelApp();
    MessageBoxRecorder boxes;
    std::thread::id shownOn;
    const MessageBoxHook recorder = SetMessageBoxHook([&](QWidget*, const QString& text) {
        shownOn = std::this_thread::get_id();
        boxes.texts.push_back(text);
    });
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        MessageBox(nullptr, std::u16string(u"from a worker"));
        returned = true;  // only after the box was dismissed
    });
    while (!returned.load()) DrainEvents();
    worker.join();
    SetMessageBoxHook(recorder);
    EXPECT_EQ(shownOn, std::this_thread::get_id());
    EXPECT_EQ(boxes.texts, std::vector<QString>{QStringLiteral("from a worker")});
}

TEST(UiHooksTest, GuiThreadRunsInPostingOrderAndDropsWorkForDestroyedContexts) {
    PanelApp();
    std::vector<int> ran;  // touched by the GUI thread, then by the worker after its wait
    auto context = std::make_unique<QObject>();
    QObject* doomed = context.get();
    std::atomic<bool> posted{false}, contextGone{false}, finished{false};
    std::thread worker([&] {
        RunOnGuiThread(
            nullptr, [&] { ran.push_back(1); }, false);
        RunOnGuiThread(
            doomed, [&] { ran.push_back(2); }, false);
        posted = true;
        while (!contextGone.load()) std::this_thread::yield();
        RunOnGuiThread(
            nullptr, [&] { ran.push_back(3); }, true);  // returns only after it ran
        ran.push_back(4);
        finished = true;
    });
    // The context goes away before the GUI thread looks at the queue.
    while (!posted.load()) std::this_thread::yield();
    context.reset();
    contextGone = true;
    while (!finished.load()) DrainEvents();
    worker.join();
    EXPECT_EQ(ran, (std::vector<int>{1, 3, 4}));

    // On the GUI thread itself the function runs at once, even when told to wait.
    bool here = false;
    RunOnGuiThread(
        nullptr, [&] { here = true; }, true);
    EXPECT_TRUE(here);
}

TEST(SliderScrollTest, UserActionsReportTrackingThenOneEnd) {
    PanelApp();
    QSlider slider(Qt::Horizontal);
    slider.setRange(0, 255);
    slider.resize(200, 20);
    std::vector<unsigned> codes;
    ConnectSliderScroll(&slider, [&](unsigned code) { codes.push_back(code); });

    slider.setValue(40);  // from code, as a UI notification sets it
    EXPECT_TRUE(codes.empty());

    // Dragging the thumb: a track code per move, one end at release.
    slider.setSliderDown(true);
    slider.setSliderPosition(100);
    slider.setSliderPosition(200);
    slider.setSliderDown(false);
    EXPECT_EQ(codes, (std::vector<unsigned>{TB_THUMBTRACK, TB_THUMBTRACK, TB_ENDTRACK}));
    EXPECT_EQ(slider.value(), 200);

    // A key press: the step, then the end when the key is released.
    codes.clear();
    QTest::keyClick(&slider, Qt::Key_Right);
    EXPECT_EQ(codes, (std::vector<unsigned>{TB_LINEDOWN, TB_ENDTRACK}));
    codes.clear();
    QTest::keyClick(&slider, Qt::Key_PageDown);  // a page towards the minimum
    EXPECT_EQ(codes, (std::vector<unsigned>{TB_PAGEUP, TB_ENDTRACK}));
    EXPECT_EQ(slider.value(), 201 - slider.pageStep());
}

}  // namespace
