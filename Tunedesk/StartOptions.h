// Start-up options the panel and tunedesk-cli share, from the command line
// and the environment. No Qt here: both programs link it.
#pragma once

#include <string>

struct StartOptions {
    std::string backend;   // --backend auto|usb|sim, else TUNEDESK_BACKEND; empty: auto
    std::string simImage;  // --sim-image FILE: the simulated chip's state kept in FILE
    std::string faults;    // --faults SETTINGS, else TUNEDESK_FAULTS: seeded fault injection
    std::string lang;      // --lang CODE, else TUNEDESK_LANG (the panel's captions)
    bool trace = false;    // --trace: library trace lines to standard error
};

// Takes argv[i] (and its value) when it is one of the options above. Returns
// how many arguments it took: 0 when argv[i] is not one of them, -1 with a
// one-line *error when its value is missing. Both "--opt VALUE" and
// "--opt=VALUE" are accepted.
int TakeStartOption(int argc, char** argv, int i, StartOptions& options, std::string& error);

// Fills what the command line left unset from the environment, checks every
// value and applies them: trace, backend, fault injection, simulator image.
// False with a one-line *error (nothing applied past the failing option).
bool ApplyStartOptions(StartOptions& options, std::string& error);

// Undoes ApplyStartOptions at the program's end (writes the simulator image
// back when it changed). Safe to call when nothing was applied. False with a
// one-line *error when the image could not be stored.
bool FinishStartOptions(std::string* error = nullptr);
