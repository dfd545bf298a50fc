#include "LogStamp.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

int FormatLogTime(std::chrono::system_clock::time_point now, char16_t* out, int size) {
    using namespace std::chrono;
    const std::time_t secs = system_clock::to_time_t(now);
    const int millis = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    // localtime_r takes the time-zone lock; a log burst stays within one second.
    thread_local std::time_t cachedSecs = -1;
    thread_local std::tm tm{};
    if (secs != cachedSecs) {
        localtime_r(&secs, &tm);
        cachedSecs = secs;
    }
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d:%03d", tm.tm_year + 1900, tm.tm_mon + 1,
                          tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
    n = std::clamp(n, 0, size);
    for (int i = 0; i < n; ++i) out[i] = static_cast<char16_t>(buf[i]);  // ASCII, widened one to one
    return n;
}

std::u16string FrameLogLine(std::u16string_view stamp, const std::u16string& text) {
    std::u16string line;
    if (text.empty()) return line;
    line.reserve(stamp.size() + text.size() + 3);
    line += u'[';
    line += stamp;
    line += u"] ";
    line += text;
    return line;
}

bool BlankLineAfter(const std::u16string& text) {
    const std::size_t lastFeed = text.rfind(u'\n');
    return lastFeed != std::u16string::npos && lastFeed > 0;
}
