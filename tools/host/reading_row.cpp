#include "tools/host/reading_row.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <limits>

namespace sarvik_host {

const char* StatusName(ReadingStatus status) {
  switch (status) {
    case ReadingStatus::kNew: return "new";
    case ReadingStatus::kUnchanged: return "unchanged";
    case ReadingStatus::kWaiting: return "waiting";
    case ReadingStatus::kError:
    default: return "error";
  }
}

bool IsRate(const ReadingRecord& reading) { return reading.kind == 1; }

double ReadingNumber(const ReadingRecord& reading) { return IsRate(reading) ? reading.rate : reading.value; }

SampleTime SnapshotTime(const ReadingRecord& reading) {
  return IsRate(reading) ? reading.second_time : reading.first_time;
}

bool HasEarlierSample(const ReadingRecord& reading) {
  return !IsRate(reading) || reading.first_time.seconds != 0 || reading.first_time.microseconds != 0;
}

std::string KindName(const ReadingRecord& reading) {
  if (reading.kind == 0) return "value";
  if (reading.kind == 1) return "rate";
  return "kind " + std::to_string(reading.kind);
}

std::int64_t Microseconds(SampleTime time) {
  return static_cast<std::int64_t>(time.seconds) * 1000000 + time.microseconds;
}

std::string IsoTime(std::int64_t microseconds) {
  std::string text;
  AppendIsoTime(microseconds, &text);
  return text;
}

void AppendIsoTime(std::int64_t microseconds, std::string* text) {
  std::int64_t seconds = microseconds / 1000000;
  std::int64_t fraction = microseconds % 1000000;
  if (fraction < 0) {
    fraction += 1000000;
    --seconds;
  }
  thread_local std::int64_t formatted_second = std::numeric_limits<std::int64_t>::min();
  thread_local char second_text[48] = "";
  thread_local int second_length = 0;
  if (seconds != formatted_second) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    second_length = std::snprintf(second_text, sizeof second_text, "%04d-%02d-%02dT%02d:%02d:%02d",
                                  parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                                  parts.tm_sec);
    if (second_length < 0) second_length = 0;
    formatted_second = seconds;
  }
  text->append(second_text, static_cast<std::size_t>(second_length));
  char digits[8] = {'.', '0', '0', '0', '0', '0', '0', 'Z'};
  for (int i = 6; i >= 1; --i, fraction /= 10) digits[i] = static_cast<char>('0' + fraction % 10);
  text->append(digits, sizeof digits);
}

std::int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace sarvik_host
