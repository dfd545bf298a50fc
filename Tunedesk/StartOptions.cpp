#include "StartOptions.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "AppPaths.h"
#include "BackendChoice.h"
#include "Ch347Sim.h"
#include "Convert.h"
#include "FaultBackend.h"
#include "trace.h"

namespace {

const cmdline::Option kStartOptions[] = {
    {.name = "--backend", .value = "auto|usb|sim", .help = "which bridges to use (also TUNEDESK_BACKEND)"},
    {.name = "--sim-image", .value = "FILE", .help = "keep the simulated chip's state in FILE"},
    {.name = "--fresh-chip", .help = "start the simulated chip at power-on and store nothing"},
    {.name = "--faults", .value = "SETTINGS", .help = "seeded fault injection (also TUNEDESK_FAULTS)"},
    {.name = "--lang", .value = "CODE", .help = "the panel's captions: en for English (also TUNEDESK_LANG)"},
    {.name = "--trace", .help = "library trace lines to standard error"},
};

// The image ApplyStartOptions attached, for ResumeStartOptions.
std::string g_simImage;
std::string g_note;

// True when another program holds the image's lock (the lock convention of
// Ch347Sim.h): the shared chip is that program's now, and waiting for it
// would only stall this one.
bool ImageInUse(const std::string& path) {
    const int fd = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;  // AttachImage reports why
    const bool busy = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return busy;
}

// The user's shared chip; false with *error only when its image is unusable.
bool AttachUserImage(std::string& error) {
    std::string path;
    if (CString2Ansi(SimImagePath(), path) == 0 || path.empty()) return true;
    const size_t cut = path.find_last_of('/');
    if (cut != std::string::npos && cut > 0 && !MakeAppFolder(Ansi2CString(path.substr(0, cut)))) {
        g_note = "cannot create the folder of " + path + ": the simulated chip starts at power-on and is not stored";
        return true;
    }
    if (ImageInUse(path)) {
        g_note = path + " is in use by another program: the simulated chip starts at power-on and is not stored";
        return true;
    }
    std::string reason;
    if (!sim::AttachImage(path, &reason)) {
        error = "simulator image: " + reason + " (--fresh-chip starts without it)";
        return false;
    }
    g_simImage = path;
    return true;
}

void FromEnvironment(std::string& value, const char* variable) {
    if (!value.empty()) return;
    if (const char* text = std::getenv(variable)) value = text;
}

}  // namespace

std::span<const cmdline::Option> StartOptionTable() { return kStartOptions; }

bool TakeStartOption(const cmdline::Match& match, StartOptions& options) {
    const std::string_view name = match.option->name;
    if (name == "--trace")
        options.trace = true;
    else if (name == "--backend")
        options.backend = match.value;
    else if (name == "--sim-image")
        options.simImage = match.value;
    else if (name == "--fresh-chip")
        options.freshChip = true;
    else if (name == "--faults")
        options.faults = match.value;
    else if (name == "--lang")
        options.lang = match.value;
    else
        return false;
    return true;
}

bool ApplyStartOptions(StartOptions& options, std::string& error) {
    FromEnvironment(options.backend, "TUNEDESK_BACKEND");
    FromEnvironment(options.faults, "TUNEDESK_FAULTS");
    FromEnvironment(options.lang, "TUNEDESK_LANG");
    if (options.trace) trace::SetStderr(true);

    ch347::BackendChoice choice = ch347::BackendChoice::Auto;
    if (!options.backend.empty() && !ch347::ParseBackendChoice(options.backend, choice)) {
        error = "unknown backend \"" + options.backend + "\" (use auto, usb or sim)";
        return false;
    }
    std::string reason;
    if (!ch347::SelectBackend(choice, &reason)) {
        error = std::string("backend ") + ch347::BackendChoiceName(choice) + ": " + reason;
        return false;
    }
    if (!ch347::InstallFaults(options.faults, &reason)) {
        error = "--faults \"" + options.faults + "\": " + reason;
        return false;
    }
    g_note.clear();
    if (!options.simImage.empty()) {
        if (options.freshChip) {
            error = "--sim-image and --fresh-chip exclude each other";
            return false;
        }
        if (!sim::AttachImage(options.simImage, &reason)) {
            error = "simulator image: " + reason;
            return false;
        }
    } else if (!options.freshChip && choice != ch347::BackendChoice::Usb) {
        return AttachUserImage(error);
    }
    g_simImage = options.simImage;
    return true;
}

const std::string& StartOptionsNote() { return g_note; }

bool StoreSimImage(std::string* error) {
    std::string reason;
    if (sim::StoreImage(&reason)) return true;
    if (error) *error = "simulator image: " + reason;
    return false;
}

bool FinishStartOptions(std::string* error) {
    g_simImage.clear();
    return PauseStartOptions(error);
}

bool PauseStartOptions(std::string* error) {
    std::string reason;
    if (!sim::DetachImage(&reason)) {
        if (error) *error = "simulator image: " + reason;
        return false;
    }
    return true;
}

bool ResumeStartOptions(std::string* error) {
    std::string reason;
    if (!g_simImage.empty() && !sim::AttachImage(g_simImage, &reason)) {
        if (error) *error = "simulator image: " + reason;
        return false;
    }
    return true;
}
