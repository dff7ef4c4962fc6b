// The process-wide monitor state behind the exported functions, and the operations that
// start, end and tune the monitor.
//
// The host calls the exports one at a time, so the state has no lock of its own; only the
// threads of the servers run beside the host's calls, and they never touch this state.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "counters/netscape_measurement.h"
#include "monitor/measurement_key.h"
#include "abi/records.h"
#include "platform/http.h"
#include "polling/proxy_settings.h"
#include "polling/server_registry.h"

class DialogToolkit;

class Monitor {
 public:
  // A monitor whose servers fetch through `http`, which must outlive it.
  explicit Monitor(HttpClient& http);
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

  // Switches the measurement `identifier` of `host_text` on: creates and registers it when it
  // is new, and adds one activation to its server (starting the server when needed).
  // Returns 0; 2 not initialised; 8 the measurement cannot be created; 9 no server can be had
  // (the measurement stays registered). Failures write a message into the host's buffer.
  int ActivateMeasurement(const char* identifier, const char* host_text, const char* user_data, char* message,
                          int message_size);

  // Switches the measurement off: releases one activation of its server and destroys it.
  // Returns 0; 2 not initialised; 8 not registered.
  int DeActivateMeasurement(const char* identifier, const char* host_text, char* message, int message_size);

  // Reads the measurement from its server's latest snapshot into `*reading` (written only
  // when 0 is returned). Returns 0; 2; 8 not registered; 10 its server is not registered; or the
  // result code of the server's error record (no snapshot) or of the measurement's (no new
  // reading), whose text goes to the host once. Never waits on the network.
  int GetNewData(const char* identifier, const char* host_text, ReadingRecord* reading, char* message,
                 int message_size);

  // The measurements collection document for `host_text`, newly allocated for the host
  // (null when memory is exhausted). Needs no initialisation.
  char* GetMeasurementsCollection(const char* host_text) const;

  // The user-data string for `machine` and the host's `document`, in a newly allocated
  // 1024-byte buffer (null when memory is exhausted). Needs no initialisation.
  char* GetUserDataStr(const HostMachineRecord* machine, const char* document) const;

  // Runs one fetch for `host_text` (cut at its first colon) with the server properties of
  // `user_data`, on the calling thread. Returns 0, or 1 with the failure in the host's buffer.
  // Outside Init..Terminate, and when the proxy settings could not be read, it goes direct.
  int TestMachine(const char* host_text, const char* user_data, char* message, int message_size);

  // Runs the "Add Measurements" dialog for `host_text` (cut at its first colon) with `toolkit`
  // on the calling thread, and returns when it has closed: 0 with `*selection` at the selection
  // array and `*count` selected records in it (0 after Cancel). Returns 2 with a message when the
  // monitor is not initialised (`*selection` null, `*count` untouched) or no dialog can be shown
  // (`*selection` null, `*count` 0). Defined in browse_desk.cpp.
  int BrowseMonitor(const char* host_text, CounterDefinition** selection, std::int32_t* count, char* message,
                    int message_size, DialogToolkit& toolkit);

  // The counter definitions read by Init; empty while not initialised.
  std::span<const CounterDefinition> definitions() const { return definitions_; }

 private:
  // Copies the last string-table message into the host's buffer.
  void CopySharedMessage(char* message, int message_size) const;

  // Tells the host that `entry_point` needs an initialised monitor (message 10005); returns 2.
  int RefuseUninitialised(const char* entry_point, char* message, int message_size);

  bool initialised_ = false;
  std::string config_path_;
  std::vector<CounterDefinition> definitions_;
  std::vector<CounterDefinition> selection_;
  // The last message formatted from the string table.
  std::string shared_message_;
  HttpClient& http_;
  // Read by Init once the catalogue is open; absent otherwise.
  std::optional<ProxySettings> proxy_;
  ServerRegistry servers_;
  // A registered measurement and the source it was activated for (host and parsed user data).
  struct ActiveMeasurement {
    std::unique_ptr<CNetscapeMeasurement> measurement;
    ServerParams server;
  };
  std::unordered_map<std::string, ActiveMeasurement> measurements_;

  // Working storage of GetNewData, kept so that a reading allocates nothing.
  MeasurementKey key_;
  std::array<char, 16384> snapshot_copy_{};
  std::string report_text_;
};
