// The statistics page of an iPlanet/Netscape 7.0 web server ("perfdump"), as plain text.
//
// PageData holds every figure that one copy of the page shows; RenderPage turns it into the text, with the
// server's fixed value columns, dash rulers and number formats, followed by a small HTML section with a
// per-virtual-server table. The renderer is a pure function: it reads nothing but its argument, so a page can
// be produced from live counters (ServerStats) or from fixed figures (the sample in dat/samples/).
// Thread safety: none needed; PageData is a plain value.
#ifndef SARVIK_TOOLS_STATSERVER_PAGE_H_
#define SARVIK_TOOLS_STATSERVER_PAGE_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace statserver {

// Introduces every copy of the page in a pushed statistics stream.
inline constexpr char kDelimiter[] = "THIS_STRING_NEVER_HAPPENS";
inline constexpr std::size_t kDelimiterLength = sizeof(kDelimiter) - 1;

// A monitor keeps at most this many characters of one copy (delimiter included); generated pages stay
// well below it.
inline constexpr std::size_t kSnapshotCapacity = 8191;
// Rows of the Sessions table shown at most, so that a busy server cannot push the page past the capacity.
inline constexpr std::size_t kMaxSessionRows = 8;

// One busy request in the Sessions table.
struct SessionRow {
  long process = 0;
  std::string status;    // "request", "response", ...
  std::string client;    // client address
  long age_seconds = 0;  // since the request began
  std::string virtual_server;
  std::string method;
  std::string uri;       // shown cut to a fixed width, with unsafe characters replaced
  std::string function;  // e.g. "send-file", "service-dump"
};

// One row of the HTML virtual-server table.
struct VirtualServerRow {
  std::string name;
  std::uint64_t requests = 0;
  std::uint64_t bytes_sent = 0;
  std::uint64_t errors = 0;
};

struct PageData {
  // Heading lines.
  std::string process_name = "webservd";
  long pid = 0;
  std::string version_line;     // "<product> 7.0 B07/13/2006 17:09 (Linux DOMESTIC)"
  std::string server_started;   // "Fri Jul 14 14:34:15 2006"
  std::string process_started;  // same format

  // ConnectionQueue.
  std::uint64_t queue_current = 0;
  std::uint64_t queue_peak = 0;
  std::uint64_t queue_limit = 0;
  std::uint64_t connections_queued = 0;
  double queue_average_1 = 0;
  double queue_average_5 = 0;
  double queue_average_15 = 0;
  double queueing_delay_ms = 0;

  // ListenSocket ls1.
  std::string listen_address;  // "http://0.0.0.0:80"
  int acceptor_threads = 1;
  std::string default_virtual_server;

  // KeepAliveInfo.
  std::uint64_t keepalive_count = 0;
  std::uint64_t keepalive_limit = 0;
  std::uint64_t keepalive_hits = 0;
  std::uint64_t keepalive_flushes = 0;
  std::uint64_t keepalive_refusals = 0;
  std::uint64_t keepalive_timeouts = 0;
  std::uint64_t keepalive_timeout_seconds = 30;

  // SessionCreationInfo.
  std::uint64_t active_sessions = 0;
  std::uint64_t keepalive_sessions = 0;
  std::uint64_t sessions_created = 0;
  std::uint64_t sessions_limit = 0;

  // CacheInfo (file cache).
  std::uint64_t cache_entries = 0;
  std::uint64_t cache_limit = 0;
  std::uint64_t cache_hits = 0;
  std::uint64_t cache_lookups = 0;
  int cache_max_age = 30;

  // Native pools.
  std::uint64_t pool_idle = 0;
  std::uint64_t pool_peak = 0;
  std::uint64_t pool_limit = 0;
  std::uint64_t work_queue_length = 0;
  std::uint64_t work_queue_peak = 0;
  std::uint64_t work_queue_limit = 0;

  // DNSCacheInfo.
  std::uint64_t dns_entries = 0;
  std::uint64_t dns_limit = 0;
  std::uint64_t dns_hits = 0;
  std::uint64_t dns_lookups = 0;

  // Performance Counters. Times are totals in seconds; averages are derived when rendering.
  std::uint64_t total_requests = 0;
  double request_time_total = 0;
  std::string bucket_name = "default-bucket";
  std::string bucket_description = "Default bucket";
  std::uint64_t bucket_requests = 0;
  std::uint64_t bucket_invocations = 0;
  std::uint64_t total_invocations = 0;
  double bucket_latency_total = 0;
  double bucket_function_total = 0;
  double bucket_response_total = 0;

  std::vector<SessionRow> sessions;  // at most kMaxSessionRows are shown
  std::vector<VirtualServerRow> virtual_servers;
};

// The page text: '\n' line ends, no delimiter.
std::string RenderPage(const PageData& data);

// A wall-clock time as the page shows it, "Fri Jul 14 14:34:15 2006" (local time, C locale names).
std::string FormatPageTime(std::time_t when);

// The text of the table name that introduces the HTML virtual-server table.
inline constexpr char kVirtualServerTableName[] = "Virtual Server Statistics";

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_PAGE_H_
