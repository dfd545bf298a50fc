// Starting the panel's worker threads (the read-back, the EDID operations).
// The system may refuse a thread (EAGAIN when it has none to spare); the
// caller then reports it and keeps its window usable instead of ending the
// program on an uncaught exception.
#pragma once

#include <functional>
#include <thread>

// Starts `body` on a new thread held by `thread`, which must not be joinable.
// When no thread can be started, writes "<what> thread not started: <reason>"
// to the debug trace and returns false; `thread` stays empty.
bool StartWorkerThread(std::thread& thread, std::function<void()> body, const char* what);

// Test seam: while set, every start fails as when the system refuses a thread.
void SetWorkerStartFailureForTest(bool fail);
