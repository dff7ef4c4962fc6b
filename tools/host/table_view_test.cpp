#include "tools/host/table_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace sarvik_host {
namespace {

TEST(TableViewTest, SparklinesScaleFromLowestToHighest) {
  const std::vector<double> rising{0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ("\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588", Sparkline(rising));
  const std::vector<double> flat{5, 5, 5};
  EXPECT_EQ("\u2581\u2581\u2581", Sparkline(flat));
  const std::vector<double> gap{10, NAN, 20};
  EXPECT_EQ("\u2581 \u2588", Sparkline(gap));
  EXPECT_EQ("", Sparkline(std::vector<double>{}));
  const std::vector<double> two{-1, 1};
  EXPECT_EQ("\u2581\u2588", Sparkline(two));
}

TEST(TableViewTest, WidthCountsCodePoints) {
  EXPECT_EQ(3u, DisplayWidth("\u2581a\u2588"));
}

TEST(TableViewTest, RowsFollowTheReadings) {
  const std::vector<std::string> targets{"web1"};
  const std::vector<CounterInfo> counters{{"KeepAliveHits", "Keep-Alive Hits per Second", "", ""},
                                          {"Average Queueing Delay", "Average Queueing Delay (ms)", "", "ms"}};
  TableView view(targets, counters);
  for (int i = 1; i <= 3; ++i) {
    ReadingRow rate;
    rate.status = ReadingStatus::kNew;
    rate.has_reading = true;
    rate.reading.kind = 1;
    rate.reading.first_time = {1000 + i, 0};
    rate.reading.second_time = {1001 + i, 0};
    rate.reading.rate = 10.0 * i;
    view.Add(0, rate);
  }
  ReadingRow failed;
  failed.status = ReadingStatus::kError;
  failed.result = 17;
  view.Add(1, failed);
  view.AddMessage(0, "GetNewData(Average Queueing Delay@web1): not found");

  SessionStatus status;
  status.targets = "web1";
  status.elapsed_seconds = 75;
  status.interval_seconds = 2;
  status.readings = 3;
  status.errors = 1;
  const std::string frame = view.Render(status, 120, 0);
  EXPECT_NE(std::string::npos, frame.find("web1  elapsed 00:01:15  readings 3  errors 1  every 2 s")) << frame;
  EXPECT_NE(std::string::npos, frame.find("Keep-Alive Hits per Second")) << frame;
  EXPECT_NE(std::string::npos, frame.find(" 30 /s ")) << frame;
  EXPECT_NE(std::string::npos, frame.find("\u2581\u2585\u2588")) << frame;
  EXPECT_NE(std::string::npos, frame.find("error 17")) << frame;
  EXPECT_NE(std::string::npos, frame.find("not found")) << frame;

  const std::string small = view.Render(status, 50, 4);
  std::size_t lines = 0;
  for (const char c : small) lines += c == '\n';
  EXPECT_EQ(4u, lines) << small;
  EXPECT_NE(std::string::npos, small.find("more lines")) << small;
}

}  // namespace
}  // namespace sarvik_host
