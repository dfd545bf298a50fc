// tunedesk-cli through the running panel: while a panel on the session bus
// holds a bridge, the chip is the panel's, and commands go through its bus
// interface (io.github.tunedesk.Panel1) so that the panel, scripts and the CLI
// see one chip and the panel's controls follow. sd-bus, so the CLI stays
// free of Qt.
#pragma once

#include <memory>

#include "Cli.h"

namespace cli::panel {

// The chip of the panel on the session bus when it holds a bridge and the
// command may use it (for `list` whenever it holds one; otherwise unless
// --device names another bridge than the panel's); nullptr when this
// program is to open a bridge itself.
std::unique_ptr<Chip> Connect(const Context& ctx, bool forList);

// `list` through the panel (ctx.chip from Connect): the panel's list and the
// entry it holds.
int List(Context& ctx);

}  // namespace cli::panel
