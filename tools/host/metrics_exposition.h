// The text a metrics scraper reads: a MetricsSnapshot rendered in the Prometheus text exposition
// format 0.0.4, or in OpenMetrics 1.0 text when the scraper asks for it. Pure functions of their
// arguments (the clock and the process facts are passed in), safe to call from any thread.
//
// What is served, one family each, with HELP and TYPE lines and each family once:
//   sarvik_<counter name>[_<base unit>][_per_second]{target,host,counter,label}  gauge, one family
//       per configured counter; the value converted to base units (ms -> seconds, % -> ratio);
//       a counter without a current reading has no sample
//   sarvik_source_up{target}                  gauge, 1 when the source's last round gave readings
//   sarvik_last_result_code{target,counter}   gauge, the plug-in's result of the last round
//   sarvik_snapshot_age_seconds{target}       gauge, now - the latest snapshot's time (only after
//                                             a first reading)
//   sarvik_readings_total                     counter, new readings since the session started
//   process_cpu_seconds_total, process_resident_memory_bytes, process_virtual_memory_bytes,
//   process_start_time_seconds, process_open_fds, process_max_fds  (those the facts hold)
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/host/metrics_board.h"

namespace sarvik_host {

enum class ExpositionFormat { kPrometheusText, kOpenMetrics };

// Facts about the serving process; a fact that could not be read is left empty and not served.
struct ProcessFacts {
  std::optional<double> cpu_seconds;           // user + system time
  std::optional<double> resident_memory_bytes;
  std::optional<double> virtual_memory_bytes;
  std::optional<double> start_time_seconds;    // since the epoch
  std::optional<double> open_fds;
  std::optional<double> max_fds;               // the soft limit
};

// The calling process's facts, from /proc/self (and /proc/stat for the boot time).
ProcessFacts ReadProcessFacts();

// The format an HTTP Accept header asks for: OpenMetrics when it accepts
// application/openmetrics-text at least as gladly as anything else, the 0.0.4 text otherwise
// (also for an empty or unreadable header).
ExpositionFormat FormatForAccept(std::string_view accept);

// The Content-Type of a response in `format`.
const char* ContentTypeOf(ExpositionFormat format);

// The family name of one configured counter, before uniqueness is made: "sarvik_" and the
// label's words in snake_case (the counter text when the label is empty), a unit named in the
// label's parentheses left out, then the base unit ("_seconds", "_bytes", "_ratio") and
// "_per_second" for a rate (or a label that ends in "per Second"). Never ends in a suffix reserved for counters, histograms or
// summaries, and holds no abbreviated unit.
std::string CounterFamilyName(std::string_view label, std::string_view counter, std::string_view unit, bool is_rate);

// The factor that brings a value in `unit` to its base unit (1 when the unit has none).
double BaseUnitFactor(std::string_view unit);

// The exposition of `snapshot` at `now_us` (microseconds since the epoch) with `process`'s facts.
// Families of counters follow the order in which their counters first appear in the snapshot;
// two counters whose names would be equal get "_2", "_3"... in that order.
std::string RenderExposition(const MetricsSnapshot& snapshot, std::int64_t now_us, const ProcessFacts& process,
                             ExpositionFormat format);

}  // namespace sarvik_host
