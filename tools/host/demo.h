// The demo: sarvik-statserver on ephemeral loopback ports under a steady load, watched on every
// counter of the configuration. Everything it starts, it stops, on every way out.
#pragma once

#include "tools/host/options.h"
#include "tools/host/signal_watch.h"

namespace sarvik_host {

// Runs `command_line` (command kDemo); returns the exit status.
int RunDemo(const CommandLine& command_line, SignalWatch& signals);

}  // namespace sarvik_host
