// A monitoring session: activate every counter on every target, read each once per interval,
// write the readings (table, CSV or JSONL) and at the end deactivate every measurement,
// terminate the monitor and write the report.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/host/collection.h"
#include "tools/host/options.h"
#include "tools/host/plugin_session.h"
#include "tools/host/signal_watch.h"

namespace sarvik_host {

struct MonitoredTarget {
  std::string display;    // the name it is shown by
  std::string host;       // the host text passed to the plug-in
  std::string user_data;  // its user-data string
  std::string id_suffix;  // appended to each counter text to make its measurement identifier
};

struct MonitorPlan {
  std::vector<MonitoredTarget> targets;
  std::vector<CounterInfo> counters;
  double interval_seconds = 2;
  std::optional<double> duration_seconds;
  OutputFormat format = OutputFormat::kAuto;  // kAuto: table on a terminal, JSONL otherwise
  std::string report_path;                    // empty: no report
  bool test_first = true;                     // TestMachine on every target before activating
  std::string listen;                         // "HOST:PORT" of the metrics endpoint; empty: none
};

// Runs the session on `session`, which must be open; it is terminated when this returns.
// Returns the exit status: 0, 1 (a failed connection test of every target, no measurement
// activated, a measurement error during the session, the output or report could not be
// written) or 128 + the number of the stop signal that ended it (130 SIGINT, 143 SIGTERM, 129 SIGHUP).
int RunMonitor(PluginSession& session, SignalWatch& signals, const MonitorPlan& plan);

// Prints a message the plug-in handed over: "sarvik-host: CALL(SUBJECT): TEXT" on standard error.
void PrintPluginMessage(const std::string& call, const std::string& subject, const std::string& text);

}  // namespace sarvik_host
