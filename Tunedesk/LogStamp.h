// The log line: "[YYYY/MM/DD hh:mm:ss:mmm] text" in local time, and the empty
// line after it. The panel's log view and tunedesk-cli's --log file frame
// their lines with these.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

// Writes the stamp of `now` into `out` (at most `size` units, no terminator)
// and returns its length.
int FormatLogTime(std::chrono::system_clock::time_point now, char16_t* out, int size);

// "[stamp] text", the text whole (line feeds and carriage returns in it
// included); an empty text is an empty line without a stamp.
std::u16string FrameLogLine(std::u16string_view stamp, const std::u16string& text);

// A text with a line feed after its first character is followed by an empty
// line, so a text ending in "\n" stands apart from the next one.
bool BlankLineAfter(const std::u16string& text);
