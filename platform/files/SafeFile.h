// Files as the user names them. A replacement goes to the file a path points
// at in the end (through any symlinks), in one rename of a uniquely named
// temporary beside it that keeps the old file's mode; a path that names a
// pipe, a terminal or another device is written straight through instead, so
// its reader gets the bytes and the device stays what it was. Paths are bytes
// as the system passes them, never converted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace files {

// The file `path` names once every symlink is followed; a link to a missing
// file gives the path the link would create. `path` itself when it is no link.
std::string FinalTarget(const std::string& path);

// Replaces the content of `path` ("-": standard output) with `content`.
// False with "PATH: reason" in `error`; the old file is then untouched.
bool Replace(const std::string& path, std::string_view content, std::string& error);

// Reads `path` ("-": standard input), refusing more than `maxBytes`. On
// failure `error` is "PATH: reason" and `err` the errno (0 for a size refusal).
bool ReadCapped(const std::string& path, std::size_t maxBytes, std::string& out, std::string& error,
                int* err = nullptr);

// True when `path` is "-" (a standard stream).
inline bool IsStdStream(const std::string& path) { return path == "-"; }

}  // namespace files
