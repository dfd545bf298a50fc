#include "trace.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Line {
    std::string file;
    int line;
    std::string text;
};

TEST(Trace, SilentByDefaultAndSinkReceivesFileLineText) {
    EXPECT_FALSE(trace::Enabled());
    TD_TRACE("nobody hears this");

    std::vector<Line> lines;
    trace::SetSink([&](const char* f, int l, std::string_view t) { lines.push_back({f, l, std::string(t)}); });
    int here = __LINE__ + 1;
    TD_TRACEF("nOriginRegValue = %08X \r\n", 0x1234u);
    trace::SetSink({});
    TD_TRACE("after removal");

    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "nOriginRegValue = 00001234 \r\n");
    EXPECT_EQ(lines[0].line, here);
    EXPECT_NE(lines[0].file.find("trace_test.cpp"), std::string::npos);
    EXPECT_FALSE(trace::Enabled());
}

TEST(Trace, LongLinesAreNotCutAndThreadsDoNotLoseLines) {
    std::vector<std::string> lines;
    trace::SetSink([&](const char*, int, std::string_view t) { lines.emplace_back(t); });
    std::string longText(2000, 'x');
    TD_TRACEF("%s", longText.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 250; ++i) TD_TRACEF("%d", i);
        });
    for (auto& th : threads) th.join();
    trace::SetSink({});
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines[0], longText);
}

}  // namespace
