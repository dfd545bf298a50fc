// Debug trace channel: diagnostic lines for developers, never shown to the user
// and never exported. Silent unless switched to standard error or a sink is
// installed (tests read the lines through a sink).
#pragma once

#include <functional>
#include <string>
#include <string_view>

// The library is built with hidden visibility; these are its exports.
#if defined(__GNUC__)
#define TDTRACE_API __attribute__((visibility("default")))
#else
#define TDTRACE_API
#endif

namespace trace {

// One trace line: the source file and line it comes from, and its text (UTF-8).
using Sink = std::function<void(const char* file, int line, std::string_view text)>;

// Sends one line to the channel. Cheap when the channel is silent.
TDTRACE_API void Write(const char* file, int line, std::string_view text);

// printf-style form of Write; formats only when someone listens.
TDTRACE_API void WriteF(const char* file, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));

// true while lines go anywhere (standard error or a sink).
TDTRACE_API bool Enabled();

// Prints every line as "file:line: text" to standard error (the program's --trace).
TDTRACE_API void SetStderr(bool on);

// Installs a sink (an empty function removes it). Returns the previous sink.
TDTRACE_API Sink SetSink(Sink sink);

}  // namespace trace

#define TD_TRACE(text) ::trace::Write(__FILE__, __LINE__, (text))
#define TD_TRACEF(...) ::trace::WriteF(__FILE__, __LINE__, __VA_ARGS__)
