#include "trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace trace {
namespace {

std::mutex g_mutex;
Sink g_sink;
std::atomic<bool> g_stderr{false};
std::atomic<bool> g_hasSink{false};

const char* BaseName(const char* file) {
    const char* base = file;
    for (const char* p = file; p && *p; ++p)
        if (*p == '/') base = p + 1;
    return base ? base : "";
}

}  // namespace

bool Enabled() { return g_stderr.load(std::memory_order_relaxed) || g_hasSink.load(std::memory_order_relaxed); }

void Write(const char* file, int line, std::string_view text) {
    if (!Enabled()) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_stderr.load(std::memory_order_relaxed)) {
        // Trace texts often carry their own "\r\n"; keep one line per call.
        std::string_view t = text;
        while (!t.empty() && (t.back() == '\n' || t.back() == '\r')) t.remove_suffix(1);
        std::fprintf(stderr, "%s:%d: %.*s\n", BaseName(file), line, static_cast<int>(t.size()), t.data());
    }
    if (g_sink) {
        try {
            g_sink(file, line, text);
        } catch (...) {
            // A sink must not break the caller; the line is simply lost.
        }
    }
}

void WriteF(const char* file, int line, const char* format, ...) {
    if (!Enabled()) return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(copy);
        Write(file, line, std::string_view(small, static_cast<size_t>(n)));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, copy);
    va_end(copy);
    big.resize(static_cast<size_t>(n));
    Write(file, line, big);
}

void SetStderr(bool on) { g_stderr.store(on); }

Sink SetSink(Sink sink) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Sink old = std::move(g_sink);
    g_sink = std::move(sink);
    g_hasSink.store(static_cast<bool>(g_sink));
    return old;
}

}  // namespace trace
