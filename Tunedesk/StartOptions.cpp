#include "StartOptions.h"

#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "Ch347Sim.h"
#include "BackendChoice.h"
#include "FaultBackend.h"
#include "trace.h"

namespace {

// "--name VALUE" or "--name=VALUE": the number of arguments taken, 0 when
// argv[i] is another option, -1 when the value is missing.
int TakeValue(int argc, char** argv, int i, std::string_view name, std::string& value, std::string& error) {
    const std::string_view arg = argv[i];
    int taken = 0;
    std::string given;
    if (arg == name) {
        if (i + 1 < argc && argv[i + 1] != nullptr) given = argv[i + 1];
        taken = 2;
    } else if (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=') {
        given = std::string(arg.substr(name.size() + 1));
        taken = 1;
    }
    if (taken == 0) return 0;
    // An empty value would quietly fall back to the environment or the default.
    if (given.empty()) {
        error = std::string(name) + " needs a value";
        return -1;
    }
    value = std::move(given);
    return taken;
}

void FromEnvironment(std::string& value, const char* variable) {
    if (!value.empty()) return;
    if (const char* text = std::getenv(variable)) value = text;
}

}  // namespace

int TakeStartOption(int argc, char** argv, int i, StartOptions& options, std::string& error) {
    if (i < 0 || i >= argc || argv[i] == nullptr) return 0;
    if (std::strcmp(argv[i], "--trace") == 0) {
        options.trace = true;
        return 1;
    }
    struct Valued {
        std::string_view name;
        std::string* value;
    };
    const Valued valued[] = {{"--backend", &options.backend},
                             {"--sim-image", &options.simImage},
                             {"--faults", &options.faults},
                             {"--lang", &options.lang}};
    for (const Valued& v : valued) {
        const int taken = TakeValue(argc, argv, i, v.name, *v.value, error);
        if (taken != 0) return taken;
    }
    return 0;
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
    return true;
}

bool FinishStartOptions(std::string* error) {
    std::string reason;
    if (!sim::DetachImage(&reason)) {
        if (error) *error = "simulator image: " + reason;
        return false;
    }
    return true;
}
