#include "StartOptions.h"

#include <cstdlib>
#include <string_view>

#include "Ch347Sim.h"
#include "BackendChoice.h"
#include "FaultBackend.h"
#include "trace.h"

namespace {

const cmdline::Option kStartOptions[] = {
    {.name = "--backend", .value = "auto|usb|sim", .help = "which bridges to use (also TUNEDESK_BACKEND)"},
    {.name = "--sim-image", .value = "FILE", .help = "keep the simulated chip's state in FILE"},
    {.name = "--faults", .value = "SETTINGS", .help = "seeded fault injection (also TUNEDESK_FAULTS)"},
    {.name = "--lang", .value = "CODE", .help = "the panel's captions: en for English (also TUNEDESK_LANG)"},
    {.name = "--trace", .help = "library trace lines to standard error"},
};

// The image ApplyStartOptions attached, for ResumeStartOptions.
std::string g_simImage;

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
    if (!options.simImage.empty() && !sim::AttachImage(options.simImage, &reason)) {
        error = "simulator image: " + reason;
        return false;
    }
    g_simImage = options.simImage;
    return true;
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
