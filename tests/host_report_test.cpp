// The session report as an operator gets it: sarvik-host watches two statistics servers, one of
// them is killed and started again on its port, and the host itself is killed with SIGKILL. The
// report it rewrote while running must hold the readings, the gap of the outage and its marks;
// and Debian's chromium, headless and offline, must draw its charts without a script error (the
// screenshot is kept in test-artifacts/report.png). Every program is started here, bounded in
// time and stopped here.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "tests/child_process.h"
#include "tests/test_files.h"
#include "tools/host/report_test_json.h"

namespace {

using sarvik_host::report_testing::JsonValue;
using sarvik_host::report_testing::ReportDataOf;

constexpr char kChromium[] = "/usr/bin/chromium";
constexpr char kTimeout[] = "/usr/bin/timeout";

// The report's data as it stands in the file; nothing while the file is missing or not a report.
std::optional<JsonValue> ReportData(const std::string& path) { return ReportDataOf(ReadText(path)); }

// The number of the target `name`, or -1.
int TargetIndex(const JsonValue& data, const std::string& name) {
  const JsonValue& targets = *data.Find("targets");
  for (std::size_t t = 0; t < targets.items.size(); ++t) {
    if (targets.items[t].text == name) return static_cast<int>(t);
  }
  return -1;
}

// The time of the first event of `kind` about target `target`, or nothing.
std::optional<double> EventTime(const JsonValue& data, const std::string& kind, int target) {
  for (const JsonValue& event : data.Find("events")->items) {
    if (event.Find("kind")->text == kind && event.Find("target")->number == target) {
      return event.Find("time")->number;
    }
  }
  return std::nullopt;
}

// True when some chart has a number for `target` in a round after `after_ms`.
bool NumberAfter(const JsonValue& data, int target, double after_ms) {
  const JsonValue& times = *data.Find("times");
  for (const JsonValue& chart : data.Find("charts")->items) {
    for (const JsonValue& series : chart.Find("series")->items) {
      if (series.Find("target")->number != target) continue;
      const JsonValue& values = *series.Find("values");
      for (std::size_t r = 0; r < values.items.size() && r < times.items.size(); ++r) {
        if (times.items[r].number > after_ms && !values.items[r].is_null()) return true;
      }
    }
  }
  return false;
}

// Runs chromium headless on `page` (a file) with no network and no profile of its own; its
// standard output and errors go to `output`. True when it ended well within its time.
bool RunChromium(const std::string& profile, const std::vector<std::string>& mode, const std::string& page,
                 const std::string& output) {
  std::vector<std::string> arguments{"120", kChromium, "--headless", "--no-sandbox", "--disable-gpu",
                                     "--user-data-dir=" + profile, "--no-first-run", "--no-default-browser-check",
                                     "--disable-extensions", "--disable-background-networking", "--disable-sync",
                                     "--disable-component-update", "--host-resolver-rules=MAP * ~NOTFOUND",
                                     "--enable-logging=stderr", "--v=0", "--virtual-time-budget=10000",
                                     "--window-size=1400,2400"};
  arguments.insert(arguments.end(), mode.begin(), mode.end());
  arguments.push_back("file://" + page);
  ChildProcess browser(kTimeout, arguments, output);
  return browser.WaitForExit(150) && browser.exit_status() == 0;
}

TEST(HostReportTest, AnOutageAndAKilledSessionLeaveAReportThatABrowserDraws) {
  StatisticsServer steady({"--interval", "200"});
  auto restarted = std::make_unique<StatisticsServer>(std::vector<std::string>{"--interval", "200"});
  ASSERT_GT(steady.port(), 0);
  ASSERT_GT(restarted->port(), 0);
  const int port = restarted->port();
  const std::string steady_name = "127.0.0.1:" + std::to_string(steady.port());
  const std::string restarted_name = "127.0.0.1:" + std::to_string(port);

  TemporaryDirectory directory;
  const std::string report = directory.path() + "/session.html";
  ChildProcess host(Staged("bin/sarvik-host"),
                    {"monitor", steady_name, restarted_name, "--all", "--interval", "1", "--duration", "280",
                     "--format", "csv", "--report", report},
                    directory.path() + "/out", directory.path() + "/err");
  const auto errors = [&] { return ReadText(directory.path() + "/err"); };

  // The report exists from the start, and a rewrite brings the readings of both servers.
  ASSERT_TRUE(WaitFor([&] { return ReportData(report).has_value(); }, 60)) << errors();
  std::optional<JsonValue> data;
  ASSERT_TRUE(WaitFor([&] {
    data = ReportData(report);
    return data && TargetIndex(*data, restarted_name) == 1 && NumberAfter(*data, 0, 0) && NumberAfter(*data, 1, 0);
  }, 60)) << errors();
  EXPECT_NE(std::string::npos, ReadText(report).find("The session was running when this file was last written"));

  restarted->Kill();
  ASSERT_TRUE(WaitFor([&] {
    data = ReportData(report);
    return data && EventTime(*data, "outage", 1).has_value();
  }, 90)) << "the outage is marked\n" << errors();
  restarted = std::make_unique<StatisticsServer>(std::vector<std::string>{"--interval", "200"}, port);
  ASSERT_EQ(port, restarted->port());
  ASSERT_TRUE(WaitFor([&] {
    data = ReportData(report);
    if (!data) return false;
    const std::optional<double> back = EventTime(*data, "back", 1);
    return back && NumberAfter(*data, 1, *back);
  }, 120)) << "the recovery is marked and the readings come again\n" << errors();

  // Killed, the session cannot finish; what it wrote last stays.
  host.Signal(SIGKILL);
  ASSERT_TRUE(host.WaitForExit(30));
  const std::string html = ReadText(report);
  data = ReportDataOf(html);
  ASSERT_TRUE(data) << html.substr(0, 500);
  EXPECT_NE(std::string::npos, html.find("The session was running when this file was last written"));
  EXPECT_EQ(std::string::npos, html.find("The session ended"));

  const double outage = *EventTime(*data, "outage", 1);
  const double back = *EventTime(*data, "back", 1);
  ASSERT_LT(outage, back);
  const JsonValue& times = *data->Find("times");
  const JsonValue& charts = *data->Find("charts");
  EXPECT_GE(charts.items.size(), 20u) << "a chart per counter of the configuration";
  std::size_t steady_numbers_in_outage = 0;
  for (const JsonValue& chart : charts.items) {
    const std::string counter = chart.Find("counter")->text;
    const JsonValue& series = *chart.Find("series");
    ASSERT_EQ(2u, series.items.size()) << counter << ": a line per server";
    EXPECT_EQ(1, series.items[1].Find("target")->number);
    const JsonValue& steady_values = *series.items[0].Find("values");
    const JsonValue& restarted_values = *series.items[1].Find("values");
    ASSERT_EQ(times.items.size(), steady_values.items.size()) << counter;
    ASSERT_EQ(times.items.size(), restarted_values.items.size()) << counter;
    for (std::size_t r = 0; r < times.items.size(); ++r) {
      // Between the announcement of the outage and that of the recovery the killed server gave
      // no number: its line has a gap there.
      const double time = times.items[r].number;
      if (time > outage + 1 && time < back - 1500) {
        EXPECT_TRUE(restarted_values.items[r].is_null()) << counter << " at " << time;
        if (!steady_values.items[r].is_null()) ++steady_numbers_in_outage;
      }
    }
  }
  EXPECT_GT(steady_numbers_in_outage, 0u) << "the other server's lines go on through the outage";
  EXPECT_NE(std::string::npos, html.find(restarted_name + " unreachable since "));
  EXPECT_NE(std::string::npos, html.find(restarted_name + " back after "));
  EXPECT_EQ(Count(html, "<figure class=\"chart\""), charts.items.size());

  // The browser draws every chart, offline, without a script error.
  if (access(kChromium, X_OK) != 0) {
    const char* ci = std::getenv("CI");
    ASSERT_FALSE(ci != nullptr && std::string(ci) == "true") << kChromium << " is missing: ./sarvik test installs it";
    GTEST_SKIP() << kChromium << " is missing, so the charts were not drawn in a browser; ./sarvik test installs "
                 << "Debian's chromium";
  }
  TemporaryDirectory profile;
  const std::string dom_file = directory.path() + "/dom.html";
  ASSERT_TRUE(RunChromium(profile.path(), {"--dump-dom"}, report, dom_file)) << ReadText(dom_file).substr(0, 3000);
  const std::string dom = ReadText(dom_file);
  EXPECT_NE(std::string::npos, dom.find("data-charts-drawn=\"" + std::to_string(charts.items.size()) + "\""))
      << dom.substr(0, 2000);
  EXPECT_EQ(std::string::npos, dom.find("data-script-errors=\"")) << dom.substr(dom.find("<body"), 600);
  EXPECT_EQ(std::string::npos, dom.find("Uncaught")) << "chromium's log names no script error";
  EXPECT_GE(Count(dom, "<canvas"), charts.items.size()) << "dygraphs drew into canvases";
  EXPECT_NE(std::string::npos, dom.find("class=\"dygraph-legend")) << "each chart has its legend";

  const std::string artifacts = SARVIK_ARTIFACT_DIR;
  mkdir(artifacts.c_str(), 0755);
  const std::string screenshot = artifacts + "/report.png";
  std::remove(screenshot.c_str());
  TemporaryDirectory second_profile;
  const std::string log = directory.path() + "/screenshot.log";
  ASSERT_TRUE(RunChromium(second_profile.path(), {"--screenshot=" + screenshot}, report, log)) << ReadText(log);
  const std::string png = ReadText(screenshot);
  ASSERT_GT(png.size(), 10000u) << "a screenshot of the drawn report";
  EXPECT_EQ(0, png.compare(1, 3, "PNG"));
  EXPECT_EQ(std::string::npos, ReadText(log).find("Uncaught")) << ReadText(log);
}

}  // namespace
