#include "WexString.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using wex::CString;

namespace {

// Calls Format with a format the compiler cannot check (through a member
// pointer, which carries no format attribute): null, non-literal or wrong on
// purpose.
template <typename... Args>
int FormatUnchecked(CString& s, const char* format, Args... args) {
    int (CString::*format_fn)(const char*, ...) = &CString::Format;
    return (s.*format_fn)(format, args...);
}

}  // namespace

TEST(WexString, ConstructionAssignmentAndConcatenation) {
    CString a("abc");
    CString b(std::string("de"));
    CString c(a);
    const char* none = nullptr;
    CString d(none);
    EXPECT_EQ(c, "abc");
    EXPECT_TRUE(d.IsEmpty());
    CString e;
    e = b;
    EXPECT_EQ(e, "de");
    e = "xyz";
    EXPECT_EQ(e.GetLength(), 3);
    e = std::string("q");
    EXPECT_EQ(e, "q");
    e = e.c_str();  // assigning its own text
    EXPECT_EQ(e, "q");

    CString sum = a + b;
    EXPECT_EQ(sum, "abcde");
    EXPECT_EQ(a + '!', "abc!");
    EXPECT_EQ(a + "12", "abc12");
    EXPECT_EQ("12" + a, "12abc");
    static_assert(std::is_same_v<decltype(a + b), CString>);
    static_assert(std::is_same_v<decltype("x" + a), CString>);
}

TEST(WexString, QueriesAndSearches) {
    CString s("abcdef");
    EXPECT_EQ(s.GetAt(0), 'a');
    EXPECT_THROW(s.GetAt(6), std::out_of_range);
    EXPECT_THROW(s.GetAt(-1), std::out_of_range);
    EXPECT_THROW(s.SetAt(6, 'x'), std::out_of_range);
    s.SetAt(5, 'F');
    EXPECT_EQ(s, "abcdeF");

    EXPECT_LT(CString("abc").Compare("abd"), 0);
    EXPECT_GT(CString("abd").Compare(CString("abc")), 0);
    EXPECT_EQ(CString("abc").Compare("abc"), 0);
    EXPECT_EQ(CString("ABC").CompareNoCase("abc"), 0);
    EXPECT_LT(CString("ABC").CompareNoCase(CString("abd")), 0);

    CString t("hello world");
    EXPECT_EQ(t.Find('o'), 4);
    EXPECT_EQ(t.Find('o', 5), 7);
    EXPECT_EQ(t.Find('o', 4), 4);
    EXPECT_EQ(t.Find('o', 99), -1);
    EXPECT_EQ(t.Find('o', -3), 4);
    EXPECT_EQ(t.Find('x'), -1);
    EXPECT_EQ(t.Find("world"), 6);
    EXPECT_EQ(t.Find(CString("lo")), 3);
    EXPECT_EQ(t.Find("xyz"), -1);
    EXPECT_EQ(t.ReverseFind('o'), 7);
    EXPECT_EQ(t.ReverseFind('z'), -1);
}

TEST(WexString, LeftMidRight) {
    CString s("abcdef");
    EXPECT_EQ(s.Mid(2, 3), "cde");
    EXPECT_EQ(s.Mid(-5, 2), "ab");
    EXPECT_EQ(s.Mid(6, 1), "");
    EXPECT_EQ(s.Mid(4, 10), "ef");
    EXPECT_EQ(s.Mid(1, 0), "");
    EXPECT_EQ(s.Mid(1, -2), "");
    CString abc("abc");
    EXPECT_EQ(abc.Left(10), "abc");
    EXPECT_EQ(abc.Left(2), "ab");
    EXPECT_EQ(abc.Left(0), "");
    EXPECT_EQ(abc.Left(-1), "");
    EXPECT_EQ(abc.Right(2), "bc");
    EXPECT_EQ(abc.Right(0), "");
    EXPECT_EQ(abc.Right(10), "abc");
}

TEST(WexString, ChangesTrimAndReplace) {
    CString s("  a b  ");
    EXPECT_EQ(&s.Trim(), &s);
    EXPECT_EQ(s, "a b");
    CString tab("\ta");
    EXPECT_EQ(tab.Trim(), "\ta");
    CString blanks("   ");
    EXPECT_EQ(blanks.Trim(), "");
    CString left("  x  ");
    EXPECT_EQ(left.TrimLeft(), "x  ");
    CString right("  x \n ");
    EXPECT_EQ(right.TrimRight(), "  x \n");

    CString m("Hello, World 9");
    m.MakeUpper();
    EXPECT_EQ(m, "HELLO, WORLD 9");
    m.MakeLower();
    EXPECT_EQ(m, "hello, world 9");
    m.Empty();
    EXPECT_TRUE(m.IsEmpty());

    CString r("a-b-c");
    EXPECT_EQ(r.Replace('-', '+'), 2);
    EXPECT_EQ(r, "a+b+c");

    // A shrinking replacement runs over its own output.
    CString aab("aab");
    aab.Replace("ab", "b");
    EXPECT_EQ(aab, "b");
    CString many("xxaaxx");
    EXPECT_EQ(many.Replace("xx", "y"), 2);
    EXPECT_EQ(many, "yaay");
    // Same length: the output is searched again from the start too.
    CString swap("aab");
    EXPECT_EQ(swap.Replace("ab", "ba"), 2);
    EXPECT_EQ(swap, "baa");
    CString bubble("aaabbb");
    EXPECT_EQ(bubble.Replace("ab", "ba"), 9);
    EXPECT_EQ(bubble, "bbbaaa");
    CString same("abab");
    EXPECT_EQ(same.Replace("ab", "ab"), 2);  // would match itself forever
    EXPECT_EQ(same, "abab");
    // Longer: the output is searched again from the start too.
    CString longer("aab");
    EXPECT_EQ(longer.Replace("ab", "bxx"), 2);
    EXPECT_EQ(longer, "bxxxx");
    // New text that holds the old one matches for ever: once the steps from
    // the start have written and moved (3 + 1)^2 characters, searching
    // resumes after each insertion.
    CString grow("a.a");
    EXPECT_EQ(grow.Replace("a", "aa"), 8);
    EXPECT_EQ(grow, (std::string(8, 'a') + ".aa").c_str());
    // Growing text that would recreate matches forever ("ab" -> "bbaa").
    CString blowup("aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab");
    blowup.Replace("ab", "bbaa");
    EXPECT_EQ(blowup.GetLength(), 178);
    // The budget bounds the work, not only the steps: a long self-feeding text
    // ends at once instead of moving megabytes a million times.
    CString flood(std::string(5000, 'a').c_str());
    flood.Replace("a", "aa");
    EXPECT_GE(flood.GetLength(), 10000);
    EXPECT_LT(flood.GetLength(), 10000 + 5001 * 5001);
    // Empty old text replaces nothing; a null new text deletes.
    CString keep("abc");
    EXPECT_EQ(keep.Replace("", "x"), 0);
    EXPECT_EQ(keep, "abc");
    EXPECT_EQ(keep.Replace("b", nullptr), 1);
    EXPECT_EQ(keep, "ac");
    // Old text taken from the string itself.
    CString self("abab");
    self.Replace(self.c_str(), "z");
    EXPECT_EQ(self, "z");
}

TEST(WexString, FormatTextAndEstimate) {
    CString s("old");
    EXPECT_EQ(s.Format("%d-%s", 7, "xy"), 35);
    EXPECT_EQ(s, "7-xy");
    EXPECT_EQ(s.Format("%5.2f", 1.5), 32);
    EXPECT_EQ(s, " 1.50");
    // '#' adds 2; %% and plain characters count 1; %c counts 2, widened.
    EXPECT_EQ(s.Format("%#x%%", 255u), 2 + 32 + 1);
    EXPECT_EQ(s, "0xff%");
    EXPECT_EQ(s.Format("%5c", 'q'), 5);
    EXPECT_EQ(s, "    q");
    // A text item is raised to the width and cut to the precision.
    EXPECT_EQ(s.Format("%10s|%.2s", "ab", "abcdef"), 10 + 1 + 2);
    EXPECT_EQ(s, "        ab|ab");
    EXPECT_EQ(s.Format("%*d", 40, 3), 40);
    EXPECT_EQ(s.GetLength(), 40);
    EXPECT_EQ(s.Format("%s", ""), 1);
    EXPECT_EQ(s, "");
    // 64-bit values and long doubles, as this platform's printf spells them.
    EXPECT_EQ(s.Format("%lld %ld %Lf", -5000000000LL, 7L, 0.5L), 32 + 1 + 32 + 1 + 32);
    EXPECT_EQ(s, "-5000000000 7 0.500000");
    // The whole text is kept, also beyond the estimate.
    const std::string longText(500, 'z');
    EXPECT_EQ(s.Format("%s", longText.c_str()), 500);
    EXPECT_EQ(s, longText);
    // The format and the arguments may be the string's own text.
    CString x("ab");
    x.Format("%s%s", x.c_str(), x.c_str());
    EXPECT_EQ(x, "abab");
    FormatUnchecked(x, x.c_str());
    EXPECT_EQ(x, "abab");
}

#ifndef NDEBUG
TEST(WexStringDeathTest, FormatAssertsOnProgrammingErrors) {
    CString s;
    const char* volatile nullFormat = nullptr;
    EXPECT_DEATH(FormatUnchecked(s, nullFormat), "pstrFormat != NULL");
    const char* volatile badWidth = "%*d";
    EXPECT_DEATH(FormatUnchecked(s, badWidth, -3, 1), "nWidth >= 0");
    const char* volatile badPrecision = "%.*f";
    EXPECT_DEATH(FormatUnchecked(s, badPrecision, -1, 1.0), "nPrecision >= 0");
    const char* volatile upperE = "%E";
    EXPECT_DEATH(FormatUnchecked(s, upperE, 1.0), "false");
}
#else
TEST(WexString, FormatProgrammingErrorsDoNotCrashReleaseBuilds) {
    CString s("keep");
    const char* volatile nullFormat = nullptr;
    EXPECT_EQ(FormatUnchecked(s, nullFormat), 0);
    EXPECT_EQ(s, "");
    const char* volatile upperE = "a%E";
    FormatUnchecked(s, upperE, 1.0);
    EXPECT_EQ(s, "a1.000000E+00");
}
#endif
