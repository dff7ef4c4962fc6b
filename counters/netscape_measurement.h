// A measurement: one counter of one monitored server, as the host activated it.
//
// CNetscapeMeasurement is also the pattern counter: it finds its value in a snapshot of the
// statistics page by searching for its counter name and reading the first number after it.
// It keeps the last six samples and hands the host either the latest value or, with
// KeepPrevValue, the per-second rate between the last two samples. CNetscapeMeasurementTbl
// finds its value in an HTML table cell instead.
//
// A measurement lives on the host's threads only (created, read and destroyed by the exports,
// one call at a time) and works on private copies of the server's snapshot; it has no lock.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "abi/records.h"
#include "config/server_params.h"
#include "reporting/error_report.h"

class CNetscapeMeasurement : public MonitorErrorReport {
 public:
  // Results of NewData.
  static constexpr int kNewReading = 0;      // a sample was stored; GetReading may follow
  static constexpr int kValueNotFound = 31;  // recorded with result code 17
  static constexpr int kSameSnapshot = 232;  // the snapshot of the last call (same second)

  // Result code and catalogue message of a failed extraction.
  static constexpr int kExtractionFailedCode = 17;
  static constexpr std::int32_t kExtractionFailedMessage = -47490;

  // The measurement registered under `key` ("counter name|..."), labelled `label`, of the
  // statistics source `server` (its host and the server properties parsed from the user data
  // once, at activation). A key, label or host longer than 511 characters is cut.
  // `keep_previous` non-zero makes the readings per-second rates.
  CNetscapeMeasurement(std::string_view key, std::string_view label, const ServerParams& server,
                       std::int32_t keep_previous);
  virtual ~CNetscapeMeasurement() = default;
  CNetscapeMeasurement(const CNetscapeMeasurement&) = delete;
  CNetscapeMeasurement& operator=(const CNetscapeMeasurement&) = delete;

  // Extracts the value from `text`, the caller's private, NUL-terminated copy of a snapshot
  // taken at `time` (which the call may rewrite). Returns kNewReading, kValueNotFound (the
  // failure is recorded) or kSameSnapshot (nothing changed). A snapshot is looked at once: its
  // time is kept before the extraction, whatever comes of it.
  virtual int NewData(char* text, SampleTime time);

  // Writes the latest reading into `record`: kind 0 with the latest value, or, with
  // keep-previous, kind 1 with the rate between the previous and the latest sample.
  void GetReading(ReadingRecord* record) const;

  const char* key() const { return key_.c_str(); }
  const char* label() const { return label_.c_str(); }
  const char* host() const { return server_.host.c_str(); }
  // The registry key of the measurement's server ("host|url|port").
  const std::string& server_key() const { return server_key_; }
  bool reports_rate() const { return keep_previous_ != 0; }

 protected:
  // True when `time` is a new snapshot for this measurement; remembers it.
  bool AcceptSnapshot(SampleTime time);
  // Adds a kind-0 sample to the ring.
  void StoreSample(SampleTime time, double value);
  // Records that `missing_item` was not found, naming `operation`.
  void RecordNotFound(std::string_view missing_item, const char* operation);

 private:
  static constexpr std::size_t kRingSize = 6;

  // Key and label, cut like the host's fields (511 characters, up to a NUL).
  std::string key_;
  std::string label_;
  // The counter name searched for (the key up to its first '|'); absent when the key has none.
  std::optional<std::string> pattern_;
  std::array<ReadingRecord, kRingSize> ring_{};
  std::size_t latest_ = kRingSize - 1;  // the first sample lands in slot 0
  std::int32_t keep_previous_;
  ServerParams server_;  // its host cut like the key
  std::string server_key_;
  SampleTime last_snapshot_time_{};
};

// Reads a number the way the C library's atof does, but in the C locale whatever the process
// locale: leading white space, an optional sign, digits with an optional decimal point and
// fraction, an optional exponent; 0 when no number starts there. Never reads past the NUL.
double ReadNumber(const char* text);
