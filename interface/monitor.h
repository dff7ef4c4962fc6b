// The process-wide monitor state behind the exported functions, and the operations that
// start, end and tune the monitor.
//
// The host calls the exports one at a time, so the state has no lock of its own; only the
// threads of the servers run beside the host's calls, and they never touch this state.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "interface/sarvik.h"

class Monitor {
 public:
  Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;
  // A library unloaded without TerminateMonitor still ends every thread it started.
  ~Monitor() { Terminate(); }

  // The monitor of this loaded library.
  static Monitor& Instance();

  // Initialises the monitor: locates and reads the configuration, allocates the selection
  // array and opens the message catalogue. Returns 0, or 2 with a message in the host's buffer:
  // - already initialised: message 10004, nothing changes;
  // - the host program's path cannot be found: message 10001 with the system error number;
  // - no counters: message 10003, the monitor stays uninitialised;
  // - the catalogue cannot be opened: "Error can not open resource file <path>.e2.", and the
  //   monitor is initialised all the same (half-initialised: no proxy settings).
  // `*status` (when not null) is set to 0 once the configuration file is located.
  int Init(std::int32_t* status, char* message, int message_size);

  // Ends the monitor whatever its state: destroys the measurements, releases the counter
  // tables, destroys every server (waiting for their threads), closes the catalogue and drops
  // the proxy settings.
  void Terminate();

  // Replaces `*rate` by the configured SamplingRate when it is above 1000 (returns 0);
  // returns -1 and leaves the rate otherwise, -2 when the monitor is not initialised.
  int SetRate(std::uint32_t* rate);

  bool initialised() const { return initialised_; }

  // The path of Netscape.cfg computed by the last Init that got that far; empty before.
  const std::string& config_path() const { return config_path_; }

  // The counter definitions read by Init; empty while not initialised.
  std::span<const CounterDefinition> definitions() const { return definitions_; }

 private:
  // Copies the last string-table message into the host's buffer.
  void CopySharedMessage(char* message, int message_size) const;

  bool initialised_ = false;
  std::string config_path_;
  std::vector<CounterDefinition> definitions_;
  std::vector<CounterDefinition> selection_;
  // The last message formatted from the string table.
  std::string shared_message_;
};
