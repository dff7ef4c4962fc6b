// The live counters of the statistics server, moved by the requests it really serves.
//
// What is counted: "load" traffic, that is every request that is neither a statistics URL nor a fault URL.
// The statistics streams and the fault URLs are the monitor's and the tests' own traffic and leave the
// counters alone (a fault answer with an error status only adds to its virtual server's Errors cell), so a
// page changes only when load arrives. The exceptions are the start-time lines and the Sessions table, which
// lists the requests in progress, the statistics response that writes the page included.
//
// The model, in the page's terms:
// - a connection is queued from its accept until its first request arrives (Current/Peak/Limit Queue Length);
//   each time a load connection is handed over for a request, first or kept-alive, counts in
//   Total Connections Queued; Average Queueing Delay is the mean time from accept to pick-up;
// - each load connection is a session (Total Sessions Created; Active Sessions while it is open);
// - after a response that keeps the connection open, the connection waits in keep-alive (KeepAliveCount,
//   Keep-Alive Sessions) until its next request (a hit), the client closes it (a flush) or the keep-alive
//   time-out ends it (a time-out); when the keep-alive limit is reached the connection is closed instead
//   (a refusal);
// - each load request looks its path up in the file cache (an entry per distinct path, up to the limit) and
//   each new load connection looks its client address up in the DNS cache;
// - the native pool has as many threads as the most requests ever handled at once; those not busy are idle;
// - the average queue lengths are exponentially damped, time-weighted averages over 1, 5 and 15 minutes of
//   the connections that are queued or being served.
//
// Thread safety: every member function may be called from any thread; one mutex guards all state.
// Times are passed in by the caller, so that a test can drive the counters with a simulated clock.
#ifndef SARVIK_TOOLS_STATSERVER_SERVER_STATS_H_
#define SARVIK_TOOLS_STATSERVER_SERVER_STATS_H_

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "platform/mutex.h"
#include "tools/statserver/page.h"

namespace statserver {

using Clock = std::chrono::steady_clock;

// Figures that never change while the server runs.
struct ServerIdentity {
  long pid = 0;
  std::string version_line;
  std::string server_started;   // FormatPageTime of the start
  std::string process_started;
  std::string listen_address;   // "http://127.0.0.1:8080"
  std::string default_virtual_server = "https-demo";
  std::string admin_virtual_server = "https-admin";
};

struct StatsLimits {
  std::uint64_t queue_limit = 512;       // the bound on simultaneous connections
  std::uint64_t keepalive_limit = 256;
  std::uint64_t keepalive_timeout_seconds = 30;
  std::uint64_t sessions_limit = 512;
  std::uint64_t cache_limit = 1024;
  int cache_max_age = 30;
  std::uint64_t pool_limit = 128;
  std::uint64_t dns_limit = 1024;
};

// How a connection waiting in keep-alive stopped waiting.
enum class KeepAliveEnd {
  kReused,        // its next request arrived: a keep-alive hit
  kClientClosed,  // the client closed it: a flush
  kTimedOut,      // the keep-alive time-out ended it
  kServerStopped  // the server is shutting down: not counted
};

// One load request, after its response has been sent.
struct LoadRequestRecord {
  std::string virtual_server;
  std::string path;  // the file-cache key
  Clock::duration latency{};        // from the first byte of the request to the start of its handling
  Clock::duration function_time{};  // handling, including sending the response
  std::uint64_t bytes_sent = 0;     // status line, headers and body
};

class ServerStats {
 public:
  // Function invocations counted for one load request (name translation, path check, object type, service,
  // logging).
  static constexpr std::uint64_t kInvocationsPerRequest = 5;

  ServerStats(ServerIdentity identity, StatsLimits limits, Clock::time_point now);
  ServerStats(const ServerStats&) = delete;
  ServerStats& operator=(const ServerStats&) = delete;

  // A connection was accepted; it is queued until ConnectionDequeued.
  void ConnectionQueued(Clock::time_point now);
  // Its first request arrived, or it ended without one. Exactly once per ConnectionQueued.
  void ConnectionDequeued(Clock::time_point now);

  // The first request of a connection is load: from now on the connection is a session. `pickup_delay` is the
  // time from its accept until a worker picked it up.
  void LoadSessionOpened(std::string_view client, Clock::duration pickup_delay, Clock::time_point now);
  // A session opened by LoadSessionOpened ended.
  void LoadSessionClosed(Clock::time_point now);

  // A load session goes into keep-alive after a response. False (a refusal, counted) when the keep-alive
  // limit is reached: the caller answers with "Connection: close" instead.
  [[nodiscard]] bool EnterKeepAlive(Clock::time_point now);
  // Ends a wait that EnterKeepAlive began. kReused also counts the connection in Total Connections Queued.
  void LeaveKeepAlive(KeepAliveEnd how, Clock::time_point now);

  // A request in progress, listed in the Sessions table until EndBusy. `load` requests also occupy a native
  // pool thread and count in the average queue length. Returns the id for EndBusy.
  [[nodiscard]] std::uint64_t BeginBusy(SessionRow row, bool load, Clock::time_point now);
  void EndBusy(std::uint64_t id, Clock::time_point now);

  // A load request was answered.
  void RecordLoadRequest(const LoadRequestRecord& record);
  // An answer with an error status (4xx or 5xx) from `virtual_server`.
  void RecordError(std::string_view virtual_server);

  // The figures of a page generated now.
  [[nodiscard]] PageData Snapshot(Clock::time_point now);

  const ServerIdentity& identity() const { return identity_; }

 private:
  struct VirtualServerFigures {
    std::uint64_t requests = 0;
    std::uint64_t bytes_sent = 0;
    std::uint64_t errors = 0;
  };
  struct BusyEntry {
    SessionRow row;
    bool load = false;
    Clock::time_point since;
  };

  // Brings the damped averages up to `now` with the gauge value held since the last call.
  void AdvanceAveragesLocked(Clock::time_point now) REQUIRES(mutex_);
  std::uint64_t AverageGaugeLocked() const REQUIRES(mutex_);
  // The figures of a known virtual server; an unknown name counts for the default one, so the table keeps
  // its rows.
  VirtualServerFigures& FiguresLocked(std::string_view virtual_server) REQUIRES(mutex_);

  // Never change after construction.
  const ServerIdentity identity_;
  const StatsLimits limits_;

  Mutex mutex_;
  std::uint64_t queue_current_ GUARDED_BY(mutex_) = 0;
  std::uint64_t queue_peak_ GUARDED_BY(mutex_) = 0;
  std::uint64_t connections_queued_ GUARDED_BY(mutex_) = 0;
  std::uint64_t pickups_ GUARDED_BY(mutex_) = 0;
  double pickup_delay_total_ms_ GUARDED_BY(mutex_) = 0;
  double average_[3] GUARDED_BY(mutex_) = {0, 0, 0};
  Clock::time_point averages_at_ GUARDED_BY(mutex_);

  std::uint64_t keepalive_count_ GUARDED_BY(mutex_) = 0;
  std::uint64_t keepalive_hits_ GUARDED_BY(mutex_) = 0;
  std::uint64_t keepalive_flushes_ GUARDED_BY(mutex_) = 0;
  std::uint64_t keepalive_refusals_ GUARDED_BY(mutex_) = 0;
  std::uint64_t keepalive_timeouts_ GUARDED_BY(mutex_) = 0;

  std::uint64_t active_sessions_ GUARDED_BY(mutex_) = 0;
  std::uint64_t sessions_created_ GUARDED_BY(mutex_) = 0;

  std::set<std::string, std::less<>> cached_paths_ GUARDED_BY(mutex_);
  std::uint64_t cache_hits_ GUARDED_BY(mutex_) = 0;
  std::uint64_t cache_lookups_ GUARDED_BY(mutex_) = 0;

  std::set<std::string, std::less<>> dns_entries_ GUARDED_BY(mutex_);
  std::uint64_t dns_hits_ GUARDED_BY(mutex_) = 0;
  std::uint64_t dns_lookups_ GUARDED_BY(mutex_) = 0;

  std::uint64_t busy_load_ GUARDED_BY(mutex_) = 0;
  std::uint64_t pool_peak_ GUARDED_BY(mutex_) = 0;
  std::uint64_t work_queue_peak_ GUARDED_BY(mutex_) = 0;

  std::uint64_t total_requests_ GUARDED_BY(mutex_) = 0;
  double latency_total_ GUARDED_BY(mutex_) = 0;
  double function_total_ GUARDED_BY(mutex_) = 0;

  std::map<std::string, VirtualServerFigures, std::less<>> virtual_servers_ GUARDED_BY(mutex_);
  std::map<std::uint64_t, BusyEntry> busy_ GUARDED_BY(mutex_);
  std::uint64_t next_busy_id_ GUARDED_BY(mutex_) = 1;
};

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_SERVER_STATS_H_
