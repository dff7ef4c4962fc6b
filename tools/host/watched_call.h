// A call into the plug-in that may take long (a connection test waits up to the plug-in's send
// bound for a silent server) while the host must still answer SIGINT within a second.
#pragma once

#include <functional>

#include "tools/host/signal_watch.h"

namespace sarvik_host {

// Runs `call` on a worker thread while the calling thread watches for stop signals, and
// returns when the call has ended (the worker joined). When a stop signal comes and the call
// has not ended a second later, the process ends at once with exit status 128 + the signal's
// number (ExitStatusOfSignal): a call into the plug-in cannot be interrupted, and what it holds
// goes with the process.
void CallWatched(SignalWatch& signals, const std::function<void()>& call);

}  // namespace sarvik_host
