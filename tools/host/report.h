// The session report: one self-contained HTML file (no scripts, no external resources) with a
// line chart per counter (inline SVG, time on the x axis), a table of first, last, minimum,
// mean and maximum per counter, and the messages with their times.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik_host {

struct ChartPoint {
  std::int64_t time_us;
  double value;
};

// The readings of one counter of one target: exact statistics over every reading, and up to
// `max_points` chart points (when more arrive, every other point is dropped and only every
// second reading is kept from then on, so the chart spans the whole session). Readings that
// are not finite are counted apart and left out of both.
class SeriesRecord {
 public:
  explicit SeriesRecord(std::size_t max_points = 720) : max_points_(max_points < 2 ? 2 : max_points) {}

  void Add(std::int64_t time_us, double value);

  std::size_t count() const { return count_; }
  std::size_t not_finite() const { return not_finite_; }
  double first() const { return first_; }
  double last() const { return last_; }
  double minimum() const { return minimum_; }
  double maximum() const { return maximum_; }
  double mean() const { return count_ == 0 ? 0.0 : sum_ / static_cast<double>(count_); }
  // The chart points, in time order, the latest reading last.
  std::vector<ChartPoint> Points() const;

 private:
  std::size_t max_points_;
  std::size_t count_ = 0;
  std::size_t not_finite_ = 0;
  double first_ = 0, last_ = 0, minimum_ = 0, maximum_ = 0, sum_ = 0;
  ChartPoint last_point_{0, 0};
  std::vector<ChartPoint> points_;
  std::size_t stride_ = 1;   // keep every stride_-th reading
  std::size_t skipped_ = 0;  // readings since the last kept one
};

struct ReportSeries {
  std::string target;
  std::string counter;
  std::string label;
  std::string kind;  // "value", "rate" or empty before any reading
  std::string unit;
  SeriesRecord record;
};

struct ReportMessage {
  std::int64_t time_us;
  std::string source;  // the call and measurement: "GetNewData(KeepAliveHits@web1)"
  std::string text;
};

struct ReportData {
  std::vector<std::string> targets;
  std::int64_t start_us = 0;
  std::int64_t end_us = 0;
  double interval_seconds = 0;
  std::string ending;  // how the session ended
  long readings = 0;
  long errors = 0;
  std::vector<ReportSeries> series;
  std::vector<ReportMessage> messages;
};

// `text` with &, <, >, " and ' escaped for HTML.
std::string HtmlEscape(std::string_view text);

// The report page.
std::string RenderReport(const ReportData& data);

// Writes `html` to `path` (through a temporary file beside it, renamed into place). False with
// `*error`.
[[nodiscard]] bool WriteReportFile(const std::string& path, const std::string& html, std::string* error);

}  // namespace sarvik_host
