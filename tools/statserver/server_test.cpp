// The server over real loopback sockets: a server runs on an ephemeral port for each test and is stopped at
// its end; every wait has a generous deadline and nothing asserts on time.
#include "tools/statserver/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "tools/statserver/page.h"

namespace statserver {
namespace {

using std::chrono::seconds;

constexpr auto kDeadline = seconds(20);

// A server running on its own thread for the life of the object.
class RunningServer {
 public:
  explicit RunningServer(ServerOptions options = {}) : server_(std::move(options)) {
    std::string error;
    opened_ = server_.Open(&error);
    EXPECT_TRUE(opened_) << error;
    if (opened_) {
      thread_ = std::thread([this] {
        server_.Run();
        stopped_.store(true);
      });
    }
  }
  ~RunningServer() {
    server_.RequestStop();
    if (thread_.joinable()) thread_.join();
  }

  int port() const { return server_.port(); }

  // Asks the server to stop and tells whether Run returned within the deadline.
  bool StopAndWait() {
    server_.RequestStop();
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (!stopped_.load() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return stopped_.load();
  }

 private:
  StatServer server_;
  bool opened_ = false;
  std::atomic<bool> stopped_{false};
  std::thread thread_;
};

// A client connection to 127.0.0.1.
class Client {
 public:
  explicit Client(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    EXPECT_TRUE(connected_);
  }
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }

  // Sends everything it can; a server that refuses the connection may close it first.
  bool Send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `done` holds for what was received, the server closes, or the deadline passes.
  template <typename Done>
  std::string ReadUntil(Done done) {
    const auto until = std::chrono::steady_clock::now() + kDeadline;
    while (!done(received_) && !closed_ && std::chrono::steady_clock::now() < until) {
      pollfd fd = {fd_, POLLIN, 0};
      if (::poll(&fd, 1, 100) <= 0) continue;
      char buffer[8192];
      const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) {
        closed_ = true;
        break;
      }
      received_.append(buffer, static_cast<std::size_t>(got));
    }
    return received_;
  }
  std::string ReadToClose() {
    return ReadUntil([](const std::string&) { return false; });
  }
  // One response with a Content-Length body, which is then consumed from what was received.
  std::string ReadResponse() {
    const std::string all = ReadUntil([](const std::string& text) {
      const std::size_t end = text.find("\r\n\r\n");
      if (end == std::string::npos) return false;
      const std::size_t length_at = text.find("Content-Length: ");
      if (length_at == std::string::npos || length_at > end) return true;
      return text.size() >= end + 4 + std::strtoull(text.c_str() + length_at + 16, nullptr, 10);
    });
    const std::size_t end = all.find("\r\n\r\n");
    if (end == std::string::npos) return all;
    const std::size_t length_at = all.find("Content-Length: ");
    std::size_t total = end + 4;
    if (length_at != std::string::npos && length_at < end) {
      total += std::strtoull(all.c_str() + length_at + 16, nullptr, 10);
    }
    const std::string response = all.substr(0, total);
    received_.erase(0, std::min(total, received_.size()));
    return response;
  }
  bool closed() const { return closed_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool closed_ = false;
  std::string received_;
};

std::string Get(int port, const std::string& target, const std::string& extra_headers = "") {
  Client client(port);
  client.Send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + extra_headers + "\r\n");
  return client.ReadToClose();
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

double NumberAfter(const std::string& page, const std::string& label) {
  const std::size_t at = page.find(label);
  if (at == std::string::npos) return -1;
  const std::size_t digit = page.find_first_of("0123456789", at + label.size());
  return digit == std::string::npos ? 0 : std::atof(page.c_str() + digit);
}

TEST(StatServer, StreamsCountCopiesThenCloses) {
  ServerOptions options;
  options.interval_ms = 20;
  RunningServer server(options);
  const std::string response = Get(server.port(), "/.perf?count=3");
  EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response.substr(0, 200);
  const std::string head = response.substr(0, response.find("\r\n\r\n"));
  EXPECT_NE(head.find("Content-Type: text/plain"), std::string::npos);
  EXPECT_NE(head.find("Connection: close"), std::string::npos);
  EXPECT_EQ(head.find("Content-Length"), std::string::npos);
  EXPECT_EQ(Count(response, kDelimiter), 3u);
  EXPECT_EQ(Count(response, "Total number of requests:"), 3u);
  EXPECT_EQ(Count(response, "</table>\n"), 3u);

  const std::string trailed = Get(server.port(), "/.perf?count=2&trailer=1&chunk=100&pause=0");
  EXPECT_EQ(Count(trailed, kDelimiter), 3u);
  EXPECT_EQ(trailed.substr(trailed.size() - kDelimiterLength), kDelimiter);
}

TEST(StatServer, NumberedSourcesStreamTheirOwnFormulaPages) {
  ServerOptions options;
  options.interval_ms = 20;
  options.sources = 8;
  RunningServer server(options);
  const std::string response = Get(server.port(), "/s/7/.perf?count=3");
  EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response.substr(0, 200);
  std::size_t at = response.find(kDelimiter);
  for (int copy = 0; copy < 3; ++copy) {
    ASSERT_NE(at, std::string::npos) << "copy " << copy;
    const std::size_t next = response.find(kDelimiter, at + 1);
    const std::string page = response.substr(at, next == std::string::npos ? std::string::npos : next - at);
    EXPECT_EQ(NumberAfter(page, "KeepAliveCount"), 3 * 7 + copy) << "copy " << copy;
    EXPECT_EQ(NumberAfter(page, "Total number of requests:"), 9 * 7 * copy) << "copy " << copy;
    at = next;
  }

  // Load leaves a source's page alone; a number beyond --sources is the live page.
  Get(server.port(), "/load");
  EXPECT_EQ(NumberAfter(Get(server.port(), "/s/2/.perf?once"), "Total number of requests:"), 0);
  EXPECT_EQ(NumberAfter(Get(server.port(), "/s/9/.perf?once"), "Total number of requests:"), 1);
}

TEST(StatServer, LoadMovesTheCounters) {
  RunningServer server;
  Client client(server.port());
  for (int i = 0; i < 3; ++i) {
    client.Send("GET /load/item" + std::to_string(i % 2) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string response = client.ReadResponse();
    EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response;
    EXPECT_NE(response.find("Connection: keep-alive"), std::string::npos);
  }
  EXPECT_FALSE(client.closed());
  // An admin request on its own connection, then the statistics.
  Get(server.port(), "/admin/index.html");
  const std::string page = Get(server.port(), "/perf-once");
  EXPECT_EQ(page.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_NE(page.find("Content-Length: "), std::string::npos);
  EXPECT_EQ(page.find(kDelimiter), std::string::npos);
  EXPECT_EQ(NumberAfter(page, "Total number of requests:"), 4);
  EXPECT_EQ(NumberAfter(page, "Total Sessions Created"), 2);
  EXPECT_EQ(NumberAfter(page, "KeepAliveHits"), 2);
  EXPECT_EQ(NumberAfter(page, "KeepAliveCount"), 1);  // the first client waits in keep-alive
  EXPECT_EQ(NumberAfter(page, "File Cache Hit Ratio"), 1);
  EXPECT_NE(page.find("<tr><td>https-demo</td><td align=\"right\">3</td>"), std::string::npos);
  EXPECT_NE(page.find("<tr><td>https-admin</td><td align=\"right\">1</td>"), std::string::npos);
  EXPECT_NE(page.find("service-dump"), std::string::npos);
}

TEST(StatServer, StatisticsNeedTheCredentialsWhenConfigured) {
  ServerOptions options;
  options.auth = "admin:secret";
  RunningServer server(options);
  const std::string refused = Get(server.port(), "/.perf?once");
  EXPECT_EQ(refused.rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u) << refused;
  EXPECT_NE(refused.find("WWW-Authenticate: Basic realm=\"perf\"\r\n"), std::string::npos);
  const std::string wrong = Get(server.port(), "/.perf?once", "Authorization: Basic YWRtaW46YWRtaW4=\r\n");
  EXPECT_EQ(wrong.rfind("HTTP/1.1 401", 0), 0u);
  const std::string granted = Get(server.port(), "/.perf?once", "Authorization: Basic YWRtaW46c2VjcmV0\r\n");
  EXPECT_EQ(granted.rfind("HTTP/1.1 200 OK", 0), 0u);
  // Load and faults need none.
  EXPECT_EQ(Get(server.port(), "/").rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST(StatServer, AnswersTheFaultStatuses) {
  RunningServer server;
  EXPECT_EQ(Get(server.port(), "/fault/401").rfind("HTTP/1.1 401 Unauthorized\r\n", 0), 0u);
  EXPECT_EQ(Get(server.port(), "/fault/404").rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u);
  const std::string proxy = Get(server.port(), "/fault/407");
  EXPECT_EQ(proxy.rfind("HTTP/1.1 407 Proxy Authentication Required\r\n", 0), 0u);
  EXPECT_NE(proxy.find("Proxy-Authenticate: Basic realm=\"proxy\"\r\n"), std::string::npos);
  EXPECT_EQ(Get(server.port(), "/fault/500").rfind("HTTP/1.1 500 Internal Server Error\r\n", 0), 0u);
  EXPECT_EQ(Get(server.port(), "/fault/reason?text=Gone+fishing+for+a+while").rfind(
                "HTTP/1.1 503 Gone fishing for a while\r\n", 0),
            0u);
  EXPECT_EQ(Get(server.port(), "/fault/reason?status=502&text=x%0D%0Ay").rfind("HTTP/1.1 502 x  y\r\n", 0), 0u);
  EXPECT_EQ(Get(server.port(), "/fault/unknown").rfind("HTTP/1.1 404", 0), 0u);
  // Errors count for the virtual server; nothing else moved.
  const std::string page = Get(server.port(), "/perf-once");
  EXPECT_NE(page.find("<tr><td>https-demo</td><td align=\"right\">0</td><td><b>0</b></td><td>7</td>"),
            std::string::npos);
  EXPECT_EQ(NumberAfter(page, "Total Connections Queued"), 0);
}

TEST(StatServer, MisbehavingStreams) {
  ServerOptions options;
  options.interval_ms = 10;
  RunningServer server(options);
  const std::string oversized = Get(server.port(), "/fault/oversized");
  const std::size_t body = oversized.size() - oversized.find("\r\n\r\n") - 4;
  EXPECT_GT(body, 20u * 1024);
  EXPECT_EQ(oversized.find(kDelimiter), std::string::npos);

  const std::string dropped = Get(server.port(), "/fault/drop-mid-page");
  EXPECT_EQ(Count(dropped, kDelimiter), 1u);
  EXPECT_EQ(dropped.find("</table>"), std::string::npos);

  EXPECT_EQ(Count(Get(server.port(), "/fault/split-delimiter?count=2"), kDelimiter), 2u);
  EXPECT_EQ(Count(Get(server.port(), "/fault/back-to-back?count=2"), std::string(kDelimiter) + kDelimiter), 2u);
  const std::string binary = Get(server.port(), "/fault/binary?count=2");
  EXPECT_EQ(Count(binary, kDelimiter), 2u);
  EXPECT_NE(binary.find('\0'), std::string::npos);
  EXPECT_NE(binary.find("\xff\n"), std::string::npos);
}

TEST(StatServer, SilentAfterHeadersSendsOnlyTheHead) {
  RunningServer server;
  Client client(server.port());
  client.Send("GET /fault/silent-after-headers HTTP/1.1\r\n\r\n");
  const std::string head =
      client.ReadUntil([](const std::string& text) { return text.find("\r\n\r\n") != std::string::npos; });
  EXPECT_EQ(head.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
  EXPECT_FALSE(client.closed());
}

TEST(StatServer, StopsWhileClientsAreSilent) {
  auto server = std::make_unique<RunningServer>();
  Client silent(server->port());
  silent.Send("GET /fault/silent HTTP/1.1\r\n\r\n");
  Client idle(server->port());  // never sends a request
  Client stream(server->port());
  stream.Send("GET /.perf HTTP/1.1\r\n\r\n");
  stream.ReadUntil([](const std::string& text) { return text.find("</table>") != std::string::npos; });
  EXPECT_TRUE(server->StopAndWait()) << "Run did not return";
  EXPECT_TRUE(silent.ReadToClose().empty());
  EXPECT_TRUE(silent.closed());
  EXPECT_TRUE(idle.ReadToClose().empty());
  EXPECT_TRUE(idle.closed());
  stream.ReadToClose();
  EXPECT_TRUE(stream.closed());
}

TEST(StatServer, BoundsHeadsAndConnections) {
  ServerOptions options;
  options.max_connections = 2;
  RunningServer server(options);
  {
    Client big(server.port());
    big.Send("GET / HTTP/1.1\r\nX-Filler: " + std::string(20 * 1024, 'x') + "\r\n\r\n");
    EXPECT_EQ(big.ReadToClose().rfind("HTTP/1.1 431 Request Header Fields Too Large\r\n", 0), 0u);
  }

  Client first(server.port());
  Client second(server.port());
  first.Send("GET /fault/silent HTTP/1.1\r\n\r\n");
  second.Send("GET /fault/silent HTTP/1.1\r\n\r\n");
  // Once the two silent connections hold both places, a third is refused. Until the 431 connection has
  // finished, the third may still get a place and an ordinary answer: try again.
  std::string refused;
  const auto until = std::chrono::steady_clock::now() + kDeadline;
  while (std::chrono::steady_clock::now() < until) {
    Client third(server.port());
    third.Send("GET /fault/404 HTTP/1.1\r\n\r\n");
    refused = third.ReadToClose();
    if (refused.rfind("HTTP/1.1 404", 0) != 0) break;
  }
  EXPECT_EQ(refused.rfind("HTTP/1.1 503 Service Unavailable\r\n", 0), 0u) << refused;
}

TEST(StatServer, ServesIpv6Loopback) {
  ServerOptions options;
  options.bind = "::1";
  StatServer server(options);
  std::string error;
  if (!server.Open(&error)) GTEST_SKIP() << "no IPv6 loopback here: " << error;
  EXPECT_EQ(server.AddressText(), "[::1]:" + std::to_string(server.port()));
}

}  // namespace
}  // namespace statserver
