// Settings file and option tables.
#include <atomic>
#include <thread>

#include "IniFile.h"
#include "SpiOptions.h"
#include "Convert.h"
#include "SpiSettingFile.h"
#include "support/core_fixture.h"

namespace {

using Settings = SettingsFileTest;

TEST_F(Settings, PathIsBesideTheProgramUnlessOverridden) {
    SetIniFilePathForTest(u"");
    std::u16string path = GetIniFilePath();
    ASSERT_GE(path.size(), 11u);
    EXPECT_EQ(path.substr(path.size() - 11), u"/Config.ini");
    EXPECT_EQ(path[0], u'/');
}

TEST_F(Settings, NoFileGivesDefaults) {
    EXPECT_EQ(LoadSpiMode(), 1);
    EXPECT_EQ(LoadSpiClock(), 4);
    EXPECT_EQ(LoadByteOrder(), 1);
    EXPECT_EQ(LoadCSEnable(), 1);
    EXPECT_EQ(LoadSPIRWDelay(), 2000000);
    for (int (*load)() : {LoadCS1Polarity, LoadCS2Polarity, LoadInOutInterval, LoadFreqEnable, LoadFreqUnit,
                          LoadDataBits, LoadCSChipIndex, LoadCSActive, LoadActiveRwDelay, LoadDeactiveRwDelay})
        EXPECT_EQ(load(), 0);
    EXPECT_EQ(LoadFrequency(), u"");

    _UI_SPI_CONFIG c;
    c.SpiMode = c.SpiClock = c.ByteOrder = c.CSEnable = c.FreqUnit = 9;
    c.Frequency = u"junk";
    LoadSpiConfig(c);
    EXPECT_EQ(c.SpiMode, 1);
    EXPECT_EQ(c.SpiClock, 4);
    EXPECT_EQ(c.ByteOrder, 1);
    EXPECT_EQ(c.CS1Polarity, 0);
    EXPECT_EQ(c.CS2Polarity, 0);
    EXPECT_EQ(c.InOutInterval, 0);
    EXPECT_EQ(c.CSEnable, 1);
    EXPECT_EQ(c.CSChipIndex, 0);
    EXPECT_EQ(c.ActiveRwDelay, 0);
    EXPECT_EQ(c.DeactiveRwDelay, 0);
    EXPECT_EQ(c.CSActive, 0);
    EXPECT_EQ(c.FreqEnable, 0);
    EXPECT_EQ(c.Frequency, u"");
    EXPECT_EQ(c.FreqUnit, 0);
    EXPECT_EQ(c.DataBits, 0);
}

TEST_F(Settings, ValuesAsTheFileHoldsThem) {
    WriteIni("[SpiSetting]\nSpiClock=7\n");
    EXPECT_EQ(LoadSpiClock(), 7);
    EXPECT_EQ(LoadSpiMode(), 1);
    EXPECT_EQ(LoadSPIRWDelay(), 2000000);

    WriteIni("[SpiSetting]\r\nSpiMode=abc\r\nCSChipIndex=-1\r\nSpiClock=9\r\nFrequency=" + std::string(300, '7') +
             "\r\n");
    EXPECT_EQ(LoadSpiMode(), 0);  // not the default 1
    EXPECT_EQ(LoadCSChipIndex(), -1);
    EXPECT_EQ(LoadSpiClock(), 9);  // no range check here
    EXPECT_EQ(LoadFrequency(), std::u16string(259, u'7'));
}

TEST_F(Settings, LoadSpiConfigReadsEveryFieldWhateverTheFlags) {
    WriteIni(
        "[SpiSetting]\nSpiMode=3\nSpiClock=2\nByteOrder=0\nCS1Polarity=1\nCS2Polarity=1\nInOutInterval=12\n"
        "FreqEnable=0\nFrequency=12.5\nFreqUnit=1\nDataBits=1\nCSEnable=0\nCSChipIndex=1\nCSActive=1\n"
        "ActiveRwDelay=70000\nDeactiveRwDelay=5\nSPIRWDelay=3\n");
    _UI_SPI_CONFIG c;
    LoadSpiConfig(c);
    EXPECT_EQ(c.SpiMode, 3);
    EXPECT_EQ(c.SpiClock, 2);
    EXPECT_EQ(c.ByteOrder, 0);
    EXPECT_EQ(c.CS1Polarity, 1);
    EXPECT_EQ(c.CS2Polarity, 1);
    EXPECT_EQ(c.InOutInterval, 12);
    EXPECT_EQ(c.FreqEnable, 0);
    EXPECT_EQ(c.Frequency, u"12.5");
    EXPECT_EQ(c.FreqUnit, 1);
    EXPECT_EQ(c.DataBits, 1);
    EXPECT_EQ(c.CSEnable, 0);
    EXPECT_EQ(c.CSChipIndex, 1);
    EXPECT_EQ(c.CSActive, 1);
    EXPECT_EQ(c.ActiveRwDelay, 70000);
    EXPECT_EQ(c.DeactiveRwDelay, 5);
}

TEST_F(Settings, DialogSaveOrderProducesTheExampleFile) {
    // OK on a system without a file, defaults chosen, both boxes ticked,
    // 7.5 MHz, all delays 0.
    EXPECT_TRUE(SaveSpiMode(1));
    EXPECT_TRUE(SaveSpiClock(4));
    EXPECT_TRUE(SaveByteOrder(1));
    EXPECT_TRUE(SaveCS1Polarity(0));
    EXPECT_TRUE(SaveCS2Polarity(0));
    EXPECT_TRUE(SaveInOutInterval(0));
    EXPECT_TRUE(SaveFreqEnable(1));
    EXPECT_TRUE(SaveFrequency(u"7.5"));
    EXPECT_TRUE(SaveFreqUnit(0));
    EXPECT_TRUE(SaveDataBits(0));
    EXPECT_TRUE(SaveCSEnable(1));
    EXPECT_TRUE(SaveCSChipIndex(0));
    EXPECT_TRUE(SaveCSActive(0));
    EXPECT_TRUE(SaveActiveRwDelay(0));
    EXPECT_TRUE(SaveDeactiveRwDelay(0));
    EXPECT_EQ(ReadIni(),
              "[SpiSetting]\nSpiMode=1\nSpiClock=4\nByteOrder=1\nCS1Polarity=0\nCS2Polarity=0\nInOutInterval=0\n"
              "FreqEnable=1\nFrequency=7.5\nFreqUnit=0\nDataBits=0\nCSEnable=1\nCSChipIndex=0\nCSActive=0\n"
              "ActiveRwDelay=0\nDeactiveRwDelay=0\n");
    // A save is seen by the very next load.
    EXPECT_TRUE(SaveSPIRWDelay(-5));
    EXPECT_EQ(LoadSPIRWDelay(), -5);
}

TEST_F(Settings, SaveKeepsTheRestOfTheFile) {
    WriteIni("; panel settings\r\n[Window]\r\nLeft=10\r\n\r\n[SpiSetting]\r\nSpiMode=2\r\nUnknownKey=x\r\n");
    EXPECT_TRUE(SaveSpiMode(0));
    EXPECT_TRUE(SaveCSChipIndex(-1));
    EXPECT_EQ(ReadIni(),
              "; panel settings\r\n[Window]\r\nLeft=10\r\n\r\n[SpiSetting]\r\nSpiMode=0\r\nUnknownKey=x\r\n"
              "CSChipIndex=-1\r\n");
    EXPECT_EQ(LoadCSChipIndex(), -1);
}

TEST_F(Settings, FailedSaveIsReported) {
    WriteIni("[SpiSetting]\nFrequency=7.5\n");
    // A line break would smuggle keys into the file.
    EXPECT_FALSE(SaveFrequency(u"7.5\nSPIRWDelay=0"));
    EXPECT_EQ(LoadFrequency(), u"7.5");
    EXPECT_EQ(LoadSPIRWDelay(), 2000000);
    // A folder that does not exist cannot take the file.
    SetIniFilePathForTest(Utf8ToUtf16((dir_ / "missing" / "Config.ini").string()));
    EXPECT_FALSE(SaveSpiMode(2));
    EXPECT_EQ(LoadSpiMode(), 1);
}

TEST_F(Settings, LoadersNeverSeeATornFile) {
    // A file with every key set away from its default; a saver rewrites it
    // continuously while two loaders check that no key ever falls back.
    WriteIni("[SpiSetting]\nSpiMode=3\nSpiClock=7\nByteOrder=0\nCSEnable=0\nSPIRWDelay=5\nFrequency=12.5\n");
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    auto loader = [&] {
        while (!stop) {
            _UI_SPI_CONFIG c;
            LoadSpiConfig(c);
            if (c.SpiMode != 3 || c.SpiClock != 7 || c.ByteOrder != 0 || c.CSEnable != 0 || c.Frequency != u"12.5" ||
                LoadSPIRWDelay() != 5)
                ++bad;
        }
    };
    std::thread a(loader), b(loader);
    for (int i = 0; i < 200; ++i) {
        EXPECT_TRUE(SaveSpiMode(3));
        EXPECT_TRUE(SaveFrequency(u"12.5"));
        EXPECT_TRUE(SaveDataBits(i & 1));
    }
    stop = true;
    a.join();
    b.join();
    EXPECT_EQ(bad, 0);
}

TEST(SpiOptions, TablesAndNameLookups) {
    const std::u16string* e = nullptr;
    ASSERT_EQ(GetSpiModeArray(&e), 4);
    EXPECT_EQ(e[0], u"Mode0");
    EXPECT_EQ(e[3], u"Mode3");
    ASSERT_EQ(GetSpiClockArray(&e), 8);
    const char16_t* clocks[] = {u"60MHz",   u"30MHz",    u"15MHz",    u"7.5MHz",
                                u"3.75MHz", u"1.875MHz", u"937.5KHz", u"468.75KHz"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(e[i], clocks[i]);
    EXPECT_EQ(GetSpiClockArray(nullptr), 8);
    EXPECT_EQ(GetSpiCSActiveArray(&e), 2);
    EXPECT_EQ(e[1], u"CS Deactive");

    EXPECT_EQ(GetSpiModeName(1), u"Mode1");
    EXPECT_EQ(GetSpiClockName(7), u"468.75KHz");
    EXPECT_EQ(GetSpiClockName(8), u"");
    EXPECT_EQ(GetSpiClockName(-1), u"");
    EXPECT_EQ(GetSpiClockName(1000), u"");
    EXPECT_EQ(GetSpiByteOrderName(0), u"LSB");
    EXPECT_EQ(GetSpiByteOrderName(2), u"");
    EXPECT_EQ(GetSpiCS1PolarName(1), u"CS1 POLA_HIGH");
    EXPECT_EQ(GetSpiCS2PolarName(0), u"CS2 POLA_LOW");
    EXPECT_EQ(GetSpiCSName(1), u"CS2");
    EXPECT_EQ(GetSpiDataBitsName(1), u"16bit");
    EXPECT_EQ(GetSpiFreqUnitName(1), u"KHz");
    EXPECT_EQ(GetSpiFreqUnitName(-1), u"");
}

}  // namespace
