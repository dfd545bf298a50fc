// tunedesk-cli: features read back from the chip -- which ones a command
// names, set --verify, and watch.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Cli.h"
#include "Convert.h"
#include "Features.h"
#include "LogStamp.h"
#include "SPIUtil.h"
#include "StartOptions.h"
#include "TextParse.h"
#include "TimeUtil.h"

namespace cli {

bool SelectReadable(const Context& ctx, const std::vector<std::string>& names,
                    std::vector<const features::Feature*>& out) {
    const std::span<const features::Feature> table = features::Table();
    std::vector<bool> wanted(table.size(), false);
    for (size_t i = 0; i < table.size() && names.empty(); ++i) wanted[i] = table[i].readable;
    for (const std::string& name : names) {
        const features::Feature* named = features::Find(name);
        // The group takes the table's spelling of the name.
        const std::string group = (named != nullptr ? std::string(named->name) : name) + ".";
        bool any = false, readable = false;
        for (size_t i = 0; i < table.size(); ++i) {
            if (&table[i] != named && std::string_view(table[i].name).substr(0, group.size()) != group) continue;
            any = true;
            readable = readable || table[i].readable;
            wanted[i] = wanted[i] || table[i].readable;
        }
        if (!any) {
            Error(ctx, "unknown feature \"" + name + "\"");
            return false;
        }
        if (!readable || (named != nullptr && !named->readable)) {
            Error(ctx, name + " is write only");
            return false;
        }
    }
    for (size_t i = 0; i < table.size(); ++i)
        if (wanted[i]) out.push_back(&table[i]);
    return true;
}

ReadBack VerifyAssignment(const Context& ctx, const features::Assignment& a) {
    const std::string name = a.feature->name;
    if (a.feature->readable) {
        unsigned int back = 0;
        if (!ctx.chip->ReadFeature(*a.feature, back)) {
            Error(ctx, "reading " + name + " back failed" + ChipWhy(ctx));
            return ReadBack::Failed;
        }
        if (back == a.value) return ReadBack::Same;
        Error(ctx, name + ": wrote " + features::FormatValue(*a.feature, a.value) + ", read back " +
                       features::FormatValue(*a.feature, back));
        return ReadBack::Differs;
    }
    // The process size has no getter; what it writes is the kernel.
    int kernel[kSharpeningKernelSize];
    if (name != "sharpening.size" || !BuildSharpeningKernel(a.value, kernel)) {
        Error(ctx, name + " cannot be read back");
        return ReadBack::Differs;
    }
    for (unsigned int i = 0; i < kSharpeningKernelSize; ++i) {
        const unsigned int address = kRegSharpeningKernel + 4 * i;
        unsigned int back = 0;
        if (!ctx.chip->ReadRegister(address, back, kReadCommand)) {
            Error(ctx, "reading " + Hex32(address) + " back failed" + ChipWhy(ctx));
            return ReadBack::Failed;
        }
        if (static_cast<int>(back) != kernel[i]) {
            Error(ctx, name + ": wrote " + features::FormatValue(*a.feature, a.value) + ", read back coefficient " +
                           std::to_string(i) + " as " + std::to_string(static_cast<int>(back)) + ", not " +
                           std::to_string(kernel[i]));
            return ReadBack::Differs;
        }
    }
    return ReadBack::Same;
}

bool ParseInterval(const std::string& text, std::chrono::milliseconds& interval) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
    unsigned long long seconds = 0, thousandths = 0;
    if (!parse::Decimal(whole, 86400, seconds, 5)) return false;
    if (dot != std::string::npos && (fraction.empty() || fraction.size() > 3)) return false;
    fraction.resize(3, '0');
    if (!parse::Decimal(fraction, 999, thousandths, 3)) return false;
    const unsigned long long ms = seconds * 1000 + thousandths;
    if (ms < 10 || ms > 86400 * 1000) return false;
    interval = std::chrono::milliseconds(ms);
    return true;
}

namespace {

// Ctrl-C and SIGTERM end the watch between two reads: the handler only notes
// the signal and wakes the wait through a pipe, so a read in flight finishes
// and the image is stored as after any other command.
volatile std::sig_atomic_t g_stop = 0;
int g_wake = -1;

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    g_stop = 1;
    if (g_wake >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t n = ::write(g_wake, &byte, 1);
    }
    errno = saved;
}

class WatchEnd {
public:
    WatchEnd() {
        g_stop = 0;
        if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) pipe_[0] = pipe_[1] = -1;
        g_wake = pipe_[1];
        struct stat st {};
        outputPipe_ = ::fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &oldInt_);
        ::sigaction(SIGTERM, &action, &oldTerm_);
    }
    ~WatchEnd() {
        ::sigaction(SIGINT, &oldInt_, nullptr);
        ::sigaction(SIGTERM, &oldTerm_, nullptr);
        g_wake = -1;
        for (const int fd : pipe_)
            if (fd >= 0) ::close(fd);
    }
    WatchEnd(const WatchEnd&) = delete;
    WatchEnd& operator=(const WatchEnd&) = delete;

    bool Stopped() const { return g_stop != 0 || readerGone_; }

    // Waits until `deadline`, a stop signal, or the reader of a pipe on
    // standard output going away (`watch | head` ends with head, even while
    // nothing changes); true when stopped.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        while (!Stopped()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            // Without a pipe the signal still cuts the poll short (EINTR).
            pollfd fds[2] = {{pipe_[0], POLLIN, 0}, {outputPipe_ ? STDOUT_FILENO : -1, 0, 0}};
            if (::poll(fds, 2, static_cast<int>(left.count())) > 0 && (fds[1].revents & (POLLERR | POLLHUP)) != 0)
                readerGone_ = true;
        }
        return Stopped();
    }

private:
    int pipe_[2] = {-1, -1};
    bool outputPipe_ = false;
    bool readerGone_ = false;
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

std::string Now() {
    char16_t stamp[32];
    const int n = FormatLogTime(std::chrono::system_clock::now(), stamp, 32);
    return Utf16ToUtf8(std::u16string(stamp, static_cast<size_t>(n)));
}

}  // namespace

int CmdWatch(Context& ctx, const cmdline::Parsed& args) {
    const std::vector<std::string> unknown = args.Unknown();
    if (!unknown.empty()) {
        Error(ctx, "unknown option " + unknown.front());
        return kUsage;
    }
    std::vector<const features::Feature*> watched;
    if (!SelectReadable(ctx, args.Operands(), watched)) return kUsage;
    std::chrono::milliseconds interval(1000);
    unsigned long long count = 0;  // 0: until stopped
    for (const cmdline::Match& m : args.options) {
        if (m.option->name == "--interval") ParseInterval(m.value, interval);
        if (m.option->name == "--count") parse::Decimal(m.value, 1000000000, count, 10);
    }

    WatchEnd stop;
    std::vector<std::optional<unsigned int>> last(watched.size());
    auto next = std::chrono::steady_clock::now();
    std::string error;
    for (unsigned long long n = 0; !stop.Stopped() && (count == 0 || n < count); ++n) {
        if (n > 0) {
            // The image is not held between reads: another program may change
            // the chip meanwhile, and the next read loads what it left.
            // A read slower than the interval delays the next one rather than
            // bunching the reads after it.
            next = std::max(next + interval, std::chrono::steady_clock::now());
            if (!PauseStartOptions(&error)) {
                Error(ctx, error);
                return kFailed;
            }
            if (stop.WaitUntil(next)) break;
            if (!ResumeStartOptions(&error)) {
                Error(ctx, error);
                return kFailed;
            }
        }
        const std::string time = Now();
        std::string lines;
        std::vector<unsigned int> values;
        size_t failed = 0;
        if (!ctx.chip->ReadFeatures(watched, values, failed)) {
            Error(ctx, std::string("reading ") + watched[failed]->name + " failed" + ChipWhy(ctx));
            return ChipExit(ctx);
        }
        for (size_t i = 0; i < watched.size(); ++i) {
            const features::Feature& f = *watched[i];
            const unsigned int value = values[i];
            if (last[i] == value) continue;
            last[i] = value;
            if (ctx.json)
                lines += "{\"time\": " + JsonString(time) + ", \"feature\": " + JsonString(f.name) +
                         ", \"value\": " + FeatureJson(f, value) + "}\n";
            else
                lines += time + " " + f.name + "=" + features::FormatValue(f, value) + "\n";
        }
        // Each read's lines reach a pipe at once. A reader that went away
        // ends the watch as it would any other; other write errors are failures.
        errno = 0;
        if (std::fwrite(lines.data(), 1, lines.size(), stdout) != lines.size() || std::fflush(stdout) != 0) {
            if (errno == EPIPE) break;
            Error(ctx, std::string("standard output: ") + std::strerror(errno));
            return kFailed;
        }
    }
    return kOk;
}

}  // namespace cli
