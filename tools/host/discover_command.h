// sarvik-host discover: reads a copy of a live server's statistics page (and a second one when it
// comes within a few seconds), proposes a counter for every label followed by a number and for
// every number in an HTML table, marks those the configuration already has, prints them, and with
// --write FILE writes the new ones as Netscape.cfg sections ready to add.
#pragma once

#include "tools/host/options.h"
#include "tools/host/signal_watch.h"

namespace sarvik_host {

// How long discovery waits for the first complete copy of the page, and then for a second one.
inline constexpr int kDiscoverFirstCopySeconds = 30;
inline constexpr int kDiscoverSecondCopySeconds = 3;

// Runs the discover command; returns the exit status (0 success; 1 no copy of the page could be
// read, or FILE could not be written; 2 bad usage or a plug-in that cannot be initialised).
int RunDiscover(const CommandLine& command_line, SignalWatch& signals);

}  // namespace sarvik_host
