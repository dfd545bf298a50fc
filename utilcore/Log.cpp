#include "Log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Convert.h"
#include "FileUtil.h"
#include "TimeUtil.h"
#include "trace.h"

namespace {

constexpr std::size_t kRecordCapacity = 2048;  // characters, terminator included
constexpr std::size_t kRecordSoftLimit = 256;  // formatting stops once reached

struct LogState {
    std::mutex lock;
    std::u16string folder;
    std::u16string current;
    bool enabled = true;
};

LogState& State() {
    static LogState state;
    return state;
}

// Where the arguments of one record come from: the call's va_list, with an
// optional text taken before it (the format-plus-text overload).
class ArgReader {
public:
    ArgReader(va_list& args, const char16_t* leading, bool hasLeading)
        : args_(args), leading_(leading), hasLeading_(hasLeading) {}

    int Int32() {
        if (TakeLeading()) return static_cast<int>(reinterpret_cast<std::intptr_t>(leading_));
        return va_arg(args_, int);
    }
    long long Int64() {
        if (TakeLeading()) return static_cast<long long>(reinterpret_cast<std::intptr_t>(leading_));
        return va_arg(args_, long long);
    }
    double Double() {
        if (TakeLeading()) return 0.0;
        return va_arg(args_, double);
    }
    const char16_t* Text() {
        if (TakeLeading()) return leading_;
        return va_arg(args_, const char16_t*);
    }

private:
    bool TakeLeading() {
        if (!hasLeading_) return false;
        hasLeading_ = false;
        return true;
    }

    va_list& args_;
    const char16_t* leading_;
    bool hasLeading_;
};

class Record {
public:
    void Put(char16_t c) {
        if (length_ < kRecordCapacity - 1) text_[length_++] = c;
    }
    void PutNarrow(const char* s) {
        while (*s != '\0') Put(static_cast<char16_t>(static_cast<unsigned char>(*s++)));
    }
    bool Full() const { return length_ >= kRecordSoftLimit; }
    const char16_t* Data() const { return text_; }
    std::size_t Length() const { return length_; }

private:
    char16_t text_[kRecordCapacity];
    std::size_t length_ = 0;
};

bool IsOneOf(char16_t c, const char* set) {
    for (; *set != '\0'; ++set)
        if (c == static_cast<char16_t>(*set)) return true;
    return false;
}

// Copies the characters a failed conversion looked at, as ordinary text; a
// '%' or the end among them is left for the next step. Returns how many were
// copied.
std::size_t CopyLiteral(Record& out, const char16_t* p, std::size_t count) {
    std::size_t i = 0;
    for (; i < count && p[i] != u'\0' && p[i] != u'%'; ++i) out.Put(p[i]);
    return i;
}

// Numbers are formatted by printf into an area large enough for any double
// ('%f' of the largest double has 316 characters); the classic 16-character
// area lost the digits of such values.
template <typename T>
void PutNumber(Record& out, const char* conversion, T value) {
    char area[400];
    std::snprintf(area, sizeof area, conversion, value);
    out.PutNarrow(area);
}

void FormatRecord(Record& out, const char16_t* format, ArgReader& args) {
    if (format == nullptr) return;
    const char16_t* p = format;
    while (*p != u'\0' && !out.Full()) {
        if (*p != u'%') {
            out.Put(*p++);
            continue;
        }
        const char16_t c1 = p[1];
        if (IsOneOf(c1, "duxX")) {
            const char conv[3] = {'%', static_cast<char>(c1), '\0'};
            if (c1 == u'd')
                PutNumber(out, conv, args.Int32());
            else
                PutNumber(out, conv, static_cast<unsigned>(args.Int32()));
            p += 2;
        } else if (c1 == u'f') {
            PutNumber(out, "%f", args.Double());
            p += 2;
        } else if (c1 == u'l') {
            const char16_t c2 = p[2];
            if (IsOneOf(c2, "duU")) {
                // 'U' is no printf conversion; callers mean unsigned.
                if (c2 == u'd')
                    PutNumber(out, "%d", args.Int32());
                else
                    PutNumber(out, "%u", static_cast<unsigned>(args.Int32()));
                p += 3;
            } else if (c2 == u'l' && IsOneOf(p[3], "duU")) {
                if (p[3] == u'd')
                    PutNumber(out, "%lld", args.Int64());
                else
                    PutNumber(out, "%llu", static_cast<unsigned long long>(args.Int64()));
                p += 4;
            } else {
                // The '%' is dropped; 'l' and what follows are plain text.
                p += 1;
                p += CopyLiteral(out, p, c2 == u'l' ? 3 : 2);
            }
        } else if (c1 == u'0') {
            const char16_t width = p[2];
            const char16_t c3 = width != u'\0' ? p[3] : u'\0';
            if (width >= u'2' && width <= u'9' && IsOneOf(c3, "dxX")) {
                const char conv[5] = {'%', '0', static_cast<char>(width), static_cast<char>(c3), '\0'};
                if (c3 == u'd')
                    PutNumber(out, conv, args.Int32());
                else
                    PutNumber(out, conv, static_cast<unsigned>(args.Int32()));
                p += 4;
            } else {
                out.Put(u'%');
                p += 1;
                p += CopyLiteral(out, p, 3);
            }
        } else if (c1 == u's') {
            const char16_t* s = args.Text();
            if (s != nullptr)
                while (*s != u'\0') out.Put(*s++);
            p += 2;
        } else {
            // Not a conversion: the '%' stays and the next character is read
            // afresh, so "%%d" is '%' followed by a %d conversion.
            out.Put(u'%');
            p += 1;
        }
    }
}

bool NativePath(const std::u16string& path, std::string& native) {
    return !path.empty() && CString2Ansi(path, native) != 0 && !native.empty();
}

// Appends the record's code units, little-endian, to `path`, holding an
// exclusive lock on the file while writing.
void AppendRecord(const std::u16string& path, const Record& record) {
    std::string native;
    if (!NativePath(path, native)) return;
    const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX) == 0) {
        std::string bytes;
        bytes.reserve(record.Length() * 2);
        for (std::size_t i = 0; i < record.Length(); ++i) {
            const char16_t c = record.Data()[i];
            bytes.push_back(static_cast<char>(c & 0xff));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
}

std::u16string LogFileName(const char16_t* suffix) {
    return GetDateTime(u"%04d-%02d-%02d_%02d%02d%02d") + suffix + u".log";
}

// Caller holds the state lock.
void StartLogFile(LogState& state, const std::u16string& folder, bool rotation) {
    state.folder = folder;
    if (folder.empty()) {
        // Would otherwise name a file in the root folder.
        state.current.clear();
        return;
    }
    const std::u16string stem = folder + GetFileSeparator();
    std::u16string path = stem + LogFileName(u"");
    if (!rotation) {
        // A second start within one second begins that file again.
        RemoveFile(path);
    } else {
        // Rotation never deletes a log: when the name is taken (a rotation in
        // the second the current file began), the next free "_n" name is used.
        for (int n = 1; FileExists(path) && n < 1000000; ++n) {
            std::u16string suffix = u"_";
            suffix += Ansi2CString(std::to_string(n));
            path = stem + LogFileName(suffix.c_str());
        }
    }
    state.current = path;
}

long long FileSizeOf(const std::u16string& path) {
    std::string native;
    if (!NativePath(path, native)) return -1;
    struct stat st;
    if (::stat(native.c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

void WriteToCurrent(bool sizeCheck, const char16_t* format, ArgReader& args) {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (!state.enabled) return;
    Record record;
    FormatRecord(record, format, args);
    if (sizeCheck && FileSizeOf(state.current) > kFileLogRotateBytes) {
        TD_TRACE("\r\n log file size exceed limit, open next log file... \r\n");
        StartLogFile(state, state.folder, true);
    }
    AppendRecord(state.current, record);
}

}  // namespace

int FileLogInit(const std::u16string& folder) {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    StartLogFile(state, folder, false);
    return 1;
}

void FileLogOutput(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    ArgReader reader(args, nullptr, false);
    WriteToCurrent(true, format, reader);
    va_end(args);
}

void FileLogOutput(const char16_t* format, const char16_t* text, ...) {
    va_list args;
    va_start(args, text);
    ArgReader reader(args, text, true);
    WriteToCurrent(true, format, reader);
    va_end(args);
}

void FileLogOutput(bool flag, const char16_t* format, ...) {
    if (!flag) return;
    va_list args;
    va_start(args, format);
    ArgReader reader(args, nullptr, false);
    WriteToCurrent(false, format, reader);
    va_end(args);
}

void FileLogOutput(const std::u16string& path, const char16_t* format, ...) {
    if (path.empty()) return;
    va_list args;
    va_start(args, format);
    ArgReader reader(args, nullptr, false);
    Record record;
    FormatRecord(record, format, reader);
    va_end(args);
    // Same lock as the other forms, so records to one file do not interleave.
    std::lock_guard<std::mutex> guard(State().lock);
    AppendRecord(path, record);
}

bool IsFileLogEnable() {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.enabled;
}

void SetFileLogEnable(bool enable) {
    LogState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.enabled = enable;
}
