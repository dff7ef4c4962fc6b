#include "tools/host/source_watch.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace sarvik_host {

namespace {

constexpr std::int64_t kMicrosecondsPerSecond = 1'000'000;

// Whole seconds of a span, rounded to the nearest.
long long Seconds(std::int64_t span_us) {
  return static_cast<long long>((std::max<std::int64_t>(span_us, 0) + kMicrosecondsPerSecond / 2) /
                                kMicrosecondsPerSecond);
}

}  // namespace

bool IsSourceFailure(int result) { return result != 0 && result != 1 && result != 8 && result != 17; }

std::string UtcTimeOfDay(std::int64_t microseconds) {
  std::int64_t seconds = microseconds / kMicrosecondsPerSecond;
  if (microseconds % kMicrosecondsPerSecond < 0) --seconds;
  std::int64_t of_day = seconds % 86400;
  if (of_day < 0) of_day += 86400;
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(of_day / 3600),
                static_cast<int>(of_day / 60 % 60), static_cast<int>(of_day % 60));
  return text;
}

SourceWatch::SourceWatch(std::string name, std::int64_t interval_us)
    : name_(std::move(name)), interval_us_(std::max<std::int64_t>(interval_us, 1)) {}

std::string SourceWatch::Observe(std::int64_t now_us, const Round& round) {
  const std::optional<std::int64_t> previous_snapshot = snapshot_time_us_;
  const bool moved = round.snapshot_time_us && (!previous_snapshot || *round.snapshot_time_us > *previous_snapshot);
  if (moved) snapshot_time_us_ = round.snapshot_time_us;

  if (round.failed && !round.any_reading) {
    if (state_ == State::kFailing) return {};
    state_ = State::kFailing;
    failing_since_us_ = now_us;
    retry_delay_us_ = interval_us_;
    next_retry_us_ = now_us + retry_delay_us_;
    const std::string cause =
        round.failure_message.empty() ? "result " + std::to_string(round.failure_result) : round.failure_message;
    return name_ + " unreachable since " + UtcTimeOfDay(now_us) + " (" + cause + "); retrying";
  }

  if (state_ == State::kFailing) {
    // After an activation the source may be waiting for its first copy: it is back only when one comes.
    if (!moved) return {};
    state_ = State::kUp;
    return name_ + " back after " + std::to_string(Seconds(now_us - failing_since_us_)) + " s";
  }

  if (moved) {
    if (state_ != State::kStale) return {};
    state_ = State::kUp;
    return name_ + " fresh: new copies again after " +
           std::to_string(Seconds(*snapshot_time_us_ - previous_snapshot.value_or(*snapshot_time_us_))) + " s";
  }

  // A reading a second at most: a shorter interval does not make a source stale sooner.
  const std::int64_t stale_after_us = kStaleIntervals * std::max(interval_us_, kMicrosecondsPerSecond);
  if (state_ == State::kUp && snapshot_time_us_ && now_us - *snapshot_time_us_ >= stale_after_us) {
    state_ = State::kStale;
    return name_ + " stale: no new copy for " + std::to_string(Seconds(now_us - *snapshot_time_us_)) + " s";
  }
  return {};
}

bool SourceWatch::RetryDue(std::int64_t now_us) const { return state_ == State::kFailing && now_us >= next_retry_us_; }

void SourceWatch::Retried(std::int64_t now_us) {
  retry_delay_us_ = std::min(retry_delay_us_ * 2, kLongestRetryDelayUs);
  next_retry_us_ = now_us + retry_delay_us_;
}

}  // namespace sarvik_host
