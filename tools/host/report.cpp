#include "tools/host/report.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "tools/host/collection.h"
#include "tools/host/output_format.h"
#include "tools/host/readable_number.h"
#include "tools/host/reading_row.h"
#include "tools/host/report_dygraphs.h"

namespace sarvik_host {

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

const char kStyle[] = R"(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
h1 { font-size: 1.4em; margin-bottom: 0.3em; } h2 { font-size: 1.15em; margin-top: 1.6em; }
p.state { margin-top: 0; } p.state.running { color: #8a5a00; } p.key { font-size: 0.9em; color: #444; max-width: 70em; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { border: 1px solid #ccc; padding: 0.25em 0.5em; vertical-align: top; }
th { background: #f3f3f3; text-align: left; }
td.number { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
div.charts { display: grid; grid-template-columns: repeat(auto-fill, minmax(34em, 1fr)); gap: 1.2em 1.5em; }
figure.chart { margin: 0; min-width: 0; }
figure.chart figcaption { font-weight: bold; font-size: 0.95em; margin-bottom: 0.3em; }
div.plot { width: 100%; height: 240px; }
div.legend { font-size: 0.8em; min-height: 1.4em; margin-top: 0.2em; }
div.legend .dygraph-legend-line { margin-right: 0.2em; }
p.empty { color: #777; font-style: italic; }
details.licence pre { font-size: 0.8em; white-space: pre-wrap; }
footer { margin-top: 2em; font-size: 0.85em; color: #555; }
)";

// Catches what goes wrong in any script of the page and says so in the page, where a reader
// (or a test) sees it.
const char kErrorWatch[] = R"(
window.addEventListener('error', function (event) {
  var errors = document.body.getAttribute('data-script-errors') || '';
  document.body.setAttribute('data-script-errors', errors + (errors ? ' | ' : '') + event.message);
});
)";

// Draws the charts from the page's data with dygraphs.
const char kDrawCharts[] = R"(
(function () {
  'use strict';
  var data = JSON.parse(document.getElementById('report-data').textContent);
  var palette = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#7f7f7f',
                 '#bcbd22', '#17becf'];
  function colorOf(target) {
    if (target < 0) return '#555555';
    if (target < palette.length) return palette[target];
    return 'hsl(' + ((target * 137) % 360) + ', 60%, 40%)';
  }
  function significant(number) {
    var text = Number(number.toPrecision(3)).toString();
    return Math.abs(number) >= 1000 ? String(Math.round(number)) : text;
  }
  var multipliers = [[1e12, 'T'], [1e9, 'G'], [1e6, 'M'], [1e3, 'k']];
  // Tick labels: the chart's unit is in its title; large numbers take a multiplier.
  function tickText(number) {
    for (var i = 0; i < multipliers.length; ++i) {
      if (Math.abs(number) >= multipliers[i][0]) {
        return Number((number / multipliers[i][0]).toPrecision(6)).toString() + multipliers[i][1];
      }
    }
    return Number(number.toPrecision(6)).toString();
  }
  var times = {ns: 1e-9, us: 1e-6, '\u00b5s': 1e-6, ms: 1e-3, s: 1};
  var bytes = /^([kKMGTP]?)(B|bit|Hz)$/;
  // A reading for a person, as the statistics table writes it: "14.3 kB/s", "500 \u00b5s".
  function readable(number, unit) {
    if (number === null || !isFinite(number)) return '\u2013';
    var rate = unit.length > 2 && unit.slice(-2) === '/s' && unit !== '/s';
    var base = rate ? unit.slice(0, -2) : unit;
    var suffix = rate ? '/s' : '';
    if (number === 0) return '0' + (unit ? ' ' + unit : '');
    if (times.hasOwnProperty(base)) {
      var seconds = number * times[base];
      var scales = [[1, 's'], [1e-3, 'ms'], [1e-6, '\u00b5s'], [1e-9, 'ns']];
      for (var i = 0; i < scales.length; ++i) {
        if (Math.abs(seconds) >= scales[i][0] * 0.9995 || i === scales.length - 1) {
          return significant(seconds / scales[i][0]) + ' ' + scales[i][1] + suffix;
        }
      }
    }
    var match = bytes.exec(base);
    if (match) {
      var steps = ['', 'k', 'M', 'G', 'T', 'P'];
      var step = Math.max(0, steps.indexOf(match[1].toLowerCase() === 'k' ? 'k' : match[1]));
      var value = number;
      while (Math.abs(value) >= 999.5 && step < steps.length - 1) { value /= 1000; ++step; }
      return significant(value) + ' ' + steps[step] + match[2] + suffix;
    }
    for (var m = 0; m < multipliers.length; ++m) {
      if (Math.abs(number) >= multipliers[m][0] * 0.9995) {
        return significant(number / multipliers[m][0]) + ' ' + multipliers[m][1] + (unit ? ' ' + unit : '');
      }
    }
    return significant(number) + (unit ? ' ' + unit : '');
  }

  // Shades where a target was unreachable or stale, and marks each message with its number.
  function drawEvents(context, area, graph, chartIndex) {
    var x = function (ms) { return Math.max(area.x, Math.min(area.x + area.w, graph.toDomXCoord(ms))); };
    data.targets.forEach(function (name, target) {
      var since = null, kind = null;
      var shade = function (end) {
        if (since === null) return;
        var x0 = x(since), x1 = x(end);
        context.fillStyle = kind === 'outage' ? 'rgba(214, 39, 40, 0.13)' : 'rgba(120, 120, 120, 0.16)';
        context.fillRect(x0, area.y, Math.max(1, x1 - x0), area.h);
        context.fillStyle = colorOf(target);
        context.fillRect(x0, area.y + area.h - 4, Math.max(1, x1 - x0), 4);
        since = null;
      };
      data.events.forEach(function (event) {
        if (event.target !== target) return;
        if (event.kind === 'outage' || event.kind === 'stale') {
          shade(event.time);
          since = event.time;
          kind = event.kind;
        } else if (event.kind === 'back' || event.kind === 'fresh') {
          shade(event.time);
        }
      });
      shade(data.end);
    });
    var lastX = -1e9, row = 0, marks = 0;
    context.font = '11px sans-serif';
    data.events.forEach(function (event) {
      if (event.chart !== -1 && event.chart !== chartIndex) return;
      var at = graph.toDomXCoord(event.time);
      if (at < area.x - 1 || at > area.x + area.w + 1 || ++marks > 60) return;
      context.save();
      context.strokeStyle = colorOf(event.target);
      context.lineWidth = 1;
      if (context.setLineDash) context.setLineDash([4, 3]);
      context.beginPath();
      context.moveTo(at, area.y);
      context.lineTo(at, area.y + area.h);
      context.stroke();
      context.restore();
      row = at - lastX < 16 ? (row + 1) % 4 : 0;
      lastX = at;
      context.fillStyle = colorOf(event.target);
      context.fillText(String(event.number), at + 2, area.y + 11 + 11 * row);
    });
  }

  var drawn = 0;
  data.charts.forEach(function (chart, index) {
    var figure = document.getElementById('chart-' + index);
    var plot = figure.querySelector('.plot');
    if (data.times.length === 0) {
      plot.outerHTML = '<p class="empty">No readings yet.</p>';
      return;
    }
    var rows = data.times.map(function (time, row) {
      return [new Date(time)].concat(chart.series.map(function (series) { return series.values[row]; }));
    });
    var span = [data.start, Math.max(data.end, data.times[data.times.length - 1])];
    new Dygraph(plot, rows, {
      labels: ['Time (UTC)'].concat(chart.series.map(function (series) { return data.targets[series.target]; })),
      colors: chart.series.map(function (series) { return colorOf(series.target); }),
      labelsUTC: true,
      xlabel: 'Time (UTC)',
      legend: 'always',
      labelsDiv: figure.querySelector('.legend'),
      includeZero: chart.zero,
      drawGapEdgePoints: true,
      strokeWidth: 1.5,
      dateWindow: span[1] > span[0] ? span : null,
      axisLabelFontSize: 12,
      axes: {
        x: {
          axisLabelWidth: 70,
          pixelsPerLabel: 90,
          valueFormatter: function (ms) { return new Date(ms).toISOString().slice(0, 19).replace('T', ' ') + ' UTC'; }
        },
        y: {
          axisLabelWidth: 60,
          axisLabelFormatter: function (number) { return tickText(number); },
          valueFormatter: function (number) { return readable(number, chart.unit); }
        }
      },
      underlayCallback: function (context, area, graph) { drawEvents(context, area, graph, index); }
    });
    ++drawn;
  });
  document.body.setAttribute('data-charts-drawn', String(drawn));
})();
)";

// "2024-05-01 12:00:03 UTC"
std::string UtcTime(std::int64_t time_us) {
  const std::string iso = IsoTime(time_us);
  return iso.substr(0, 10) + " " + iso.substr(11, 8) + " UTC";
}

// "12:00:03"
std::string UtcClock(std::int64_t time_us) { return IsoTime(time_us).substr(11, 8); }

std::int64_t Milliseconds(std::int64_t time_us) { return time_us / 1000; }

const char* EventKindName(ReportEventKind kind) {
  switch (kind) {
    case ReportEventKind::kOutage: return "outage";
    case ReportEventKind::kBack: return "back";
    case ReportEventKind::kStale: return "stale";
    case ReportEventKind::kFresh: return "fresh";
    case ReportEventKind::kMessage:
    default: return "message";
  }
}

// A number in JSON: null when it is not finite.
void AppendJsonNumber(double number, std::string* out) {
  if (std::isfinite(number)) {
    *out += FormatNumber(number);
  } else {
    *out += "null";
  }
}

// One chart per counter, in the order of the counters' first series.
struct Chart {
  std::string counter;
  std::vector<std::size_t> series;  // indexes into ReportData::series, in the targets' order
};

std::vector<Chart> ChartsOf(const ReportData& data) {
  std::vector<Chart> charts;
  for (std::size_t s = 0; s < data.series.size(); ++s) {
    const std::string& counter = data.series[s].counter;
    auto chart = std::find_if(charts.begin(), charts.end(), [&](const Chart& c) { return c.counter == counter; });
    if (chart == charts.end()) {
      charts.push_back({counter, {}});
      chart = charts.end() - 1;
    }
    chart->series.push_back(s);
  }
  return charts;
}

int TargetIndex(const ReportData& data, const std::string& target) {
  for (std::size_t t = 0; t < data.targets.size(); ++t) {
    if (data.targets[t] == target) return static_cast<int>(t);
  }
  return -1;
}

// The unit of a chart: the readings' (a rate's has "/s"), or the counter's before any reading.
std::string ChartUnit(const ReportData& data, const Chart& chart) {
  for (const std::size_t s : chart.series) {
    if (!data.series[s].kind.empty()) return data.series[s].unit;
  }
  return data.series[chart.series.front()].unit;
}

// The chart's title: the counter's label, with its unit when the label does not already end
// with it in parentheses.
std::string ChartTitle(const ReportData& data, const Chart& chart, const std::string& unit) {
  const ReportSeries& first = data.series[chart.series.front()];
  std::string title = first.label.empty() ? first.counter : first.label;
  if (unit.empty()) return title;
  if (title.find("(" + unit + ")") != std::string::npos) return title;
  // "Requests per Second" already says "/s".
  std::string lower = title;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const bool rate = unit.size() >= 2 && unit.compare(unit.size() - 2, 2, "/s") == 0;
  if (rate && lower.find("per second") != std::string::npos) {
    const std::string base = unit.substr(0, unit.size() - 2);
    if (base.empty() || title.find("(" + base + ")") != std::string::npos) return title;
  }
  return title + " (" + unit + ")";
}

// The message's chart: the one of the counter it names as "CALL(COUNTER@TARGET)", or -1.
int MessageChart(const ReportData& data, const std::vector<Chart>& charts, const ReportMessage& message, int* target) {
  for (std::size_t c = 0; c < charts.size(); ++c) {
    for (const std::size_t s : charts[c].series) {
      const ReportSeries& series = data.series[s];
      const std::string subject = "(" + series.counter + "@" + series.target + ")";
      if (message.source.size() >= subject.size() &&
          message.source.compare(message.source.size() - subject.size(), subject.size(), subject) == 0) {
        *target = TargetIndex(data, series.target);
        return static_cast<int>(c);
      }
    }
  }
  return -1;
}

std::string DataJson(const ReportData& data, const std::vector<Chart>& charts) {
  std::string json = "{\"targets\":[";
  for (std::size_t t = 0; t < data.targets.size(); ++t) {
    if (t > 0) json += ',';
    AppendJsonString(data.targets[t], &json);
  }
  json += "],\"start\":" + std::to_string(Milliseconds(data.start_us));
  json += ",\"end\":" + std::to_string(Milliseconds(data.end_us));
  json += ",\"times\":[";
  const ReportTimeline& timeline = data.timeline;
  for (std::size_t r = 0; r < timeline.rows(); ++r) {
    if (r > 0) json += ',';
    json += std::to_string(Milliseconds(timeline.time_us(r)));
  }
  json += "],\"charts\":[";
  for (std::size_t c = 0; c < charts.size(); ++c) {
    const Chart& chart = charts[c];
    const std::string unit = ChartUnit(data, chart);
    bool negative = false;
    std::string kind;
    for (const std::size_t s : chart.series) {
      const ReportSeries& series = data.series[s];
      if (series.statistics.count() > 0 && series.statistics.minimum() < 0) negative = true;
      if (kind.empty()) kind = series.kind;
    }
    if (c > 0) json += ',';
    json += "{\"counter\":";
    AppendJsonString(chart.counter, &json);
    json += ",\"title\":";
    AppendJsonString(ChartTitle(data, chart, unit), &json);
    json += ",\"unit\":";
    AppendJsonString(unit, &json);
    json += ",\"kind\":";
    AppendJsonString(kind, &json);
    // Rates and counts are drawn from zero, so that a small change does not look like a large one.
    json += std::string(",\"zero\":") + (negative ? "false" : "true");
    json += ",\"series\":[";
    for (std::size_t i = 0; i < chart.series.size(); ++i) {
      const std::size_t s = chart.series[i];
      if (i > 0) json += ',';
      json += "{\"target\":" + std::to_string(TargetIndex(data, data.series[s].target)) + ",\"values\":[";
      for (std::size_t r = 0; r < timeline.rows(); ++r) {
        if (r > 0) json += ',';
        AppendJsonNumber(timeline.value(r, s), &json);
      }
      json += "]}";
    }
    json += "]}";
  }
  json += "],\"events\":[";
  for (std::size_t m = 0; m < data.messages.size(); ++m) {
    const ReportMessage& message = data.messages[m];
    int target = message.target;
    int chart = -1;
    if (message.kind == ReportEventKind::kMessage) chart = MessageChart(data, charts, message, &target);
    if (m > 0) json += ',';
    json += "{\"time\":" + std::to_string(Milliseconds(message.time_us)) + ",\"number\":" + std::to_string(m + 1) +
            ",\"kind\":\"" + EventKindName(message.kind) + "\",\"target\":" + std::to_string(target) +
            ",\"chart\":" + std::to_string(chart) + ",\"text\":";
    AppendJsonString(message.text, &json);
    json += '}';
  }
  json += "]}";
  // Inside a script element, "</script" would end it early: every "<" is written as its escape,
  // which is the same JSON.
  std::string safe;
  safe.reserve(json.size());
  for (const char c : json) {
    if (c == '<') {
      safe += "\\u003c";
    } else {
      safe += c;
    }
  }
  return safe;
}

std::string NumberCell(double value, const std::string& unit, bool present) {
  if (!present) return "<td class=\"number\">" + std::string(kNoNumber) + "</td>";
  return "<td class=\"number\" title=\"" + HtmlEscape(FormatNumber(value)) + "\">" +
         HtmlEscape(ReadableNumber(value, unit)) + "</td>";
}

void AppendSession(const ReportData& data, std::string* html) {
  std::string& out = *html;
  if (data.running) {
    out += "<p class=\"state running\">The session was running when this file was last written, at " +
           UtcTime(data.end_us) + ". A running session writes it again every " +
           DisplayNumber(static_cast<double>(kReportRewriteUs) / 1e6) +
           " s; if it is no longer running, it ended without writing its end here (it was killed).</p>\n";
  } else {
    out += "<p class=\"state ended\">The session ended at " + UtcTime(data.end_us) + " (" + HtmlEscape(data.ending) +
           ").</p>\n";
  }
  std::string targets;
  for (const std::string& target : data.targets) {
    if (!targets.empty()) targets += ", ";
    targets += target;
  }
  const double seconds = static_cast<double>(data.end_us - data.start_us) / 1e6;
  out += "<table class=\"session\">\n";
  out += "<tr><th>Targets</th><td>" + HtmlEscape(targets) + "</td></tr>\n";
  out += "<tr><th>Start</th><td>" + UtcTime(data.start_us) + "</td></tr>\n";
  out += std::string("<tr><th>") + (data.running ? "Written" : "End") + "</th><td>" + UtcTime(data.end_us) + "</td></tr>\n";
  out += "<tr><th>Duration</th><td>" + HtmlEscape(ReadableNumber(std::round(seconds), "s")) + "</td></tr>\n";
  out += "<tr><th>Interval</th><td>" + DisplayNumber(data.interval_seconds) + " s</td></tr>\n";
  out += "<tr><th>Readings</th><td>" + std::to_string(data.readings) + "</td></tr>\n";
  out += "<tr><th>Errors</th><td>" + std::to_string(data.errors) + "</td></tr>\n";
  out += "</table>\n";
}

void AppendStatistics(const ReportData& data, const std::vector<Chart>& charts, std::string* html) {
  std::string& out = *html;
  out += "<h2>Statistics</h2>\n<table class=\"statistics\">\n<thead><tr><th>Counter</th><th>Target</th>"
         "<th>Readings</th><th>First</th><th>Last</th><th>Minimum</th><th>Mean</th><th>Maximum</th></tr></thead>\n"
         "<tbody>\n";
  for (const Chart& chart : charts) {
    const std::string unit = ChartUnit(data, chart);
    for (std::size_t i = 0; i < chart.series.size(); ++i) {
      const ReportSeries& series = data.series[chart.series[i]];
      const SeriesStatistics& statistics = series.statistics;
      const bool any = statistics.count() > 0;
      out += "<tr class=\"series\" data-target=\"" + HtmlEscape(series.target) + "\" data-counter=\"" +
             HtmlEscape(series.counter) + "\">";
      if (i == 0) {
        out += "<th rowspan=\"" + std::to_string(chart.series.size()) + "\" title=\"" + HtmlEscape(series.counter) +
               "\">" + HtmlEscape(ChartTitle(data, chart, unit)) + "</th>";
      }
      out += "<td>" + HtmlEscape(series.target) + "</td><td class=\"number\">" + std::to_string(statistics.count()) +
             "</td>" + NumberCell(statistics.first(), series.unit, any) +
             NumberCell(statistics.last(), series.unit, any) + NumberCell(statistics.minimum(), series.unit, any) +
             NumberCell(statistics.mean(), series.unit, any) + NumberCell(statistics.maximum(), series.unit, any) +
             "</tr>\n";
    }
  }
  out += "</tbody>\n</table>\n";
}

void AppendMessages(const ReportData& data, std::string* html) {
  std::string& out = *html;
  out += "<h2>Messages</h2>\n";
  if (data.messages.empty()) {
    out += "<p>No messages.</p>\n";
    return;
  }
  out += "<table class=\"messages\">\n<thead><tr><th>#</th><th>Time (UTC)</th><th>From</th><th>Message</th></tr>"
         "</thead>\n<tbody>\n";
  for (std::size_t m = 0; m < data.messages.size(); ++m) {
    const ReportMessage& message = data.messages[m];
    out += "<tr class=\"" + std::string(EventKindName(message.kind)) + "\"><td class=\"number\">" +
           std::to_string(m + 1) + "</td><td>" + UtcClock(message.time_us) + "</td><td>" +
           HtmlEscape(message.source) + "</td><td>" + HtmlEscape(message.text) + "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n";
}

}  // namespace

void SeriesStatistics::Add(double value) {
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
}

void ReportTimeline::StartRound(std::int64_t time_us) {
  if (in_round_) Fold();
  in_round_ = true;
  current_.time_us = time_us;
  std::fill(current_.values.begin(), current_.values.end(), kNoValue);
  current_.rounds = 1;
}

void ReportTimeline::Set(std::size_t series, double value) {
  if (!in_round_) return;
  if (series >= current_.values.size()) current_.values.resize(series + 1, kNoValue);
  current_.values[series] = value;
}

void ReportTimeline::Fold() {
  // A row stands for up to rounds_per_row_ rounds: the first round opens it, later ones merge.
  if (rows_.empty() || rows_.back().rounds >= rounds_per_row_) {
    rows_.push_back(current_);
  } else {
    Row& row = rows_.back();
    if (row.values.size() < current_.values.size()) row.values.resize(current_.values.size(), kNoValue);
    for (std::size_t s = 0; s < row.values.size(); ++s) {
      const double next = s < current_.values.size() ? current_.values[s] : kNoValue;
      row.values[s] = std::isnan(row.values[s]) ? kNoValue : next;
    }
    ++row.rounds;
  }
  if (rows_.size() >= max_rows_ && rows_.back().rounds >= rounds_per_row_) {
    std::vector<Row> merged;
    merged.reserve(rows_.size() / 2 + 1);
    for (std::size_t r = 0; r < rows_.size(); r += 2) {
      Row row = rows_[r];
      if (r + 1 < rows_.size()) {
        const Row& later = rows_[r + 1];
        if (row.values.size() < later.values.size()) row.values.resize(later.values.size(), kNoValue);
        for (std::size_t s = 0; s < row.values.size(); ++s) {
          const double next = s < later.values.size() ? later.values[s] : kNoValue;
          row.values[s] = std::isnan(row.values[s]) ? kNoValue : next;
        }
        row.rounds += later.rounds;
      }
      merged.push_back(std::move(row));
    }
    rows_ = std::move(merged);
    rounds_per_row_ *= 2;
  }
  in_round_ = false;
}

std::size_t ReportTimeline::rows() const { return rows_.size() + (in_round_ ? 1 : 0); }

std::int64_t ReportTimeline::time_us(std::size_t row) const {
  return row < rows_.size() ? rows_[row].time_us : current_.time_us;
}

double ReportTimeline::value(std::size_t row, std::size_t series) const {
  const Row& which = row < rows_.size() ? rows_[row] : current_;
  return series < which.values.size() ? which.values[series] : kNoValue;
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
  const std::vector<Chart> charts = ChartsOf(data);
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  html += "<title>sarvik-host session report</title>\n<style>";
  html += DygraphsStyle();
  html += kStyle;
  html += "</style>\n</head>\n<body>\n<h1>sarvik-host session report</h1>\n";
  AppendSession(data, &html);

  html += "<h2>Charts</h2>\n<noscript><p>The charts need JavaScript; the statistics and the messages below do not."
          "</p></noscript>\n";
  html += "<p class=\"key\">Times are UTC. One line per target; a line stops where its target gave no number (it "
          "was unreachable or stale, or the rate was its first or followed a restart). Shaded: a target unreachable "
          "(red) or stale (grey), with the target's colour along the bottom. The numbered dashed lines are the "
          "messages listed under Messages. Drag to zoom, double-click to zoom out.</p>\n";
  html += "<div class=\"charts\">\n";
  for (std::size_t c = 0; c < charts.size(); ++c) {
    const std::string unit = ChartUnit(data, charts[c]);
    html += "<figure class=\"chart\" id=\"chart-" + std::to_string(c) + "\" data-counter=\"" +
            HtmlEscape(charts[c].counter) + "\"><figcaption title=\"" + HtmlEscape(charts[c].counter) + "\">" +
            HtmlEscape(ChartTitle(data, charts[c], unit)) +
            "</figcaption><div class=\"plot\"></div><div class=\"legend\"></div></figure>\n";
  }
  html += "</div>\n";

  AppendStatistics(data, charts, &html);
  AppendMessages(data, &html);

  html += "<footer>Charts drawn with dygraphs ";
  html += DygraphsVersion();
  html += ", carried inside this file under the MIT licence:\n<details class=\"licence\"><summary>dygraphs' "
          "copyright and licence</summary><pre>";
  html += HtmlEscape(DygraphsLicence());
  html += "</pre></details></footer>\n";

  html += "<script>";
  html += kErrorWatch;
  html += "</script>\n<script type=\"application/json\" id=\"report-data\">";
  html += DataJson(data, charts);
  html += "</script>\n<script>/*! dygraphs ";
  html += DygraphsVersion();
  html += ", MIT licence; the notice is in the page's footer. */\n";
  html += DygraphsScript();
  html += "\n</script>\n<script>";
  html += kDrawCharts;
  html += "</script>\n</body>\n</html>\n";
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
  // std::filesystem::rename replaces the file on Windows too, where std::rename refuses to.
  std::error_code renamed;
  if (written && closed) std::filesystem::rename(temporary, path, renamed);
  if (!written || !closed || renamed) {
    *error = "cannot write " + path + ": " + (renamed ? renamed.message() : std::string(std::strerror(errno)));
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace sarvik_host
