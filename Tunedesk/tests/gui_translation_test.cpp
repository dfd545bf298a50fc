// English captions on request: the original Japanese captions without a
// translation, English ones with tunedesk_en.qm; log lines stay as they are.
#include <gtest/gtest.h>

#include <string>

#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "TunedeskDlg.h"
#include "TunedeskDlgIds.h"
#include "Translation.h"
#include "support/gui_device_fixture.h"
#include "support/gui_panel.h"

namespace {

class TranslationTest : public DevicePanelTest {
protected:
    void TearDown() override {
        RemoveTranslation();
        DevicePanelTest::TearDown();
    }
    QString MenuTitle(int index) const { return dlg_->findChild<QMenuBar*>()->actions().at(index)->text(); }
};

TEST_F(TranslationTest, EnglishCaptionsOnlyOnRequestAndLogLinesUntouched) {
    std::string error;
    ASSERT_TRUE(InstallTranslation("", error));
    CreateWindow();
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), "デバイスを開く");
    EXPECT_EQ(Text(IDC_STATIC_VIVID_INTENSITY), "強度");
    EXPECT_EQ(MenuTitle(0).toStdString(), "SPI設定");
    DestroyWindow();

    ASSERT_TRUE(InstallTranslation("en_US.UTF-8", error)) << error;
    CreateWindow();
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), "Open Device");
    EXPECT_EQ(Text(IDC_STATIC_VIVID_INTENSITY), "Level");
    EXPECT_EQ(MenuTitle(0).toStdString(), "SPI Settings");
    OpenDevice();
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), "Close Device");
    const std::vector<std::string> log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "Getting SPI parameters...") << "log lines are never translated";

    const QByteArray dir = qgetenv("TUNEDESK_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {  // the README's picture: under Xvfb with QT_QPA_PLATFORM=xcb
        dlg_->show();
        for (int i = 0; i < 20; ++i) QTest::qWait(20);
        EXPECT_TRUE(dlg_->grab().save(QString::fromUtf8(dir) + "/main-window-en.png"));
    }
    DestroyWindow();

    EXPECT_FALSE(InstallTranslation("fr", error));
    EXPECT_NE(error.find("tunedesk_fr.qm"), std::string::npos) << error;
    ASSERT_TRUE(InstallTranslation("ja", error));
    CreateWindow();
    EXPECT_EQ(Text(IDC_BTN_OPEN_DEVICE), "デバイスを開く") << "back to the Japanese captions";
}

}  // namespace
