// tunedesk-cli through the running panel: while a panel on the session bus
// holds a bridge, the chip is the panel's, and commands go through its bus
// interface (io.github.tunedesk.Panel1) so that the panel, scripts and the CLI
// see one chip and the panel's controls follow. sd-bus, so the CLI stays
// free of Qt.
#pragma once

#include <string>
#include <vector>

#include "Cli.h"

namespace cli::panel {

// Runs `word` (the command word) with its words `rest` through the panel when
// one holds a bridge and the command can go that way (get, set, list). The
// exit code, or -1 when the CLI is to open the bridge itself.
int RunThroughPanel(Context& ctx, const std::string& word, const std::vector<std::string>& rest);

}  // namespace cli::panel
