// The SPI settings dialog against a settings file in a temporary folder:
// what it shows on opening, what OK refuses and with which message, and what
// it writes (and leaves alone) in the file.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "SpiSetting.h"
#include "SpiSettingFile.h"
#include "SpiSettingLayout.h"
#include "support/core_fixture.h"
#include "support/gui_panel.h"

namespace {

class SpiSettingTest : public SettingsFileTest {
protected:
    void SetUp() override {
        SettingsFileTest::SetUp();
        PanelApp();
    }

    static QComboBox* List(SpiSetting& dlg, int id) { return dlg.Item<QComboBox>(id); }
    static QLineEdit* Edit(SpiSetting& dlg, int id) { return dlg.Item<QLineEdit>(id); }
    static QCheckBox* Box(SpiSetting& dlg, int id) { return dlg.Item<QCheckBox>(id); }
    static void PressOk(SpiSetting& dlg) { QTest::mouseClick(dlg.Item<QPushButton>(IDC_SPI_OK), Qt::LeftButton); }

    // The file's key=value lines of section SpiSetting, without line ends.
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        std::string text = ReadIni();
        std::string line;
        for (char c : text) {
            if (c == '\r') continue;
            if (c == '\n') {
                if (!line.empty()) out.push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty()) out.push_back(line);
        return out;
    }
};

TEST_F(SpiSettingTest, OpensWithTheStoredChoices) {
    {
        SpiSetting dlg;  // no file: the defaults
        EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("SPI設定"));
        EXPECT_EQ(List(dlg, IDC_SPI_MODE)->currentText(), QStringLiteral("Mode1"));
        EXPECT_EQ(List(dlg, IDC_SPI_CLOCK)->count(), 8);
        EXPECT_EQ(List(dlg, IDC_SPI_CLOCK)->currentText(), QStringLiteral("3.75MHz"));
        EXPECT_EQ(List(dlg, IDC_SPI_BYTE_ORDER)->currentText(), QStringLiteral("MSB"));
        EXPECT_EQ(List(dlg, IDC_SPI_CS1_POLARITY)->currentText(), QStringLiteral("CS1 POLA_LOW"));
        EXPECT_EQ(List(dlg, IDC_SPI_CS2_POLARITY)->currentText(), QStringLiteral("CS2 POLA_LOW"));
        EXPECT_EQ(Edit(dlg, IDC_SPI_INOUT_INTERVAL)->text(), QStringLiteral("0"));
        EXPECT_FALSE(Box(dlg, IDC_SPI_FREQ_ENABLE)->isChecked());
        EXPECT_TRUE(Box(dlg, IDC_SPI_CS_ENABLE)->isChecked());
        EXPECT_EQ(List(dlg, IDC_SPI_CS_CHIP)->currentText(), QStringLiteral("CS1"));
        EXPECT_EQ(List(dlg, IDC_SPI_CS_ACTIVE)->currentText(), QStringLiteral("CS Active"));
        EXPECT_EQ(List(dlg, IDC_SPI_DATA_BITS)->currentText(), QStringLiteral("8bit"));
    }
    WriteIni(
        "[SpiSetting]\nSpiClock=9\nFreqEnable=0\nFrequency=5\nFreqUnit=1\nCSEnable=0\nCSChipIndex=1\n"
        "CSActive=1\nInOutInterval=17\nActiveRwDelay=3\nDeactiveRwDelay=4\n");
    SpiSetting dlg;
    EXPECT_EQ(List(dlg, IDC_SPI_CLOCK)->currentIndex(), -1) << "a stored index outside the table selects nothing";
    EXPECT_FALSE(Box(dlg, IDC_SPI_FREQ_ENABLE)->isChecked());
    EXPECT_EQ(Edit(dlg, IDC_SPI_FREQUENCY)->text(), QString());
    EXPECT_EQ(List(dlg, IDC_SPI_FREQ_UNIT)->currentText(), QStringLiteral("MHz"));
    EXPECT_FALSE(Box(dlg, IDC_SPI_CS_ENABLE)->isChecked());
    EXPECT_EQ(List(dlg, IDC_SPI_CS_CHIP)->currentIndex(), -1);
    EXPECT_EQ(List(dlg, IDC_SPI_CS_ACTIVE)->currentIndex(), -1);
    EXPECT_EQ(Edit(dlg, IDC_SPI_INOUT_INTERVAL)->text(), QStringLiteral("17"));
    EXPECT_EQ(Edit(dlg, IDC_SPI_ACTIVE_DELAY)->text(), QStringLiteral("3"));
    EXPECT_EQ(Edit(dlg, IDC_SPI_DEACTIVE_DELAY)->text(), QStringLiteral("4"));

    // The delay fields take digits only.
    Edit(dlg, IDC_SPI_ACTIVE_DELAY)->clear();
    QTest::keyClicks(Edit(dlg, IDC_SPI_ACTIVE_DELAY), "1-2a 3");
    EXPECT_EQ(Edit(dlg, IDC_SPI_ACTIVE_DELAY)->text(), QStringLiteral("123"));
}

TEST_F(SpiSettingTest, SavesInKeyOrderWhatTheFileExampleShows) {
    MessageBoxRecorder boxes;
    SpiSetting dlg;
    Box(dlg, IDC_SPI_FREQ_ENABLE)->setChecked(true);
    Edit(dlg, IDC_SPI_FREQUENCY)->setText(QStringLiteral("7.5"));
    List(dlg, IDC_SPI_FREQ_UNIT)->setCurrentIndex(0);
    PressOk(dlg);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "[SpiSetting]", "SpiMode=1", "SpiClock=4", "ByteOrder=1", "CS1Polarity=0", "CS2Polarity=0",
                           "InOutInterval=0", "FreqEnable=1", "Frequency=7.5", "FreqUnit=0", "DataBits=0", "CSEnable=1",
                           "CSChipIndex=0", "CSActive=0", "ActiveRwDelay=0", "DeactiveRwDelay=0"}));
}

TEST_F(SpiSettingTest, OkRefusesIncompleteEntriesWithItsMessages) {
    MessageBoxRecorder boxes;
    SpiSetting dlg;

    Edit(dlg, IDC_SPI_INOUT_INTERVAL)->setText(QStringLiteral("   "));
    PressOk(dlg);
    EXPECT_TRUE(boxes.texts.empty()) << "an empty interval ends OK silently";
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(ReadIni(), "") << "nothing saved";
    Edit(dlg, IDC_SPI_INOUT_INTERVAL)->setText(QStringLiteral("5"));

    Box(dlg, IDC_SPI_FREQ_ENABLE)->setChecked(true);
    struct Case {
        const char* text;
        const char* message;
    };
    const char* illegal = "The frequency setting is illegal, it may contain non numeric characters!";
    for (const Case c : {Case{"", "The frequency setting cannot be empty!"},
                         Case{"  \t", "The frequency setting cannot be empty!"}, Case{"12k", illegal},
                         Case{"abc", illegal}, Case{"1.2.3", illegal}, Case{"7,5", illegal}, Case{"nan", illegal}}) {
        boxes.texts.clear();
        Edit(dlg, IDC_SPI_FREQUENCY)->setText(QString::fromUtf8(c.text));
        PressOk(dlg);
        ASSERT_EQ(boxes.texts.size(), 1u) << c.text;
        EXPECT_EQ(boxes.texts[0], QString::fromUtf8(c.message)) << c.text;
        EXPECT_EQ(Edit(dlg, IDC_SPI_FREQUENCY)->text(), QString::fromUtf8(c.text)) << "input stays as typed";
    }
    EXPECT_EQ(ReadIni(), "");

    Edit(dlg, IDC_SPI_FREQUENCY)->setText(QStringLiteral(" 12 "));
    Edit(dlg, IDC_SPI_ACTIVE_DELAY)->clear();
    Edit(dlg, IDC_SPI_DEACTIVE_DELAY)->clear();
    boxes.texts.clear();
    PressOk(dlg);
    Edit(dlg, IDC_SPI_ACTIVE_DELAY)->setText(QStringLiteral("8"));
    PressOk(dlg);
    EXPECT_EQ(boxes.texts, (std::vector<QString>{QStringLiteral("The Active RW Delay setting cannot be empty!"),
                                                 QStringLiteral("The Deactive RW Delay setting cannot be empty!")}));
    EXPECT_EQ(ReadIni(), "");

    Edit(dlg, IDC_SPI_DEACTIVE_DELAY)->setText(QStringLiteral("9"));
    List(dlg, IDC_SPI_FREQ_UNIT)->setCurrentIndex(1);
    boxes.texts.clear();
    PressOk(dlg);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(LoadFrequency(), u"12") << "saved trimmed";
    EXPECT_EQ(LoadFreqUnit(), 1);
    EXPECT_EQ(LoadInOutInterval(), 5);
    EXPECT_EQ(LoadActiveRwDelay(), 8);
    EXPECT_EQ(LoadDeactiveRwDelay(), 9);
}

TEST_F(SpiSettingTest, ClearedBoxesKeepTheirKeysAndMissingChoicesSaveMinusOne) {
    WriteIni("[SpiSetting]\nFreqEnable=1\nFrequency=9\nFreqUnit=1\nCSEnable=1\nCSChipIndex=1\nCSActive=1\n");
    {
        SpiSetting dlg;
        EXPECT_EQ(Edit(dlg, IDC_SPI_FREQUENCY)->text(), QStringLiteral("9"));
        Box(dlg, IDC_SPI_FREQ_ENABLE)->setChecked(false);
        Box(dlg, IDC_SPI_CS_ENABLE)->setChecked(false);
        PressOk(dlg);
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_EQ(LoadFreqEnable(), 0);
    EXPECT_EQ(LoadFrequency(), u"9");
    EXPECT_EQ(LoadFreqUnit(), 1);
    EXPECT_EQ(LoadCSEnable(), 0);
    EXPECT_EQ(LoadCSChipIndex(), 1);
    EXPECT_EQ(LoadCSActive(), 1);
    {
        SpiSetting dlg;  // the cleared frequency opens empty in MHz
        EXPECT_EQ(Edit(dlg, IDC_SPI_FREQUENCY)->text(), QString());
        EXPECT_EQ(List(dlg, IDC_SPI_FREQ_UNIT)->currentIndex(), 0);
        // Ticking EnableCS without choosing chip or state saves -1 for both.
        Box(dlg, IDC_SPI_CS_ENABLE)->setChecked(true);
        PressOk(dlg);
    }
    EXPECT_EQ(LoadCSEnable(), 1);
    EXPECT_EQ(LoadCSChipIndex(), -1);
    EXPECT_EQ(LoadCSActive(), -1);

    WriteIni("[SpiSetting]\nSpiClock=9\n");
    {
        SpiSetting dlg;
        PressOk(dlg);
    }
    EXPECT_EQ(LoadSpiClock(), -1);
}

TEST_F(SpiSettingTest, OkThatCannotSaveKeepsTheDialogOpen) {
    MessageBoxRecorder boxes;
    SetIniFilePathForTest(u"/nonexistent-tunedesk-folder/Config.ini");
    SpiSetting dlg;
    PressOk(dlg);
    SetIniFilePathForTest(u"");
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0],
              QStringLiteral("Failed to save the SPI settings to /nonexistent-tunedesk-folder/Config.ini!"));
    EXPECT_NE(dlg.result(), QDialog::Accepted);
}

TEST_F(SpiSettingTest, CancelSavesNothing) {
    SpiSetting dlg;
    Edit(dlg, IDC_SPI_INOUT_INTERVAL)->setText(QStringLiteral("44"));
    QTest::mouseClick(dlg.Item<QPushButton>(IDC_SPI_CANCEL), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(ReadIni(), "");
}

}  // namespace
