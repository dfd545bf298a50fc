// Choosing what serves the vendor calls.
#include "Ch347Backend.h"

namespace ch347 {

bool ParseBackendChoice(const std::string& text, BackendChoice& choice) {
    if (text == "auto") choice = BackendChoice::Auto;
    else if (text == "usb") choice = BackendChoice::Usb;
    else if (text == "sim") choice = BackendChoice::Sim;
    else return false;
    return true;
}

const char* BackendChoiceName(BackendChoice choice) {
    switch (choice) {
    case BackendChoice::Auto: return "auto";
    case BackendChoice::Usb: return "usb";
    case BackendChoice::Sim: return "sim";
    }
    return "auto";
}

bool SelectBackend(BackendChoice choice, std::string* error) {
    try {
        switch (choice) {
        case BackendChoice::Usb:
            if (error) *error = "this build has no backend for real bridges";
            return false;
        case BackendChoice::Auto:
        case BackendChoice::Sim:
            SetBackend(nullptr);
            return true;
        }
    } catch (...) {
        if (error) *error = "out of memory";
    }
    return false;
}

std::vector<std::string> BridgeProblems() {
    try {
        return GetBackend()->Problems();
    } catch (...) {
        return {};
    }
}

}  // namespace ch347
