#include "WorkerThread.h"

#include <atomic>
#include <system_error>
#include <utility>

#include "trace.h"

namespace {
std::atomic<bool> g_failStarts{false};
}  // namespace

bool StartWorkerThread(std::thread& thread, std::function<void()> body, const char* what) {
    try {
        if (g_failStarts) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        thread = std::thread(std::move(body));
        return true;
    } catch (const std::system_error& e) {
        TD_TRACEF("%s thread not started: %s \r\n", what, e.what());
        return false;
    }
}

void SetWorkerStartFailureForTest(bool fail) { g_failStarts = fail; }
