// The time stamp of a log line, "YYYY/MM/DD hh:mm:ss:mmm" in local time. The
// panel's log view and tunedesk-cli's --log file stamp their lines with it.
#pragma once

#include <chrono>

// Writes the stamp of `now` into `out` (at most `size` units, no terminator)
// and returns its length.
int FormatLogTime(std::chrono::system_clock::time_point now, char16_t* out, int size);
