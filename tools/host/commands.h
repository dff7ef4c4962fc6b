// The subcommands of sarvik-host, each from a parsed command line to an exit status. Every
// command loads the plug-in, calls InitMonitor first and TerminateMonitor last, and prints the
// plug-in's messages.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/host/collection.h"
#include "tools/host/monitor_run.h"
#include "tools/host/options.h"
#include "tools/host/plugin_library.h"
#include "tools/host/plugin_session.h"
#include "tools/host/signal_watch.h"
#include "tools/host/targets.h"

namespace sarvik_host {

// Runs `command_line` (action kRun); returns the exit status.
int RunCommand(const CommandLine& command_line, SignalWatch& signals);

// The loaded plug-in and its open session.
struct LoadedPlugin {
  PluginExports exports;
  std::unique_ptr<PluginSession> session;
};

// Loads the plug-in (`path`, or the default beside the program) and calls InitMonitor. False
// after printing why (the caller exits with kExitUsage).
[[nodiscard]] bool OpenPlugin(const std::string& path, LoadedPlugin* plugin);

// The counters of the plug-in's measurements collection document for `host`. False after
// printing why when the document lists none.
[[nodiscard]] bool ReadCounters(PluginSession& session, const std::string& host, std::vector<CounterInfo>* counters);

// The user-data string for `target`: its own, or --user-data, or the one the plug-in composes
// (GetUserDataStr) from its collection document for the host with --port (or the port of a
// HOST:PORT text) and --url written into it, and --login and --password; with the scheme of a
// target written as an URL (https://HOST:PORT). False after printing why when the composed
// string is not usable.
[[nodiscard]] bool ResolveUserData(PluginSession& session, const Target& target, const ServerOptions& server,
                                   std::string* user_data);

// The first target of `command_line`, the plug-in loaded and initialised, and the target's
// user-data string (ResolveUserData). False after printing why (the caller exits with
// kExitUsage).
[[nodiscard]] bool OpenFirstTarget(const CommandLine& command_line, Target* target, LoadedPlugin* plugin,
                                   std::string* user_data);

// The monitored form of `targets`: their display names and identifier suffixes, and each
// target's user-data string (ResolveUserData with `server`). False after printing why when one
// is not usable.
[[nodiscard]] bool PlanTargets(PluginSession& session, const std::vector<Target>& targets, const ServerOptions& server,
                               std::vector<MonitoredTarget>* planned);

}  // namespace sarvik_host
