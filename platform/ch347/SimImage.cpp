// The simulated chip kept in a file between runs (--sim-image). The format is
// described with AttachImage in Ch347Sim.h.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Ch347Sim.h"
#include "SafeFile.h"
#include "SimChip.h"

namespace {

using ch347::SimChip;

constexpr unsigned long kImageBridge = 0;
constexpr auto kLockPoll = std::chrono::milliseconds(50);

struct Attached {
    std::mutex mutex;
    int lockFd = -1;
    std::string path;
    bool readOnly = false;
    SimChip::State loaded;
    std::chrono::milliseconds lockWait = sim::kImageLockWait;
    void (*waiting)(const std::string&) = nullptr;
    sim::ImageFailure failure = sim::ImageFailure::None;
};

Attached& TheImage() {
    static Attached image;
    return image;
}

std::string Errno(int err) { return std::strerror(err); }

std::uint32_t Fnv1a(const std::string& text, std::size_t length) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < length; ++i) {
        h ^= static_cast<unsigned char>(text[i]);
        h *= 16777619u;
    }
    return h;
}

// ---- Writing ------------------------------------------------------------------

void AppendHex(std::string& out, std::uint32_t value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = digits - 1; i >= 0; --i) out.push_back(kHex[(value >> (4 * i)) & 0xF]);
}

struct SpaceName {
    const char* name;
    std::map<std::uint32_t, std::uint32_t> SimChip::State::*map;
};
constexpr SpaceName kSpaces[] = {
    {"0400", &SimChip::State::pq},
    {"0200", &SimChip::State::plain},
    {"0600", &SimChip::State::port},
    {"0700", &SimChip::State::window},
};

std::string Format(const SimChip::State& state) {
    std::string out = sim::kImageMagic;
    out += "\n# The simulated chip's register spaces and EDID, kept by --sim-image.\n";
    out += "edid ";
    for (std::uint8_t b : state.edid) AppendHex(out, b, 2);
    out += '\n';
    for (const SpaceName& space : kSpaces) {
        for (const auto& [address, value] : state.*space.map) {
            out += "reg ";
            out += space.name;
            out += ' ';
            AppendHex(out, address, 8);
            out += ' ';
            AppendHex(out, value, 8);
            out += '\n';
        }
    }
    const std::uint32_t sum = Fnv1a(out, out.size());
    out += "sum ";
    AppendHex(out, sum, 8);
    out += '\n';
    return out;
}

bool Store(const std::string& path, const SimChip::State& state, std::string& error) {
    return files::Replace(path, Format(state), error);
}

// ---- Reading ------------------------------------------------------------------

std::optional<std::uint32_t> ParseHex(std::string_view text, std::size_t digits) {
    if (text.size() != digits) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return std::nullopt;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return v;
}

// Strict: every line must be one of the forms of the format, the sum line
// last and right.
bool Parse(const std::string& text, SimChip::State& state, std::string& error) {
    const std::string magic = std::string(sim::kImageMagic) + "\n";
    if (text.compare(0, magic.size(), magic) != 0) {
        error = "not a simulator image (no \"" + std::string(sim::kImageMagic) + "\" line)";
        return false;
    }
    state = SimChip::State{};
    bool haveEdid = false, haveSum = false;
    std::size_t pos = magic.size();
    int lineNo = 1;
    while (pos < text.size()) {
        ++lineNo;
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            error = "line " + std::to_string(lineNo) + " has no line end";
            return false;
        }
        const std::string_view line(text.data() + pos, nl - pos);
        const std::size_t lineStart = pos;
        pos = nl + 1;
        auto bad = [&](const char* why) {
            error = "line " + std::to_string(lineNo) + ": " + why;
            return false;
        };
        if (haveSum) return bad("text after the sum line");
        if (!line.empty() && line[0] == '#') continue;
        if (line.substr(0, 5) == "edid ") {
            if (haveEdid) return bad("a second edid line");
            std::string_view hex = line.substr(5);
            if (hex.size() != 512) return bad("the EDID is not 256 bytes");
            for (std::size_t i = 0; i < 256; ++i) {
                auto b = ParseHex(hex.substr(2 * i, 2), 2);
                if (!b) return bad("the EDID is not upper-case hex");
                state.edid[i] = static_cast<std::uint8_t>(*b);
            }
            haveEdid = true;
        } else if (line.substr(0, 4) == "reg ") {
            // "reg SSSS AAAAAAAA VVVVVVVV"
            if (line.size() != 4 + 4 + 1 + 8 + 1 + 8 || line[8] != ' ' || line[17] != ' ')
                return bad("not \"reg SPACE ADDRESS VALUE\"");
            const SpaceName* space = nullptr;
            for (const SpaceName& s : kSpaces)
                if (line.substr(4, 4) == s.name) space = &s;
            auto address = ParseHex(line.substr(9, 8), 8);
            auto value = ParseHex(line.substr(18, 8), 8);
            if (!space) return bad("unknown register space");
            if (!address || !value) return bad("address or value is not 8 upper-case hex digits");
            auto& map = state.*space->map;
            if (!map.emplace(*address, *value).second) return bad("a register listed twice");
        } else if (line.substr(0, 4) == "sum ") {
            auto sum = ParseHex(line.substr(4), 8);
            if (!sum) return bad("the sum is not 8 upper-case hex digits");
            if (*sum != Fnv1a(text, lineStart)) return bad("wrong sum (the file was changed or damaged)");
            haveSum = true;
        } else {
            return bad("not an image line");
        }
    }
    if (!haveSum) {
        error = "no sum line (the file is cut short)";
        return false;
    }
    if (!haveEdid) {
        error = "no edid line";
        return false;
    }
    return true;
}

// 0 and the file's bytes; ENOENT when there is no file, another errno when
// it cannot be read (EINVAL with `why` for one that is no image at all). The
// first line is checked before the rest is read, and the size is capped: a
// device or a huge file is refused at once.
int ReadFile(const std::string& path, std::string& out, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    auto done = [&](int err, const std::string& text = "") {
        ::close(fd);
        why = text;
        return err;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) return done(errno);
    if (!S_ISREG(st.st_mode)) return done(EINVAL, "not a simulator image (not a regular file)");
    if (static_cast<unsigned long long>(st.st_size) > sim::kImageMaxBytes)
        return done(EINVAL, "not a simulator image (" + std::to_string(st.st_size) + " bytes)");
    const std::string magic = std::string(sim::kImageMagic) + "\n";
    out.clear();
    char chunk[4096];
    for (;;) {
        const std::size_t want = out.size() < magic.size() ? magic.size() - out.size() : sizeof chunk;
        const ssize_t n = ::read(fd, chunk, std::min(want, sizeof chunk));
        if (n < 0) {
            if (errno == EINTR) continue;
            return done(errno);
        }
        if (n == 0) break;
        out.append(chunk, static_cast<std::size_t>(n));
        if (out.size() == magic.size() && out != magic)
            return done(EINVAL, "not a simulator image (no \"" + std::string(sim::kImageMagic) + "\" line)");
        if (out.size() > sim::kImageMaxBytes) return done(EINVAL, "not a simulator image (too large)");
    }
    return done(0);
}

// The lock of `path`, held by the returned descriptor; -1 with a reason.
// Where the lock file cannot be opened for writing (a read-only mount), a
// read-only descriptor of it, or else of the image itself, holds the lock.
int Lock(const std::string& path, const Attached& image, std::string& error, bool& timedOut) {
    const std::string lockPath = path + ".lock";
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EROFS || errno == EACCES || errno == EPERM)) {
        fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    }
    if (fd < 0) {
        error = "cannot open " + lockPath + ": " + Errno(errno);
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + image.lockWait;
    bool told = false;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "cannot lock " + lockPath + ": " + Errno(errno);
            break;
        }
        const auto seconds = std::chrono::duration_cast<std::chrono::duration<double>>(image.lockWait).count();
        char waited[32];
        std::snprintf(waited, sizeof waited, "%g", seconds);
        if (std::chrono::steady_clock::now() >= deadline) {
            error = path + " is in use by another program (waited " + waited + " s)";
            timedOut = true;
            break;
        }
        if (!told && image.waiting != nullptr) {
            image.waiting(path + " is in use by another program; waiting up to " + waited + " s");
            told = true;
        }
        std::this_thread::sleep_for(kLockPoll);
    }
    ::close(fd);
    return -1;
}

// Whether this process may replace the image: write permission on the file
// (when it exists) and on its folder, on a mount that is not read-only.
bool Writable(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (::access(dir.c_str(), W_OK) != 0) return false;
    return ::access(path.c_str(), W_OK) == 0 || errno == ENOENT;
}

}  // namespace

namespace sim {

void SetImageLockWait(std::chrono::milliseconds wait, void (*waiting)(const std::string& text)) {
    Attached& image = TheImage();
    std::lock_guard<std::mutex> guard(image.mutex);
    image.lockWait = wait;
    image.waiting = waiting;
}

ImageFailure LastImageFailure() {
    Attached& image = TheImage();
    std::lock_guard<std::mutex> guard(image.mutex);
    return image.failure;
}

bool AttachImage(const std::string& givenPath, std::string* error) {
    std::string reason;
    Attached& image = TheImage();
    std::lock_guard<std::mutex> guard(image.mutex);
    image.failure = ImageFailure::None;
    bool timedOut = false;
    auto fail = [&](int fd) {
        if (fd >= 0) ::close(fd);
        if (error) *error = reason;
        image.failure = timedOut ? ImageFailure::InUse : ImageFailure::Refused;
        return false;
    };
    if (image.lockFd >= 0) {
        reason = "an image is already in use: " + image.path;
        return fail(-1);
    }
    if (givenPath.empty()) {
        reason = "no image file named";
        return fail(-1);
    }
    // A symlink and its target are one image, with one lock.
    const std::string path = files::FinalTarget(givenPath);
    const int fd = Lock(path, image, reason, timedOut);
    if (fd < 0) return fail(-1);

    SimChip::State state;
    std::string text, why;
    const bool readOnly = !Writable(path);
    if (const int err = ReadFile(path, text, why); err == ENOENT) {
        if (readOnly) {
            reason = "cannot create " + givenPath + ": " + Errno(EACCES);
            return fail(fd);
        }
        if (!ch347::SnapshotChip(kImageBridge, state) || !Store(path, state, reason)) return fail(fd);
    } else if (err != 0) {
        reason = why.empty() ? "cannot read " + givenPath + ": " + Errno(err) : givenPath + ": " + why;
        return fail(fd);
    } else if (!Parse(text, state, reason)) {
        reason = givenPath + ": " + reason;
        return fail(fd);
    } else {
        ch347::RestoreChip(kImageBridge, state);
    }
    image.lockFd = fd;
    image.path = path;
    image.readOnly = readOnly;
    image.loaded = std::move(state);
    return true;
}

bool DetachImage(std::string* error) {
    Attached& image = TheImage();
    std::lock_guard<std::mutex> guard(image.mutex);
    if (image.lockFd < 0) return true;
    std::string reason;
    bool ok = true;
    SimChip::State now;
    if (ch347::SnapshotChip(kImageBridge, now) && !(now == image.loaded)) {
        if (image.readOnly) {
            ok = false;
            reason = image.path + " is read-only: the changes were not stored";
        } else {
            ok = Store(image.path, now, reason);
        }
    }
    ::close(image.lockFd);  // releases the lock
    image.lockFd = -1;
    image.path.clear();
    image.readOnly = false;
    image.loaded = SimChip::State{};
    if (!ok && error) *error = reason;
    return ok;
}

bool StoreImage(std::string* error) {
    Attached& image = TheImage();
    std::lock_guard<std::mutex> guard(image.mutex);
    if (image.lockFd < 0) return true;
    SimChip::State now;
    if (!ch347::SnapshotChip(kImageBridge, now) || now == image.loaded) return true;
    std::string reason;
    if (!Store(image.path, now, reason)) {
        if (error) *error = reason;
        return false;
    }
    image.loaded = std::move(now);
    return true;
}

}  // namespace sim
