// The generated statistics page against the shipped sample and the default counter configuration: the page
// has the sample's layout, every configured counter is found in it, and the totals move with requests.
#include "tools/statserver/page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tools/statserver/server_stats.h"

namespace statserver {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

const std::string kSamplePath = std::string(SARVIK_DAT_DIR) + "/samples/perfdump.txt";
const std::string kConfigPath = std::string(SARVIK_DAT_DIR) + "/monitors/Netscape.cfg";

// The figures of dat/samples/perfdump.txt: a 7.0 server some hours into a load test.
PageData SamplePageData() {
  PageData d;
  d.pid = 4242;
  d.version_line = "Sun Java System Web Server 7.0 B07/13/2006 17:09 (SunOS DOMESTIC)";
  d.server_started = "Mon Jun  2 09:12:05 2025";
  d.process_started = "Mon Jun  2 09:12:06 2025";
  d.queue_current = 2;
  d.queue_peak = 37;
  d.queue_limit = 4096;
  d.connections_queued = 114762;
  d.queue_average_1 = 0.42;
  d.queue_average_5 = 0.35;
  d.queue_average_15 = 0.28;
  d.queueing_delay_ms = 0.31;
  d.listen_address = "http://0.0.0.0:80";
  d.acceptor_threads = 1;
  d.default_virtual_server = "https-demo";
  d.keepalive_count = 23;
  d.keepalive_limit = 256;
  d.keepalive_hits = 96310;
  d.keepalive_flushes = 412;
  d.keepalive_refusals = 17;
  d.keepalive_timeouts = 2980;
  d.keepalive_timeout_seconds = 30;
  d.active_sessions = 9;
  d.keepalive_sessions = 23;
  d.sessions_created = 18452;
  d.sessions_limit = 512;
  d.cache_entries = 312;
  d.cache_limit = 1024;
  d.cache_hits = 109880;
  d.cache_lookups = 114762;
  d.cache_max_age = 30;
  d.pool_idle = 3;
  d.pool_peak = 12;
  d.pool_limit = 128;
  d.dns_entries = 41;
  d.dns_limit = 1024;
  d.dns_hits = 18411;
  d.dns_lookups = 18452;
  d.total_requests = 114762;
  d.request_time_total = 1437.2210;
  d.bucket_requests = 114762;
  d.bucket_invocations = 573810;
  d.total_invocations = 573810;
  d.bucket_latency_total = 112.8350;
  d.bucket_function_total = 1324.3860;
  d.bucket_response_total = 1437.2210;
  d.sessions = {
      {4242, "response", "192.0.2.17", 0, "https-demo", "GET", "/catalog/index.html", "send-file"},
      {4242, "response", "192.0.2.44", 1, "https-demo", "POST", "/orders/submit", "send-file"},
      {4242, "response", "198.51.100.5", 0, "https-demo", "GET", "/.perf", "service-dump"},
  };
  d.virtual_servers = {{"https-demo", 114530, 1873240112, 211}, {"https-admin", 232, 1893402, 0}};
  return d;
}

// ---- The monitor's two ways of reading a value, restated for the check. ----

// First occurrence of the text, then the first decimal digit after it, then the number as atof reads it.
std::optional<double> ReadPatternCounter(const std::string& page, const std::string& counter) {
  const std::size_t found = page.find(counter);
  if (found == std::string::npos) return std::nullopt;
  const std::size_t digit = page.find_first_of("0123456789", found + counter.size());
  if (digit == std::string::npos) return 0.0;
  return std::atof(page.c_str() + digit);
}

// The table name, then TblRow exact "<tr>" tags, then TblColumn "<td" tags, then the text after the next '>'
// (after one more tag when it starts with '<'), read with atof. D, R and T after the name count as lower case.
std::optional<double> ReadTableCounter(std::string page, const std::string& name, int rows, int columns) {
  const std::size_t found = page.find(name);
  if (found == std::string::npos) return std::nullopt;
  for (std::size_t i = found + name.size(); i < page.size(); ++i) {
    if (page[i] == 'D' || page[i] == 'R' || page[i] == 'T') page[i] = static_cast<char>(page[i] - 'A' + 'a');
  }
  std::size_t at = found;
  for (int i = 0; i < rows; ++i) {
    at = page.find("<tr>", at);
    if (at == std::string::npos) return std::nullopt;
    ++at;
  }
  for (int i = 0; i < columns; ++i) {
    at = page.find("<td", at);
    if (at == std::string::npos) return std::nullopt;
    ++at;
  }
  at = page.find('>', at);
  if (at == std::string::npos) return std::nullopt;
  ++at;
  if (at < page.size() && page[at] == '<') {
    at = page.find('>', at);
    if (at == std::string::npos) return std::nullopt;
    ++at;
  }
  return std::atof(page.c_str() + at);
}

// ---- The counter sections of Netscape.cfg, read with the plain INI rules. ----

struct CounterSection {
  std::string section;
  std::map<std::string, std::string> keys;
  const std::string& Get(const std::string& key) const {
    static const std::string kEmpty;
    const auto found = keys.find(key);
    return found == keys.end() ? kEmpty : found->second;
  }
  bool IsTable() const { return !Get("TblName").empty(); }
  bool KeepsPrevious() const { return std::atoi(Get("KeepPrevValue").c_str()) != 0; }
  int Row() const { return Get("TblRow").empty() ? 1 : std::atoi(Get("TblRow").c_str()); }
  int Column() const { return std::atoi(Get("TblColumn").c_str()); }
};

std::string Trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

std::map<std::string, std::map<std::string, std::string>> ParseIni(const std::string& text) {
  std::map<std::string, std::map<std::string, std::string>> sections;
  std::istringstream lines(text);
  std::string line;
  std::string current;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      current = line.substr(1, line.find(']') - 1);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    sections[current].emplace(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)));
  }
  return sections;
}

std::vector<CounterSection> ConfiguredCounters() {
  const auto ini = ParseIni(ReadFile(kConfigPath));
  std::vector<CounterSection> counters;
  const auto main = ini.find("Netscape");
  if (main == ini.end()) return counters;
  const int count = std::atoi(main->second.at("Counters").c_str());
  for (int i = 0; i < count; ++i) {
    const auto section = ini.find(std::to_string(i));
    counters.push_back(CounterSection{std::to_string(i), section == ini.end() ? std::map<std::string, std::string>{}
                                                                             : section->second});
  }
  return counters;
}

std::optional<double> ReadCounter(const std::string& page, const CounterSection& counter) {
  if (counter.IsTable()) return ReadTableCounter(page, counter.Get("TblName"), counter.Row(), counter.Column());
  return ReadPatternCounter(page, counter.Get("Counter"));
}

// ---- A server's counters driven by simulated requests. ----

ServerIdentity TestIdentity() {
  ServerIdentity identity;
  identity.pid = 99;
  identity.version_line = "Test Server 7.0 B01/01/2025 00:00 (Linux DOMESTIC)";
  identity.server_started = "Wed Jan  1 00:00:00 2025";
  identity.process_started = identity.server_started;
  identity.listen_address = "http://127.0.0.1:8080";
  return identity;
}

// One load request on an open session, answered `function_ms` after its arrival.
void SimulateRequest(ServerStats& stats, Clock::time_point at, const std::string& virtual_server,
                     const std::string& path, int function_ms) {
  const std::uint64_t busy = stats.BeginBusy(
      SessionRow{99, "response", "127.0.0.1", 0, virtual_server, "GET", path, "send-file"}, true, at);
  stats.EndBusy(busy, at + milliseconds(function_ms));
  stats.RecordLoadRequest(LoadRequestRecord{virtual_server, path, milliseconds(1), milliseconds(function_ms), 640});
}

void OpenSession(ServerStats& stats, Clock::time_point at) {
  stats.ConnectionQueued(at);
  stats.ConnectionDequeued(at + milliseconds(1));
  stats.LoadSessionOpened("127.0.0.1", milliseconds(1), at + milliseconds(1));
}

// Every kind of load event, so that every total of the page moves: keep-alive hits, a refusal (limit 1),
// a time-out and a flush, cache and DNS hits, both virtual servers and an error.
void SimulateLoad(ServerStats& stats, Clock::time_point t) {
  OpenSession(stats, t);  // connection A
  SimulateRequest(stats, t, "https-demo", "/index.html", 4);
  ASSERT_TRUE(stats.EnterKeepAlive(t + milliseconds(5)));
  stats.LeaveKeepAlive(KeepAliveEnd::kReused, t + milliseconds(50));
  SimulateRequest(stats, t + milliseconds(50), "https-demo", "/index.html", 6);
  ASSERT_TRUE(stats.EnterKeepAlive(t + milliseconds(60)));

  OpenSession(stats, t + milliseconds(100));  // connection B, refused keep-alive: A holds the only place
  SimulateRequest(stats, t + milliseconds(100), "https-admin", "/admin/status", 3);
  EXPECT_FALSE(stats.EnterKeepAlive(t + milliseconds(105)));
  stats.LoadSessionClosed(t + milliseconds(105));

  stats.LeaveKeepAlive(KeepAliveEnd::kTimedOut, t + seconds(30));  // A times out
  stats.LoadSessionClosed(t + seconds(30));

  OpenSession(stats, t + seconds(31));  // connection C, closed by its client while kept alive
  SimulateRequest(stats, t + seconds(31), "https-demo", "/images/logo.gif", 2);
  ASSERT_TRUE(stats.EnterKeepAlive(t + seconds(31)));
  stats.LeaveKeepAlive(KeepAliveEnd::kClientClosed, t + seconds(32));
  stats.LoadSessionClosed(t + seconds(32));

  stats.RecordError("https-demo");
}

StatsLimits TestLimits() {
  StatsLimits limits;
  limits.keepalive_limit = 1;
  return limits;
}

// ---- Tests ----

TEST(SamplePage, IsTheRenderingOfItsFigures) {
  const std::string sample = ReadFile(kSamplePath);
  const std::string rendered = RenderPage(SamplePageData());
  if (rendered != sample) {
    std::ofstream("perfdump.txt.actual", std::ios::binary) << rendered;
  }
  ASSERT_FALSE(sample.empty()) << "missing " << kSamplePath;
  EXPECT_EQ(rendered, sample) << "the renderer and " << kSamplePath
                              << " differ; the rendering is in perfdump.txt.actual in the test's directory";
}

TEST(SamplePage, FitsOneSnapshotAndHoldsNoDelimiter) {
  const std::string sample = ReadFile(kSamplePath);
  EXPECT_LT(sample.size() + kDelimiterLength + 1, 8000u);
  EXPECT_EQ(sample.find(kDelimiter), std::string::npos);
  EXPECT_EQ(sample.find('\r'), std::string::npos);
  EXPECT_EQ(sample.back(), '\n');
}

TEST(CounterConfig, DeclaresWellFormedCounters) {
  const auto ini = ParseIni(ReadFile(kConfigPath));
  ASSERT_TRUE(ini.count("Netscape"));
  const auto& main = ini.at("Netscape");
  EXPECT_EQ(main.at("infoURL"), "/.perf");
  EXPECT_EQ(main.at("serverPort"), "80");
  EXPECT_EQ(main.at("SamplingRate"), "0");
  ASSERT_TRUE(ini.count("ProxySettings"));
  EXPECT_EQ(ini.at("ProxySettings").at("useProxy"), "0");
  for (const char* key : {"proxyDomain", "proxyUsername", "proxyPassword", "httpProxy"}) {
    EXPECT_EQ(ini.at("ProxySettings").count(key), 1u) << key;
  }

  const std::vector<CounterSection> counters = ConfiguredCounters();
  ASSERT_GE(counters.size(), 20u);
  std::map<std::string, std::string> seen;
  for (const CounterSection& counter : counters) {
    SCOPED_TRACE("section [" + counter.section + "]");
    const std::string& text = counter.Get("Counter");
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.find('|'), std::string::npos);
    EXPECT_TRUE(seen.emplace(text, counter.section).second) << "counter text repeated: " << text;
    EXPECT_FALSE(counter.Get("Label").empty());
    const std::string& description = counter.Get("Description");
    EXPECT_FALSE(description.empty());
    EXPECT_LT(description.size(), 512u);
    EXPECT_EQ(description.find_first_of("\"<&%"), std::string::npos) << description;
    EXPECT_TRUE(counter.Get("KeepPrevValue") == "0" || counter.Get("KeepPrevValue") == "1");
  }
}

// The value each counter reads from the sample page, as an operator would see it.
TEST(CounterConfig, ReadsTheExpectedValueFromTheSample) {
  const std::map<std::string, double> expected = {
      {"Current/Peak/Limit Queue Length", 2},
      {"Total Connections Queued", 114762},
      {"Average Queue Length (1, 5, 15 minutes)", 0.42},
      {"Average Queueing Delay", 0.31},
      {"KeepAliveCount", 23},
      {"KeepAliveHits", 96310},
      {"KeepAliveFlushes", 412},
      {"KeepAliveRefusals", 17},
      {"KeepAliveTimeouts", 2980},
      {"Active Sessions", 9},
      {"Keep-Alive Sessions", 23},
      {"Total Sessions Created", 18452},
      {"File Cache Entries", 312},
      {"File Cache Hit Ratio", 109880},
      {"Idle/Peak/Limit", 3},
      {"Work Queue Length/Peak/Limit", 0},
      {"CacheEntries", 41},
      {"HitRatio", 18411},
      {"Total number of requests:", 114762},
      {"Request processing time:", 0.0125},
      {"Number of Requests:", 114762},
      {"Number of Invocations:", 573810},
      {"Latency:", 0.0010},
      {"Function Processing Time:", 0.0115},
      {"Total Response Time:", 0.0125},
      {"vs1 Requests", 114530},
      {"vs1 Bytes Sent", 1873240112},
      {"vs1 Errors", 211},
      {"vs2 Requests", 232},
  };
  const std::string sample = ReadFile(kSamplePath);
  const std::vector<CounterSection> counters = ConfiguredCounters();
  EXPECT_EQ(counters.size(), expected.size());
  for (const CounterSection& counter : counters) {
    const std::string& text = counter.Get("Counter");
    SCOPED_TRACE("[" + counter.section + "] " + text);
    const auto value = ReadCounter(sample, counter);
    ASSERT_TRUE(value.has_value()) << "not found in the sample";
    ASSERT_TRUE(expected.count(text)) << "no expected value listed";
    EXPECT_DOUBLE_EQ(*value, expected.at(text));
  }
}

// The older 6.1 layout lacks some lines, and its file cache uses the label that 7.0 gives the DNS cache.
TEST(CounterConfig, OlderSampleShowsWhatItLacks) {
  const std::string sample = ReadFile(std::string(SARVIK_DAT_DIR) + "/samples/perfdump-6.1.txt");
  ASSERT_FALSE(sample.empty());
  std::vector<std::string> missing;
  for (const CounterSection& counter : ConfiguredCounters()) {
    if (!ReadCounter(sample, counter)) missing.push_back(counter.Get("Counter"));
  }
  EXPECT_EQ(missing, (std::vector<std::string>{"Average Queue Length (1, 5, 15 minutes)", "Keep-Alive Sessions",
                                               "File Cache Entries", "File Cache Hit Ratio", "vs1 Requests",
                                               "vs1 Bytes Sent", "vs1 Errors", "vs2 Requests"}));
  EXPECT_EQ(ReadPatternCounter(sample, "CacheEntries"), 187.0);  // the file cache's entries, not the DNS cache's
  EXPECT_EQ(ReadPatternCounter(sample, "Total number of requests:"), 52418.0);
}

TEST(CounterConfig, TableNameOccursOnceBeforeItsTable) {
  const std::string sample = ReadFile(kSamplePath);
  for (const CounterSection& counter : ConfiguredCounters()) {
    if (!counter.IsTable()) continue;
    const std::string& name = counter.Get("TblName");
    const std::size_t first = sample.find(name);
    ASSERT_NE(first, std::string::npos) << name;
    EXPECT_EQ(sample.find(name, first + 1), std::string::npos) << name;
    EXPECT_LT(first, sample.find("<table"));
  }
}

TEST(GeneratedPage, HasTheSampleLayout) {
  // Labels, rulers and punctuation, without the digits and the spacing that depends on them.
  const auto shape = [](const std::string& page) {
    std::vector<std::string> lines;
    std::istringstream in(page);
    std::string line;
    bool in_body = false;
    bool in_sessions = false;
    while (std::getline(in, line)) {
      if (line == "ConnectionQueue:") in_body = true;
      if (!in_body) continue;
      if (line.rfind("Process ", 0) == 0 && line.find("Function") != std::string::npos) {
        in_sessions = true;  // the rows below the Sessions header vary with the requests in progress
        lines.push_back(line);
        continue;
      }
      if (in_sessions && !line.empty()) continue;
      in_sessions = false;
      std::string kept;
      for (char c : line) {
        if (c != ' ' && (c < '0' || c > '9')) kept += c;
      }
      lines.push_back(kept);
    }
    return lines;
  };
  const Clock::time_point t0 = Clock::now();
  ServerStats stats(TestIdentity(), TestLimits(), t0);
  SimulateLoad(stats, t0);
  std::vector<std::string> sample = shape(ReadFile(kSamplePath));
  std::vector<std::string> generated = shape(RenderPage(stats.Snapshot(t0 + seconds(40))));
  EXPECT_EQ(generated, sample);
}

TEST(GeneratedPage, ContainsEveryConfiguredCounter) {
  const Clock::time_point t0 = Clock::now();
  ServerStats stats(TestIdentity(), StatsLimits{}, t0);
  const std::string page = RenderPage(stats.Snapshot(t0));
  for (const CounterSection& counter : ConfiguredCounters()) {
    SCOPED_TRACE("[" + counter.section + "] " + counter.Get("Counter"));
    if (counter.IsTable()) {
      EXPECT_NE(page.find(counter.Get("TblName")), std::string::npos);
    } else {
      EXPECT_NE(page.find(counter.Get("Counter")), std::string::npos);
    }
    EXPECT_TRUE(ReadCounter(page, counter).has_value());
  }
}

TEST(GeneratedPage, EveryTotalMovesWithLoad) {
  const Clock::time_point t0 = Clock::now();
  ServerStats stats(TestIdentity(), TestLimits(), t0);
  const std::string before = RenderPage(stats.Snapshot(t0));
  SimulateLoad(stats, t0 + seconds(1));
  const std::string after = RenderPage(stats.Snapshot(t0 + seconds(40)));
  for (const CounterSection& counter : ConfiguredCounters()) {
    if (!counter.KeepsPrevious()) continue;
    SCOPED_TRACE("[" + counter.section + "] " + counter.Get("Counter"));
    const auto first = ReadCounter(before, counter);
    const auto second = ReadCounter(after, counter);
    ASSERT_TRUE(first && second);
    EXPECT_GT(*second, *first);
  }
  // And the exact figures of that load.
  EXPECT_EQ(ReadPatternCounter(after, "Total number of requests:"), 4.0);
  EXPECT_EQ(ReadPatternCounter(after, "Total Connections Queued"), 4.0);  // three sessions, one keep-alive hit
  EXPECT_EQ(ReadPatternCounter(after, "Total Sessions Created"), 3.0);
  EXPECT_EQ(ReadPatternCounter(after, "KeepAliveHits"), 1.0);
  EXPECT_EQ(ReadPatternCounter(after, "KeepAliveFlushes"), 1.0);
  EXPECT_EQ(ReadPatternCounter(after, "KeepAliveRefusals"), 1.0);
  EXPECT_EQ(ReadPatternCounter(after, "KeepAliveTimeouts"), 1.0);
  EXPECT_EQ(ReadPatternCounter(after, "File Cache Hit Ratio"), 1.0);
  EXPECT_EQ(ReadPatternCounter(after, "File Cache Entries"), 3.0);
  EXPECT_EQ(ReadPatternCounter(after, "HitRatio"), 2.0);
  EXPECT_EQ(ReadPatternCounter(after, "Number of Invocations:"), 4.0 * ServerStats::kInvocationsPerRequest);
  EXPECT_EQ(ReadTableCounter(after, kVirtualServerTableName, 2, 2), 3.0);
  EXPECT_EQ(ReadTableCounter(after, kVirtualServerTableName, 2, 3), 3.0 * 640);
  EXPECT_EQ(ReadTableCounter(after, kVirtualServerTableName, 2, 4), 1.0);
  EXPECT_EQ(ReadTableCounter(after, kVirtualServerTableName, 3, 2), 1.0);
  // Handling times: 4 ms + 6 ms + 3 ms + 2 ms of function time, 1 ms latency each.
  EXPECT_NEAR(*ReadPatternCounter(after, "Function Processing Time:"), 0.0038, 0.00011);
  EXPECT_NEAR(*ReadPatternCounter(after, "Latency:"), 0.0010, 0.00005);
  EXPECT_NEAR(*ReadPatternCounter(after, "Total Response Time:"), 0.0048, 0.00011);
  EXPECT_NEAR(*ReadPatternCounter(after, "Request processing time:"), 0.0048, 0.00011);
}

TEST(GeneratedPage, NothingMovesWithoutRequests) {
  const Clock::time_point t0 = Clock::now();
  ServerStats stats(TestIdentity(), TestLimits(), t0);
  SimulateLoad(stats, t0);
  const std::string early = RenderPage(stats.Snapshot(t0 + seconds(3600)));
  const std::string late = RenderPage(stats.Snapshot(t0 + seconds(7200)));
  EXPECT_EQ(early, late);
}

TEST(GeneratedPage, GaugesShowTheOpenConnections) {
  const Clock::time_point t0 = Clock::now();
  ServerStats stats(TestIdentity(), StatsLimits{}, t0);
  OpenSession(stats, t0);  // one session kept alive after a request
  SimulateRequest(stats, t0, "https-demo", "/", 1);
  ASSERT_TRUE(stats.EnterKeepAlive(t0 + milliseconds(2)));
  stats.ConnectionQueued(t0);  // one connection still waiting for its request
  const std::uint64_t busy = stats.BeginBusy(
      SessionRow{99, "response", "127.0.0.1", 0, "https-demo", "GET", "/slow?delay=5000", "send-file"}, true, t0);

  const std::string page = RenderPage(stats.Snapshot(t0 + seconds(60)));
  EXPECT_EQ(ReadPatternCounter(page, "Current/Peak/Limit Queue Length"), 1.0);
  EXPECT_EQ(ReadPatternCounter(page, "KeepAliveCount"), 1.0);
  EXPECT_EQ(ReadPatternCounter(page, "Keep-Alive Sessions"), 1.0);
  EXPECT_EQ(ReadPatternCounter(page, "Active Sessions"), 1.0);
  EXPECT_EQ(ReadPatternCounter(page, "Idle/Peak/Limit"), 0.0);
  // One queued connection and one request in progress for a minute: 2 * (1 - 1/e) after one minute.
  EXPECT_NEAR(*ReadPatternCounter(page, "Average Queue Length (1, 5, 15 minutes)"), 1.26, 0.011);
  EXPECT_NE(page.find("/slow?delay=5000"), std::string::npos);
  EXPECT_NE(page.find("60   https-demo"), std::string::npos) << "the busy request's age in seconds";

  stats.EndBusy(busy, t0 + seconds(60));
  const std::string later = RenderPage(stats.Snapshot(t0 + seconds(61)));
  EXPECT_EQ(later.find("/slow?delay=5000"), std::string::npos);
  EXPECT_EQ(ReadPatternCounter(later, "Idle/Peak/Limit"), 1.0);
}

TEST(GeneratedPage, StaysWithinOneSnapshotAtAnyLoad) {
  PageData data = SamplePageData();
  const std::uint64_t huge = ~std::uint64_t{0};
  for (std::uint64_t* field : {&data.queue_current, &data.queue_peak, &data.queue_limit, &data.connections_queued,
                               &data.keepalive_count, &data.keepalive_limit, &data.keepalive_hits,
                               &data.keepalive_flushes, &data.keepalive_refusals, &data.keepalive_timeouts,
                               &data.active_sessions, &data.keepalive_sessions, &data.sessions_created,
                               &data.cache_entries, &data.cache_hits, &data.cache_lookups, &data.total_requests,
                               &data.bucket_requests, &data.bucket_invocations, &data.dns_hits}) {
    *field = huge;
  }
  data.request_time_total = 1e12;
  data.bucket_response_total = 1e12;
  data.sessions.assign(50, SessionRow{2147483647, "response", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
                                      999999, std::string(300, 'v'), std::string(300, 'M'),
                                      "/" + std::string(2000, 'u'), std::string(300, 'f')});
  for (VirtualServerRow& row : data.virtual_servers) row = {std::string(300, 'n'), huge, huge, huge};
  const std::string page = RenderPage(data);
  EXPECT_LT(page.size() + kDelimiterLength + 1, 8000u) << page.size();
}

TEST(GeneratedPage, ShowsRequestTextSafely) {
  PageData data = SamplePageData();
  data.sessions = {{1, "response", "127.0.0.1", 0, "https-demo", "GET",
                    "/<h2>Virtual Server Statistics</h2>&x\x01", "send-file"}};
  const std::string page = RenderPage(data);
  EXPECT_EQ(page.find("<h2>Virtual"), page.rfind("<h2>Virtual"));
  EXPECT_NE(page.find("/?h2?Virtual?Server?Statistics?/h2??x?"), std::string::npos);
}

TEST(PageTime, HasTheServerFormat) {
  std::tm parts{};
  parts.tm_year = 2006 - 1900;
  parts.tm_mon = 6;
  parts.tm_mday = 4;
  parts.tm_hour = 14;
  parts.tm_min = 34;
  parts.tm_sec = 15;
  parts.tm_isdst = -1;
  EXPECT_EQ(FormatPageTime(std::mktime(&parts)), "Tue Jul  4 14:34:15 2006");
}

}  // namespace
}  // namespace statserver
