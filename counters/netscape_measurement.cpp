#include "counters/netscape_measurement.h"

#include <charconv>
#include <cmath>
#include <cstring>


namespace {

// The longest key, label or host a measurement keeps, as the host's 512-byte fields hold them.
constexpr std::size_t kFieldLength = 511;

// `text` as a field of the host's records keeps it: up to its first NUL, at most kFieldLength.
std::string FieldText(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  return std::string(text.substr(0, kFieldLength));
}

constexpr char kOperation[] = "NetscapeMeasurement::NewData";
constexpr char kMissingDelimiter[] = "DATA_DELIMITER";

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

double ReadNumber(const char* text) {
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  // The number cannot be longer than the text; from_chars needs its end.
  const char* end = text;
  while (*end != '\0' && ((*end >= '0' && *end <= '9') || *end == '.' || *end == 'e' || *end == 'E' ||
                          *end == '+' || *end == '-')) {
    ++end;
  }
  double value = 0;
  const std::from_chars_result result = std::from_chars(text, end, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Too large in magnitude becomes infinity, too small becomes 0, as atof would give.
    std::size_t digits = 0;
    while (text + digits < end && text[digits] != 'e' && text[digits] != 'E') ++digits;
    const char* exponent = text + digits;
    value = (exponent < end && exponent[1] == '-') ? 0.0 : HUGE_VAL;
  } else if (result.ec != std::errc()) {
    value = 0;
  }
  return negative ? -value : value;
}

CNetscapeMeasurement::CNetscapeMeasurement(std::string_view key, std::string_view label, const ServerParams& server,
                                           std::int32_t keep_previous)
    : MonitorErrorReport(0), keep_previous_(keep_previous), server_(server) {
  key_ = FieldText(key);
  label_ = FieldText(label);
  server_.host = FieldText(server.host);
  server_key_ = MakeServerKey(server_);
  const std::string_view stored_key = key_;
  if (const std::size_t bar = stored_key.find('|'); bar != std::string_view::npos) {
    pattern_ = std::string(stored_key.substr(0, bar));
  }
}

bool CNetscapeMeasurement::AcceptSnapshot(SampleTime time) {
  if (time.seconds == last_snapshot_time_.seconds) return false;
  last_snapshot_time_ = time;
  return true;
}

void CNetscapeMeasurement::StoreSample(SampleTime time, double value) {
  latest_ = latest_ == kRingSize - 1 ? 0 : latest_ + 1;
  ReadingRecord& slot = ring_[latest_];
  std::memset(&slot, 0, sizeof slot);
  slot.kind = 0;
  slot.first_time = time;
  slot.value = value;
}

void CNetscapeMeasurement::RecordNotFound(std::string_view missing_item, const char* operation) {
  RecordError(kExtractionFailedCode, kExtractionFailedMessage,
              {missing_item, label_, server_.host, server_.login, server_.host, server_.port, server_.url,
               operation});
}

int CNetscapeMeasurement::NewData(char* text, SampleTime time) {
  if (!AcceptSnapshot(time)) return kSameSnapshot;
  if (!pattern_) {
    RecordNotFound(kMissingDelimiter, kOperation);
    return kValueNotFound;
  }
  const char* match = std::strstr(text, pattern_->c_str());
  if (match == nullptr) {
    RecordNotFound(*pattern_, kOperation);
    return kValueNotFound;
  }
  const char* digit = match + pattern_->size();
  while (*digit != '\0' && (*digit < '0' || *digit > '9')) ++digit;
  StoreSample(time, *digit == '\0' ? 0.0 : ReadNumber(digit));
  return kNewReading;
}

void CNetscapeMeasurement::GetReading(ReadingRecord* record) const {
  if (record == nullptr) return;
  const ReadingRecord& latest = ring_[latest_];
  if (keep_previous_ == 0) {
    *record = latest;
    return;
  }
  const ReadingRecord& previous = ring_[latest_ == 0 ? kRingSize - 1 : latest_ - 1];
  record->kind = 1;
  record->first_time = previous.first_time;
  record->second_time = latest.first_time;
  // Whole seconds alone would halve or double a rate when two snapshots straddle a second
  // boundary, so the microseconds count too. The whole seconds keep their unsigned difference:
  // a clock set back, or the cleared sample before the first, gives a huge interval and a rate
  // near 0, and the same second counts as one.
  const std::uint32_t seconds = static_cast<std::uint32_t>(latest.first_time.seconds) -
                                static_cast<std::uint32_t>(previous.first_time.seconds);
  double elapsed = 1.0;
  if (seconds != 0) {
    elapsed = static_cast<double>(seconds) +
              static_cast<double>(latest.first_time.microseconds - previous.first_time.microseconds) / 1e6;
    // Microseconds outside their range cannot make the interval vanish or turn negative.
    if (!(elapsed > 0.0)) elapsed = static_cast<double>(seconds);
  }
  record->rate = (latest.value - previous.value) / elapsed;
}
