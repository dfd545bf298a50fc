#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "Convert.h"
#include "TimeUtil.h"

namespace {

std::string N(const std::u16string& s) {
    std::string out;
    CString2Ansi(s, out);
    return out;
}

// True when `text` has the shape of `pattern`, where '9' stands for any digit.
bool Shaped(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
    }
    return true;
}

// Reference bit access, written independently of the helpers.
bool Bit(const unsigned int* w, int n) { return (w[n >> 5] >> (n & 31)) & 1u; }

}  // namespace

TEST(BitFields, FieldsStraddleWordBoundaries) {
    unsigned int w[2] = {0, 0};
    SetBufferValue(5, 3, 30, w);
    EXPECT_EQ(0x40000000u, w[0]);
    EXPECT_EQ(0x1u, w[1]);

    const unsigned int src[2] = {0x80000000u, 0x1u};
    int v = 0;
    GetValueFromBuffer(src, 31, 2, v);
    EXPECT_EQ(3, v);

    // Only ever sets bits.
    unsigned int ones[1] = {0xFFu};
    SetBufferValue(0, 8, 0, ones);
    EXPECT_EQ(0xFFu, ones[0]);
    v = 0x100;
    GetValueFromBuffer(src, 0, 4, v);
    EXPECT_EQ(0x100, v);

    // A full 32-bit field across two words, and back.
    unsigned int two[2] = {0, 0};
    SetBufferValue(static_cast<int>(0xDEADBEEFu), 32, 16, two);
    EXPECT_EQ(0xBEEF0000u, two[0]);
    EXPECT_EQ(0x0000DEADu, two[1]);
    v = 0;
    GetValueFromBuffer(two, 16, 32, v);
    EXPECT_EQ(static_cast<int>(0xDEADBEEFu), v);
}

TEST(BitFields, WordFormsCopyLongFieldsToBitZeroAndBack) {
    unsigned int src[4] = {0x12345678u, 0x9ABCDEF0u, 0x0F1E2D3Cu, 0xA5A5A5A5u};
    for (int start : {0, 5, 31, 32, 47}) {
        for (int count : {1, 31, 33, 64, 70}) {
            unsigned int field[4] = {0, 0, 0, 0};
            GetValueFromBuffer(src, start, count, field);
            for (int i = 0; i < 128; ++i)
                ASSERT_EQ(i < count && Bit(src, start + i), Bit(field, i)) << start << "/" << count << "/" << i;
            unsigned int back[5] = {0, 0, 0, 0, 0};
            SetBufferValue(field, count, start, back);
            for (int i = 0; i < 160; ++i)
                ASSERT_EQ(i >= start && i < start + count && Bit(src, i), Bit(back, i)) << start << "/" << count;
        }
    }
}

TEST(BitFields, BadArgumentsDoNothingAndIntegerFormsStayInOneFieldOf32) {
    unsigned int w[2] = {0, 0};
    SetBufferValue(-1, 8, -1, w);
    SetBufferValue(-1, 0, 0, w);
    SetBufferValue(-1, -3, 0, w);
    const unsigned int ones[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
    SetBufferValue(ones, 8, -4, w);
    EXPECT_EQ(0u, w[0]);
    EXPECT_EQ(0u, w[1]);
    int v = 0;
    GetValueFromBuffer(ones, -1, 4, v);
    EXPECT_EQ(0, v);
    GetValueFromBuffer(ones, 0, 0, w);
    EXPECT_EQ(0u, w[0]);
    SetBufferValue(1, 1, 0, nullptr);
    GetValueFromBuffer(nullptr, 0, 1, v);

    // A count above 32 in the integer forms uses the first 32 bits only, so a
    // one-word array is all they touch (the sanitizer build checks the reads).
    auto* one = new unsigned int[1]{0xFFFFFFFFu};
    v = 0;
    GetValueFromBuffer(one, 0, 40, v);
    EXPECT_EQ(-1, v);
    *one = 0;
    SetBufferValue(-1, 40, 0, one);
    EXPECT_EQ(0xFFFFFFFFu, *one);
    delete[] one;
}

TEST(TimeTexts, ShapesAndMonthNames) {
    EXPECT_EQ(u"Jan", GetMonthStr(1));
    EXPECT_EQ(u"Jun", GetMonthStr(6));
    EXPECT_EQ(u"Dec", GetMonthStr(12));
    EXPECT_EQ(u"", GetMonthStr(0));
    EXPECT_EQ(u"", GetMonthStr(13));
    EXPECT_EQ(u"", GetMonthStr(-1));

    EXPECT_TRUE(Shaped(N(GetHourMinSec()), "99:99:99"));
    EXPECT_TRUE(Shaped(N(GetHourMinSecMillisecs()), "99:99:99:999"));

    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    const std::string text = N(GetDateTime(u"%04d-%02d-%02d %02d:%02d:%02d"));
    ASSERT_TRUE(Shaped(text, "9999-99-99 99:99:99")) << text;
    EXPECT_EQ(tm.tm_year + 1900, std::stoi(text.substr(0, 4)));

    // A caller's format asking for more or other arguments cannot read past
    // the six integers.
    const std::string odd = N(GetDateTime(u"%d %d %d %d %d %d|%d|%s|%f"));
    EXPECT_NE(std::string::npos, odd.find("|0|(null)|0.000000")) << odd;
    EXPECT_EQ(u"plain", GetDateTime(u"plain"));
}

TEST(TimeTexts, FieldsInTheirOrderFromAFixedClock) {
    std::tm fixed{};
    fixed.tm_year = 1999 - 1900;
    fixed.tm_mon = 11;  // December
    fixed.tm_mday = 30;
    fixed.tm_hour = 21;
    fixed.tm_min = 8;
    fixed.tm_sec = 7;
    SetLocalTimeForTest(&fixed, 42);
    EXPECT_EQ(u"1999|12|30|21|8|7", GetDateTime(u"%d|%d|%d|%d|%d|%d"));
    EXPECT_EQ(u"1999-12-30 21:08:07", GetDateTime(u"%04d-%02d-%02d %02d:%02d:%02d"));
    EXPECT_EQ(u"21:08:07", GetHourMinSec());
    EXPECT_EQ(u"21:08:07:042", GetHourMinSecMillisecs());
    SetLocalTimeForTest(nullptr);
    EXPECT_NE(u"1999", GetDateTime(u"%04d"));  // the clock again
}

TEST(Sleep, ZeroReturnsAtOnceOtherwiseAtLeastTheTime) {
    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    WexSleep(20);
    EXPECT_GE(clock::now() - t0, std::chrono::milliseconds(20));
    WexSleep(0);

    std::vector<unsigned int> seen;
    SetSleepObserverForTest([&](unsigned int ms) { seen.push_back(ms); });
    t0 = clock::now();
    WexSleep(5);
    EXPECT_GE(clock::now() - t0, std::chrono::milliseconds(5));  // observed, still slept
    SetSleepObserverForTest(nullptr);
    WexSleep(1);
    EXPECT_EQ(std::vector<unsigned int>{5}, seen);
}
