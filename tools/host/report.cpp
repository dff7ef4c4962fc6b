#include "tools/host/report.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "tools/host/collection.h"
#include "tools/host/output_format.h"
#include "tools/host/reading_row.h"
#include "tools/host/table_view.h"

namespace sarvik_host {

namespace {

constexpr int kChartWidth = 720;
constexpr int kChartHeight = 200;
constexpr int kLeft = 78;
constexpr int kRight = 12;
constexpr int kTop = 12;
constexpr int kBottom = 30;

const char kStyle[] = R"(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; } h2 { font-size: 1.15em; margin-top: 1.6em; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { border: 1px solid #ccc; padding: 0.25em 0.5em; }
td.number { text-align: right; font-variant-numeric: tabular-nums; }
figure { display: inline-block; margin: 0.6em 0.8em 0.6em 0; }
figcaption { font-size: 0.9em; font-weight: bold; margin-bottom: 0.2em; }
svg.chart { background: #fafafa; border: 1px solid #ddd; }
svg.chart text { font-size: 11px; fill: #555; font-family: sans-serif; }
svg.chart .axis { stroke: #999; stroke-width: 1; }
svg.chart .grid { stroke: #e4e4e4; stroke-width: 1; }
svg.chart .line { fill: none; stroke: #1f6fb2; stroke-width: 1.5; }
svg.chart .dot { fill: #1f6fb2; }
)";

std::string TimeOfDay(std::int64_t time_us) {
  const std::string iso = IsoTime(time_us);
  return iso.substr(11, 8);
}

std::string Coordinate(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Chart(const ReportSeries& series, std::int64_t start_us, std::int64_t end_us) {
  const std::vector<ChartPoint> points = series.record.Points();
  std::string svg = "<svg class=\"chart\" width=\"" + std::to_string(kChartWidth) + "\" height=\"" +
                    std::to_string(kChartHeight) + "\" viewBox=\"0 0 " + std::to_string(kChartWidth) + " " +
                    std::to_string(kChartHeight) + "\" role=\"img\" data-target=\"" + HtmlEscape(series.target) +
                    "\" data-counter=\"" + HtmlEscape(series.counter) + "\">";
  svg += "<title>" + HtmlEscape(series.label) + " (" + HtmlEscape(series.target) + ")</title>";
  const double plot_width = kChartWidth - kLeft - kRight;
  const double plot_height = kChartHeight - kTop - kBottom;
  svg += "<line class=\"axis\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(kChartHeight - kBottom) +
         "\" x2=\"" + std::to_string(kChartWidth - kRight) + "\" y2=\"" + std::to_string(kChartHeight - kBottom) +
         "\"/>";
  svg += "<line class=\"axis\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(kTop) + "\" x2=\"" +
         std::to_string(kLeft) + "\" y2=\"" + std::to_string(kChartHeight - kBottom) + "\"/>";
  if (points.empty()) {
    svg += "<text x=\"" + std::to_string(kLeft + 10) + "\" y=\"" + std::to_string(kTop + 20) +
           "\">no readings</text></svg>";
    return svg;
  }

  double low = series.record.minimum();
  double high = series.record.maximum();
  if (high == low) {
    const double pad = low == 0 ? 1.0 : std::fabs(low) * 0.1;
    low -= pad;
    high += pad;
  }
  std::int64_t t0 = std::min(start_us, points.front().time_us);
  std::int64_t t1 = std::max(end_us, points.back().time_us);
  if (t1 <= t0) t1 = t0 + 1000000;
  const auto x_of = [&](std::int64_t t) {
    return kLeft + plot_width * static_cast<double>(t - t0) / static_cast<double>(t1 - t0);
  };
  const auto y_of = [&](double v) { return kTop + plot_height * (1.0 - (v - low) / (high - low)); };

  // Horizontal grid lines with their values, time labels under the x axis.
  for (int i = 0; i <= 4; ++i) {
    const double v = low + (high - low) * i / 4.0;
    const std::string y = Coordinate(y_of(v));
    svg += "<line class=\"grid\" x1=\"" + std::to_string(kLeft + 1) + "\" y1=\"" + y + "\" x2=\"" +
           std::to_string(kChartWidth - kRight) + "\" y2=\"" + y + "\"/>";
    svg += "<text x=\"" + std::to_string(kLeft - 6) + "\" y=\"" + Coordinate(y_of(v) + 4) +
           "\" text-anchor=\"end\">" + HtmlEscape(DisplayNumber(v)) + "</text>";
  }
  for (int i = 0; i <= 4; ++i) {
    const std::int64_t t = t0 + (t1 - t0) * i / 4;
    const char* anchor = i == 0 ? "start" : (i == 4 ? "end" : "middle");
    svg += "<text x=\"" + Coordinate(x_of(t)) + "\" y=\"" + std::to_string(kChartHeight - kBottom + 18) +
           "\" text-anchor=\"" + anchor + "\">" + TimeOfDay(t) + "</text>";
  }

  if (points.size() == 1) {
    svg += "<circle class=\"dot\" cx=\"" + Coordinate(x_of(points[0].time_us)) + "\" cy=\"" +
           Coordinate(y_of(points[0].value)) + "\" r=\"3\"/>";
  } else {
    svg += "<polyline class=\"line\" points=\"";
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (i > 0) svg += ' ';
      svg += Coordinate(x_of(points[i].time_us)) + "," + Coordinate(y_of(points[i].value));
    }
    svg += "\"/>";
  }
  svg += "</svg>";
  return svg;
}

std::string NumberCell(double value, bool present) {
  return "<td class=\"number\">" + (present ? HtmlEscape(FormatNumber(value)) : std::string("&ndash;")) + "</td>";
}

}  // namespace

void SeriesRecord::Add(std::int64_t time_us, double value) {
  if (!std::isfinite(value)) {
    ++not_finite_;
    return;
  }
  if (count_ == 0) {
    first_ = minimum_ = maximum_ = value;
  } else {
    minimum_ = std::min(minimum_, value);
    maximum_ = std::max(maximum_, value);
  }
  last_ = value;
  sum_ += value;
  ++count_;
  last_point_ = {time_us, value};

  if (skipped_ + 1 < stride_ && !points_.empty()) {
    ++skipped_;
    return;
  }
  skipped_ = 0;
  points_.push_back(last_point_);
  if (points_.size() >= max_points_) {
    std::vector<ChartPoint> kept;
    kept.reserve(points_.size() / 2 + 1);
    for (std::size_t i = 0; i < points_.size(); i += 2) kept.push_back(points_[i]);
    points_ = std::move(kept);
    stride_ *= 2;
  }
}

std::vector<ChartPoint> SeriesRecord::Points() const {
  std::vector<ChartPoint> points = points_;
  if (count_ > 0 && (points.empty() || points.back().time_us != last_point_.time_us)) points.push_back(last_point_);
  return points;
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (const char c : XmlEscape(text)) {
    if (c == '\'') out += "&#39;";
    else out += c;
  }
  return out;
}

std::string RenderReport(const ReportData& data) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  html += "<title>sarvik-host session report</title>\n<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
  html += "<h1>sarvik-host session report</h1>\n";

  std::string targets;
  for (const std::string& target : data.targets) {
    if (!targets.empty()) targets += ", ";
    targets += target;
  }
  const double seconds = static_cast<double>(data.end_us - data.start_us) / 1e6;
  html += "<table class=\"session\">\n";
  html += "<tr><th>Targets</th><td>" + HtmlEscape(targets) + "</td></tr>\n";
  html += "<tr><th>Start</th><td>" + IsoTime(data.start_us) + "</td></tr>\n";
  html += "<tr><th>End</th><td>" + IsoTime(data.end_us) + " (" + HtmlEscape(data.ending) + ")</td></tr>\n";
  html += "<tr><th>Duration</th><td>" + DisplayNumber(std::round(seconds * 10) / 10) + " s</td></tr>\n";
  html += "<tr><th>Interval</th><td>" + DisplayNumber(data.interval_seconds) + " s</td></tr>\n";
  html += "<tr><th>Readings</th><td>" + std::to_string(data.readings) + "</td></tr>\n";
  html += "<tr><th>Errors</th><td>" + std::to_string(data.errors) + "</td></tr>\n";
  html += "</table>\n";

  html += "<h2>Statistics</h2>\n<table class=\"statistics\">\n<thead><tr><th>Target</th><th>Counter</th>"
          "<th>Label</th><th>Kind</th><th>Unit</th><th>Readings</th><th>First</th><th>Last</th><th>Minimum</th>"
          "<th>Mean</th><th>Maximum</th></tr></thead>\n<tbody>\n";
  for (const ReportSeries& series : data.series) {
    const SeriesRecord& record = series.record;
    const bool any = record.count() > 0;
    html += "<tr class=\"series\" data-target=\"" + HtmlEscape(series.target) + "\" data-counter=\"" +
            HtmlEscape(series.counter) + "\"><td>" + HtmlEscape(series.target) + "</td><td>" +
            HtmlEscape(series.counter) + "</td><td>" + HtmlEscape(series.label) + "</td><td>" +
            HtmlEscape(series.kind) + "</td><td>" + HtmlEscape(series.unit) + "</td><td class=\"number\">" +
            std::to_string(record.count()) + "</td>" + NumberCell(record.first(), any) +
            NumberCell(record.last(), any) + NumberCell(record.minimum(), any) + NumberCell(record.mean(), any) +
            NumberCell(record.maximum(), any) + "</tr>\n";
  }
  html += "</tbody>\n</table>\n";

  html += "<h2>Charts</h2>\n";
  std::string current_target;
  for (const ReportSeries& series : data.series) {
    if (data.targets.size() > 1 && series.target != current_target) {
      current_target = series.target;
      html += "<h3>" + HtmlEscape(current_target) + "</h3>\n";
    }
    std::string caption = series.label.empty() ? series.counter : series.label;
    if (!series.unit.empty()) caption += " [" + series.unit + "]";
    html += "<figure><figcaption>" + HtmlEscape(caption) + "</figcaption>" +
            Chart(series, data.start_us, data.end_us) + "</figure>\n";
  }

  html += "<h2>Messages</h2>\n";
  if (data.messages.empty()) {
    html += "<p>The plug-in handed over no message.</p>\n";
  } else {
    html += "<table class=\"messages\">\n<thead><tr><th>Time</th><th>Call</th><th>Message</th></tr></thead>\n"
            "<tbody>\n";
    for (const ReportMessage& message : data.messages) {
      html += "<tr><td>" + IsoTime(message.time_us) + "</td><td>" + HtmlEscape(message.source) + "</td><td>" +
              HtmlEscape(message.text) + "</td></tr>\n";
    }
    html += "</tbody>\n</table>\n";
  }
  html += "</body>\n</html>\n";
  return html;
}

bool WriteReportFile(const std::string& path, const std::string& html, std::string* error) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(html.data(), 1, html.size(), file) == html.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace sarvik_host
