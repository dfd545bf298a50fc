#include "SafeFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {
namespace {

std::string Reason(const std::string& path, int err) { return path + ": " + std::strerror(err); }

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string DirOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return "";
    return path.substr(0, slash + 1);
}

// Pipes, terminals and devices take the bytes where they are.
bool WriteThrough(const std::string& path, int fd, std::string_view content, std::string& error) {
    const bool ok = WriteAll(fd, content);
    const int err = errno;
    if (!ok) {
        if (fd > 2) ::close(fd);
        error = Reason(path, err);
        return false;
    }
    if (fd > 2 && ::close(fd) != 0) {
        error = Reason(path, errno);
        return false;
    }
    return true;
}

}  // namespace

std::string FinalTarget(const std::string& path) {
    std::string current = path;
    // The kernel's own limit of links in one lookup.
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return current;
        const std::string link(buf, static_cast<size_t>(n));
        current = link[0] == '/' ? link : DirOf(current) + link;
    }
    return current;
}

bool Replace(const std::string& path, std::string_view content, std::string& error) {
    if (IsStdStream(path)) {
        if (!WriteAll(STDOUT_FILENO, content)) {
            error = Reason("standard output", errno);
            return false;
        }
        return true;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            error = Reason(path, EISDIR);
            return false;
        }
        const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            error = Reason(path, errno);
            return false;
        }
        return WriteThrough(path, fd, content, error);
    }
    const std::string target = FinalTarget(path);
    // /dev/stdout and its kin lead through /proc to a file another process
    // has open: a rename would leave that process writing to the old file.
    if (path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0) {
        const int out = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
        if (out < 0) {
            error = Reason(path, errno);
            return false;
        }
        return WriteThrough(path, out, content, error);
    }
    static std::atomic<unsigned> counter{0};
    static const unsigned salt = std::random_device{}();
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 32 && fd < 0; ++attempt) {
        temp = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(salt) + "-" +
               std::to_string(counter.fetch_add(1));
        // 0666: a new file gets the umask's mode, as any new file of the user.
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        error = Reason(path, errno);
        return false;
    }
    if (exists) ::fchmod(fd, st.st_mode & 07777);
    bool ok = WriteAll(fd, content) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        error = Reason(path, err);
    }
    return ok;
}

bool ReadCapped(const std::string& path, std::size_t maxBytes, std::string& out, std::string& error, int* err) {
    const bool stdIn = IsStdStream(path);
    const std::string name = stdIn ? "standard input" : path;
    const int fd = stdIn ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    auto fail = [&](int e, const std::string& text) {
        if (fd > 2) ::close(fd);
        error = text;
        if (err) *err = e;
        return false;
    };
    if (fd < 0) return fail(errno, Reason(name, errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) return fail(errno, Reason(name, errno));
    if (S_ISDIR(st.st_mode)) return fail(EISDIR, Reason(name, EISDIR));
    if (S_ISREG(st.st_mode) && static_cast<unsigned long long>(st.st_size) > maxBytes)
        return fail(0, name + ": " + std::to_string(st.st_size) + " bytes, more than " + std::to_string(maxBytes));
    out.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno, Reason(name, errno));
        }
        if (n == 0) break;
        out.append(chunk, static_cast<size_t>(n));
        if (out.size() > maxBytes) return fail(0, name + ": more than " + std::to_string(maxBytes) + " bytes");
    }
    if (fd > 2) ::close(fd);
    return true;
}

}  // namespace files
