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
    // A parent that is a file (ENOTDIR) means nothing can be there either.
    if (lstat(native.c_str(), &st) != 0) return errno == ENOENT || errno == ENOTDIR ? 1 : 0;
    if (S_ISDIR(st.st_mode)) return 0;
    // Deleting a read-only file fails on the original platform; keep that,
    // even where the folder's permissions (or root) would allow the unlink.
    if (!S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return 0;
    return unlink(native.c_str()) == 0 ? 1 : 0;
}

int MakeDir(const std::u16string& path) {
    std::string native;
    if (!ToNative(path, native)) return 0;
    struct stat st;
    if (stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 1;
    return mkdir(native.c_str(), 0777) == 0 ? 1 : 0;
}

namespace {

// One folder listing, closed on every way out.
class Listing {
public:
    explicit Listing(const std::string& folder) : folder_(folder), dir_(opendir(folder.c_str())) {}
    ~Listing() {
        if (dir_) closedir(dir_);
    }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;
    bool ok() const { return dir_ != nullptr; }

    // Next entry other than "." and ".."; false at the end. A symbolic link
    // counts as a file even when it points at a folder: following it could
    // leave the tree (DelDir would empty a folder elsewhere) or loop forever.
    bool Next(std::string& name, bool& isFolder) {
        while (dirent* entry = readdir(dir_)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
            name = entry->d_name;
            if (entry->d_type != DT_UNKNOWN) {
                isFolder = entry->d_type == DT_DIR;
            } else {
                struct stat st;
                const std::string full = folder_ + "/" + name;
                isFolder = lstat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            return true;
        }
        return false;
    }

private:
    std::string folder_;
    DIR* dir_;
};

int DelDirNative(const std::string& folder) {
    {
        Listing listing(folder);
        if (listing.ok()) {
            std::string name;
            bool isFolder = false;
            while (listing.Next(name, isFolder)) {
                const std::string path = folder + "/" + name;
                if (isFolder) {
                    TD_TRACEF("Deleting SubDir : %s \r\n", path.c_str());
                    if (!DelDirNative(path)) return 0;
                } else {
                    TD_TRACEF("Deleting File : %s \r\n", path.c_str());
                    if (!RemoveFile(Ansi2CString(path))) return 0;
                }
            }
        }
    }
    return rmdir(folder.c_str()) == 0 ? 1 : 0;
}

void EnumAllFilesNative(const std::string& folder, std::list<std::u16string>& out, bool& listed) {
    Listing listing(folder);
    listed = listing.ok();
    if (!listed) return;
    std::string name;
    bool isFolder = false;
    while (listing.Next(name, isFolder)) {
        const std::string path = folder + "/" + name;
        if (isFolder) {
            out.push_back(Ansi2CString(name));
            bool nested = false;
            EnumAllFilesNative(path, out, nested);
        } else {
            out.push_back(Ansi2CString(path));
        }
    }
}

bool EndsWith(const std::string& text, const char* tail) {
    const size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// Line feeds go out as CR LF, so the file is the same on every platform.
bool WriteText(FILE* stream, const std::u16string& text) {
    std::string narrow;
    if (!CString2Ansi(text, narrow)) return false;
    std::string bytes;
    bytes.reserve(narrow.size() + narrow.size() / 16);
    for (char c : narrow) {
        if (c == '\n') bytes.push_back('\r');
        bytes.push_back(c);
    }
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

}  // namespace

int DelDir(const std::u16string& path) {
    std::string native;
    if (!ToNative(path, native)) return 0;
    return DelDirNative(native);
}

bool EnumAllFiles(const std::u16string& folder, std::list<std::u16string>& out) {
    std::string native;
    if (!ToNative(folder, native)) return false;
    bool listed = false;
    EnumAllFilesNative(native, out, listed);
    return listed && !out.empty();
}

bool EnumFiles(const std::u16string& folder, std::list<std::u16string>& out) {
    std::string native;
    if (!ToNative(folder, native)) return false;
    Listing listing(native);
    if (!listing.ok()) return false;
    // A folder without any "*.nelq" entry is a failed search, whatever the
    // list already held; a matching folder counts as found but is not listed.
    bool matched = false;
    std::string name;
    bool isFolder = false;
    while (listing.Next(name, isFolder)) {
        if (!EndsWith(name, ".nelq")) continue;
        matched = true;
        if (!isFolder) out.push_back(Ansi2CString(name));
    }
    return matched && !out.empty();
}

int AppendFile(const std::u16string& path, const std::u16string& text) {
    std::string native;
    if (!ToNative(path, native)) return 0;
    FILE* stream = std::fopen(native.c_str(), "ab");
    if (!stream) return 0;
    // A full disk must not look like success.
    bool ok = WriteText(stream, text);
    ok = std::fflush(stream) == 0 && ok;
    ok = std::fclose(stream) == 0 && ok;
    return ok ? 1 : 0;
}

void WriteFile(FILE* stream, const std::u16string& text) {
    if (stream) WriteText(stream, text);
}

void FlushFile(FILE* stream) {
    if (stream) std::fflush(stream);
}

void CloseFile(FILE* stream) {
    if (stream) std::fclose(stream);
}

int GetFileSize(const std::u16string&, int&) { return 0; }

void DelLUMOLogs(const std::u16string&, int) {}
