// Start-up options the panel and tunedesk-cli share, from the command line
// and the environment. No Qt here: both programs link it.
#pragma once

#include <span>
#include <string>

#include "CommandLine.h"

struct StartOptions {
    std::string backend;     // --backend auto|usb|sim, else TUNEDESK_BACKEND; empty: auto
    std::string simImage;    // --sim-image FILE: the simulated chip's state kept in FILE
    bool freshChip = false;  // --fresh-chip: a power-on simulated chip, stored nowhere
    std::string faults;      // --faults SETTINGS, else TUNEDESK_FAULTS: seeded fault injection
    std::string lang;        // --lang CODE, else TUNEDESK_LANG (the panel's captions)
    bool trace = false;      // --trace: library trace lines to standard error
};

// The options above as records, in the order the programs' help lists them.
std::span<const cmdline::Option> StartOptionTable();

// Stores one parsed option into `options`; false when it is not one of
// StartOptionTable().
bool TakeStartOption(const cmdline::Match& match, StartOptions& options);

// Fills what the command line left unset from the environment, checks every
// value and applies them: trace, backend, fault injection, simulator image.
// False with a one-line *error (nothing applied past the failing option).
bool ApplyStartOptions(StartOptions& options, std::string& error);

// Without --sim-image and --fresh-chip, the simulated chip lives in the
// user's one image (SimImagePath()), shared by the panel and tunedesk-cli.
// When another program holds that image, this run gets a power-on chip and
// stores nothing; ApplyStartOptions then leaves a one-line note here for the
// program to show (empty otherwise).
const std::string& StartOptionsNote();

// Stores the simulated chip in its image now (the panel does when its bridge
// closes). False with a one-line *error when the image could not be written.
bool StoreSimImage(std::string* error = nullptr);

// Undoes ApplyStartOptions at the program's end (writes the simulator image
// back when it changed). Safe to call when nothing was applied. False with a
// one-line *error when the image could not be stored.
bool FinishStartOptions(std::string* error = nullptr);

// For a program that waits between uses of the chip (tunedesk-cli watch):
// stores and unlocks the simulator image, so other programs can use it
// meanwhile; ResumeStartOptions locks it again and loads what they left.
// Both are true when no image is in use; false with a one-line *error.
bool PauseStartOptions(std::string* error = nullptr);
bool ResumeStartOptions(std::string* error = nullptr);
