#include "FileUtil.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Convert.h"
#include "trace.h"

namespace {

// Paths go to the system in the narrow encoding. A path that cannot be
// converted must not turn into "" (which would name nothing, or worse, be
// taken relative to the working folder), so callers check the flag.
bool ToNative(const std::u16string& path, std::string& native) {
    return CString2Ansi(path, native) != 0 && !native.empty();
}

std::u16string ExecutablePath() {
    // PATH_MAX covers any path the kernel hands back; the old 260-character
    // limit of the program path does not apply here.
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) return {};
    buffer.resize(static_cast<size_t>(n));
    return Ansi2CString(buffer);
}

}  // namespace

std::u16string GetFileSeparator() { return u"/"; }

std::u16string GetBaseDir() {
    std::u16string path = ExecutablePath();
    const size_t cut = path.find_last_of(u'/');
    if (cut != std::u16string::npos) path.resize(cut);
    return path;
}

std::u16string GetDataDir() { return GetBaseDir() + GetFileSeparator() + u"Projects"; }

std::u16string GetLogDir() { return GetBaseDir() + GetFileSeparator() + u"LumoLog"; }

int FileExists(const std::u16string& path) {
    std::string native;
    if (!ToNative(path, native)) return 0;
    struct stat st;
    return stat(native.c_str(), &st) == 0 ? 1 : 0;
}

int IsFileReadOnly(const std::u16string& path) {
    std::string native;
    if (!ToNative(path, native)) return 0;
    struct stat st;
    if (stat(native.c_str(), &st) != 0) return 0;
    // The mode, not access(): root may write anything, yet a file whose mode
    // grants no write permission is what users call read-only.
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ? 1 : 0;
}

int RemoveFile(const std::u16string& path) {
    std::string native;
    if (!ToNative(path, native)) return 0;
    struct stat st;
    if (lstat(native.c_str(), &st) != 0) return errno == ENOENT ? 1 : 0;
    if (S_ISDIR(st.st_mode)) return 0;
    // Deleting a read-only file fails on the original platform; keep that,
    // even where the folder's permissions (or root) would allow the unlink.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return 0;
    return unlink(native.c_str()) == 0 ? 1 : 0;
}
