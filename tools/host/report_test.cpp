#include "tools/host/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tools/host/report_test_json.h"

namespace sarvik_host {
namespace {

using report_testing::JsonValue;
using report_testing::ReportDataOf;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(ReportTest, StatisticsCoverEveryReading) {
  SeriesStatistics statistics;
  const double values[] = {4.0, 2.0, 9.0, 7.0, NAN, 3.0};
  for (const double value : values) statistics.Add(value);
  EXPECT_EQ(5u, statistics.count());
  EXPECT_EQ(1u, statistics.not_finite());
  EXPECT_EQ(4, statistics.first());
  EXPECT_EQ(3, statistics.last());
  EXPECT_EQ(2, statistics.minimum());
  EXPECT_EQ(9, statistics.maximum());
  EXPECT_DOUBLE_EQ(5, statistics.mean());
}

TEST(ReportTest, ALongSessionIsThinnedButKeepsItsGaps) {
  ReportTimeline timeline(10);
  // Series 0 reads every round but round 500; series 1 never reads.
  for (int round = 0; round < 1000; ++round) {
    timeline.StartRound(round * 1000000LL);
    if (round != 500) timeline.Set(0, round);
  }
  ASSERT_LE(timeline.rows(), 11u);
  ASSERT_GE(timeline.rows(), 4u);
  EXPECT_EQ(0, timeline.time_us(0));
  EXPECT_EQ(999000000, timeline.time_us(timeline.rows() - 1)) << "the latest round is drawn";
  EXPECT_EQ(999, timeline.value(timeline.rows() - 1, 0));
  std::size_t gaps = 0;
  for (std::size_t row = 0; row < timeline.rows(); ++row) {
    if (row > 0) {
      EXPECT_LT(timeline.time_us(row - 1), timeline.time_us(row));
    }
    if (std::isnan(timeline.value(row, 0))) {
      ++gaps;
      // The row that stands for round 500 has no number.
      EXPECT_LE(timeline.time_us(row), 500000000);
      if (row + 1 < timeline.rows()) {
        EXPECT_GT(timeline.time_us(row + 1), 500000000);
      }
    }
    EXPECT_TRUE(std::isnan(timeline.value(row, 1)));
  }
  EXPECT_EQ(1u, gaps) << "merging rounds keeps the one gap, and makes no other";
}

// Two targets, two counters, seven rounds: web2 is unreachable in rounds 2 to 4 and comes back
// with a first rate in round 5 (no number for its rate counter).
ReportData ASessionWithAnOutage() {
  ReportData data;
  data.targets = {"web1", "web<2>"};
  data.start_us = 1714564800000000;
  data.end_us = data.start_us + 16000000;
  data.interval_seconds = 2;
  data.ending = "end of the duration";
  struct Counter {
    const char* text;
    const char* label;
    const char* kind;
    const char* unit;
  };
  const Counter counters[] = {{"KeepAliveHits", "Keep-Alive Hits per Second", "rate", "/s"},
                              {"Delay", "Average Queueing Delay (ms)", "value", "ms"}};
  for (const std::string target : {"web1", "web<2>"}) {
    for (const Counter& counter : counters) {
      ReportSeries series;
      series.target = target;
      series.counter = counter.text;
      series.label = counter.label;
      series.kind = counter.kind;
      series.unit = counter.unit;
      data.series.push_back(std::move(series));
    }
  }
  for (int round = 0; round < 7; ++round) {
    data.timeline.StartRound(data.start_us + round * 2000000LL);
    for (std::size_t s = 0; s < data.series.size(); ++s) {
      const bool web2 = s >= 2;
      if (web2 && round >= 2 && round <= 4) continue;             // unreachable
      if (web2 && round == 5 && s == 2) continue;                  // its first rate after the restart
      const double value = 10.0 * static_cast<double>(s) + round;  // 0..6, 10..16, 20..26, 30..36
      data.timeline.Set(s, value);
      data.series[s].statistics.Add(value);
    }
  }
  data.messages.push_back({data.start_us + 3000000, "sarvik-host", "web<2> unreachable since 12:00:03 (refused); retrying",
                           ReportEventKind::kOutage, 1});
  data.messages.push_back({data.start_us + 4500000, "GetNewData(Delay@web1)", "Counter & <text> not found",
                           ReportEventKind::kMessage, -1});
  data.messages.push_back({data.start_us + 9000000, "sarvik-host", "web<2> back after 6 s", ReportEventKind::kBack, 1});
  return data;
}

TEST(ReportTest, AChartPerCounterWithALinePerTargetAndItsGaps) {
  const ReportData data = ASessionWithAnOutage();
  const std::string html = RenderReport(data);
  ASSERT_EQ(0u, html.find("<!DOCTYPE html>"));
  const std::optional<JsonValue> parsed = ReportDataOf(html);
  ASSERT_TRUE(parsed) << "the page carries its data as JSON";

  const JsonValue& times = *parsed->Find("times");
  ASSERT_EQ(7u, times.items.size());
  EXPECT_EQ(1714564800000.0, times.items[0].number) << "milliseconds since the epoch";
  ASSERT_EQ(2u, parsed->Find("targets")->items.size());
  EXPECT_EQ("web<2>", parsed->Find("targets")->items[1].text);

  const JsonValue& charts = *parsed->Find("charts");
  ASSERT_EQ(2u, charts.items.size()) << "one chart per counter";
  EXPECT_EQ(2u, Count(html, "<figure class=\"chart\""));
  for (std::size_t c = 0; c < 2; ++c) {
    const JsonValue& chart = charts.items[c];
    const JsonValue& series = *chart.Find("series");
    ASSERT_EQ(2u, series.items.size()) << "one line per target";
    EXPECT_EQ(0, series.items[0].Find("target")->number);
    EXPECT_EQ(1, series.items[1].Find("target")->number);
    EXPECT_TRUE(chart.Find("zero")->boolean) << "counts and rates are drawn from zero";
    for (std::size_t t = 0; t < 2; ++t) {
      const JsonValue& values = *series.items[t].Find("values");
      ASSERT_EQ(7u, values.items.size());
      for (std::size_t round = 0; round < 7; ++round) {
        const bool gap = t == 1 && ((round >= 2 && round <= 4) || (round == 5 && c == 0));
        EXPECT_EQ(gap, values.items[round].is_null()) << "chart " << c << " target " << t << " round " << round;
        if (!gap) {
          EXPECT_EQ(10.0 * static_cast<double>(t * 2 + c) + static_cast<double>(round), values.items[round].number);
        }
      }
    }
  }
  // The unit is said once: the rate's label says "per Second", the delay's label its "(ms)".
  EXPECT_EQ("Keep-Alive Hits per Second", charts.items[0].Find("title")->text);
  EXPECT_EQ("Average Queueing Delay (ms)", charts.items[1].Find("title")->text);
  EXPECT_EQ(std::string::npos, html.find("(ms) (ms)"));
  EXPECT_EQ(std::string::npos, html.find("[ms]"));

  // The outage and the recovery mark every chart at web<2>'s index; the plug-in's message about
  // Delay@web1 marks the delay's chart.
  const JsonValue& events = *parsed->Find("events");
  ASSERT_EQ(3u, events.items.size());
  EXPECT_EQ("outage", events.items[0].Find("kind")->text);
  EXPECT_EQ(1, events.items[0].Find("target")->number);
  EXPECT_EQ(-1, events.items[0].Find("chart")->number);
  EXPECT_EQ(1714564803000.0, events.items[0].Find("time")->number);
  EXPECT_EQ("message", events.items[1].Find("kind")->text);
  EXPECT_EQ(1, events.items[1].Find("chart")->number);
  EXPECT_EQ(0, events.items[1].Find("target")->number);
  EXPECT_EQ("Counter & <text> not found", events.items[1].Find("text")->text);
  EXPECT_EQ("back", events.items[2].Find("kind")->text);
  EXPECT_EQ(3, events.items[2].Find("number")->number) << "marks carry the numbers of the messages table";
}

TEST(ReportTest, ChartsFirstThenTheStatisticsReadableWithoutScripts) {
  const std::string html = RenderReport(ASessionWithAnOutage());
  const std::size_t charts = html.find("<h2>Charts</h2>");
  const std::size_t statistics = html.find("<h2>Statistics</h2>");
  const std::size_t messages = html.find("<h2>Messages</h2>");
  ASSERT_NE(std::string::npos, charts);
  ASSERT_NE(std::string::npos, statistics);
  ASSERT_NE(std::string::npos, messages);
  EXPECT_LT(charts, statistics);
  EXPECT_LT(statistics, messages);
  EXPECT_NE(std::string::npos, html.find("<noscript>"));
  EXPECT_EQ(4u, Count(html, "<tr class=\"series\""));
  // web1's delay read 10..16 ms: first, last, minimum, mean and maximum, with their unit.
  EXPECT_NE(std::string::npos, html.find("data-target=\"web1\" data-counter=\"Delay\"><th rowspan=\"2\" title=\"Delay\">"
                                         "Average Queueing Delay (ms)</th><td>web1</td>"
                                         "<td class=\"number\">7</td><td class=\"number\" title=\"10\">10 ms</td>"
                                         "<td class=\"number\" title=\"16\">16 ms</td>"
                                         "<td class=\"number\" title=\"10\">10 ms</td>"
                                         "<td class=\"number\" title=\"13\">13 ms</td>"
                                         "<td class=\"number\" title=\"16\">16 ms</td>"))
      << html.substr(statistics, 3000);
  EXPECT_NE(std::string::npos, html.find("Counter &amp; &lt;text&gt; not found"));
  EXPECT_NE(std::string::npos, html.find("The session ended at 2024-05-01 12:00:16 UTC (end of the duration)"));
  EXPECT_NE(std::string::npos, html.find("<th>Time (UTC)</th>"));
}

TEST(ReportTest, ARunningSessionSaysWhenItWasWritten) {
  ReportData data = ASessionWithAnOutage();
  data.running = true;
  data.ending.clear();
  const std::string html = RenderReport(data);
  EXPECT_NE(std::string::npos, html.find("The session was running when this file was last written, at "
                                         "2024-05-01 12:00:16 UTC"));
  EXPECT_EQ(std::string::npos, html.find("The session ended"));
}

TEST(ReportTest, OneSelfContainedFileThatCarriesDygraphsAndItsLicence) {
  ReportData data = ASessionWithAnOutage();
  data.targets[1] = "</script><script>alert(1)</script>";
  for (ReportSeries& series : data.series) {
    if (series.target == "web<2>") series.target = data.targets[1];
  }
  const std::string html = RenderReport(data);
  EXPECT_EQ(3u, Count(html, "<script>")) << "the error watch, dygraphs and the drawing";
  EXPECT_EQ(4u, Count(html, "</script>")) << "a target's name cannot end a script early";
  const std::optional<JsonValue> parsed = ReportDataOf(html);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(data.targets[1], parsed->Find("targets")->items[1].text);
  EXPECT_NE(std::string::npos, html.find("Dygraph")) << "dygraphs is inlined";
  EXPECT_NE(std::string::npos, html.find("Permission is hereby granted, free of charge")) << "with its licence";
  EXPECT_NE(std::string::npos, html.find("Dan Vanderkam"));
  // Nothing is loaded from elsewhere.
  EXPECT_EQ(std::string::npos, html.find("<link"));
  EXPECT_EQ(std::string::npos, html.find(" src="));
  EXPECT_EQ(std::string::npos, html.find("url("));
  EXPECT_EQ(std::string::npos, html.find("sourceMappingURL"));
}

TEST(ReportTest, ASessionWithoutReadingsStillRenders) {
  ReportData data;
  data.targets = {"web1"};
  data.start_us = data.end_us = 1714564800000000;
  data.running = true;
  ReportSeries series;
  series.target = "web1";
  series.counter = "KeepAliveHits";
  data.series.push_back(series);
  const std::string html = RenderReport(data);
  const std::optional<JsonValue> parsed = ReportDataOf(html);
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->Find("times")->items.empty());
  ASSERT_EQ(1u, parsed->Find("charts")->items.size());
  EXPECT_NE(std::string::npos, html.find("<td class=\"number\">0</td><td class=\"number\">\u2013</td>"));
}

TEST(ReportTest, HtmlEscaping) { EXPECT_EQ("a&amp;b&lt;c&gt;&quot;d&#39;", HtmlEscape("a&b<c>\"d'")); }

}  // namespace
}  // namespace sarvik_host
