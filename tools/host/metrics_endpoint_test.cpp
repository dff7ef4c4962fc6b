#include "tools/host/metrics_endpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace sarvik_host {
namespace {

struct Answer {
  int status = 0;  // 0: no answer
  std::string headers;
  std::string body;
};

// One HTTP/1.1 request over a plain socket to 127.0.0.1:`port`, read to the end.
Answer Fetch(int port, const std::string& method, const std::string& path, const std::string& extra_headers = "") {
  Answer answer;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return answer;
  timeval timeout{30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return answer;
  }
  const std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                              extra_headers + "\r\n";
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    close(fd);
    return answer;
  }
  std::string raw;
  char buffer[4096];
  for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;) raw.append(buffer, static_cast<std::size_t>(got));
  close(fd);
  const std::size_t end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) return answer;
  answer.status = std::atoi(raw.c_str() + 9);
  answer.headers = raw.substr(0, end + 2);
  answer.body = raw.substr(end + 4);
  return answer;
}

int PortOf(const std::string& address) { return std::atoi(address.c_str() + address.rfind(':') + 1); }

MetricsSnapshot OneServer(double requests_per_second) {
  MetricsSnapshot snapshot;
  snapshot.sources.push_back({"127.0.0.1:8080", "127.0.0.1", true, std::nullopt});
  MetricsCounterState counter;
  counter.counter = "Total number of requests:";
  counter.label = "Requests per Second";
  counter.is_rate = true;
  counter.has_value = true;
  counter.value = requests_per_second;
  snapshot.counters.push_back(counter);
  snapshot.readings_total = 1;
  return snapshot;
}

TEST(MetricsEndpointTest, ServesTheLatestSnapshotAtMetrics) {
  MetricsBoard board;
  std::string error;
  auto endpoint = MetricsEndpoint::Start("127.0.0.1:0", board, &error);
  ASSERT_NE(nullptr, endpoint) << error;
  ASSERT_EQ(0u, endpoint->address().find("127.0.0.1:")) << endpoint->address();
  const int port = PortOf(endpoint->address());
  ASSERT_GT(port, 0) << endpoint->address();

  // Before the first round: the session's families, no counter.
  const Answer empty = Fetch(port, "GET", "/metrics");
  ASSERT_EQ(200, empty.status);
  EXPECT_NE(std::string::npos, empty.headers.find("Content-Type: text/plain; version=0.0.4; charset=utf-8"))
      << empty.headers;
  EXPECT_NE(std::string::npos, empty.body.find("\nsarvik_readings_total 0\n")) << empty.body;
  EXPECT_EQ(std::string::npos, empty.body.find("sarvik_requests_per_second{")) << empty.body;
  EXPECT_NE(std::string::npos, empty.body.find("\nprocess_resident_memory_bytes ")) << empty.body;

  // Each request sees what was published last.
  const std::string series =
      R"(sarvik_requests_per_second{target="127.0.0.1:8080",host="127.0.0.1",counter="Total number of requests:",)"
      R"(label="Requests per Second"} )";
  board.Publish(OneServer(12.5));
  EXPECT_NE(std::string::npos, Fetch(port, "GET", "/metrics").body.find(series + "12.5\n"));
  board.Publish(OneServer(30));
  const Answer later = Fetch(port, "GET", "/metrics");
  EXPECT_NE(std::string::npos, later.body.find(series + "30\n")) << later.body;

  // OpenMetrics when asked for.
  const Answer open_metrics =
      Fetch(port, "GET", "/metrics", "Accept: application/openmetrics-text;version=1.0.0,text/plain;q=0.5\r\n");
  ASSERT_EQ(200, open_metrics.status);
  EXPECT_NE(std::string::npos,
            open_metrics.headers.find("Content-Type: application/openmetrics-text; version=1.0.0; charset=utf-8"))
      << open_metrics.headers;
  ASSERT_GE(open_metrics.body.size(), 6u);
  EXPECT_EQ("# EOF\n", open_metrics.body.substr(open_metrics.body.size() - 6));

  // HEAD: the same headers, no body.
  const Answer head = Fetch(port, "HEAD", "/metrics");
  EXPECT_EQ(200, head.status);
  EXPECT_TRUE(head.body.empty()) << head.body;
}

TEST(MetricsEndpointTest, OtherPathsAndMethodsAreRefused) {
  MetricsBoard board;
  std::string error;
  auto endpoint = MetricsEndpoint::Start(":0", board, &error);
  ASSERT_NE(nullptr, endpoint) << error;
  const int port = PortOf(endpoint->address());
  EXPECT_EQ(404, Fetch(port, "GET", "/").status);
  EXPECT_EQ(404, Fetch(port, "GET", "/metrics/extra").status);
  const Answer post = Fetch(port, "POST", "/metrics", "Content-Length: 5\r\n\r\nhello");
  EXPECT_EQ(405, post.status);
  EXPECT_NE(std::string::npos, post.headers.find("Allow: GET, HEAD")) << post.headers;
  EXPECT_EQ(405, Fetch(port, "DELETE", "/metrics").status);
  // Still serving after the refusals; a query string does not change the path.
  EXPECT_EQ(200, Fetch(port, "GET", "/metrics?x=1").status);
}

TEST(MetricsEndpointTest, StopsListeningWhenDestroyed) {
  MetricsBoard board;
  std::string error;
  auto endpoint = MetricsEndpoint::Start("127.0.0.1:0", board, &error);
  ASSERT_NE(nullptr, endpoint) << error;
  const int port = PortOf(endpoint->address());
  ASSERT_EQ(200, Fetch(port, "GET", "/metrics").status);
  endpoint.reset();
  EXPECT_EQ(0, Fetch(port, "GET", "/metrics").status) << "nothing answers after the endpoint is gone";
  // The port is free again for a new endpoint.
  auto again = MetricsEndpoint::Start("127.0.0.1:" + std::to_string(port), board, &error);
  ASSERT_NE(nullptr, again) << error;
  EXPECT_EQ(200, Fetch(port, "GET", "/metrics").status);
}

TEST(MetricsEndpointTest, AnAddressThatCannotBeListenedOnIsRefusedClearly) {
  MetricsBoard board;
  std::string error;
  auto first = MetricsEndpoint::Start("127.0.0.1:0", board, &error);
  ASSERT_NE(nullptr, first) << error;
  const std::string taken = first->address();
  EXPECT_EQ(nullptr, MetricsEndpoint::Start(taken, board, &error));
  EXPECT_EQ("cannot listen on " + taken + ": Address already in use", error);

  EXPECT_EQ(nullptr, MetricsEndpoint::Start("127.0.0.1:http", board, &error));
  EXPECT_NE(std::string::npos, error.find("needs a port from 0 to 65535")) << error;
  EXPECT_EQ(nullptr, MetricsEndpoint::Start("no-such-host.invalid:0", board, &error));
  EXPECT_EQ(0u, error.find("cannot listen on no-such-host.invalid:0: ")) << error;
}

TEST(MetricsEndpointTest, ListenAddressForms) {
  struct Case {
    std::string listen;
    bool ok;
    std::string host;
    int port;
    std::string error_part;
  };
  const Case cases[] = {
      {"127.0.0.1:9464", true, "127.0.0.1", 9464, ""},
      {"0.0.0.0:80", true, "0.0.0.0", 80, ""},
      {"localhost:0", true, "localhost", 0, ""},
      {"[::1]:9464", true, "::1", 9464, ""},
      {":9464", true, "127.0.0.1", 9464, ""},
      {"9464", true, "127.0.0.1", 9464, ""},
      {"::1:9464", false, "", 0, "in brackets"},
      {"[::1]9464", false, "", 0, "[::1]:9464"},
      {"[]:1", false, "", 0, "no IPv6 address"},
      {"web1", false, "", 0, "HOST:PORT"},
      {"web1:65536", false, "", 0, "from 0 to 65535"},
      {"web1:", false, "", 0, "from 0 to 65535"},
      {"", false, "", 0, "HOST:PORT"},
  };
  for (const Case& c : cases) {
    std::string host, error;
    int port = -1;
    EXPECT_EQ(c.ok, ParseListenAddress(c.listen, &host, &port, &error)) << c.listen << ": " << error;
    if (c.ok) {
      EXPECT_EQ(c.host, host) << c.listen;
      EXPECT_EQ(c.port, port) << c.listen;
    } else {
      EXPECT_NE(std::string::npos, error.find(c.error_part)) << c.listen << ": " << error;
    }
  }
}

}  // namespace
}  // namespace sarvik_host
