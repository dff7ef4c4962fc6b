// The session report: one self-contained HTML file. Charts first (one per counter, one line per
// target, drawn in the browser by the dygraphs carried inside the file, with a gap wherever a
// target gave no number and the messages marked on the time axis), then a table of readings,
// first, last, minimum, mean and maximum per counter and target, then the numbered messages.
// Without JavaScript the tables still show. Times are UTC.
//
// The page's data sits in one JSON element, <script type="application/json" id="report-data">:
//   {"targets": [NAME...], "times": [MS...],          rounds of readings, ms since the epoch
//    "charts": [{"counter", "title", "unit", "kind", "zero",
//                "series": [{"target": INDEX, "values": [NUMBER or null, one per round]}]}],
//    "events": [{"time": MS, "number": N, "kind": "outage"|"back"|"stale"|"fresh"|"message",
//                "target": INDEX or -1, "chart": INDEX or -1 (every chart), "text"}]}
// A null value is a gap: the target gave no number in that round (it was unreachable, stale,
// waiting, failing, or the rate was a first one or a reset).
//
// Nothing here is shared between threads; the session that owns a ReportData renders it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik_host {

// How often a running session writes its report again, so that a session that is killed
// leaves what it had.
inline constexpr std::int64_t kReportRewriteUs = 10'000'000;

// Exact statistics over every reading of one counter of one target. Readings that are not
// finite are counted apart and left out.
class SeriesStatistics {
 public:
  void Add(double value);

  std::size_t count() const { return count_; }
  std::size_t not_finite() const { return not_finite_; }
  double first() const { return first_; }
  double last() const { return last_; }
  double minimum() const { return minimum_; }
  double maximum() const { return maximum_; }
  double mean() const { return count_ == 0 ? 0.0 : sum_ / static_cast<double>(count_); }

 private:
  std::size_t count_ = 0;
  std::size_t not_finite_ = 0;
  double first_ = 0, last_ = 0, minimum_ = 0, maximum_ = 0, sum_ = 0;
};

// The chart rows of a session: one per round of readings, with the number each series showed
// in it or none. Up to `max_rows` rows are kept: when more come, neighbouring rows are merged
// in pairs and from then on each row stands for twice as many rounds, so the charts span the
// whole session. A merged row keeps the time of its first round and the number of its last,
// and has no number when any of its rounds had none, so a gap never disappears.
class ReportTimeline {
 public:
  explicit ReportTimeline(std::size_t max_rows = 1000) : max_rows_(max_rows < 2 ? 2 : max_rows) {}

  // Starts the round read at `time_us`, in which no series has a number yet.
  void StartRound(std::int64_t time_us);
  // The number `series` showed in the current round (ignored before the first round).
  void Set(std::size_t series, double value);

  // The rows, the current round's included: their times, and per series its numbers, NaN for
  // none (series never set are all NaN).
  std::size_t rows() const;
  std::int64_t time_us(std::size_t row) const;
  double value(std::size_t row, std::size_t series) const;

 private:
  struct Row {
    std::int64_t time_us = 0;
    std::vector<double> values;
    std::size_t rounds = 0;  // how many rounds it stands for
  };
  void Fold();  // merges the current round into the rows

  std::size_t max_rows_;
  std::size_t rounds_per_row_ = 1;
  std::vector<Row> rows_;
  bool in_round_ = false;
  Row current_;
};

struct ReportSeries {
  std::string target;
  std::string counter;
  std::string label;
  std::string kind;  // "value", "rate" or empty before any reading
  std::string unit;  // of the readings: "ms", "B/s", "/s"...
  SeriesStatistics statistics;
};

// What a message says about the session, for its mark on the charts.
enum class ReportEventKind {
  kMessage,  // a message of the plug-in or the host
  kOutage,   // a target became unreachable
  kBack,     // an unreachable target answers again
  kStale,    // a target's statistics page stopped moving
  kFresh,    // it moves again
};

struct ReportMessage {
  std::int64_t time_us = 0;
  std::string source;  // the call and measurement, "GetNewData(KeepAliveHits@web1)", or "sarvik-host"
  std::string text;
  ReportEventKind kind = ReportEventKind::kMessage;
  int target = -1;  // the target it is about (an index into ReportData::targets), or -1
};

struct ReportData {
  std::vector<std::string> targets;
  std::int64_t start_us = 0;
  std::int64_t end_us = 0;      // the end of the session, or the time the report was written
  bool running = false;         // the session was still running when the report was written
  double interval_seconds = 0;
  std::string ending;  // how the session ended
  long readings = 0;
  long errors = 0;
  // Per counter and target; charts take the counters in the order of their first series.
  std::vector<ReportSeries> series;
  ReportTimeline timeline;  // its series are the indexes into `series`
  std::vector<ReportMessage> messages;
};

// `text` with &, <, >, " and ' escaped for HTML.
std::string HtmlEscape(std::string_view text);

// The report page.
std::string RenderReport(const ReportData& data);

// Writes `html` to `path` through a temporary file in the same folder, renamed into place, so
// that a reader (or a session killed meanwhile) sees the old report or the new, never a part.
// False with `*error`.
[[nodiscard]] bool WriteReportFile(const std::string& path, const std::string& html, std::string* error);

}  // namespace sarvik_host
