// The panel on real desktops: a screen smaller than the layout, the keyboard
// alone, a screen reader (through QAccessible, as the AT-SPI bridge asks),
// Qt's own texts in the captions' language, and pictures at fractional scales.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include "CHListBox.h"
#include "CProcessingArea.h"
#include "Ch347Sim.h"
#include "SpiReadWrite.h"
#include "SpiSetting.h"
#include "Translation.h"
#include "TunedeskDlg.h"
#include "support/core_fixture.h"
#include "support/gui_panel.h"

namespace {

constexpr int kSliders[] = {IDC_SLIDER_VIVID_INTENSITY,
                            IDC_SLIDER_SHARPENING_INTENSITY,
                            IDC_SLIDER_THRESHOLD,
                            IDC_SLIDER_BRIGHTNESS,
                            IDC_SLIDER_ADAPTIVE_CONTRAST,
                            IDC_SLIDER_COLOR_CORRECTION,
                            IDC_SLIDER_NOISE_REMOVAL_INTENSITY,
                            IDC_SLIDER_NOISE_REMOVE_SENSITIVITY};

QString Name(QObject* object) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    return iface != nullptr ? iface->text(QAccessible::Name) : QString();
}

class DesktopTest : public SettingsFileTest {
protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        PanelApp();
        sim::Reset();
        sim::RemoveAllBridges();
        DiscardQueuedLog();
    }
    void TearDown() override {
        RemoveTranslation();
        DiscardQueuedLog();
        sim::Reset();
        SettingsFileTest::TearDown();
    }

    // Runs `open`, and reports the pop-up that it opened (closing it again).
    static QWidget* PopupOpenedBy(const std::function<void()>& open) {
        QWidget* shown = nullptr;
        QTimer::singleShot(0, [&] {
            shown = QApplication::activePopupWidget();
            if (shown != nullptr) shown->close();
        });
        open();
        DrainEvents();
        return shown;
    }
};

TEST_F(DesktopTest, SmallWindowScrollsToTheLastRowAndFullSizeDoesNot) {
    CTunedeskDlg dlg;
    // The first size never exceeds what the screen offers.
    const QSize available = dlg.screen()->availableSize();
    EXPECT_LE(dlg.width(), available.width());
    EXPECT_LE(dlg.height(), available.height());

    auto* scroll = dlg.findChild<QScrollArea*>(QStringLiteral("clientScrollArea"));
    ASSERT_NE(scroll, nullptr);
    const ControlTable& table = dlg.Controls();
    const QSize layout = table.MapDialogSize(731, 420);

    dlg.resize(layout.width(), 600);
    dlg.show();
    DrainEvents();
    QScrollBar* vertical = scroll->verticalScrollBar();
    ASSERT_GT(vertical->maximum(), 0) << "a window lower than the layout must scroll";
    vertical->setValue(vertical->maximum());
    DrainEvents();
    // The bottom row is reachable, at its template position and size.
    for (const int id : {IDC_SLIDER_NOISE_REMOVE_SENSITIVITY, IDC_BTN_INIT_ALL, IDC_LIST_LOG}) {
        QWidget* control = dlg.GetDlgItem(id);
        const QRect shown(control->mapTo(scroll->viewport(), QPoint(0, 0)), control->size());
        EXPECT_TRUE(scroll->viewport()->rect().contains(shown.bottomLeft())) << id;
    }
    EXPECT_EQ(dlg.GetDlgItem(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY)->geometry(), table.MapDialogRect(74, 368, 98, 15));

    // Moving through the controls with Tab brings each one into view.
    vertical->setValue(0);
    QWidget* last = dlg.GetDlgItem(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY);
    dlg.GetDlgItem(IDC_SLIDER_NOISE_REMOVAL_INTENSITY)->setFocus();
    QTest::keyClick(dlg.GetDlgItem(IDC_SLIDER_NOISE_REMOVAL_INTENSITY), Qt::Key_Tab);
    DrainEvents();
    EXPECT_EQ(dlg.focusWidget(), last);
    EXPECT_TRUE(scroll->viewport()->rect().contains(
        QRect(last->mapTo(scroll->viewport(), QPoint(0, 0)), last->size()).bottomLeft()));

    // At the layout's size nothing scrolls: the window looks as it always did.
    dlg.resize(layout.width(), layout.height() + dlg.MenuBar()->sizeHint().height());
    DrainEvents();
    EXPECT_EQ(vertical->maximum(), 0);
    EXPECT_EQ(scroll->horizontalScrollBar()->maximum(), 0);
    EXPECT_FALSE(vertical->isVisible());
}

TEST_F(DesktopTest, TabLeavesEachConsoleFieldAndEnterStillBreaksOnRequest) {
    SpiReadWrite console;
    console.show();
    DrainEvents();
    for (const int id : {IDC_SRW_EDIT_ADDR, IDC_SRW_EDIT_DATA, IDC_SRW_EDIT_EDID}) {
        auto* edit = console.Item<QPlainTextEdit>(id);
        edit->setPlainText(QStringLiteral("10"));
        edit->moveCursor(QTextCursor::End);
        edit->setFocus();
        ASSERT_EQ(console.focusWidget(), edit) << id;
        QTest::keyClick(edit, Qt::Key_Tab);
        EXPECT_NE(console.focusWidget(), edit) << "Tab moves on from " << id;
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_NE(console.focusWidget(), edit) << "Shift+Tab moves back from " << id;
        EXPECT_EQ(edit->toPlainText(), QStringLiteral("10")) << "no tab character in " << id;

        QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
        EXPECT_EQ(edit->toPlainText(), QStringLiteral("10\n")) << id;
        edit->clear();
    }
}

TEST_F(DesktopTest, LogMenuOpensFromTheKeyboardAtTheSelectionAndCtrlCCopies) {
    CTunedeskDlg dlg;
    dlg.show();
    DrainEvents();
    CHListBox* list = dlg.LogList();
    for (const char16_t* line : {u"first", u"second", u"third"}) list->AddString(std::u16string(line));
    list->setFocus();
    list->SetCurSel(1);

    EXPECT_EQ(PopupOpenedBy([&] { QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier); }), dlg.LogPopupMenu());
    const QRect row(list->viewport()->mapToGlobal(list->RowRect(1).topLeft()), list->RowRect(1).size());
    EXPECT_EQ(dlg.LogPopupMenu()->pos().y(), row.bottom()) << "the menu opens below the selected line";

    // The menu key reaches the list as a context-menu request from the keyboard.
    QWidget* shown = PopupOpenedBy([&] {
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(list, &menuKey);
    });
    EXPECT_EQ(shown, dlg.LogPopupMenu());

    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_TRUE(list->IsSelected(1));
    EXPECT_TRUE(list->IsSelected(2));
    EXPECT_FALSE(list->IsSelected(0));
    QApplication::clipboard()->clear();
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("second\nthird"));
}

TEST_F(DesktopTest, ScreenReadersGetNamesRadioButtonsAndTheLogLines) {
    CTunedeskDlg dlg;
    DrainEvents();
    for (const int id : kSliders) EXPECT_FALSE(Name(dlg.GetDlgItem(id)).isEmpty()) << "slider " << id;
    EXPECT_EQ(Name(dlg.GetDlgItem(IDC_SLIDER_VIVID_INTENSITY)), QString::fromUtf8("鮮明化, 強度"));
    EXPECT_EQ(Name(dlg.GetDlgItem(IDC_RADIO_VIVID_RANGE_LARGE)), QString::fromUtf8("レンジ, 大"));
    // Every control a user works with says what it is for, in every window.
    SpiReadWrite console;
    SpiSetting settings(nullptr);
    int named = 0;
    for (QWidget* window : std::initializer_list<QWidget*>{&dlg, &console, &settings}) {
        for (QWidget* widget : window->findChildren<QWidget*>(QRegularExpression(QStringLiteral("^IDC_")))) {
            if (qobject_cast<QLabel*>(widget) != nullptr || widget->inherits("QGroupBox")) continue;
            ++named;
            EXPECT_FALSE(Name(widget).isEmpty())
                << window->windowTitle().toStdString() << " " << widget->objectName().toStdString();
        }
    }
    EXPECT_GT(named, 60);
    EXPECT_EQ(Name(console.GetDlgItem(IDC_SRW_EDIT_ADDR)), QStringLiteral("Register Read/Write, register address"));

    // Radio buttons are radio buttons, and a group may still show no choice.
    for (const int id : {IDC_RADIO_AREA_ALL, IDC_RADIO_AREA_CENTER, IDC_RADIO_INPUT_FULL}) {
        QAccessibleInterface* radio = QAccessible::queryAccessibleInterface(dlg.GetDlgItem(id));
        ASSERT_NE(radio, nullptr);
        EXPECT_EQ(radio->role(), QAccessible::RadioButton) << id;
        EXPECT_TRUE(radio->state().checkable);
        EXPECT_FALSE(radio->state().checked);
    }
    ASSERT_TRUE(PostMessage(g_hMainWnd, WM_VIDEO_PROCESS_AREA, 1, 0));
    DrainEvents();
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(dlg.GetDlgItem(IDC_RADIO_AREA_CENTER))->state().checked);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(dlg.GetDlgItem(IDC_RADIO_AREA_ALL))->state().checked);

    // The log is a list whose lines are its items.
    AddLog(u"Open device OK!");
    AddLog(u"second line");
    DrainEvents();
    QAccessibleInterface* log = QAccessible::queryAccessibleInterface(dlg.LogList());
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->role(), QAccessible::List);
    ASSERT_EQ(log->childCount(), 2);
    QAccessibleInterface* first = log->child(0);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->role(), QAccessible::ListItem);
    EXPECT_TRUE(first->text(QAccessible::Name).endsWith(QStringLiteral("] Open device OK!")));
    EXPECT_EQ(log->indexOfChild(log->child(1)), 1);
    EXPECT_EQ(first->parent(), log);
    dlg.LogList()->SetCurSel(1);
    EXPECT_TRUE(log->child(1)->state().selected);
    EXPECT_FALSE(log->child(0)->state().selected);

    dlg.OnMenuClearLog();
    EXPECT_EQ(log->childCount(), 0);
    EXPECT_EQ(log->child(0), nullptr);
}

TEST_F(DesktopTest, AccessibleNamesFollowTheCaptionLanguage) {
    std::string error;
    ASSERT_TRUE(InstallTranslation("en", error)) << error;
    CTunedeskDlg dlg;
    EXPECT_EQ(Name(dlg.GetDlgItem(IDC_SLIDER_VIVID_INTENSITY)), QStringLiteral("Vivid, level"));
    EXPECT_EQ(Name(dlg.GetDlgItem(IDC_SLIDER_NOISE_REMOVE_SENSITIVITY)), QStringLiteral("Noise Removal, sensitivity"));
}

TEST_F(DesktopTest, QtDialogsSpeakTheCaptionLanguage) {
    const QString qtJapanese = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm");
    if (!QFile::exists(qtJapanese)) {
        GTEST_SKIP() << "Qt's Japanese translation is not installed (" << qtJapanese.toStdString()
                     << "; Debian package qt6-translations-l10n)";
    }
    auto cancelText = [] {
        QFileDialog dialog(nullptr, QStringLiteral("profile"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        return buttons != nullptr && buttons->button(QDialogButtonBox::Cancel) != nullptr
                   ? buttons->button(QDialogButtonBox::Cancel)->text()
                   : QString();
    };
    std::string error;
    ASSERT_TRUE(InstallTranslation("", error));
    const QString japanese = cancelText();
    EXPECT_FALSE(japanese.isEmpty());
    EXPECT_FALSE(japanese.contains(QStringLiteral("Cancel"))) << japanese.toStdString();

    ASSERT_TRUE(InstallTranslation("en", error)) << error;
    EXPECT_TRUE(cancelText().contains(QStringLiteral("Cancel"))) << "English captions leave Qt's texts alone";
}

TEST_F(DesktopTest, AreaPicturesKeepEveryFrameLineAtFractionalScales) {
    CProcessingArea area;
    area.resize(91, 53);  // 52 x 30 dialog units at a common font
    const QColor purple(138, 0, 139);
    for (const qreal ratio : {1.0, 1.25, 1.5, 1.75, 2.0}) {
        for (const unsigned choice : {CProcessingArea::kAreaAll, CProcessingArea::kAreaCenter}) {
            area.SetArea(choice);
            QImage image((QSizeF(area.size()) * ratio).toSize(), QImage::Format_RGB32);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::green);
            area.render(&image);
            const int right = image.width() - 1;
            const int bottom = image.height() - 1;
            const int midX = image.width() / 2;
            const int midY = image.height() / 2;
            for (const QPoint p : {QPoint(midX, 0), QPoint(0, midY), QPoint(midX, bottom), QPoint(right, midY),
                                   QPoint(0, 0), QPoint(right, bottom)}) {
                EXPECT_EQ(image.pixelColor(p), QColor(Qt::black))
                    << "frame line at " << p.x() << "," << p.y() << " scale " << ratio << " area " << choice;
            }
            EXPECT_EQ(image.pixelColor(midX, midY), purple) << ratio;
        }
    }
}

// Pictures of the whole screen for the documentation: run under Xvfb with
// QT_QPA_PLATFORM=xcb, TUNEDESK_SCREENSHOT_DIR set and the screen size (and
// QT_SCALE_FACTOR) to look at.
TEST_F(DesktopTest, ScreenshotsOnTheScreenAtHand) {
    const QByteArray dir = qgetenv("TUNEDESK_SCREENSHOT_DIR");
    if (dir.isEmpty()) GTEST_SKIP() << "TUNEDESK_SCREENSHOT_DIR not set";
    sim::Reset();  // the simulated bridge in the device list
    auto shoot = [&](const char* name) {
        for (int i = 0; i < 20; ++i) QTest::qWait(20);
        EXPECT_TRUE(QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromUtf8(dir) + "/" + name));
    };
    CTunedeskDlg dlg;
    dlg.move(0, 0);
    dlg.show();
    dlg.OnBnClickedBtnOpenDevice();
    for (int i = 0; i < 50; ++i) QTest::qWait(20);
    shoot("screen-main.png");
    auto* scroll = dlg.findChild<QScrollArea*>(QStringLiteral("clientScrollArea"));
    scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    scroll->horizontalScrollBar()->setValue(scroll->horizontalScrollBar()->maximum());
    shoot("screen-main-scrolled.png");

    SpiReadWrite console;
    console.move(0, 0);
    console.show();
    shoot("screen-console.png");
}

}  // namespace
