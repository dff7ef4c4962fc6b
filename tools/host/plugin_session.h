// One InitMonitor..TerminateMonitor span of the plug-in. Every call goes straight to the
// export; what the plug-in writes into a message buffer comes back with the result.
//
// The plug-in wants its calls one at a time: a session is used by one thread at a time (the
// host's sampling thread; a worker only while the owner waits for it).
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "interface/sarvik.h"
#include "tools/host/plugin_library.h"

namespace sarvik_host {

// A result of an export and the message it wrote (empty when it wrote none).
struct CallResult {
  int code = 0;
  std::string message;
};

class PluginSession {
 public:
  // `exports` must outlive the session.
  explicit PluginSession(const PluginExports& exports) : exports_(exports) {}
  // Deactivates what is still active and terminates the monitor when still open.
  ~PluginSession();
  PluginSession(const PluginSession&) = delete;
  PluginSession& operator=(const PluginSession&) = delete;

  // InitMonitor. The session is open when it returned 0.
  [[nodiscard]] CallResult Init();
  bool open() const { return open_; }
  // TerminateMonitor, once, when open.
  void Terminate();

  // SetMonitorRate with `*rate_ms`; returns its result (0: the configured rate replaced it).
  int SetMonitorRate(std::uint32_t* rate_ms);
  CallResult TestMachine(const std::string& host, const std::string& user_data);
  // GetMeasurementsCollection; the document is copied and given back at once.
  CallResult GetMeasurementsCollection(const std::string& host, std::string* document);
  // GetUserDataStr for the record {host, login, password} (each cut to 128 characters).
  CallResult GetUserDataStr(const std::string& host, const std::string& login, const std::string& password,
                            const std::string& document, std::string* user_data);

  // ActivateMeasurement; a measurement activated with 0 is remembered until deactivated.
  CallResult Activate(const std::string& id, const std::string& host, const std::string& user_data);
  CallResult Deactivate(const std::string& id, const std::string& host);
  // GetNewData. `*written` tells whether the plug-in wrote `*reading`.
  CallResult GetNewData(const std::string& id, const std::string& host, ReadingRecord* reading, bool* written);

  // BrowseMonitor for `host`: runs the plug-in's dialog and copies the records chosen into
  // `*records` (the plug-in's own array is valid only until its next call). Code 2 with a
  // message when the plug-in is not initialised, cannot show the dialog, or has no dialog.
  CallResult Browse(const std::string& host, std::vector<CounterDefinition>* records);

  // The measurements activated and not yet deactivated, as (identifier, host), in activation order.
  std::vector<std::pair<std::string, std::string>> Active() const;

 private:
  static constexpr std::int32_t kMessageSize = 4096;

  const PluginExports& exports_;
  bool open_ = false;
  using Name = std::pair<std::string, std::string>;
  std::list<Name> active_;
  std::map<Name, std::list<Name>::iterator> active_index_;
};

}  // namespace sarvik_host
