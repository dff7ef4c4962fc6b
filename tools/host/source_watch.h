// What a monitoring session knows about one source between rounds: whether its readings come,
// whether it is failing (and when to activate its measurements again), and whether its
// snapshot has stopped moving. It only watches and decides; the session makes the calls.
//
// A source fails when a round's readings report a failure of the source itself (the plug-in
// could not connect, send, read, or its server stopped) and none gives a reading. The plug-in
// gives up a failing server after a number of failed cycles, so the session activates the
// source's measurements again: first one interval after the failure, then after a delay that
// doubles up to kLongestRetryDelay, and back to one interval once readings come. A source whose
// snapshot time has not moved for kStaleIntervals intervals is stale until it moves again.
//
// Each change of state is announced once, with a sentence for people:
//   "127.0.0.1:8081 unreachable since 12:04:10 (MESSAGE); retrying"
//   "127.0.0.1:8081 back after 14 s"
//   "127.0.0.1:8081 stale: no new copy for 6 s"
//   "127.0.0.1:8081 fresh: new copies again after 9 s"
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sarvik_host {

// True for a GetNewData result that reports a failure of the source rather than of one
// counter: every result but 0 (a reading), 1 (no snapshot yet), 8 (not active) and 17 (the
// counter was not found on the page).
bool IsSourceFailure(int result);

class SourceWatch {
 public:
  enum class State { kUp, kFailing, kStale };

  static constexpr std::int64_t kLongestRetryDelayUs = 30'000'000;
  static constexpr int kStaleIntervals = 3;

  // What one round of readings said about the source.
  struct Round {
    bool any_reading = false;          // a counter gave a reading (new or unchanged)
    bool failed = false;               // a counter reported a failure of the source
    int failure_result = 0;            // the first such result
    std::string failure_message;       // the first non-empty message that came with one
    std::optional<std::int64_t> snapshot_time_us;  // the newest snapshot time read this round
  };

  // `name` is how announcements name the source; `interval_us` the session's sampling interval.
  SourceWatch(std::string name, std::int64_t interval_us);

  // Takes the round read at `now_us`. Returns the announcement of a change of state, or an
  // empty string.
  std::string Observe(std::int64_t now_us, const Round& round);

  // True when the source is failing and its next activation is due.
  bool RetryDue(std::int64_t now_us) const;
  // Records that the measurements were activated again at `now_us`; the next delay doubles.
  void Retried(std::int64_t now_us);

  State state() const { return state_; }
  // The plug-in's time of the newest snapshot read from the source; none before the first.
  std::optional<std::int64_t> snapshot_time_us() const { return snapshot_time_us_; }

 private:
  std::string name_;
  std::int64_t interval_us_;
  State state_ = State::kUp;
  std::int64_t failing_since_us_ = 0;
  std::int64_t retry_delay_us_ = 0;
  std::int64_t next_retry_us_ = 0;
  std::optional<std::int64_t> snapshot_time_us_;
};

// "12:04:10": the UTC time of day of `microseconds` since the epoch.
std::string UtcTimeOfDay(std::int64_t microseconds);

}  // namespace sarvik_host
