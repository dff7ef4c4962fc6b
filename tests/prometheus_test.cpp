// sarvik-host's metrics endpoint read by the real thing: Debian's Prometheus scrapes
// `sarvik-host monitor --listen` on 127.0.0.1, and what it stores must be what the host wrote in
// its CSV; promtool's linter must accept the exposition. Every program is started here, bounded in
// time and stopped here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/child_process.h"
#include "tests/csv_text.h"
#include "tests/test_files.h"

namespace {

constexpr char kPrometheus[] = "/usr/bin/prometheus";
constexpr char kPromtool[] = "/usr/bin/promtool";
constexpr char kTimeout[] = "/usr/bin/timeout";
// The longest any program of this test may live, whatever happens to the test.
constexpr char kProgramSeconds[] = "300";

// The body of a GET for `target` from 127.0.0.1:`port` with an HTTP/1.0 request (no chunked
// answer); empty when no 200 came.
std::string Get(int port, const std::string& target, const std::string& accept = "") {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string raw;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!accept.empty()) request += "Accept: " + accept + "\r\n";
    request += "\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buffer[8192];
      for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) raw.append(buffer, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  const std::size_t body = raw.find("\r\n\r\n");
  if (raw.compare(0, 12, "HTTP/1.1 200") != 0 && raw.compare(0, 12, "HTTP/1.0 200") != 0) return "";
  return body == std::string::npos ? "" : raw.substr(body + 4);
}

// One series of an instant query's answer: its labels (as JSON text) and its value.
struct Series {
  std::string metric;
  std::string value;
};

// The series of a Prometheus /api/v1/query answer for a vector.
std::vector<Series> QueryResult(const std::string& answer) {
  std::vector<Series> series;
  if (answer.find("\"status\":\"success\"") == std::string::npos) return series;
  const std::string metric_marker = "{\"metric\":{";
  for (std::size_t at = answer.find(metric_marker); at != std::string::npos;
       at = answer.find(metric_marker, at + 1)) {
    const std::size_t metric_start = at + metric_marker.size();
    const std::size_t metric_end = answer.find('}', metric_start);
    const std::size_t value_at = answer.find("\"value\":[", metric_end);
    if (metric_end == std::string::npos || value_at == std::string::npos) break;
    const std::size_t open = answer.find(",\"", value_at);
    const std::size_t close = answer.find('"', open + 2);
    if (open == std::string::npos || close == std::string::npos) break;
    series.push_back({answer.substr(metric_start, metric_end - metric_start), answer.substr(open + 2, close - open - 2)});
  }
  return series;
}

// The answer of Prometheus at `port` to the instant query `query` (letters, digits and '_' only).
std::vector<Series> Query(int port, const std::string& query) {
  return QueryResult(Get(port, "/api/v1/query?query=" + query));
}

TEST(PrometheusTest, PrometheusStoresWhatTheHostWroteAndPromtoolAcceptsTheExposition) {
  ASSERT_EQ(0, access(kPrometheus, X_OK)) << kPrometheus << " is missing: ./sarvik test installs Debian's prometheus";
  ASSERT_EQ(0, access(kPromtool, X_OK)) << kPromtool << " is missing: ./sarvik test installs Debian's prometheus";

  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const std::string target = "127.0.0.1:" + std::to_string(statistics.port());

  TemporaryDirectory directory;
  const std::string csv_path = directory.path() + "/readings.csv";
  const int metrics_port = UnusedPort();
  ChildProcess host(kTimeout,
                    {"-s", "TERM", kProgramSeconds, Staged("bin/sarvik-host"), "monitor", target, "--counter",
                     "Total number of requests:", "--counter", "File Cache Entries", "--interval", "1", "--format",
                     "csv", "--listen", "127.0.0.1:" + std::to_string(metrics_port)},
                    csv_path, directory.path() + "/host-errors");
  auto host_errors = [&] { return ReadText(directory.path() + "/host-errors"); };

  // The endpoint answers while the session runs; a counter family has a sample after the first round.
  ASSERT_TRUE(WaitFor([&] { return Get(metrics_port, "/metrics").find("\nsarvik_file_cache_entries{") != std::string::npos; },
                      60))
      << "no reading at http://127.0.0.1:" << metrics_port << "/metrics\n"
      << host_errors();
  // Twenty files cached, so that the counter's value is the host's and not a default.
  constexpr int kFiles = 20;
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_TRUE(SendLoadRequest(statistics.port(), "/files/page-" + std::to_string(i) + ".html"));
  }

  // promtool lints the exposition as served in the 0.0.4 text format.
  const std::string exposition_path = directory.path() + "/metrics.txt";
  std::ofstream(exposition_path, std::ios::binary) << Get(metrics_port, "/metrics", "text/plain");
  ASSERT_NE("", ReadText(exposition_path));
  {
    ChildProcess lint("/bin/sh", {"-c", std::string(kTimeout) + " 60 " + kPromtool + " check metrics < '" +
                                            exposition_path + "'"},
                      directory.path() + "/promtool");
    ASSERT_TRUE(lint.WaitForExit(90));
    EXPECT_EQ(0, lint.exit_status()) << ReadText(directory.path() + "/promtool") << "\n" << ReadText(exposition_path);
    EXPECT_EQ("", ReadText(directory.path() + "/promtool")) << "no lint finding";
  }

  // Prometheus on its own loopback port and storage, scraping the host every second. It asks
  // for OpenMetrics first, so its parser reads that form.
  const int prometheus_port = UnusedPort();
  const std::string config_path = directory.path() + "/prometheus.yml";
  std::ofstream(config_path) << "global:\n"
                             << "  scrape_interval: 1s\n"
                             << "  scrape_timeout: 1s\n"
                             << "scrape_configs:\n"
                             << "  - job_name: sarvik\n"
                             << "    static_configs:\n"
                             << "      - targets: ['127.0.0.1:" << metrics_port << "']\n";
  ChildProcess prometheus(kTimeout,
                          {"-s", "TERM", kProgramSeconds, kPrometheus, "--config.file=" + config_path,
                           "--storage.tsdb.path=" + directory.path() + "/data",
                           "--web.listen-address=127.0.0.1:" + std::to_string(prometheus_port), "--log.level=warn"},
                          directory.path() + "/prometheus-log");
  auto prometheus_log = [&] { return ReadText(directory.path() + "/prometheus-log"); };

  // The source is up, as Prometheus stored it.
  std::vector<Series> up;
  ASSERT_TRUE(WaitFor(
      [&] {
        up = Query(prometheus_port, "sarvik_source_up");
        return !up.empty();
      },
      120))
      << "Prometheus stored no sarvik_source_up\n"
      << prometheus_log() << Get(prometheus_port, "/api/v1/targets");
  ASSERT_EQ(1u, up.size());
  EXPECT_NE(std::string::npos, up[0].metric.find("\"target\":\"" + target + "\"")) << up[0].metric;
  EXPECT_EQ("1", up[0].value);

  // The file cache as Prometheus has it, once it has scraped a round after the load.
  std::vector<Series> entries;
  EXPECT_TRUE(WaitFor(
      [&] {
        entries = Query(prometheus_port, "sarvik_file_cache_entries");
        return entries.size() == 1 && entries[0].value == std::to_string(kFiles);
      },
      120))
      << (entries.empty() ? "none" : entries[0].value) << "\n"
      << prometheus_log();
  ASSERT_EQ(1u, entries.size());
  for (const std::string& label : {"\"target\":\"" + target + "\"", "\"host\":\"" + target + "\"",
                                  std::string("\"counter\":\"File Cache Entries\""),
                                  std::string("\"label\":\"File Cache Entries\""), std::string("\"job\":\"sarvik\"")}) {
    EXPECT_NE(std::string::npos, entries[0].metric.find(label)) << entries[0].metric;
  }
  // A rate Prometheus stored is one the host wrote.
  const std::vector<Series> rates = Query(prometheus_port, "sarvik_requests_per_second");

  host.Signal(SIGTERM);
  ASSERT_TRUE(host.WaitForExit(60)) << host_errors();
  EXPECT_EQ(143, host.exit_status()) << "ended by SIGTERM (128 + 15), as it says\n" << host_errors();
  prometheus.Stop();

  std::vector<std::string> csv_entries;
  std::vector<double> csv_rates;
  for (const auto& record : CsvRecords(ReadText(csv_path))) {
    if (record.count("status") == 0 || record.at("status") != "new" || record.at("host") != target) continue;
    if (record.at("counter") == "File Cache Entries") csv_entries.push_back(record.at("value"));
    if (record.at("counter") == "Total number of requests:" && !record.at("value").empty()) {
      csv_rates.push_back(std::strtod(record.at("value").c_str(), nullptr));
    }
  }
  ASSERT_FALSE(csv_entries.empty()) << ReadText(csv_path);
  EXPECT_EQ(std::to_string(kFiles), csv_entries.back()) << "the CSV's last file-cache reading is Prometheus's";
  if (!rates.empty()) {
    const double stored = std::strtod(rates[0].value.c_str(), nullptr);
    bool written = false;
    for (const double rate : csv_rates) written = written || std::fabs(rate - stored) <= 1e-9 * std::max(1.0, rate);
    EXPECT_TRUE(written) << "Prometheus has a rate of " << rates[0].value << " the CSV never showed\n"
                         << ReadText(csv_path);
  }
}

}  // namespace
