#include "TimeUtil.h"

#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "StrFormat.h"

namespace {

struct LocalNow {
    std::tm tm{};
    int millis = 0;
};

// Test seams; see TimeUtil.h.
std::mutex g_seamLock;
std::optional<LocalNow> g_fixedNow;
std::shared_ptr<const SleepObserver> g_sleepObserver;

LocalNow ReadLocalNow() {
    {
        std::lock_guard<std::mutex> lock(g_seamLock);
        if (g_fixedNow) return *g_fixedNow;
    }
    LocalNow now;
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const time_t seconds = ts.tv_sec;
    localtime_r(&seconds, &now.tm);
    now.millis = static_cast<int>(ts.tv_nsec / 1000000);
    return now;
}

bool TestBit(const unsigned int* words, long long bit) { return (words[bit / 32] >> (bit % 32)) & 1u; }

void SetBit(unsigned int* words, long long bit) { words[bit / 32] |= 1u << (bit % 32); }

}  // namespace

void SetLocalTimeForTest(const std::tm* fixed, int millis) {
    std::lock_guard<std::mutex> lock(g_seamLock);
    if (fixed == nullptr) {
        g_fixedNow.reset();
    } else {
        g_fixedNow = LocalNow{*fixed, millis};
    }
}

SleepObserver SetSleepObserverForTest(SleepObserver observer) {
    auto next = observer ? std::make_shared<const SleepObserver>(std::move(observer)) : nullptr;
    std::lock_guard<std::mutex> lock(g_seamLock);
    auto previous = std::exchange(g_sleepObserver, std::move(next));
    return previous ? *previous : SleepObserver{};
}

void WexSleep(unsigned int ms) {
    std::shared_ptr<const SleepObserver> observer;
    {
        std::lock_guard<std::mutex> lock(g_seamLock);
        observer = g_sleepObserver;
    }
    if (observer) (*observer)(ms);
    if (ms == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::u16string GetDateTime(const std::u16string& format) {
    const LocalNow now = ReadLocalNow();
    const int values[6] = {now.tm.tm_year + 1900, now.tm.tm_mon + 1, now.tm.tm_mday,
                           now.tm.tm_hour,        now.tm.tm_min,     now.tm.tm_sec};
    return StrFormatInts(format.c_str(), values, 6);
}

std::u16string GetHourMinSec() {
    const LocalNow now = ReadLocalNow();
    return StrFormat(u"%02d:%02d:%02d", now.tm.tm_hour, now.tm.tm_min, now.tm.tm_sec);
}

std::u16string GetHourMinSecMillisecs() {
    const LocalNow now = ReadLocalNow();
    return StrFormat(u"%02d:%02d:%02d:%03d", now.tm.tm_hour, now.tm.tm_min, now.tm.tm_sec, now.millis);
}

std::u16string GetMonthStr(int month) {
    static const char16_t* const kMonths[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
    if (month < 1 || month > 12) return {};
    return kMonths[month - 1];
}

// Bit positions are computed in 64 bits so start + i cannot overflow.

void GetValueFromBuffer(const unsigned int* src, int start, int count, int& value) {
    if (!src || start < 0 || count <= 0) return;
    const int n = count < 32 ? count : 32;
    unsigned int v = static_cast<unsigned int>(value);
    for (int i = 0; i < n; ++i)
        if (TestBit(src, static_cast<long long>(start) + i)) v |= 1u << i;
    value = static_cast<int>(v);
}

void GetValueFromBuffer(const unsigned int* src, int start, int count, unsigned int* dst) {
    if (!src || !dst || start < 0 || count <= 0) return;
    for (int i = 0; i < count; ++i)
        if (TestBit(src, static_cast<long long>(start) + i)) SetBit(dst, i);
}

void SetBufferValue(int value, int count, int start, unsigned int* dst) {
    if (!dst || start < 0 || count <= 0) return;
    const int n = count < 32 ? count : 32;
    const auto v = static_cast<unsigned int>(value);
    for (int i = 0; i < n; ++i)
        if ((v >> i) & 1u) SetBit(dst, static_cast<long long>(start) + i);
}

void SetBufferValue(const unsigned int* src, int count, int start, unsigned int* dst) {
    if (!src || !dst || start < 0 || count <= 0) return;
    for (int i = 0; i < count; ++i)
        if (TestBit(src, i)) SetBit(dst, static_cast<long long>(start) + i);
}
