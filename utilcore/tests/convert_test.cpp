#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "Convert.h"

using Fields = std::vector<std::u16string>;
using Items = std::list<std::u16string>;

TEST(HexStr2Int, ParsesIntoLittleEndianWordsAndMasksToBitCount) {
    unsigned int w[3] = {0, 0, 0};
    int count = 0;
    EXPECT_EQ(1, HexStr2Int(u"1234ABCD", 32, w, &count));
    EXPECT_EQ(0x1234ABCDu, w[0]);
    EXPECT_EQ(1, count);

    unsigned int w2[3] = {0, 0, 0};
    EXPECT_EQ(1, HexStr2Int(u"123456789", 36, w2, &count));
    EXPECT_EQ(0x23456789u, w2[0]);
    EXPECT_EQ(0x1u, w2[1]);
    EXPECT_EQ(0u, w2[2]);
    EXPECT_EQ(2, count);

    unsigned int w3 = 0;
    EXPECT_EQ(1, HexStr2Int(u"1FF", 8, &w3, nullptr));  // third digit adds nothing
    EXPECT_EQ(0xFFu, w3);
    w3 = 0;
    EXPECT_EQ(1, HexStr2Int(u"FFF", 10, &w3, nullptr));
    EXPECT_EQ(0x3FFu, w3);
    w3 = 0;
    EXPECT_EQ(1, HexStr2Int(u"abcdef", 32, &w3, nullptr));  // lower case
    EXPECT_EQ(0xABCDEFu, w3);

    // Merged with OR, never cleared.
    w3 = 0xF0000000u;
    EXPECT_EQ(1, HexStr2Int(u"1", 32, &w3, nullptr));
    EXPECT_EQ(0xF0000001u, w3);
}

TEST(HexStr2Int, BadCharacterLeavesPartialMergeAndCountIsWrittenFirst) {
    unsigned int w = 0;
    int count = -1;
    EXPECT_EQ(0, HexStr2Int(u"0x10", 32, &w, &count));
    EXPECT_EQ(0x10u, w);  // the two digits right of the 'x'
    EXPECT_EQ(1, count);

    w = 0;
    count = -1;
    EXPECT_EQ(0, HexStr2Int(u"G", 64, &w, &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(0, HexStr2Int(u"12 34", 32, &w, nullptr));

    // A digit beyond the bit count still has to be a hex digit.
    w = 0;
    EXPECT_EQ(0, HexStr2Int(u"Z1", 4, &w, nullptr));
    EXPECT_EQ(1u, w);

    count = -1;
    EXPECT_EQ(0, HexStr2Int(u"", 32, &w, &count));
    EXPECT_EQ(0, HexStr2Int(u"12", 0, &w, &count));
    EXPECT_EQ(0, HexStr2Int(u"12", -5, &w, &count));
    EXPECT_EQ(-1, count);
    EXPECT_EQ(0, HexStr2Int(u"12", 8, nullptr, &count));
}

TEST(HexStr2Int, NeverTouchesWordsBeyondTheBitCount) {
    unsigned int w[4] = {0, 0, 0, 0};
    EXPECT_EQ(1, HexStr2Int(std::u16string(40, u'F'), 32, w, nullptr));
    EXPECT_EQ(0xFFFFFFFFu, w[0]);
    EXPECT_EQ(0u, w[1]);

    unsigned int v[4] = {0, 0, 0, 0};
    EXPECT_EQ(1, HexStr2Int(std::u16string(40, u'F'), 33, v, nullptr));
    EXPECT_EQ(0xFFFFFFFFu, v[0]);
    EXPECT_EQ(1u, v[1]);
    EXPECT_EQ(0u, v[2]);

    // Heap array of exactly one word: the sanitizer build sees any overrun.
    auto* one = new unsigned int[1]();
    EXPECT_EQ(1, HexStr2Int(std::u16string(100, u'7'), 1, one, nullptr));
    EXPECT_EQ(1u, *one);
    delete[] one;
}

TEST(Spilt, TrailingSeparatorDiffersBetweenVectorAndList) {
    Fields f;
    Items l;
    Spilt(u"a,b,", u",", f, false);
    Spilt(u"a,b,", u",", l, false);
    EXPECT_EQ((Fields{u"a", u"b", u""}), f);
    EXPECT_EQ((Items{u"a", u"b"}), l);

    // With trimming, a separator followed only by white space is trailing too.
    f.clear();
    l.clear();
    Spilt(u"a,\r\n", u",", f, true);
    Spilt(u"a,\r\n", u",", l, true);
    EXPECT_EQ((Fields{u"a", u""}), f);
    EXPECT_EQ((Items{u"a"}), l);

    f.clear();
    l.clear();
    Spilt(u"", u",", f, true);
    Spilt(u"", u",", l, true);
    EXPECT_EQ((Fields{u""}), f);
    EXPECT_EQ((Items{u""}), l);
}

TEST(Spilt, TrimmingBlanksAndLineBreaks) {
    Fields f{u"kept"};
    Spilt(u" 0x10 , 0x20 ", u",", f, true);
    EXPECT_EQ((Fields{u"kept", u"0x10", u"0x20"}), f);  // appended, not cleared

    f.clear();
    Spilt(u" 0x10 ", u",", f, true);
    EXPECT_EQ((Fields{u"0x10"}), f);

    f.clear();
    Spilt(u"a,,b", u",", f, false);
    EXPECT_EQ((Fields{u"a", u"", u"b"}), f);

    f.clear();
    Spilt(u" a , b ", u",", f, false);
    EXPECT_EQ((Fields{u" a ", u" b "}), f);

    // A run of blanks is one separator once the rest is trimmed...
    Items l;
    Spilt(u"a   b\t c", u" ", l, true);
    EXPECT_EQ((Items{u"a", u"b", u"c"}), l);
    // ...but the first search runs on the untrimmed text.
    l.clear();
    Spilt(u" a b", u" ", l, true);
    EXPECT_EQ((Items{u"", u"a", u"b"}), l);

    // Line breaks on either side of a separator belong to no field.
    f.clear();
    Spilt(u"10\r\n,\n20\r\n", u",", f, true);
    EXPECT_EQ((Fields{u"10", u"20"}), f);
    f.clear();
    Spilt(u"10\r\n,\n20\r\n", u",", f, false);
    EXPECT_EQ((Fields{u"10\r\n", u"\n20\r\n"}), f);
}

TEST(Spilt, LongAndEmptySeparators) {
    Fields f;
    Spilt(u"a, b, c", u", ", f, false);  // the whole separator is consumed
    EXPECT_EQ((Fields{u"a", u"b", u"c"}), f);
    f.clear();
    Spilt(u"a,b", u"", f, false);  // matches nowhere
    EXPECT_EQ((Fields{u"a,b"}), f);
}

TEST(GetKeyValue, FillsTrimmedPairsAndStopsAtABadLine) {
    std::map<std::u16string, std::u16string> m;
    EXPECT_TRUE(GetKeyValue({u" Mode = 3 ", u"Clock=\t7\r\n", u"Mode=4", u"Path=a=b"}, m, u"="));
    EXPECT_EQ(3u, m.size());
    EXPECT_EQ(u"4", m[u"Mode"]);  // later line wins
    EXPECT_EQ(u"7", m[u"Clock"]);
    EXPECT_EQ(u"a=b", m[u"Path"]);  // only the first separator splits

    std::map<std::u16string, std::u16string> n;
    EXPECT_FALSE(GetKeyValue({u"k=v", u"=x", u"z=9"}, n, u"="));
    EXPECT_EQ(1u, n.size());  // pairs before the bad line stay
    EXPECT_EQ(u"v", n[u"k"]);
    EXPECT_FALSE(GetKeyValue({u"no separator"}, n, u"="));

    std::map<std::u16string, std::u16string> empty;
    EXPECT_FALSE(GetKeyValue({}, empty, u"="));
    EXPECT_TRUE(GetKeyValue({}, n, u"="));  // earlier entries count
    EXPECT_TRUE(GetKeyValue({u"k="}, empty, u"="));
    EXPECT_EQ(u"", empty[u"k"]);
}

TEST(HexBytes, PairsToBytesAndBack) {
    unsigned char b[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    HexStr2HexChar(u"0A1bFF", 2, b);
    EXPECT_EQ(0x0A, b[0]);
    EXPECT_EQ(0x1B, b[1]);
    EXPECT_EQ(0xEE, b[2]);  // beyond the maximum

    HexStr2HexChar(u"G11GABC", 4, b);  // odd last character ignored
    EXPECT_EQ(0x01, b[0]);             // digits right of the bad one
    EXPECT_EQ(0x00, b[1]);
    EXPECT_EQ(0xAB, b[2]);
    EXPECT_EQ(0xEE, b[3]);

    std::u16string s = u"x:";
    const unsigned char bytes[] = {0x00, 0xAB, 0x7F};
    HexChar2HexStr(bytes, 3, s);
    EXPECT_EQ(u"x:00AB7F", s);
    HexChar2HexStr(bytes, 0, s);
    HexChar2HexStr(bytes, -1, s);
    EXPECT_EQ(u"x:00AB7F", s);

    EXPECT_EQ(1, HasHexPrefix(u"0x1"));
    EXPECT_EQ(1, HasHexPrefix(u"0XZZ"));
    EXPECT_EQ(0, HasHexPrefix(u"0x"));
    EXPECT_EQ(0, HasHexPrefix(u"x0x1"));
}

TEST(BinaryStr2Int, IntegerFormReadsTheFirstBitsWordFormTheLast) {
    int v = 99;
    EXPECT_EQ(1, BinaryStr2Int(u"1x1", 3, v));
    EXPECT_EQ(5, v);
    EXPECT_EQ(0, BinaryStr2Int(u"101", 4, v));  // shorter than the bit count

    unsigned int w[2] = {0, 0};
    EXPECT_EQ(1, BinaryStr2Int(u"1001", 2, v));
    EXPECT_EQ(2, v);  // "10"
    EXPECT_EQ(1, BinaryStr2Int(u"1001", 2, w));
    EXPECT_EQ(1u, w[0]);  // "01"

    v = 99;
    EXPECT_EQ(0, BinaryStr2Int(u"102", 3, v));
    EXPECT_EQ(2, v);  // partial value
    v = 99;
    EXPECT_EQ(0, BinaryStr2Int(u"", 3, v));
    EXPECT_EQ(0, BinaryStr2Int(u"1", 0, v));
    EXPECT_EQ(99, v);  // untouched on those

    // High bits shift out of the integer.
    EXPECT_EQ(1, BinaryStr2Int(u"1" + std::u16string(32, u'0'), 33, v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(1, BinaryStr2Int(std::u16string(32, u'1'), 32, v));
    EXPECT_EQ(-1, v);
}

TEST(BinaryStr2Int, WordFormStraddlesWordsAndStopsAtBitCount) {
    unsigned int w[3] = {0, 0, 0};
    EXPECT_EQ(1, BinaryStr2Int(u"1X" + std::u16string(31, u'0') + u"1", 34, w));
    EXPECT_EQ(1u, w[0]);
    EXPECT_EQ(2u, w[1]);
    EXPECT_EQ(0u, w[2]);

    unsigned int u[2] = {0, 0};
    EXPECT_EQ(0, BinaryStr2Int(u"11", 3, u));  // shorter: nothing written
    EXPECT_EQ(0, BinaryStr2Int(u"21", 2, u));
    EXPECT_EQ(1u, u[0]);  // the bit right of the bad character
    u[0] = 0;
    EXPECT_EQ(1, BinaryStr2Int(u"z01", 2, u));  // characters left of the field unread
    EXPECT_EQ(1u, u[0]);

    auto* one = new unsigned int[1]();
    EXPECT_EQ(1, BinaryStr2Int(std::u16string(64, u'1'), 32, one));
    EXPECT_EQ(0xFFFFFFFFu, *one);
    delete[] one;
}

TEST(BinaryStr2HexStr, GroupsFromTheLeftWithAShortFirstGroup) {
    std::u16string s = u">";
    EXPECT_EQ(1, BinaryStr2HexStr(u"111110", s));
    EXPECT_EQ(u">3E", s);
    s.clear();
    EXPECT_EQ(1, BinaryStr2HexStr(u"011", s));
    EXPECT_EQ(u"3", s);
    s.clear();
    EXPECT_EQ(1, BinaryStr2HexStr(u"0001"
                                  u"1111"
                                  u"0000",
                                  s));
    EXPECT_EQ(u"1F0", s);
    s.clear();
    EXPECT_EQ(1, BinaryStr2HexStr(u"1"
                                  u"1021"
                                  u"1010",
                                  s));  // bad group adds nothing
    EXPECT_EQ(u"1A", s);
    EXPECT_EQ(0, BinaryStr2HexStr(u"", s));

    char out[4];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(0, BinaryStr2HexStr("10201", out));
    EXPECT_EQ('#', out[0]);
    EXPECT_EQ(0, BinaryStr2HexStr("", out));
    EXPECT_EQ(1, BinaryStr2HexStr("111110", out));  // needs (6 + 3) / 4 + 1 = 3 bytes
    EXPECT_STREQ("3E", out);
    EXPECT_EQ('#', out[3]);
}

TEST(NumberSuffixes, IntegerAndDoubleUnits) {
    int i = -1;
    EXPECT_EQ(1, GetIntegerValue(u"2k", i));
    EXPECT_EQ(2000, i);
    GetIntegerValue(u"3K", i);
    EXPECT_EQ(3000, i);
    GetIntegerValue(u"5M", i);
    EXPECT_EQ(5000000, i);
    GetIntegerValue(u"12ms", i);
    EXPECT_EQ(12, i);
    GetIntegerValue(u"7m", i);  // no milli for integers
    EXPECT_EQ(7, i);
    GetIntegerValue(u"-5", i);
    EXPECT_EQ(0, i);
    GetIntegerValue(u"", i);
    EXPECT_EQ(0, i);
    GetIntegerValue(u"4294967297", i);  // low 32 bits
    EXPECT_EQ(1, i);
    GetIntegerValue(u"5000000M", i);  // saturates instead of overflowing
    EXPECT_EQ(INT_MAX, i);

    double d = -1;
    EXPECT_EQ(1, GetDoubleValue(u"4.7u", d));
    EXPECT_DOUBLE_EQ(0.0000047, d);
    GetDoubleValue(u"3 k", d);
    EXPECT_DOUBLE_EQ(3.0, d);
    GetDoubleValue(u"1.5e3", d);
    EXPECT_DOUBLE_EQ(1.5, d);
    GetDoubleValue(u"-2", d);
    EXPECT_DOUBLE_EQ(0.0, d);
    GetDoubleValue(u"2n", d);
    EXPECT_DOUBLE_EQ(2e-9, d);
    GetDoubleValue(u"2.5m", d);
    EXPECT_DOUBLE_EQ(0.0025, d);
    GetDoubleValue(u"1.5M", d);
    EXPECT_DOUBLE_EQ(1500000.0, d);
    GetDoubleValue(u"33U", d);
    EXPECT_DOUBLE_EQ(33e-6, d);
    GetDoubleValue(u"1.2.3", d);
    EXPECT_DOUBLE_EQ(1.2, d);
    GetDoubleValue(u"k", d);
    EXPECT_DOUBLE_EQ(0.0, d);
}

TEST(TextChecks, TrimEndZeroOctDigitsChinese) {
    EXPECT_EQ(u"2.5", TrimEndZero(u"2.500"));
    EXPECT_EQ(u"3", TrimEndZero(u"3.000"));
    EXPECT_EQ(u"0", TrimEndZero(u"0.0"));
    EXPECT_EQ(u"1", TrimEndZero(u"1.0"));
    EXPECT_EQ(u"1.5", TrimEndZero(u"1.5"));
    EXPECT_EQ(u"10.05", TrimEndZero(u"10.050"));
    // Whole numbers keep their zeros.
    EXPECT_EQ(u"100", TrimEndZero(u"100"));
    EXPECT_EQ(u"0", TrimEndZero(u"0"));
    // A bare fraction of zeros is the number 0, not an empty text.
    EXPECT_EQ(u"0", TrimEndZero(u".000"));

    EXPECT_TRUE(IsOctDigits(u"0189"));
    EXPECT_TRUE(IsOctDigits(u""));
    EXPECT_FALSE(IsOctDigits(u"12a"));
    EXPECT_TRUE(IsOctDigits("98"));
    EXPECT_FALSE(IsOctDigits("9 8"));
    EXPECT_FALSE(IsOctDigits(static_cast<const char*>(nullptr)));

    EXPECT_TRUE(HasChineseChar(u"abc\u4E2D"));
    EXPECT_TRUE(HasChineseChar(u"\u9FFF"));
    EXPECT_FALSE(HasChineseChar(u"\u4DFF\uA000abc"));
}

TEST(NarrowText, ConvertsBothWaysAndNeverOverrunsTheBuffer) {
    const char* utf8 = "h\xC3\xA9llo \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80";
    const std::u16string wide = Ansi2CString(utf8);
    EXPECT_EQ(u"h\u00E9llo \u4E2D\u6587 \U0001F600", wide);
    std::string back;
    EXPECT_EQ(1, CString2Ansi(wide, back));
    EXPECT_EQ(utf8, back);

    EXPECT_EQ(u"a\uFFFDb", Ansi2CString("a\xFF"
                                        "b"));  // invalid byte marked, rest kept
    EXPECT_EQ(u"", Ansi2CString(static_cast<const char*>(nullptr)));

    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(0, CString2Ansi(u"abcd", buf, 4));  // no room for the terminator
    EXPECT_STREQ("", buf);
    EXPECT_EQ('#', buf[1]);
    EXPECT_EQ(1, CString2Ansi(u"abcd", buf, 5));
    EXPECT_STREQ("abcd", buf);
    EXPECT_EQ(0, CString2Ansi(u"\u00E9", buf, 2));  // two bytes plus terminator
    buf[0] = '#';
    EXPECT_EQ(0, CString2Ansi(u"a", buf, 0));
    EXPECT_EQ('#', buf[0]);

    // An unpaired surrogate cannot be converted.
    EXPECT_EQ(0, CString2Ansi(std::u16string(1, static_cast<char16_t>(0xD800)), buf, sizeof buf));
    EXPECT_STREQ("", buf);
    EXPECT_EQ(1, CString2Ansi(u"x", buf));
    EXPECT_STREQ("x", buf);
}

TEST(Utf8, RoundTripsAndReplacesInvalidSequences) {
    const std::u16string text = u"a\u00E9\u5FAE\U0001F600";
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong '/'
    EXPECT_EQ(Utf8ToUtf16("a\xE5\xBE"), u"a\uFFFD\uFFFD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
