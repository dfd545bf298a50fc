// The problem lines of bridges that are plugged in but cannot be used, worded
// for the user of this program: which bridge, why, and how to fix it. The
// bridge library only reports what went wrong (ch347::BridgeProblem); the
// fix depends on how this program was installed, so it is worded here. The
// panel logs these lines after a refresh, tunedesk-cli's list prints them.
#pragma once

#include <string>
#include <vector>

#include "AppPaths.h"
#include "Ch347Backend.h"

// `rule` tells where this program's udev rule is and whether udev has one.
std::string BridgeProblemLine(const ch347::BridgeProblem& problem, const UdevRule& rule);

// The lines of the current backend's problems (ch347::BridgeProblems()).
std::vector<std::string> BridgeProblemLines();
