#include "tools/host/report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>

namespace sarvik_host {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(ReportTest, StatisticsCoverEveryReading) {
  SeriesRecord record(8);
  const double values[] = {4, 2, 9, 7, NAN, 3};
  std::int64_t t = 0;
  for (const double value : values) record.Add(t += 1000000, value);
  EXPECT_EQ(5u, record.count());
  EXPECT_EQ(1u, record.not_finite());
  EXPECT_EQ(4, record.first());
  EXPECT_EQ(3, record.last());
  EXPECT_EQ(2, record.minimum());
  EXPECT_EQ(9, record.maximum());
  EXPECT_DOUBLE_EQ(5, record.mean());
}

TEST(ReportTest, ChartPointsAreThinnedButSpanTheSession) {
  SeriesRecord record(10);
  for (int i = 0; i < 1000; ++i) record.Add(i * 1000000LL, i);
  const std::vector<ChartPoint> points = record.Points();
  EXPECT_LE(points.size(), 11u);
  EXPECT_GE(points.size(), 4u);
  EXPECT_EQ(0, points.front().time_us);
  EXPECT_EQ(999000000, points.back().time_us) << "the latest reading is drawn";
  for (std::size_t i = 1; i < points.size(); ++i) EXPECT_LT(points[i - 1].time_us, points[i].time_us);
  EXPECT_EQ(1000u, record.count());
  EXPECT_DOUBLE_EQ(499.5, record.mean());
}

TEST(ReportTest, APageWithAChartPerCounterAndTheStatistics) {
  ReportData data;
  data.targets = {"web1", "web<2>"};
  data.start_us = 1714564800000000;
  data.end_us = data.start_us + 10000000;
  data.interval_seconds = 2;
  data.ending = "end of the duration";
  for (const std::string target : {"web1", "web<2>"}) {
    for (const std::string counter : {"KeepAliveHits", "Active Sessions"}) {
      ReportSeries series;
      series.target = target;
      series.counter = counter;
      series.label = counter + " label";
      series.kind = "rate";
      series.unit = "/s";
      if (target == "web1") {
        for (int i = 0; i < 5; ++i) series.record.Add(data.start_us + i * 2000000LL, i * 1.5);
      }
      data.series.push_back(std::move(series));
    }
  }
  data.messages.push_back({data.start_us + 1000000, "GetNewData(KeepAliveHits@web<2>)", "Could not connect & <fail>"});

  const std::string html = RenderReport(data);
  EXPECT_EQ(0u, html.find("<!DOCTYPE html>"));
  EXPECT_EQ(4u, Count(html, "<svg class=\"chart\""));
  EXPECT_EQ(4u, Count(html, "<tr class=\"series\""));
  EXPECT_EQ(2u, Count(html, "<polyline class=\"line\""));
  EXPECT_EQ(2u, Count(html, "no readings"));
  EXPECT_NE(std::string::npos, html.find("data-target=\"web&lt;2&gt;\" data-counter=\"Active Sessions\""));
  EXPECT_NE(std::string::npos, html.find("Could not connect &amp; &lt;fail&gt;"));
  // First, last, minimum, mean and maximum of 0, 1.5, 3, 4.5, 6.
  EXPECT_NE(std::string::npos,
            html.find("<td class=\"number\">5</td><td class=\"number\">0</td><td class=\"number\">6</td>"
                      "<td class=\"number\">0</td><td class=\"number\">3</td><td class=\"number\">6</td>"))
      << html;
  // Self-contained: no scripts, no links, no external references.
  EXPECT_EQ(std::string::npos, html.find("<script"));
  EXPECT_EQ(std::string::npos, html.find("<link"));
  EXPECT_EQ(std::string::npos, html.find("src="));
  EXPECT_EQ(std::string::npos, html.find("http"));
  EXPECT_EQ(std::string::npos, html.find("url("));
}

TEST(ReportTest, HtmlEscaping) { EXPECT_EQ("a&amp;b&lt;c&gt;&quot;d&#39;", HtmlEscape("a&b<c>\"d'")); }

}  // namespace
}  // namespace sarvik_host
