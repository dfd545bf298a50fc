// Process-wide file log: records formatted by the log's own small formatter
// and appended to a file in a folder the client chose, as UTF-16 little-endian
// code units (no byte-order mark, no terminator, no line end added). A new
// file "YYYY-MM-DD_HHMMSS.log" is started by FileLogInit and again when the
// current file has grown past 10 MiB.
//
// Formatter (not printf): %d %u %x %X (32-bit), %f (double, six decimals),
// %ld %lu (32-bit), %lld %llu (64-bit), %0Nd %0Nx %0NX with N = 2..9, and %s
// (a const char16_t*). Anything else is copied as text: "%5d" stays "%5d",
// "%%d" is '%' followed by the %d conversion, and "%l" before anything but d/u
// loses its '%'. A record is cut once it holds 256 characters (the step that
// crosses that mark is finished) and never holds more than 2047.
#pragma once

#include <cstddef>
#include <string>

#include "UtilcoreApi.h"

// Size above which the next format-only record starts a new file.
inline constexpr long long kFileLogRotateBytes = 10485760;

// Starts a new log file in `folder` (which must exist; it is not created),
// named after the local time. An existing file of that name is deleted first.
// An empty folder switches the file log off until the next call. Always 1.
UTILCORE_API int FileLogInit(const std::u16string& folder);

// To the current log file when the log is enabled; a file above 10 MiB is
// left for a new one first.
UTILCORE_API void FileLogOutput(const char16_t* format, ...);
// To the current log file when the log is enabled and `flag` is true; no size
// check.
UTILCORE_API void FileLogOutput(bool flag, const char16_t* format, ...);
// To the file `path`, enabled or not; no size check. An empty path writes
// nothing. Pass the path as a std::u16string: a bare literal in the first
// place is taken as a format.
UTILCORE_API void FileLogOutput(const std::u16string& path, const char16_t* format, ...);
// Format-only form whose first argument is a text: without it a call such as
// FileLogOutput(u"%s\r\n", name) would be ambiguous with the flag form.
UTILCORE_API void FileLogOutput(const char16_t* format, const char16_t* text, ...);

UTILCORE_API bool IsFileLogEnable();
UTILCORE_API void SetFileLogEnable(bool enable);
