// One reading of one counter of one target, as the host got it from GetNewData: the record the
// plug-in wrote (or the previous one, when the snapshot had not changed), or the result code and
// message of a call that gave no reading.
#pragma once

#include <cstdint>
#include <string>

#include "interface/sarvik.h"
#include "tools/host/collection.h"

namespace sarvik_host {

enum class ReadingStatus {
  kNew,        // GetNewData returned 0 and wrote a reading
  kUnchanged,  // it returned 0 without a reading: the snapshot is the one already read
  kWaiting,    // it returned 1: the server has no snapshot yet
  kError,      // any other result
  kFirst,      // a new rate without an earlier sample: there is no rate to show yet
  kReset,      // a new rate below zero: the total fell (the server restarted); the next rate starts from it
  kStale,      // no new reading: the source's snapshot has not moved for several intervals
  kRetrying,   // the source is failing; its measurements are activated again from time to time
};

// "new", "unchanged", "waiting", "error", "first", "reset", "stale" or "retrying".
const char* StatusName(ReadingStatus status);

struct ReadingRow {
  std::int64_t polled_us = 0;        // the host's clock when it called, microseconds since the epoch
  const std::string* target = nullptr;  // the target's display name
  const CounterInfo* counter = nullptr;
  ReadingStatus status = ReadingStatus::kWaiting;
  bool has_reading = false;  // the row refers to a reading (this call's or an earlier one): `reading` holds it
  ReadingRecord reading{};
  // The reading's number is not shown: it is a first rate or a reset, or the row repeats one.
  bool withheld = false;
  int result = 0;            // GetNewData's result
  std::string message;       // the message it handed over (usually empty)
};

// True when the row shows a number: it refers to a value or rate reading that is not withheld.
bool ShowsNumber(const ReadingRow& row);

// What a reading record says, exactly as the plug-in wrote it.
bool IsRate(const ReadingRecord& reading);              // kind 1
double ReadingNumber(const ReadingRecord& reading);     // the value (kind 0) or the rate (kind 1)
SampleTime SnapshotTime(const ReadingRecord& reading);  // first_time (kind 0) or second_time (kind 1)
// False for a rate without an earlier sample: the first rate of a measurement is taken against
// a zero sample at time zero, and its number means nothing.
bool HasEarlierSample(const ReadingRecord& reading);
// "value", "rate", or "kind N" for a kind the plug-in does not define.
std::string KindName(const ReadingRecord& reading);

// Microseconds since the epoch of a record's time stamp.
std::int64_t Microseconds(SampleTime time);
// ISO-8601 UTC time with microseconds: "2024-05-01T12:00:03.250000Z".
std::string IsoTime(std::int64_t microseconds);
// Appends IsoTime(microseconds) to `*text`, without a string of its own and, for the years 0 to
// 9999, without the C library's time formatting.
void AppendIsoTime(std::int64_t microseconds, std::string* text);
// The host's clock now, in microseconds since the epoch.
std::int64_t NowMicroseconds();

}  // namespace sarvik_host
