#include <gtest/gtest.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "StrFormat.h"

namespace {

std::u16string Through(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    std::u16string out = StrFormatV(format, args);
    va_end(args);
    return out;
}

}  // namespace

TEST(StrFormat, TextConversionsByWidth) {
    EXPECT_EQ(u"[wide] narrow", StrFormat(u"[%s] %hs", u"wide", "narrow"));
    EXPECT_EQ(u"a b", StrFormat(u"%ls %S", u"a", "b"));
    EXPECT_EQ(u"\u00E9\u4E2D", StrFormat(u"%hs", "\xC3\xA9\xE4\xB8\xAD"));  // narrow is UTF-8
    EXPECT_EQ(u"\U0001F600!", StrFormat(u"%s!", u"\U0001F600"));
    EXPECT_EQ(u"Z\u4E2Dq", StrFormat(u"%c%c%hc", static_cast<int>(u'Z'), static_cast<int>(u'\u4E2D'), 'q'));
    EXPECT_EQ(u"(null) (null)",
              StrFormat(u"%s %hs", static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr)));
    EXPECT_EQ(u"[   ab][ab   ][abc][x ]",
              StrFormat(u"[%5s][%-5s][%.3s][%-2c]", u"ab", u"ab", u"abcdef", static_cast<int>(u'x')));
    // The precision bounds the read: the text need not be terminated.
    const char16_t unterminated[3] = {u'x', u'y', u'z'};
    EXPECT_EQ(u"xyz", StrFormat(u"%.3s", unterminated));
    EXPECT_EQ(u"ab", StrFormat(u"%.2hs", "abcdef"));
}

TEST(StrFormat, NumbersAsPrintf) {
    EXPECT_EQ(u"Setting Brightness to 80...", StrFormat(u"Setting Brightness to %d...", 80));
    EXPECT_EQ(u"2024/03/05 14:07:09:042", StrFormat(u"%04d/%02d/%02d %02d:%02d:%02d:%03d", 2024, 3, 5, 14, 7, 9, 42));
    EXPECT_EQ(u"0x40080038 40080038 ff 377", StrFormat(u"%#x %08X %x %o", 0x40080038u, 0x40080038u, 255u, 255u));
    EXPECT_EQ(u"-5|+5| 5|5    |00005", StrFormat(u"%d|%+d|% d|%-5d|%05d", -5, 5, 5, 5, 5));
    EXPECT_EQ(u"   42|42   ", StrFormat(u"%*d|%*d", 5, 42, -5, 42));
    EXPECT_EQ(u"0042", StrFormat(u"%.*d", 4, 42));
    EXPECT_EQ(u"1099511627776 -1 18446744073709551615",
              StrFormat(u"%lld %ld %llu", 1LL << 40, -1L, 0xFFFFFFFFFFFFFFFFull));
    EXPECT_EQ(u"-1 255 65535 99 7 -3", StrFormat(u"%hhd %hhu %hu %zu %I64d %jd", 255, 255, -1, static_cast<size_t>(99),
                                                 7LL, static_cast<intmax_t>(-3)));
    EXPECT_EQ(u"3.14 3.142e+00 0.5 2.5", StrFormat(u"%.2f %.3e %g %Lg", 3.14159, 3.14159, 0.5, 2.5L));
    int target = 0;
    const std::u16string p = StrFormat(u"%p", static_cast<void*>(&target));
    EXPECT_EQ(u"0x", p.substr(0, 2));
}

TEST(StrFormat, OddFormatsStayHarmless) {
    EXPECT_EQ(u"100%", StrFormat(u"100%%"));
    EXPECT_EQ(u"tail %", StrFormat(u"tail %"));
    EXPECT_EQ(u"tail %-5", StrFormat(u"tail %-5"));
    EXPECT_EQ(u"%y%I8", StrFormat(u"%y%I8"));
    EXPECT_EQ(u"", StrFormat(nullptr));
    int written = 7;
    EXPECT_EQ(u"ab", StrFormat(u"a%nb", &written));
    EXPECT_EQ(7, written);                                   // %n never writes
    EXPECT_EQ(65536u, StrFormat(u"%999999999d", 1).size());  // width clamped
    EXPECT_EQ(u"x=3 y=[abc]", Through(u"x=%d y=[%s]", 3, u"abc"));

    const int values[2] = {7, 8};
    EXPECT_EQ(u"7 8 0 (null) 0.0", StrFormatInts(u"%d %d %d %s %.1f", values, 2));
    EXPECT_EQ(u"0", StrFormatInts(u"%d", nullptr, 5));
}
