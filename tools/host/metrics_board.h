// What the metrics endpoint serves: the latest state of every source and counter of a monitoring
// session. The session publishes a whole new snapshot after each round; the endpoint's thread
// reads the latest one whenever it is scraped. Neither side waits on the other beyond swapping
// one pointer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sarvik_host {

// One counter of one target, as the session last showed it.
struct MetricsCounterState {
  std::size_t source = 0;  // index into MetricsSnapshot::sources
  std::string counter;     // the counter's text in the configuration
  std::string label;       // its label
  std::string unit;        // the unit of its value as the configuration gives it ("ms", "B", "" ...)
  bool is_rate = false;    // the plug-in reports it as a per-second rate
  // False when there is no current reading to serve: waiting, error, retrying, a first rate or a
  // reset. The family then has no sample for this counter.
  bool has_value = false;
  double value = 0;            // the value or the rate, exactly as the plug-in wrote it
  int last_result_code = 0;    // GetNewData's result in the last round
};

// One monitored target.
struct MetricsSourceState {
  std::string target;  // its display name
  std::string host;    // the host text passed to the plug-in
  bool up = false;     // its last round gave readings (not failing)
  // The plug-in's time stamp of the latest snapshot read from it, microseconds since the epoch;
  // none before the first reading.
  std::optional<std::int64_t> snapshot_time_us;
};

struct MetricsSnapshot {
  std::vector<MetricsSourceState> sources;
  std::vector<MetricsCounterState> counters;
  std::uint64_t readings_total = 0;  // new readings since the session started
  std::int64_t published_us = 0;     // the host's clock when it was published
};

// The hand-over point between the session (one writer) and the endpoint (any number of readers).
class MetricsBoard {
 public:
  void Publish(MetricsSnapshot snapshot) {
    auto published = std::make_shared<const MetricsSnapshot>(std::move(snapshot));
    std::lock_guard<std::mutex> hold(mutex_);
    latest_ = std::move(published);
  }
  // The latest snapshot; an empty one before the first Publish.
  std::shared_ptr<const MetricsSnapshot> Latest() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return latest_;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const MetricsSnapshot> latest_ = std::make_shared<const MetricsSnapshot>();
};

}  // namespace sarvik_host
