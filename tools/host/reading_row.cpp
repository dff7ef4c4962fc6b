#include "tools/host/reading_row.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace sarvik_host {

const char* StatusName(ReadingStatus status) {
  switch (status) {
    case ReadingStatus::kNew: return "new";
    case ReadingStatus::kUnchanged: return "unchanged";
    case ReadingStatus::kWaiting: return "waiting";
    case ReadingStatus::kFirst: return "first";
    case ReadingStatus::kReset: return "reset";
    case ReadingStatus::kStale: return "stale";
    case ReadingStatus::kRetrying: return "retrying";
    case ReadingStatus::kError:
    default: return "error";
  }
}

bool ShowsNumber(const ReadingRow& row) {
  return row.has_reading && !row.withheld && (row.reading.kind == 0 || row.reading.kind == 1);
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

namespace {

// Writes `value` as `width` decimal digits, zero-padded, at `out`.
void PutDigits(char* out, std::int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
}

}  // namespace

void AppendIsoTime(std::int64_t microseconds, std::string* text) {
  std::int64_t seconds = microseconds / 1000000;
  std::int64_t fraction = microseconds % 1000000;
  if (fraction < 0) {
    fraction += 1000000;
    --seconds;
  }
  std::int64_t days = seconds / 86400;
  std::int64_t second_of_day = seconds % 86400;
  if (second_of_day < 0) {
    second_of_day += 86400;
    --days;
  }
  // The civil date of a day count since 1970-01-01 (proleptic Gregorian calendar, in eras of 400
  // years), without the time zone machinery of gmtime_r: readings are formatted by the thousand.
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const std::int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  if (year < 0 || year > 9999) {
    // Beyond four digits of year: the C library's own formatting.
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ",
                                     parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                                     parts.tm_min, parts.tm_sec, static_cast<long long>(fraction));
    if (length > 0) text->append(buffer, static_cast<std::size_t>(length));
    return;
  }
  char out[] = "0000-00-00T00:00:00.000000Z";
  PutDigits(out, year, 4);
  PutDigits(out + 5, month, 2);
  PutDigits(out + 8, day, 2);
  PutDigits(out + 11, second_of_day / 3600, 2);
  PutDigits(out + 14, second_of_day / 60 % 60, 2);
  PutDigits(out + 17, second_of_day % 60, 2);
  PutDigits(out + 20, fraction, 6);
  text->append(out, sizeof out - 1);
}

std::int64_t NowMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace sarvik_host
