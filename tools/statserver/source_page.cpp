#include "tools/statserver/source_page.h"

#include <charconv>
#include <string>

namespace statserver {
namespace {

// Busy-request rows every source page shows, so that a copy weighs what a busy server's page weighs.
constexpr std::size_t kSourceSessionRows = kMaxSessionRows;

}  // namespace

std::optional<int> SourceOfPath(std::string_view path, int sources) {
  constexpr std::string_view kPrefix = "/s/";
  constexpr std::string_view kSuffix = "/.perf";
  if (path.size() <= kPrefix.size() + kSuffix.size() || path.substr(0, kPrefix.size()) != kPrefix ||
      path.substr(path.size() - kSuffix.size()) != kSuffix) {
    return std::nullopt;
  }
  const std::string_view digits = path.substr(kPrefix.size(), path.size() - kPrefix.size() - kSuffix.size());
  if (digits.front() == '0') return std::nullopt;
  int source = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), source);
  if (error != std::errc() || end != digits.data() + digits.size() || source < 1 || source > sources) {
    return std::nullopt;
  }
  return source;
}

PageData SourcePageData(int source, std::uint64_t copy, const ServerIdentity& identity) {
  const std::uint64_t k = static_cast<std::uint64_t>(source);
  const std::uint64_t n = copy;
  const auto gauge = [k, n](std::uint64_t weight) { return weight * k + n; };
  const auto total = [k, n](std::uint64_t weight) { return weight * k * n; };

  PageData d;
  d.pid = identity.pid;
  d.version_line = identity.version_line;
  d.server_started = identity.server_started;
  d.process_started = identity.process_started;
  d.listen_address = identity.listen_address;
  d.default_virtual_server = identity.default_virtual_server;

  // Gauges, in the order of kSourceGauges. Peaks and limits sit just above the gauge they bound.
  d.queue_current = gauge(1);
  d.queue_peak = d.queue_current + k;
  d.queue_limit = d.queue_peak + k;
  d.acceptor_threads = static_cast<int>(gauge(2));
  d.keepalive_count = gauge(3);
  d.keepalive_limit = d.keepalive_count + k;
  d.active_sessions = gauge(4);
  d.keepalive_sessions = gauge(5);
  d.cache_entries = gauge(6);
  d.cache_limit = d.cache_entries + k;
  d.cache_max_age = static_cast<int>(gauge(7));
  d.pool_idle = gauge(8);
  d.pool_peak = d.pool_idle + k;
  d.pool_limit = d.pool_peak + k;
  d.work_queue_length = gauge(9);
  d.work_queue_peak = d.work_queue_length + k;
  d.work_queue_limit = d.work_queue_peak + k;
  d.dns_entries = gauge(10);
  d.dns_limit = d.dns_entries + k;

  // Totals, in the order of kSourceTotals. Lookups exceed hits, so the ratios stay below 100 %.
  d.connections_queued = total(1);
  d.keepalive_hits = total(2);
  d.keepalive_flushes = total(3);
  d.keepalive_refusals = total(4);
  d.keepalive_timeouts = total(5);
  d.sessions_created = total(6);
  d.sessions_limit = d.sessions_created + k;
  d.cache_hits = total(7);
  d.cache_lookups = d.cache_hits + k;
  d.dns_hits = total(8);
  d.dns_lookups = d.dns_hits + k;
  d.total_requests = total(9);
  d.bucket_requests = total(10);
  d.bucket_invocations = total(11);
  d.total_invocations = d.bucket_invocations + k;

  // Times in seconds: a millisecond per request.
  d.request_time_total = static_cast<double>(d.total_requests) / 1000.0;
  d.bucket_latency_total = d.request_time_total / 4;
  d.bucket_function_total = d.request_time_total / 2;
  d.bucket_response_total = d.request_time_total;
  d.queue_average_1 = static_cast<double>(d.queue_current);
  d.queue_average_5 = static_cast<double>(d.queue_current);
  d.queue_average_15 = static_cast<double>(d.queue_current);
  d.queueing_delay_ms = static_cast<double>(k);

  const std::string source_path = "/s/" + std::to_string(source) + "/.perf";
  for (std::size_t row = 0; row < kSourceSessionRows; ++row) {
    d.sessions.push_back(SessionRow{identity.pid, "response", "127.0.0.1", static_cast<long>(row),
                                    identity.default_virtual_server, "GET", source_path, "service-dump"});
  }
  d.virtual_servers = {
      {identity.default_virtual_server, total(kSourceTableRequestsWeight[0]), total(kSourceTableBytesWeight[0]), 0},
      {identity.admin_virtual_server, total(kSourceTableRequestsWeight[1]), total(kSourceTableBytesWeight[1]), 0},
  };
  return d;
}

}  // namespace statserver
