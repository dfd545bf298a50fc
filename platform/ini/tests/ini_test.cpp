#include "Convert.h"
#include "IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/tdini_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = dir_ / "Config.ini";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    std::u16string Path() const { return Utf8ToUtf16(path_.string()); }
    void Put(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
    std::string Get() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    int Int(std::u16string_view section, std::u16string_view key, int def = 77) const {
        return ini::ReadInt(Path(), section, key, def);
    }
    std::u16string Str(std::u16string_view section, std::u16string_view key) const {
        return ini::ReadString(Path(), section, key, u"<def>");
    }

    fs::path dir_, path_;
};

TEST_F(IniTest, MissingFileSectionOrKeyGivesDefault) {
    EXPECT_EQ(Int(u"S", u"a"), 77);
    EXPECT_EQ(Str(u"S", u"a"), u"<def>");
    EXPECT_EQ(ini::ReadInt(u"", u"S", u"a", 5), 5);
    Put("[Other]\na=1\n[S]\nb=2\n");
    EXPECT_EQ(Int(u"S", u"a"), 77);
    EXPECT_EQ(Int(u"Nope", u"b"), 77);
    EXPECT_EQ(Int(u"S", u"b"), 2);
}

TEST_F(IniTest, ParsingFollowsProfileRules) {
    Put("\xEF\xBB\xBF"
        "top=9\r\n"
        "; comment=1\r\n"
        "  [ spiSETTING ]  \r\n"
        "  SpiMode =  3  \r\n"
        "neg=-12\r\n"
        "plus=+7\r\n"
        "lead=42abc\r\n"
        "abc=abc\r\n"
        "empty=\r\n"
        "huge=99999999999\r\n"
        "tiny=-99999999999\r\n"
        "sign=-\r\n"
        "text=  7.5 MHz \r\n"
        "dup=1\r\n"
        "dup=2\r\n"
        "utf=\xE5\xBE\xAE\xE8\xBD\xAF\r\n"
        "noequals\r\n"
        "[SpiSetting]\r\n"
        "late=5\r\n");
    EXPECT_EQ(Int(u"SpiSetting", u"spimode"), 3);
    EXPECT_EQ(Int(u"spisetting", u"NEG"), -12);
    EXPECT_EQ(Int(u"SpiSetting", u"plus"), 7);
    EXPECT_EQ(Int(u"SpiSetting", u"lead"), 42);
    EXPECT_EQ(Int(u"SpiSetting", u"abc"), 0);
    EXPECT_EQ(Int(u"SpiSetting", u"empty"), 77);
    EXPECT_EQ(Int(u"SpiSetting", u"huge"), 2147483647);
    EXPECT_EQ(Int(u"SpiSetting", u"tiny"), -2147483647 - 1);
    EXPECT_EQ(Int(u"SpiSetting", u"sign"), 0);
    EXPECT_EQ(Str(u"SpiSetting", u"text"), u"7.5 MHz");
    EXPECT_EQ(Str(u"SpiSetting", u"empty"), u"");
    EXPECT_EQ(Int(u"SpiSetting", u"dup"), 1);
    EXPECT_EQ(Str(u"SpiSetting", u"utf"), u"微软");
    EXPECT_EQ(Str(u"SpiSetting", u"noequals"), u"");
    // Keys before any section and comment lines are no keys of the section.
    EXPECT_EQ(Int(u"SpiSetting", u"top"), 77);
    EXPECT_EQ(Int(u"SpiSetting", u"; comment"), 77);
    // Only the first section of a name counts.
    EXPECT_EQ(Int(u"SpiSetting", u"late"), 77);
}

TEST_F(IniTest, WriteCreatesFileAndSectionAndReplacesInPlace) {
    ASSERT_TRUE(ini::WriteString(Path(), u"SpiSetting", u"SpiMode", u"1"));
    ASSERT_TRUE(ini::WriteString(Path(), u"SpiSetting", u"SpiClock", u"4"));
    EXPECT_EQ(Get(), "[SpiSetting]\nSpiMode=1\nSpiClock=4\n");
    ASSERT_TRUE(ini::WriteString(Path(), u"spisetting", u"SPIMODE", u"3"));
    EXPECT_EQ(Get(), "[SpiSetting]\nSpiMode=3\nSpiClock=4\n");
    ASSERT_TRUE(ini::WriteString(Path(), u"Other", u"x", u"微"));
    EXPECT_EQ(Get(), "[SpiSetting]\nSpiMode=3\nSpiClock=4\n\n[Other]\nx=\xE5\xBE\xAE\n");
    EXPECT_EQ(Str(u"Other", u"x"), u"微");
    // Names are stored trimmed; the same padded names find them again.
    ASSERT_TRUE(ini::WriteString(Path(), u" Pad\t", u" k ", u"v"));
    EXPECT_EQ(Str(u" Pad\t", u" k "), u"v");
    EXPECT_EQ(Int(u"spisetting ", u"\tSpiClock"), 4);
    // No stray temporary files are left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(IniTest, WriteKeepsEveryOtherLine) {
    const std::string before =
        "; settings of the panel\r\n"
        "[Window]\r\n"
        "x = 10 ; not a comment\r\n"
        "\r\n"
        "[SpiSetting]\r\n"
        "  # hand note\r\n"
        "SpiMode = 2\r\n"
        "ByteOrder=1\r\n"
        "\r\n"
        "; belongs to Tail\r\n"
        "[Tail]\r\n"
        "y=2";  // no line end at the very end
    Put(before);
    ASSERT_TRUE(ini::WriteString(Path(), u"SpiSetting", u"spimode", u"0"));
    ASSERT_TRUE(ini::WriteString(Path(), u"SpiSetting", u"SpiClock", u"5"));
    ASSERT_TRUE(ini::WriteString(Path(), u"Tail", u"z", u"3"));
    EXPECT_EQ(Get(),
              "; settings of the panel\r\n"
              "[Window]\r\n"
              "x = 10 ; not a comment\r\n"
              "\r\n"
              "[SpiSetting]\r\n"
              "  # hand note\r\n"
              "SpiMode=0\r\n"
              "ByteOrder=1\r\n"
              "SpiClock=5\r\n"
              "\r\n"
              "; belongs to Tail\r\n"
              "[Tail]\r\n"
              "y=2\r\n"
              "z=3\r\n");
    EXPECT_EQ(Str(u"Window", u"x"), u"10 ; not a comment");
}

TEST_F(IniTest, RefusesInputThatWouldBreakTheFile) {
    Put("[S]\na=1\n");
    EXPECT_FALSE(ini::WriteString(Path(), u"S", u"a", u"7.5\n[S]\nb=2"));
    EXPECT_FALSE(ini::WriteString(Path(), u"S", u"a", u"1\r"));
    EXPECT_FALSE(ini::WriteString(Path(), u"S", u"a=b", u"1"));
    EXPECT_FALSE(ini::WriteString(Path(), u"S]x", u"a", u"1"));
    EXPECT_FALSE(ini::WriteString(Path(), u"S", u" ", u"1"));
    EXPECT_FALSE(ini::WriteString(Path(), u"", u"a", u"1"));
    EXPECT_FALSE(ini::WriteString(u"", u"S", u"a", u"1"));
    EXPECT_EQ(Get(), "[S]\na=1\n");
}

TEST_F(IniTest, WriteFailureIsReportedAndKeepsOldFile) {
    Put("[S]\na=1\n");
    // A path whose folder does not exist.
    EXPECT_FALSE(ini::WriteString(Utf8ToUtf16((dir_ / "missing" / "Config.ini").string()), u"S", u"a", u"2"));
    // A path that names a folder cannot be read: it reads as missing and is not replaced.
    const std::u16string folder = Utf8ToUtf16(dir_.string());
    EXPECT_EQ(ini::ReadInt(folder, u"S", u"a", 77), 77);
    EXPECT_FALSE(ini::WriteString(folder, u"S", u"a", u"2"));
    EXPECT_TRUE(fs::is_directory(dir_));
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(ini::WriteString(Path(), u"S", u"a", u"2"));
    fs::permissions(dir_, fs::perms::owner_all);
    EXPECT_EQ(Get(), "[S]\na=1\n");
    // An unreadable file reads as missing and is not overwritten.
    fs::permissions(path_, fs::perms::none);
    EXPECT_EQ(Int(u"S", u"a"), 77);
    EXPECT_FALSE(ini::WriteString(Path(), u"S", u"b", u"2"));
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Get(), "[S]\na=1\n");
}

TEST_F(IniTest, SaveKeepsFileMode) {
    Put("[S]\na=1\n");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(ini::WriteString(Path(), u"S", u"a", u"2"));
    EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniTest, ConcurrentWritersLoseNothingAndReadersSeeWholeFiles) {
    constexpr int kKeys = 20;
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    ASSERT_TRUE(ini::WriteString(Path(), u"S", u"anchor", u"1"));
    std::thread reader([&] {
        while (!stop) {
            // "anchor" is always there; a torn or half-written file would lose it.
            if (ini::ReadInt(Path(), u"S", u"anchor", -1) != 1) ++torn;
        }
    });
    auto writer = [&](char16_t prefix) {
        for (int i = 0; i < kKeys; ++i) {
            std::u16string key(1, prefix);
            key += Utf8ToUtf16(std::to_string(i));
            EXPECT_TRUE(ini::WriteString(Path(), u"S", key, Utf8ToUtf16(std::to_string(i))));
        }
    };
    std::thread w1(writer, u'a'), w2(writer, u'b');
    w1.join();
    w2.join();
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    for (int i = 0; i < kKeys; ++i) {
        EXPECT_EQ(Int(u"S", u"a" + Utf8ToUtf16(std::to_string(i))), i);
        EXPECT_EQ(Int(u"S", u"b" + Utf8ToUtf16(std::to_string(i))), i);
    }
}

}  // namespace
