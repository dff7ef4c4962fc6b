#include "tools/host/table_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik_host {
namespace {

const char kUp[] = "\u2581";    // the lowest block
const char kFull[] = "\u2588";  // the highest

ReadingRow Value(double value, std::int32_t second) {
  ReadingRow row;
  row.status = ReadingStatus::kNew;
  row.has_reading = true;
  row.reading.kind = 0;
  row.reading.first_time = {second, 0};
  row.reading.value = value;
  return row;
}

ReadingRow Rate(double rate, std::int32_t second) {
  ReadingRow row = Value(0, second);
  row.reading.kind = 1;
  row.reading.first_time = {second - 1, 0};
  row.reading.second_time = {second, 0};
  row.reading.rate = rate;
  return row;
}

ReadingRow WithStatus(ReadingStatus status, int result = 0) {
  ReadingRow row;
  row.status = status;
  row.result = result;
  return row;
}

std::vector<std::string> Lines(const std::string& frame) {
  std::vector<std::string> lines;
  std::istringstream in(frame);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The clock of the messages depends on the time zone.
std::string Masked(std::string frame) {
  const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  constexpr std::string_view kShape = "00:00:00 ";  // 0 stands for any digit
  for (std::size_t at = 0; at + kShape.size() <= frame.size(); ++at) {
    bool matches = true;
    for (std::size_t i = 0; i < kShape.size() && matches; ++i) {
      matches = kShape[i] == '0' ? is_digit(frame[at + i]) : frame[at + i] == kShape[i];
    }
    if (matches) frame.replace(at, kShape.size(), "hh:mm:ss ");
  }
  return frame;
}

// The counters of the default configuration, as the demo watches them.
std::vector<CounterInfo> DemoCounters() {
  const std::vector<std::pair<std::string, std::string>> labels{
      {"Connection Queue Length", ""},
      {"Connections Queued per Second", ""},
      {"Average Queue Length (1 Minute)", ""},
      {"Average Queueing Delay (ms)", "ms"},
      {"Keep-Alive Connections", ""},
      {"Keep-Alive Hits per Second", ""},
      {"Keep-Alive Flushes per Second", ""},
      {"Keep-Alive Refusals per Second", ""},
      {"Keep-Alive Timeouts per Second", ""},
      {"Active Sessions", ""},
      {"Keep-Alive Sessions", ""},
      {"Sessions Created per Second", ""},
      {"File Cache Entries", ""},
      {"File Cache Hits per Second", ""},
      {"Native Pool Idle Threads", ""},
      {"Native Pool Work Queue Length", ""},
      {"DNS Cache Entries", ""},
      {"DNS Cache Hits per Second", ""},
      {"Requests per Second", ""},
      {"Average Request Processing Time (s)", "s"},
      {"Default Bucket Requests per Second", ""},
      {"Default Bucket Invocations per Second", ""},
      {"Default Bucket Average Latency (s)", "s"},
      {"Default Bucket Average Function Time (s)", "s"},
      {"Default Bucket Average Response Time (s)", "s"},
      {"https-demo Requests per Second", ""},
      {"https-demo Bytes Sent per Second", "B"},
      {"https-demo Errors per Second", ""},
      {"https-admin Requests per Second", ""},
  };
  std::vector<CounterInfo> counters;
  for (const auto& [label, unit] : labels) counters.push_back({"Text of " + label, label, "", unit});
  return counters;
}

// Three servers: the first reads well, the second restarted (a reset among its rates), the
// third has failed and is retried.
class DemoTable : public ::testing::Test {
 protected:
  DemoTable() : view(targets, counters) {
    for (std::size_t t = 0; t < targets.size(); ++t) {
      for (std::size_t c = 0; c < counters.size(); ++c) {
        const std::size_t series = t * counters.size() + c;
        const bool rate = counters[c].label.find("per Second") != std::string::npos;
        for (int round = 1; round <= 8; ++round) {
          const double number = (c % 5 == 0) ? 0.01 : (c * 37.0 + round * 11.0 * (t + 1)) * (c == 26 ? 113.0 : 1.0);
          const double scaled = counters[c].unit == "s" ? number / 1e4 : number;
          view.Add(series, rate ? Rate(scaled, 1000 + round) : Value(scaled, 1000 + round));
        }
        if (t == 1 && c % 7 == 1) view.Add(series, WithStatus(ReadingStatus::kReset));
        if (t == 2) view.Add(series, WithStatus(ReadingStatus::kRetrying, 20));
      }
    }
    view.AddMessage(0, "127.0.0.1:18082 unreachable since 12:04:10 (connection refused); retrying");
    status.targets = "3 targets";
    status.elapsed_seconds = 75;
    status.interval_seconds = 1;
    status.readings = 2436;
    status.errors = 0;
    status.takes_keys = true;
  }

  const std::vector<std::string> targets{"127.0.0.1:18080", "127.0.0.1:18081", "127.0.0.1:18082"};
  const std::vector<CounterInfo> counters = DemoCounters();
  TableView view;
  SessionStatus status;
};

void ExpectFits(const std::string& frame, std::size_t width, std::size_t height) {
  const std::vector<std::string> lines = Lines(frame);
  EXPECT_EQ(height, lines.size()) << frame;
  for (const std::string& line : lines) EXPECT_LE(DisplayWidth(line), width) << line;
  EXPECT_EQ(std::string::npos, frame.find('\x1b')) << "a frame holds no control sequence";
}

// The frame must equal the golden screen in testdata/; SARVIK_UPDATE_GOLDEN=1 writes it instead
// (then read it by eye before it is committed).
void ExpectGolden(const std::string& frame, const std::string& name) {
  const std::string path = std::string(SARVIK_HOST_TESTDATA) + "/" + name;
  if (std::getenv("SARVIK_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << frame;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << "no golden screen " << path;
  const std::string golden((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(golden, frame) << "the screen differs from " << path << ":\n" << frame;
}

TEST_F(DemoTable, EightyByTwentyFourIsAGridOfTwoPages) {
  // A terminal of 24 lines gets a frame of 23: the last line feed would scroll it.
  std::string screens = Masked(view.Render(status, 80, 23));
  ExpectFits(view.Render(status, 80, 23), 80, 23);
  view.Press(KeyPress::Of(KeyPress::Kind::kPageDown), 80, 23);
  screens += "\n" + Masked(view.Render(status, 80, 23));
  ExpectGolden(screens, "table_80x24.txt");
}

TEST_F(DemoTable, OneSixtyByFortyFiveShowsEveryCounter) {
  const std::string frame = view.Render(status, 160, 44);
  ExpectFits(frame, 160, 44);
  ExpectGolden(Masked(frame), "table_160x45.txt");
}

TEST_F(DemoTable, NarrowScreensGroupByTarget) {
  const std::string frame = view.Render(status, 60, 15);
  ExpectFits(frame, 60, 15);
  ExpectGolden(Masked(frame), "table_60x16.txt");
}

TEST_F(DemoTable, PagingDownReachesEveryRow) {
  for (const auto& [width, height] : std::vector<std::pair<std::size_t, std::size_t>>{{80, 23}, {160, 44}, {60, 15}, {200, 10}}) {
    std::set<std::string> seen;
    std::size_t pages = 0;
    std::string previous;
    for (int press = 0; press < 100; ++press) {
      const std::string frame = view.Render(status, width, height);
      ExpectFits(frame, std::max<std::size_t>(width, 20), height);
      if (frame == previous) break;
      previous = frame;
      ++pages;
      // Rows are told apart by their target's heading (when grouped) and their label.
      std::string heading;
      const std::vector<std::string> lines = Lines(frame);
      for (std::size_t i = 2; i + 2 < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        if (lines[i].rfind("\u2500\u2500 ", 0) == 0) {
          heading = lines[i];
          continue;
        }
        seen.insert(heading + "|" + lines[i].substr(0, lines[i].find("  ")));
      }
      view.Press(KeyPress::Of(KeyPress::Kind::kPageDown), width, height);
    }
    const bool grid = Lines(view.Render(status, width, height))[2].rfind("\u2500\u2500", 0) != 0;
    EXPECT_EQ(counters.size() * (grid ? 1 : targets.size()), seen.size())
        << width << "x" << height << " after " << pages << " pages";
    EXPECT_EQ(height >= 44 ? 1u : 2u, std::min<std::size_t>(pages, 2)) << width << "x" << height;
    // Back to the top.
    view.Press(KeyPress::Of(KeyPress::Kind::kHome), width, height);
    EXPECT_NE(std::string::npos, view.Render(status, width, height).find("rows 1\u2013")) << width;
  }
}

TEST_F(DemoTable, KeysPageAndScroll) {
  const auto third_line = [&] { return Lines(view.Render(status, 80, 23))[2]; };
  const std::string top = third_line();
  EXPECT_EQ(TableView::KeyEffect::kNone, view.Press(KeyPress::Of(KeyPress::Kind::kPageUp), 80, 23)) << "already at the top";
  EXPECT_EQ(TableView::KeyEffect::kRedraw, view.Press(KeyPress::Character(" "), 80, 23));
  const std::string second = third_line();
  EXPECT_NE(top, second);
  EXPECT_NE(std::string::npos, view.Render(status, 80, 23).find("page 2/2"));
  EXPECT_EQ(TableView::KeyEffect::kNone, view.Press(KeyPress::Character(" "), 80, 23)) << "the last page";
  view.Press(KeyPress::Character("b"), 80, 23);
  EXPECT_EQ(top, third_line());
  view.Press(KeyPress::Character("j"), 80, 23);
  EXPECT_NE(std::string::npos, third_line().find("Connections Queued")) << third_line();
  view.Press(KeyPress::Of(KeyPress::Kind::kUp), 80, 23);
  EXPECT_EQ(top, third_line());
  view.Press(KeyPress::Character("G"), 80, 23);
  EXPECT_EQ(second, third_line());
  EXPECT_EQ(TableView::KeyEffect::kQuit, view.Press(KeyPress::Character("q"), 80, 23));
}

TEST_F(DemoTable, FilterByLabelOrCounterText) {
  for (const char c : std::string("/KEEP-alive")) view.Press(KeyPress::Character(std::string(1, c)), 80, 23);
  std::string frame = view.Render(status, 80, 23);
  EXPECT_NE(std::string::npos, frame.find("Filter: KEEP-alive_")) << frame;
  EXPECT_NE(std::string::npos, frame.find("Active Sessions")) << "applied only with Enter";
  view.Press(KeyPress::Of(KeyPress::Kind::kEnter), 80, 23);
  frame = view.Render(status, 80, 23);
  EXPECT_EQ(std::string::npos, frame.find("Active Sessions")) << frame;
  EXPECT_NE(std::string::npos, frame.find("Keep-Alive Sessions")) << frame;
  EXPECT_NE(std::string::npos, frame.find("rows 1\u20136 of 6")) << frame;
  EXPECT_NE(std::string::npos, frame.find("filter \"KEEP-alive\"")) << frame;

  // The counter's text matches too; Backspace takes a character back.
  view.Press(KeyPress::Character("/"), 80, 23);
  for (int i = 0; i < 10; ++i) view.Press(KeyPress::Of(KeyPress::Kind::kBackspace), 80, 23);
  for (const char c : std::string("text of dns")) view.Press(KeyPress::Character(std::string(1, c)), 80, 23);
  view.Press(KeyPress::Of(KeyPress::Kind::kEnter), 80, 23);
  frame = view.Render(status, 80, 23);
  EXPECT_NE(std::string::npos, frame.find("rows 1\u20132 of 2")) << frame;

  view.Press(KeyPress::Character("/"), 80, 23);
  view.Press(KeyPress::Character("x"), 80, 23);
  view.Press(KeyPress::Of(KeyPress::Kind::kEnter), 80, 23);
  frame = view.Render(status, 80, 23);
  EXPECT_NE(std::string::npos, frame.find("No counter matches \"text of dnsx\"")) << frame;
  ExpectFits(frame, 80, 23);

  EXPECT_EQ(TableView::KeyEffect::kRedraw, view.Press(KeyPress::Of(KeyPress::Kind::kEscape), 80, 23));
  frame = view.Render(status, 80, 23);
  EXPECT_NE(std::string::npos, frame.find("rows 1\u201319 of 29")) << frame;
  // While a filter is typed, q is a letter of it.
  view.Press(KeyPress::Character("/"), 80, 23);
  EXPECT_EQ(TableView::KeyEffect::kRedraw, view.Press(KeyPress::Character("q"), 80, 23));
  view.Press(KeyPress::Of(KeyPress::Kind::kEscape), 80, 23);
}

TEST_F(DemoTable, HelpListsTheKeysAndTheMessages) {
  view.Press(KeyPress::Character("?"), 80, 23);
  const std::string frame = view.Render(status, 80, 23);
  EXPECT_NE(std::string::npos, frame.find("PgDn, space")) << frame;
  EXPECT_NE(std::string::npos, frame.find("retrying")) << frame;
  EXPECT_NE(std::string::npos, frame.find("18082 unreachable")) << frame;
  bool messages = false;
  for (const std::string& line : Lines(frame)) {
    EXPECT_LE(DisplayWidth(line), 80u) << line;
    messages = messages || line == "Latest messages:";
    if (!messages) {
      EXPECT_EQ(std::string::npos, line.find("\u2026")) << "the help is not cut at 80 columns: " << line;
    }
  }
  view.Press(KeyPress::Character("x"), 80, 23);
  EXPECT_EQ(std::string::npos, view.Render(status, 80, 23).find("PgDn, space")) << "any key returns";
}

TEST_F(DemoTable, NarrowTerminalsGroupByTarget) {
  const std::string frame = view.Render(status, 60, 15);
  EXPECT_NE(std::string::npos, frame.find("\u2500\u2500 127.0.0.1:18080")) << frame;
  view.Press(KeyPress::Character(" "), 60, 15);
  view.Press(KeyPress::Character(" "), 60, 15);
  const std::vector<std::string> lines = Lines(view.Render(status, 60, 15));
  EXPECT_EQ(0u, lines[2].rfind("\u2500\u2500 127.0.0.1:", 0)) << "a page opens with its target: " << lines[2];
}

TEST(TableViewTest, SparklinesShareTheRowsScale) {
  const std::vector<double> rising{0, 1, 2, 3, 4, 5, 6, 7};
  EXPECT_EQ("\u2581\u2582\u2583\u2584\u2585\u2586\u2587\u2588", Sparkline(rising));
  const std::vector<double> flat{5, 5, 5};
  EXPECT_EQ("\u2581\u2581\u2581", Sparkline(flat)) << "a flat line draws its lowest block";
  const std::vector<double> gap{10, NAN, 20};
  EXPECT_EQ("\u2581 \u2588", Sparkline(gap));
  EXPECT_EQ("", Sparkline(std::vector<double>{}));
  // 0.01 among 0.01s, on a row that reaches 14: low, not a full bar.
  const std::vector<double> small{0.01, 0.01};
  EXPECT_EQ(std::string(kUp) + kUp, Sparkline(small, 0, 14));
  const std::vector<double> top{14};
  EXPECT_EQ(kFull, Sparkline(top, 0, 14));
}

TEST(TableViewTest, TextsAreEllipsised) {
  EXPECT_EQ(3u, DisplayWidth("\u2581a\u2588"));
  EXPECT_EQ("Default Bucket\u2026", Ellipsised("Default Bucket Average", 15));
  EXPECT_EQ("Short", Ellipsised("Short", 15));
  EXPECT_EQ("\u20260.0.1:18081", Ellipsised("127.0.0.1:18081", 12, true));
  EXPECT_EQ("", Ellipsised("abc", 0));
}

TEST_F(DemoTable, LabelsCutAlikeKeepWhatTellsThemApart) {
  const std::string frame = view.Render(status, 80, 23);
  view.Press(KeyPress::Of(KeyPress::Kind::kPageDown), 80, 23);
  const std::string next = view.Render(status, 80, 23);
  EXPECT_NE(std::string::npos, next.find("Default\u2026Latency (s)")) << next;
  EXPECT_NE(std::string::npos, next.find("\u2026Function Time (s)")) << next;
  EXPECT_NE(std::string::npos, next.find("\u2026Response Time (s)")) << next;
  std::set<std::string> labels;
  for (const std::string& screen : {frame, next}) {
    const std::vector<std::string> lines = Lines(screen);
    for (std::size_t i = 2; i + 2 < lines.size(); ++i) {
      if (!lines[i].empty()) {
        EXPECT_TRUE(labels.insert(lines[i].substr(0, lines[i].find("  "))).second) << lines[i];
      }
    }
  }
  EXPECT_EQ(counters.size(), labels.size());
}

TEST(TableViewTest, CellsShowNumbersOrStates) {
  const std::vector<std::string> targets{"web1", "web2"};
  const std::vector<CounterInfo> counters{{"KeepAliveHits", "Keep-Alive Hits per Second", "", ""},
                                          {"Average Queueing Delay", "Average Queueing Delay (ms)", "", "ms"},
                                          {"BytesSent", "Bytes Sent per Second", "", "B"}};
  TableView view(targets, counters);
  ReadingRow first = Rate(123, 1001);
  first.reading.first_time = {0, 0};
  first.status = ReadingStatus::kFirst;
  first.withheld = true;
  view.Add(0, first);
  ReadingRow repeated = first;
  repeated.status = ReadingStatus::kUnchanged;
  view.Add(0, repeated);
  view.Add(3, Rate(30, 1002));
  view.Add(1, Value(0.5, 1002));
  view.Add(4, WithStatus(ReadingStatus::kError, 20));
  view.Add(2, Rate(14261, 1002));
  view.Add(5, WithStatus(ReadingStatus::kStale));
  view.AddMessage(0, "GetNewData(Average Queueing Delay@web2): not found");

  SessionStatus status;
  status.targets = "2 targets";
  const std::string frame = view.Render(status, 100, 12);
  ExpectFits(frame, 100, 12);
  const std::vector<std::string> lines = Lines(frame);
  EXPECT_NE(std::string::npos, lines[1].find("web1")) << frame;
  EXPECT_NE(std::string::npos, lines[2].find("first")) << frame;
  EXPECT_NE(std::string::npos, lines[2].find("30 /s")) << frame;
  EXPECT_NE(std::string::npos, lines[3].find("500 \u00b5s")) << frame;
  EXPECT_NE(std::string::npos, lines[3].find("err 20")) << frame;
  EXPECT_NE(std::string::npos, lines[4].find("14.3 kB/s")) << frame;
  EXPECT_NE(std::string::npos, lines[4].find("stale")) << frame;
  EXPECT_NE(std::string::npos, frame.find("not found")) << "the latest message on the status line";
  EXPECT_NE(std::string::npos, frame.find("Ctrl-C ends")) << "no keys: the footer says how to end";

  // Frames for a pipe hold every row and the messages.
  const std::string all = view.Render(status, 100, 0);
  EXPECT_NE(std::string::npos, all.find("Messages:")) << all;
  EXPECT_NE(std::string::npos, all.find("Bytes Sent per Second")) << all;
}

TEST(TableViewTest, TheTitleDropsWholeParts) {
  const std::vector<std::string> targets{"web1"};
  const std::vector<CounterInfo> counters{{"Hits", "Hits", "", ""}};
  TableView view(targets, counters);
  SessionStatus status;
  status.targets = "web1.example.com:8080";
  status.ended = true;
  for (std::size_t width = 20; width <= 90; ++width) {
    const std::string title = Lines(view.Render(status, width, 10))[0];
    EXPECT_LE(DisplayWidth(title), width);
    EXPECT_EQ(std::string::npos, title.find("\u2026")) << "no part is cut: " << title;
    EXPECT_EQ(0u, title.find("sarvik-host")) << title;
  }
}

}  // namespace
}  // namespace sarvik_host
