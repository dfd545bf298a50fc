// INI file access with the classic profile-file semantics:
//  - section and key names match case-insensitively (ASCII letters), first match wins;
//  - names and values are trimmed of blanks and tabs;
//  - an integer is the signed decimal number at the start of the value (a value
//    that does not start with one reads as 0; an empty value gives the default);
//  - a missing or unreadable file, a missing section or key gives the default;
//  - a write replaces the key's value in place, or appends the key to its section,
//    creating the file and the section when they are missing; every other line of
//    the file is kept byte for byte (comments, other sections, line ends).
// Files are UTF-8 (utilcore's Utf16ToUtf8 / Utf8ToUtf16). A write goes to a
// temporary file in the same folder, which is
// flushed to disk and renamed over the old file, so a reader never sees a torn
// file and a crash in the middle of a save never loses the old settings.
//
// Reading takes no lock; writes from threads of this process are serialised so
// that two saves of different keys do not lose one another.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ini {

// The value of `key` in `section` as a number, or `defaultValue` (see above).
// Numbers beyond the range of int saturate at INT_MIN / INT_MAX.
int ReadInt(const std::u16string& path, std::u16string_view section, std::u16string_view key, int defaultValue);

// The trimmed text of `key` in `section`, or `defaultValue`.
std::u16string ReadString(const std::u16string& path, std::u16string_view section, std::u16string_view key,
                          std::u16string_view defaultValue);

// Stores key=value in section. Returns true once the new file is in place.
// Returns false and leaves the file untouched when the file cannot be written, or
// when section, key or value would break the file's line structure (a line break
// anywhere, an empty name, '=' in the key, ']' in the section name).
bool WriteString(const std::u16string& path, std::u16string_view section, std::u16string_view key,
                 std::u16string_view value);

// Stores several key=value pairs in section, in order, as one replacement of
// the file: a reader sees all of them or none. Same refusals as WriteString;
// one refused pair leaves the file untouched.
bool WriteStrings(const std::u16string& path, std::u16string_view section,
                  const std::vector<std::pair<std::u16string, std::u16string>>& entries);

// The key names of section in file order, as the file spells them (the first
// section of that name). Empty for a missing file or section.
std::vector<std::u16string> ReadKeys(const std::u16string& path, std::u16string_view section);

// ---- Text already read (profiles, which may come from a pipe) ----

// True when `text` could be an INI file: UTF-8 without NUL bytes, every line
// blank, a comment, a "[section]" or a "key=value".
bool IsIniText(std::string_view text);

// The trimmed key=value pairs of the first section named `section`, in file
// order; `sections` receives how many sections of that name the text holds.
std::vector<std::pair<std::string, std::string>> SectionEntries(std::string_view text, std::string_view section,
                                                                int* sections = nullptr);

// `text` with every section named `section` taken out and one holding exactly
// `entries` put where the first stood (at the end when there was none); every
// other line is kept byte for byte.
std::string ReplaceSection(std::string_view text, std::string_view section,
                           const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace ini
