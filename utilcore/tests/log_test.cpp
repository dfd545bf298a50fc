#include "Log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Convert.h"
#include "TimeUtil.h"
#include "trace.h"

namespace fs = std::filesystem;

namespace {

// "YYYY-MM-DD_hhmmss.log", with an optional "_N" before ".log" when allowed.
bool IsLogFileName(const std::string& name, bool suffixAllowed) {
    const std::string shape = "dddd-dd-dd_dddddd";
    if (name.size() < shape.size() + 4 || name.compare(name.size() - 4, 4, ".log") != 0) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == 'd' ? !digit : name[i] != shape[i]) return false;
    }
    const std::string rest = name.substr(shape.size(), name.size() - 4 - shape.size());
    if (rest.empty()) return true;
    if (!suffixAllowed || rest.size() < 2 || rest[0] != '_') return false;
    return rest.find_first_not_of("0123456789", 1) == std::string::npos;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/td_log_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        SetFileLogEnable(true);
    }
    void TearDown() override {
        SetFileLogEnable(true);
        FileLogInit(u"");
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::u16string Dir() const { return Ansi2CString(dir_.c_str()); }
    std::u16string PathOf(const std::string& name) const { return Ansi2CString((dir_ + "/" + name).c_str()); }

    std::vector<fs::path> LogFiles() const {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(dir_)) files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    static std::string Bytes(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    // The file's UTF-16LE code units as text.
    static std::u16string Units(const fs::path& p) {
        const std::string b = Bytes(p);
        std::u16string out;
        for (size_t i = 0; i + 1 < b.size(); i += 2)
            out.push_back(
                static_cast<char16_t>(static_cast<unsigned char>(b[i]) | (static_cast<unsigned char>(b[i + 1]) << 8)));
        return out;
    }

    std::string dir_;
    int counter_ = 0;
};

// Formats one record into a fresh file through the path form and reads it back.
#define RECORD(...)                                                  \
    [&] {                                                            \
        const std::string name = "rec" + std::to_string(counter_++); \
        FileLogOutput(PathOf(name), __VA_ARGS__);                    \
        return Units(fs::path(dir_) / name);                         \
    }()

}  // namespace

TEST_F(LogTest, FormatterConversions) {
    EXPECT_EQ(RECORD(u"x=%d\r\n", 5), u"x=5\r\n");
    EXPECT_EQ(fs::file_size(fs::path(dir_) / "rec0"), 10u);
    // Not conversions of this formatter: copied, no argument consumed.
    EXPECT_EQ(RECORD(u"%5d|%d", 9), u"%5d|9");
    EXPECT_EQ(RECORD(u"%02X", 10), u"0A");
    EXPECT_EQ(RECORD(u"%01d|%d", 3), u"%01d|3");
    EXPECT_EQ(RECORD(u"%0ad|%d", 3), u"%0ad|3");
    EXPECT_EQ(RECORD(u"%lx%d", 4), u"lx4");
    EXPECT_EQ(RECORD(u"100%%"), u"100%%");
    EXPECT_EQ(RECORD(u"%%d", 7), u"%7");
    EXPECT_EQ(RECORD(u"%q%d", 1), u"%q1");
    EXPECT_EQ(RECORD(u"end%"), u"end%");

    EXPECT_EQ(RECORD(u"%d %u %x %X", -1, -1, 255, 255), u"-1 4294967295 ff FF");
    EXPECT_EQ(RECORD(u"%f", 1.5), u"1.500000");
    EXPECT_EQ(RECORD(u"%ld %lu", -7, 7u), u"-7 7");
    EXPECT_EQ(RECORD(u"%lld %llu", -5000000000LL, 18446744073709551615ULL), u"-5000000000 18446744073709551615");
    EXPECT_EQ(RECORD(u"%08X %09d %03x", 0xBEEFu, -42, 10), u"0000BEEF -00000042 00a");
    EXPECT_EQ(RECORD(u"[%s]", u"wide \u00e9\u4e2d"), u"[wide \u00e9\u4e2d]");
    // A value longer than the classic 15 characters is kept whole.
    EXPECT_EQ(RECORD(u"%f", 1e20), u"100000000000000000000.000000");
}

TEST_F(LogTest, FormatOnlyFormWithLeadingText) {
    ASSERT_EQ(FileLogInit(Dir()), 1);
    FileLogOutput(u"%s=%d;", u"a", 1);
    FileLogOutput(u"%s;", u"b");
    // A literal 0 is also a null text pointer; it must still print as 0.
    FileLogOutput(u"%d,%d;", 0, 5);
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Units(files[0]), u"a=1;b;0,5;");
}

TEST_F(LogTest, RecordLengthLimits) {
    // Formatting stops once 256 characters are out; the step that crosses the
    // mark is finished.
    const std::u16string a250(250, u'a'), b10(10, u'b');
    EXPECT_EQ(RECORD(u"%s%s%s", a250.c_str(), b10.c_str(), u"never"), a250 + b10);
    const std::u16string plain(300, u'p');
    EXPECT_EQ(RECORD(plain.c_str()).size(), 256u);
    // Never more than 2047 characters, even from one long text.
    const std::u16string huge(5000, u'h');
    EXPECT_EQ(RECORD(u"%s", huge.c_str()), std::u16string(2047, u'h'));
}

TEST_F(LogTest, EnableFlagAndPathForms) {
    ASSERT_EQ(FileLogInit(Dir()), 1);
    EXPECT_TRUE(IsFileLogEnable());
    SetFileLogEnable(false);
    EXPECT_FALSE(IsFileLogEnable());
    FileLogOutput(u"a");
    FileLogOutput(true, u"b");
    FileLogOutput(PathOf("other.txt"), u"c");
    SetFileLogEnable(true);
    FileLogOutput(false, u"d");
    FileLogOutput(true, u"e%d", 1);
    FileLogOutput(u"f");
    FileLogOutput(std::u16string(), u"g");  // an empty path writes nowhere

    std::vector<fs::path> logs;
    for (const auto& p : LogFiles())
        if (p.extension() == ".log") logs.push_back(p);
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(Units(logs[0]), u"e1f");
    EXPECT_TRUE(IsLogFileName(logs[0].filename().string(), false)) << logs[0];
    EXPECT_EQ(Units(fs::path(dir_) / "other.txt"), u"c");
}

TEST_F(LogTest, MissingFolderLosesRecordsQuietly) {
    const std::u16string missing = PathOf("no/such/folder");
    EXPECT_EQ(FileLogInit(missing), 1);
    FileLogOutput(u"lost");
    FileLogOutput(true, u"lost");
    EXPECT_FALSE(fs::exists(fs::path(dir_) / "no"));
    EXPECT_TRUE(LogFiles().empty());
}

TEST_F(LogTest, RotatesOnlyAboveTenMebibytesAndNeverDeletes) {
    std::vector<std::string> traces;
    auto previous = trace::SetSink([&](const char*, int, std::string_view text) { traces.emplace_back(text); });

    ASSERT_EQ(FileLogInit(Dir()), 1);
    FileLogOutput(u"a");
    auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    const fs::path first = files[0];

    // Exactly 10 MiB: no rotation, the record lands in the same file.
    fs::resize_file(first, static_cast<uintmax_t>(kFileLogRotateBytes));
    FileLogOutput(u"b");
    ASSERT_EQ(LogFiles().size(), 1u);
    EXPECT_EQ(fs::file_size(first), static_cast<uintmax_t>(kFileLogRotateBytes) + 2);
    // The flag form makes no size check.
    FileLogOutput(true, u"c");
    ASSERT_EQ(LogFiles().size(), 1u);
    EXPECT_TRUE(traces.empty());

    // Above the limit the next format-only record starts a new file; the old
    // one stays, even when the new name falls in the same second.
    FileLogOutput(u"d");
    files = LogFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(fs::file_size(first), static_cast<uintmax_t>(kFileLogRotateBytes) + 4);
    const fs::path second = files[0] == first ? files[1] : files[0];
    EXPECT_EQ(Units(second), u"d");
    EXPECT_TRUE(IsLogFileName(second.filename().string(), true)) << second;
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0], "\r\n log file size exceed limit, open next log file... \r\n");

    // One byte over the limit is enough.
    fs::resize_file(second, static_cast<uintmax_t>(kFileLogRotateBytes) + 1);
    FileLogOutput(u"e");
    files = LogFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(fs::file_size(second), static_cast<uintmax_t>(kFileLogRotateBytes) + 1);
    trace::SetSink(previous);
}

TEST_F(LogTest, SecondInitWithinTheSameSecondStartsTheFileAgain) {
    std::tm fixed{};
    fixed.tm_year = 2024 - 1900;
    fixed.tm_mon = 2;
    fixed.tm_mday = 5;
    fixed.tm_hour = 14;
    fixed.tm_min = 7;
    fixed.tm_sec = 9;
    SetLocalTimeForTest(&fixed);
    ASSERT_EQ(FileLogInit(Dir()), 1);
    FileLogOutput(u"first start");
    ASSERT_EQ(FileLogInit(Dir()), 1);
    FileLogOutput(u"b");
    SetLocalTimeForTest(nullptr);
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ("2024-03-05_140709.log", files[0].filename().string());
    EXPECT_EQ(u"b", Units(files[0]));
}

TEST_F(LogTest, RecordsFromSeveralThreadsStayWhole) {
    ASSERT_EQ(FileLogInit(Dir()), 1);
    constexpr int kThreads = 4, kRecords = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kRecords; ++i) {
                FileLogOutput(u"<%d:%03d>\r\n", t, i);
                if (i % 50 == 0) SetFileLogEnable(true);
            }
        });
    }
    for (auto& th : threads) th.join();
    const auto files = LogFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::u16string text = Units(files[0]);
    EXPECT_EQ(text.size(), static_cast<size_t>(kThreads * kRecords * 9));
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kRecords; i += 37) {
            char rec[16];
            std::snprintf(rec, sizeof rec, "<%d:%03d>\r\n", t, i);
            EXPECT_NE(text.find(Ansi2CString(rec)), std::u16string::npos) << rec;
        }
    }
}
