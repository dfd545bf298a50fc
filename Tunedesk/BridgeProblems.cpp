#include "BridgeProblems.h"

std::string BridgeProblemLine(const ch347::BridgeProblem& problem) {
    using Kind = ch347::BridgeProblem::Kind;
    std::string line = problem.bridge + ": ";
    switch (problem.kind) {
    case Kind::NoSpiMode:
        line += "in " + problem.detail +
                ", which has no SPI port this program drives. Set the bridge to mode 1 and plug it in again.";
        break;
    case Kind::NoPermission:
        line +=
            "no permission to open it. Install the udev rules (dist/udev/70-tunedesk-ch347.rules, "
            "see \"Real bridges\" in the README) and plug the bridge in again.";
        break;
    case Kind::Busy:
        line += "in use by another program (its SPI interface is claimed). Close that program and refresh.";
        break;
    case Kind::Unplugged: line += "unplugged while it was opened. Plug it in again and refresh."; break;
    case Kind::CannotOpen: line += "cannot be opened (" + problem.detail + "). Plug it in again and refresh."; break;
    }
    return line;
}

std::vector<std::string> BridgeProblemLines() {
    std::vector<std::string> lines;
    for (const ch347::BridgeProblem& problem : ch347::BridgeProblems()) lines.push_back(BridgeProblemLine(problem));
    return lines;
}
