// The process-wide monitor state behind the exported functions, and the operations that
// start, end and tune the monitor.
//
// Threads: every operation may be called from any thread at any time. The state lock guards
// the monitor's state and is held only for work on that state (never across a dialog, a
// network wait or a thread's end), so a reading is never held up by a dialog or a connection
// test running on another thread. The polling threads of the servers never take it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "abi/records.h"
#include "config/counter_config.h"
#include "config/server_params.h"
#include "counters/netscape_measurement.h"
#include "monitor/measurement_key.h"
#include "monitor/measurement_registry.h"
#include "platform/http.h"
#include "platform/mutex.h"
#include "platform/profile.h"
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
  int Init(std::int32_t* status, char* message, int message_size) EXCLUDES(state_mutex_);

  // Ends the monitor whatever its state: destroys the measurements, releases the counter
  // tables, closes the catalogue, drops the proxy settings and destroys every server, waiting
  // for their threads (without the state lock, so other calls answer meanwhile: 2, not
  // initialised). When it returns, no thread of the servers it ended is left.
  void Terminate() EXCLUDES(state_mutex_);

  // Replaces `*rate` by the configured SamplingRate when it is above 1000 (returns 0);
  // returns -1 and leaves the rate otherwise, -2 when the monitor is not initialised.
  int SetRate(std::uint32_t* rate) EXCLUDES(state_mutex_);

  // Switches the measurement `identifier` of `host_text` on: creates and registers it when it
  // is new, and adds one activation to its server (starting the server when needed).
  // Returns 0; 2 not initialised; 8 the measurement cannot be created (no host given, or no
  // memory); 9 no server can be had (the measurement stays registered). Failures write a
  // message into the host's buffer.
  int ActivateMeasurement(const char* identifier, const char* host_text, const char* user_data, char* message,
                          int message_size) EXCLUDES(state_mutex_);

  // Switches the measurement off: gives back every activation it added to its server that the
  // server still holds, and destroys it. Returns 0; 2 not initialised; 8 not registered.
  int DeActivateMeasurement(const char* identifier, const char* host_text, char* message, int message_size)
      EXCLUDES(state_mutex_);

  // Reads the measurement from its server's latest snapshot into `*reading` (written only
  // when 0 is returned). Returns 0; 2; 8 not registered; 10 its server is not registered; or the
  // result code of the server's error record (no snapshot) or of the measurement's (no new
  // reading), whose text goes to the host once. Never waits on the network.
  int GetNewData(const char* identifier, const char* host_text, ReadingRecord* reading, char* message,
                 int message_size) EXCLUDES(state_mutex_);

  // The measurements collection document for `host_text`, newly allocated for the host
  // (null when memory is exhausted). Needs no initialisation.
  char* GetMeasurementsCollection(const char* host_text) const EXCLUDES(state_mutex_);

  // The user-data string for `machine` and the host's `document`, in a newly allocated
  // 1024-byte buffer (null when memory is exhausted). Needs no initialisation.
  char* GetUserDataStr(const HostMachineRecord* machine, const char* document) const EXCLUDES(state_mutex_);

  // Runs one fetch for `host_text` (cut at its first colon) with the server properties of
  // `user_data`, on the calling thread. Returns 0, or 1 with the failure in the host's buffer.
  // Outside Init..Terminate, and when the proxy settings could not be read, it goes direct.
  int TestMachine(const char* host_text, const char* user_data, char* message, int message_size)
      EXCLUDES(state_mutex_);

  // Runs the "Add Measurements" dialog for `host_text` (cut at its first colon) with `toolkit`
  // on the calling thread, and returns when it has closed: 0 with `*selection` at the selection
  // array and `*count` selected records in it (0 after Cancel). Returns 2 with a message when the
  // monitor is not initialised, or was ended while the dialog showed (`*selection` null, `*count`
  // untouched), or no dialog can be shown (`*selection` null, `*count` 0). One dialog shows at a
  // time; a second call waits for the first to close. Defined in browse_desk.cpp.
  int BrowseMonitor(const char* host_text, CounterDefinition** selection, std::int32_t* count, char* message,
                    int message_size, DialogToolkit& toolkit) EXCLUDES(state_mutex_, browse_mutex_);

  // The counter definitions read by Init; empty while not initialised.
  std::vector<CounterDefinition> TEST_definitions() const EXCLUDES(state_mutex_);

 private:
  // What one Init read from the configuration file, kept until Terminate and never changed:
  // a call may go on using it after giving up the lock. Never copied: the index views the
  // definitions.
  struct Configuration {
    Configuration(Profile read, std::vector<CounterDefinition> read_definitions)
        : profile(std::move(read)), definitions(std::move(read_definitions)), index(definitions) {}
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;

    const Profile profile;
    const std::vector<CounterDefinition> definitions;
    const CounterIndex index;
  };
  using SharedConfiguration = std::shared_ptr<const Configuration>;

  // Tells the host that `entry_point` needs an initialised monitor (message 10005); returns 2.
  static int RefuseUninitialised(const char* entry_point, char* message, int message_size);

  // Adds one activation for `entry` to its server, starting one when needed. False when no
  // server can be had.
  bool ActivateLocked(ActiveMeasurement& entry) REQUIRES(state_mutex_);

  bool initialised() const REQUIRES(state_mutex_) { return configuration_ != nullptr; }

  // Fixed after construction.
  HttpClient& http_;

  // Held for the whole of a dialog, so that one shows at a time; taken before the state lock.
  Mutex browse_mutex_ ACQUIRED_BEFORE(state_mutex_);

  mutable Mutex state_mutex_;
  // The path of Netscape.cfg computed by the last Init that got that far; empty before.
  std::string config_path_ GUARDED_BY(state_mutex_);
  // The configuration read by Init; null while not initialised.
  SharedConfiguration configuration_ GUARDED_BY(state_mutex_);
  // Counts the ends of the monitor, so that a dialog notices one that happened while it showed.
  std::uint64_t terminations_ GUARDED_BY(state_mutex_) = 0;
  // The records BrowseMonitor hands the host, one per definition; allocated by the first dialog.
  std::vector<CounterDefinition> selection_ GUARDED_BY(state_mutex_);
  // Read by Init once the catalogue is open; absent otherwise.
  std::optional<ProxySettings> proxy_ GUARDED_BY(state_mutex_);
  ServerRegistry servers_ GUARDED_BY(state_mutex_);
  MeasurementRegistry measurements_ GUARDED_BY(state_mutex_);

  // Working storage of GetNewData, kept so that a reading allocates nothing.
  MeasurementKey key_ GUARDED_BY(state_mutex_);
  std::array<char, 16384> snapshot_copy_ GUARDED_BY(state_mutex_){};
  std::string report_text_ GUARDED_BY(state_mutex_);
};
