#include "tools/host/source_watch.h"

#include <gtest/gtest.h>

namespace sarvik_host {
namespace {

constexpr std::int64_t kSecond = 1'000'000;
constexpr std::int64_t kStart = 1796651050 * kSecond;  // 2026-12-07T13:44:10Z

SourceWatch::Round Reading(std::int64_t snapshot_us) {
  SourceWatch::Round round;
  round.any_reading = true;
  round.snapshot_time_us = snapshot_us;
  return round;
}

SourceWatch::Round Failure(int result, std::string message) {
  SourceWatch::Round round;
  round.failed = true;
  round.failure_result = result;
  round.failure_message = std::move(message);
  return round;
}

TEST(SourceWatchTest, AnOutageIsToldOnceRetriedWithBackOffAndEndsWhenCopiesCome) {
  SourceWatch watch("127.0.0.1:8081", 2 * kSecond);
  EXPECT_EQ("", watch.Observe(kStart, Reading(kStart - kSecond / 2)));
  EXPECT_EQ("127.0.0.1:8081 unreachable since 13:44:12 (Could not connect); retrying",
            watch.Observe(kStart + 2 * kSecond, Failure(20, "Could not connect")));
  EXPECT_EQ(SourceWatch::State::kFailing, watch.state());
  EXPECT_EQ("", watch.Observe(kStart + 4 * kSecond, Failure(20, ""))) << "said once per episode";

  // The first retry comes one interval after the failure, then each delay doubles up to 30 s.
  std::int64_t now = kStart + 2 * kSecond;
  EXPECT_FALSE(watch.RetryDue(now + 2 * kSecond - 1));
  std::int64_t delay = 2 * kSecond;
  for (int retry = 0; retry < 8; ++retry) {
    now += delay;
    EXPECT_TRUE(watch.RetryDue(now)) << retry;
    watch.Retried(now);
    delay = std::min(delay * 2, SourceWatch::kLongestRetryDelayUs);
    EXPECT_FALSE(watch.RetryDue(now + delay - 1)) << retry;
  }

  // Waiting for the first copy after an activation is not yet back; an old snapshot is not either.
  EXPECT_EQ("", watch.Observe(now + kSecond, SourceWatch::Round{}));
  EXPECT_EQ("", watch.Observe(now + kSecond, Reading(kStart - kSecond / 2)));
  EXPECT_EQ(SourceWatch::State::kFailing, watch.state());
  const std::string back = watch.Observe(kStart + 16 * kSecond, Reading(kStart + 15 * kSecond));
  EXPECT_EQ("127.0.0.1:8081 back after 14 s", back);
  EXPECT_EQ(SourceWatch::State::kUp, watch.state());
  EXPECT_FALSE(watch.RetryDue(kStart + 100 * kSecond));

  // A new episode starts over with one interval.
  EXPECT_NE("", watch.Observe(kStart + 20 * kSecond, Failure(13, "")));
  EXPECT_FALSE(watch.RetryDue(kStart + 22 * kSecond - 1));
  EXPECT_TRUE(watch.RetryDue(kStart + 22 * kSecond));
}

TEST(SourceWatchTest, AFailureWithoutAMessageNamesItsResult) {
  SourceWatch watch("web1", kSecond);
  EXPECT_EQ("web1 unreachable since 13:44:10 (result 13); retrying", watch.Observe(kStart, Failure(13, "")));
}

TEST(SourceWatchTest, ACounterMissingFromThePageIsNotAnOutage) {
  SourceWatch watch("web1", kSecond);
  SourceWatch::Round round = Reading(kStart);
  round.failed = true;  // one counter failed, others read
  EXPECT_EQ("", watch.Observe(kStart, round));
  EXPECT_EQ(SourceWatch::State::kUp, watch.state());
  EXPECT_FALSE(IsSourceFailure(0));
  EXPECT_FALSE(IsSourceFailure(1));
  EXPECT_FALSE(IsSourceFailure(8));
  EXPECT_FALSE(IsSourceFailure(17));
  for (const int result : {10, 11, 12, 13, 14, 15, 16, 20}) EXPECT_TRUE(IsSourceFailure(result)) << result;
}

TEST(SourceWatchTest, ASnapshotThatStopsMovingIsStaleThenFresh) {
  SourceWatch watch("web1", 2 * kSecond);
  EXPECT_EQ("", watch.Observe(kStart, Reading(kStart)));
  EXPECT_EQ("", watch.Observe(kStart + 2 * kSecond, Reading(kStart + 2 * kSecond)));
  EXPECT_EQ("", watch.Observe(kStart + 4 * kSecond, Reading(kStart + 2 * kSecond)));
  EXPECT_EQ("", watch.Observe(kStart + 8 * kSecond - 1, Reading(kStart + 2 * kSecond))) << "under 3 intervals";
  EXPECT_EQ("web1 stale: no new copy for 6 s", watch.Observe(kStart + 8 * kSecond, Reading(kStart + 2 * kSecond)));
  EXPECT_EQ(SourceWatch::State::kStale, watch.state());
  EXPECT_EQ("", watch.Observe(kStart + 10 * kSecond, Reading(kStart + 2 * kSecond))) << "said once";
  EXPECT_EQ("web1 fresh: new copies again after 9 s",
            watch.Observe(kStart + 12 * kSecond, Reading(kStart + 11 * kSecond)));
  EXPECT_EQ(SourceWatch::State::kUp, watch.state());
  ASSERT_TRUE(watch.snapshot_time_us().has_value());
  EXPECT_EQ(kStart + 11 * kSecond, *watch.snapshot_time_us());
}

TEST(SourceWatchTest, ShortIntervalsDoNotMakeASourceStaleSooner) {
  // The plug-in gives a reading a second at most, so the bound is three seconds at least.
  SourceWatch watch("web1", kSecond / 4);
  EXPECT_EQ("", watch.Observe(kStart, Reading(kStart)));
  EXPECT_EQ("", watch.Observe(kStart + 2 * kSecond, Reading(kStart)));
  EXPECT_NE("", watch.Observe(kStart + 3 * kSecond, Reading(kStart)));
}

TEST(SourceWatchTest, TimesOfDayAreUtc) {
  EXPECT_EQ("00:00:00", UtcTimeOfDay(0));
  EXPECT_EQ("23:59:59", UtcTimeOfDay(-1));
  EXPECT_EQ("13:44:10", UtcTimeOfDay(kStart + 999999));
}

}  // namespace
}  // namespace sarvik_host
