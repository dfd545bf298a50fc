// The option parser both programs share, the number and entry parsers, and
// the log line's framing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "LogStamp.h"
#include "TextParse.h"

namespace {

bool IsDigit(const std::string& v) { return v.size() == 1 && v[0] >= '0' && v[0] <= '9'; }

const cmdline::Option kTable[] = {
    {.name = "--log", .value = "FILE", .help = "log", .needs = "a file"},
    {.name = "--quiet", .alias = "-q", .help = "quiet"},
    {.name = "--n", .value = "N", .help = "n", .needs = "a digit", .check = IsDigit},
};

cmdline::Parsed Parse(std::vector<std::string> args) {
    cmdline::Parsed parsed;
    cmdline::Parse(args, kTable, parsed);
    return parsed;
}

TEST(CommandLine, BothFormsFlagsAliasesAndTheRestInOrder) {
    const cmdline::Parsed p = Parse({"get", "--log", "a.log", "-q", "x", "--n=7", "--quiet=1", "--other", "y"});
    EXPECT_EQ(p.error, "");
    ASSERT_EQ(p.options.size(), 3u);
    EXPECT_EQ(p.options[0].option->name, "--log");
    EXPECT_EQ(p.options[0].value, "a.log");
    EXPECT_EQ(p.options[0].restBefore, 1u);
    EXPECT_EQ(p.options[1].option->name, "--quiet");
    EXPECT_EQ(p.options[2].value, "7");
    EXPECT_TRUE(p.Has("--quiet"));
    // A flag given a value is not that flag; it stays for the caller to refuse.
    EXPECT_EQ(p.rest, (std::vector<std::string>{"get", "x", "--quiet=1", "--other", "y"}));
    EXPECT_EQ(p.Operands(), (std::vector<std::string>{"get", "x", "y"}));
    EXPECT_EQ(p.Unknown(), (std::vector<std::string>{"--quiet=1", "--other"}));
}

TEST(CommandLine, AnEmptyMissingOrRefusedValueStopsWithOneLine) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--log="}, {"--log", ""}, {"--log"}, {"-q", "--log=", "--n", "5"}}) {
        const cmdline::Parsed p = Parse(args);
        EXPECT_EQ(p.error, "--log needs a file") << args.size();
        EXPECT_FALSE(p.Has("--n")) << "nothing after the bad option is taken";
    }
    cmdline::Parsed p = Parse({"-q", "--n", "12", "--log", "x"});
    EXPECT_EQ(p.error, "--n needs a digit");
    ASSERT_EQ(p.options.size(), 1u) << "the options before it stay";
    p = Parse({"--n=3", "--log", "--n"});
    EXPECT_EQ(p.error, "") << "a value may look like an option";
    EXPECT_EQ(p.options[1].value, "--n");
}

TEST(CommandLine, DoubleDashEndsTheOptions) {
    const cmdline::Parsed p = Parse({"-q", "--", "--log", "x", "--", "-q"});
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.options.size(), 1u);
    EXPECT_EQ(p.rest, (std::vector<std::string>{"--", "--log", "x", "--", "-q"}));
    EXPECT_EQ(p.Operands(), (std::vector<std::string>{"--log", "x", "--", "-q"}));
    EXPECT_TRUE(p.Unknown().empty());
}

TEST(CommandLine, HelpLinesSpellEveryOptionInOneColumn) {
    EXPECT_EQ(cmdline::HelpLines({kTable}),
              "  --log FILE   log\n"
              "  --quiet, -q  quiet\n"
              "  --n N        n\n");
    EXPECT_EQ(cmdline::Usage(kTable[0]), "[--log FILE]");
}

TEST(TextParse, DecimalHexAndDeviceEntries) {
    unsigned long long n = 99;
    EXPECT_TRUE(parse::Decimal("15", 15, n) && n == 15);
    for (const char* bad : {"16", "", "+1", "-1", " 1", "1 ", "0x1", "1a", "99999999999999999999999"})
        EXPECT_FALSE(parse::Decimal(bad, 15, n)) << bad;
    EXPECT_FALSE(parse::Decimal("007", 15, n, 2)) << "more digits than allowed";
    unsigned int v = 0;
    EXPECT_TRUE(parse::Decimal("4294967295", v) && v == 0xFFFFFFFFu);
    EXPECT_FALSE(parse::Decimal("4294967296", v));

    EXPECT_EQ(parse::Hex32(u"0x1f", v), parse::Hex::Ok);
    EXPECT_EQ(v, 0x1Fu);
    EXPECT_EQ(parse::Hex32(u"deadbeef", v), parse::Hex::Ok);
    EXPECT_EQ(v, 0xDEADBEEFu);
    EXPECT_EQ(parse::Hex32(u"0X1F", v), parse::Hex::NotHex) << "callers lower the text first";
    EXPECT_EQ(parse::Hex32(u"1g", v), parse::Hex::NotHex);
    EXPECT_EQ(parse::Hex32(u"123456789", v), parse::Hex::TooLong);
    EXPECT_EQ(parse::Hex32(u"12345678g", v), parse::Hex::NotHex) << "characters before length";
    v = 5;
    EXPECT_EQ(parse::Hex32(u"0x", v), parse::Hex::Ok);
    EXPECT_EQ(v, 0u);

    EXPECT_EQ(parse::DeviceEntryNumber(u"0# USB2.0 to SPI bridge (simulated)"), 0);
    EXPECT_EQ(parse::DeviceEntryNumber(u"12# bridge # 2"), 12);
    for (const char16_t* bad : {u"1234# x", u"# x", u"x# y", u"3 x", u"", u"-1# x"})
        EXPECT_EQ(parse::DeviceEntryNumber(bad), -1);
}

TEST(LogStamp, FramingAndTheBlankLineAfter) {
    EXPECT_EQ(FrameLogLine(u"2026/12/07 09:05:03:042", u"a\nb"), u"[2026/12/07 09:05:03:042] a\nb");
    EXPECT_EQ(FrameLogLine(u"s", u""), u"");
    EXPECT_TRUE(BlankLineAfter(u"Failed to initialize SPI!\n"));
    EXPECT_TRUE(BlankLineAfter(u"two\nlines")) << "an inner line break counts too";
    EXPECT_FALSE(BlankLineAfter(u"\nabc")) << "a line feed at position 0 does not";
    EXPECT_FALSE(BlankLineAfter(u""));
}

}  // namespace
