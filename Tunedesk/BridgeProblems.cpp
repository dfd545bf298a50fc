#include "BridgeProblems.h"

namespace {

// Without permission on the device node: either udev has no rule for the
// bridge, or it has one that grants access only to the user at the seat and
// to the group plugdev -- and this user is neither (an SSH login, say).
std::string PermissionFix(const UdevRule& rule) {
    if (rule.installed.empty())
        return "no permission to open it. No udev rules for the bridge are installed: copy " + rule.shipped +
               " to /etc/udev/rules.d/, run \"sudo udevadm control --reload-rules\" and plug the bridge in again "
               "(see \"Real bridges\" in the README).";
    return "no permission to open it. The udev rules (" + rule.installed +
           ") give access to the user logged in at the seat and to the group plugdev: log in at the seat, or add "
           "yourself to plugdev (\"sudo usermod -aG plugdev $USER\", then log in again), and plug the bridge in "
           "again.";
}

}  // namespace

std::string BridgeProblemLine(const ch347::BridgeProblem& problem, const UdevRule& rule) {
    using Kind = ch347::BridgeProblem::Kind;
    std::string line = problem.bridge + ": ";
    switch (problem.kind) {
    case Kind::NoSpiMode:
        line += "in " + problem.detail +
                ", which has no SPI port this program drives. Set the bridge to mode 1 and plug it in again.";
        break;
    case Kind::NoPermission: line += PermissionFix(rule); break;
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
    const std::vector<ch347::BridgeProblem> problems = ch347::BridgeProblems();
    if (problems.empty()) return lines;
    const UdevRule rule = FindUdevRule();
    for (const ch347::BridgeProblem& problem : problems) lines.push_back(BridgeProblemLine(problem, rule));
    return lines;
}
