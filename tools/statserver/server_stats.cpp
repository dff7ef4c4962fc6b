#include "tools/statserver/server_stats.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace statserver {
namespace {

// Time constants of the damped queue-length averages, in seconds.
constexpr double kAverageWindows[3] = {60.0, 300.0, 900.0};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

ServerStats::ServerStats(ServerIdentity identity, StatsLimits limits, Clock::time_point now)
    : identity_(std::move(identity)), limits_(limits), averages_at_(now) {
  virtual_servers_[identity_.default_virtual_server];
  virtual_servers_[identity_.admin_virtual_server];
}

std::uint64_t ServerStats::AverageGaugeLocked() const { return queue_current_ + busy_load_; }

void ServerStats::AdvanceAveragesLocked(Clock::time_point now) {
  if (now <= averages_at_) return;
  const double elapsed = Seconds(now - averages_at_);
  const auto held = static_cast<double>(AverageGaugeLocked());
  for (int i = 0; i < 3; ++i) {
    const double keep = std::exp(-elapsed / kAverageWindows[i]);
    average_[i] = held + (average_[i] - held) * keep;
  }
  averages_at_ = now;
}

void ServerStats::ConnectionQueued(Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  ++queue_current_;
  queue_peak_ = std::max(queue_peak_, queue_current_);
}

void ServerStats::ConnectionDequeued(Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  if (queue_current_ > 0) --queue_current_;
}

void ServerStats::LoadSessionOpened(std::string_view client, Clock::duration pickup_delay, Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  ++connections_queued_;
  ++pickups_;
  pickup_delay_total_ms_ += Seconds(pickup_delay) * 1000.0;
  ++active_sessions_;
  ++sessions_created_;
  ++dns_lookups_;
  if (dns_entries_.find(client) != dns_entries_.end()) {
    ++dns_hits_;
  } else if (dns_entries_.size() < limits_.dns_limit) {
    dns_entries_.emplace(client);
  }
}

void ServerStats::LoadSessionClosed(Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  if (active_sessions_ > 0) --active_sessions_;
}

bool ServerStats::EnterKeepAlive(Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  if (keepalive_count_ >= limits_.keepalive_limit) {
    ++keepalive_refusals_;
    return false;
  }
  ++keepalive_count_;
  return true;
}

void ServerStats::LeaveKeepAlive(KeepAliveEnd how, Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  if (keepalive_count_ > 0) --keepalive_count_;
  switch (how) {
    case KeepAliveEnd::kReused:
      ++keepalive_hits_;
      ++connections_queued_;
      break;
    case KeepAliveEnd::kClientClosed:
      ++keepalive_flushes_;
      break;
    case KeepAliveEnd::kTimedOut:
      ++keepalive_timeouts_;
      break;
    case KeepAliveEnd::kServerStopped:
    default:
      break;
  }
}

std::uint64_t ServerStats::BeginBusy(SessionRow row, bool load, Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  const std::uint64_t id = next_busy_id_++;
  busy_.emplace(id, BusyEntry{std::move(row), load, now});
  if (load) {
    ++busy_load_;
    pool_peak_ = std::max(pool_peak_, busy_load_);
    if (busy_load_ > limits_.pool_limit) work_queue_peak_ = std::max(work_queue_peak_, busy_load_ - limits_.pool_limit);
  }
  return id;
}

void ServerStats::EndBusy(std::uint64_t id, Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  const auto entry = busy_.find(id);
  if (entry == busy_.end()) return;
  if (entry->second.load && busy_load_ > 0) --busy_load_;
  busy_.erase(entry);
}

void ServerStats::RecordLoadRequest(const LoadRequestRecord& record) {
  MutexLock lock(mutex_);
  ++total_requests_;
  latency_total_ += Seconds(record.latency);
  function_total_ += Seconds(record.function_time);
  ++cache_lookups_;
  if (cached_paths_.find(record.path) != cached_paths_.end()) {
    ++cache_hits_;
  } else if (cached_paths_.size() < limits_.cache_limit) {
    cached_paths_.emplace(record.path);
  }
  VirtualServerFigures& figures = FiguresLocked(record.virtual_server);
  ++figures.requests;
  figures.bytes_sent += record.bytes_sent;
}

void ServerStats::RecordError(std::string_view virtual_server) {
  MutexLock lock(mutex_);
  ++FiguresLocked(virtual_server).errors;
}

ServerStats::VirtualServerFigures& ServerStats::FiguresLocked(std::string_view virtual_server) {
  const auto found = virtual_servers_.find(virtual_server);
  if (found != virtual_servers_.end()) return found->second;
  return virtual_servers_[identity_.default_virtual_server];
}

PageData ServerStats::Snapshot(Clock::time_point now) {
  MutexLock lock(mutex_);
  AdvanceAveragesLocked(now);
  PageData d;
  d.pid = identity_.pid;
  d.version_line = identity_.version_line;
  d.server_started = identity_.server_started;
  d.process_started = identity_.process_started;

  d.queue_current = queue_current_;
  d.queue_peak = queue_peak_;
  d.queue_limit = limits_.queue_limit;
  d.connections_queued = connections_queued_;
  d.queue_average_1 = average_[0];
  d.queue_average_5 = average_[1];
  d.queue_average_15 = average_[2];
  d.queueing_delay_ms = pickups_ > 0 ? pickup_delay_total_ms_ / static_cast<double>(pickups_) : 0.0;

  d.listen_address = identity_.listen_address;
  d.acceptor_threads = 1;
  d.default_virtual_server = identity_.default_virtual_server;

  d.keepalive_count = keepalive_count_;
  d.keepalive_limit = limits_.keepalive_limit;
  d.keepalive_hits = keepalive_hits_;
  d.keepalive_flushes = keepalive_flushes_;
  d.keepalive_refusals = keepalive_refusals_;
  d.keepalive_timeouts = keepalive_timeouts_;
  d.keepalive_timeout_seconds = limits_.keepalive_timeout_seconds;

  d.active_sessions = active_sessions_;
  d.keepalive_sessions = keepalive_count_;
  d.sessions_created = sessions_created_;
  d.sessions_limit = limits_.sessions_limit;

  d.cache_entries = cached_paths_.size();
  d.cache_limit = limits_.cache_limit;
  d.cache_hits = cache_hits_;
  d.cache_lookups = cache_lookups_;
  d.cache_max_age = limits_.cache_max_age;

  const std::uint64_t threads = std::min(std::max<std::uint64_t>(pool_peak_, 1), limits_.pool_limit);
  d.pool_idle = threads - std::min(busy_load_, threads);
  d.pool_peak = threads;
  d.pool_limit = limits_.pool_limit;
  d.work_queue_length = busy_load_ > limits_.pool_limit ? busy_load_ - limits_.pool_limit : 0;
  d.work_queue_peak = work_queue_peak_;
  d.work_queue_limit = 0;

  d.dns_entries = dns_entries_.size();
  d.dns_limit = limits_.dns_limit;
  d.dns_hits = dns_hits_;
  d.dns_lookups = dns_lookups_;

  d.total_requests = total_requests_;
  d.request_time_total = latency_total_ + function_total_;
  d.bucket_requests = total_requests_;
  d.bucket_invocations = total_requests_ * kInvocationsPerRequest;
  d.total_invocations = d.bucket_invocations;
  d.bucket_latency_total = latency_total_;
  d.bucket_function_total = function_total_;
  d.bucket_response_total = latency_total_ + function_total_;

  for (const auto& [id, entry] : busy_) {
    SessionRow row = entry.row;
    row.age_seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(now - entry.since).count());
    d.sessions.push_back(std::move(row));
    if (d.sessions.size() == kMaxSessionRows) break;
  }
  // The default server first, then the others by name.
  const auto add_row = [&d](const std::string& name, const VirtualServerFigures& figures) {
    d.virtual_servers.push_back(VirtualServerRow{name, figures.requests, figures.bytes_sent, figures.errors});
  };
  add_row(identity_.default_virtual_server, virtual_servers_[identity_.default_virtual_server]);
  for (const auto& [name, figures] : virtual_servers_) {
    if (name != identity_.default_virtual_server) add_row(name, figures);
  }
  return d;
}

}  // namespace statserver
