#include "platform/http.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/http_curl_response.h"
#include "platform/http_curl_route.h"
#include "platform/testing/loopback_server.h"

// Readable steps in failure messages.
static void PrintTo(HttpStep step, std::ostream* out) {
  switch (step) {
    case HttpStep::kOk: *out << "kOk"; break;
    case HttpStep::kConnectFailed: *out << "kConnectFailed"; break;
    case HttpStep::kSendFailed: *out << "kSendFailed"; break;
    case HttpStep::kFailed: *out << "kFailed"; break;
    case HttpStep::kCancelled: *out << "kCancelled"; break;
    default: *out << "HttpStep(" << static_cast<int>(step) << ")"; break;
  }
}

namespace {

using namespace std::chrono_literals;
using testing_support::ClosedLoopbackPort;
using testing_support::LoopbackServer;
using testing_support::ReceivedRequest;
using testing_support::Reply;

constexpr const char* kUserAgent = "Mozilla/4.5 [en] (WinNT; I)";
// Long enough never to be reached by a healthy exchange, even under a sanitizer.
constexpr std::chrono::milliseconds kGenerousBound = 10s;

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    unsigned group = static_cast<unsigned char>(bytes[at]) << 16;
    if (at + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[at + 1]) << 8;
    if (at + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[at + 2]);
    text += kDigits[(group >> 18) & 63];
    text += kDigits[(group >> 12) & 63];
    text += at + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    text += at + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return text;
}

HttpRequestOptions DirectOptions(int port, std::string target = "/.perf") {
  HttpRequestOptions options;
  options.host = "127.0.0.1";
  options.port = port;
  options.target = std::move(target);
  options.user_agent = kUserAgent;
  options.proxy_mode = ProxyMode::kDirect;
  return options;
}

std::unique_ptr<HttpExchange> Open(const HttpRequestOptions& options, std::function<bool()> cancel = nullptr) {
  HttpOpenFailure failure = HttpOpenFailure::kSession;
  std::string error_text;
  std::unique_ptr<HttpExchange> exchange =
      SystemHttpClient().Open(options, std::move(cancel), &failure, &error_text);
  EXPECT_NE(nullptr, exchange) << "Open failed: " << error_text;
  return exchange;
}

// Pulls the body until the response ends or a step fails, reading in pieces of at most `piece`
// bytes; returns the last step. `*largest` gets the most bytes Available() ever reported.
HttpStep ReadBody(HttpExchange& exchange, std::string* body, std::size_t piece = 1000,
                  std::size_t* largest = nullptr) {
  for (;;) {
    std::size_t available = 0;
    const HttpStep waited = exchange.Available(&available);
    if (waited != HttpStep::kOk || available == 0) return waited;
    if (largest != nullptr) *largest = std::max(*largest, available);
    while (available > 0) {
      std::string chunk(std::min(piece, available), '\0');
      std::size_t got = 0;
      const HttpStep read = exchange.Read(chunk.data(), chunk.size(), &got);
      if (read != HttpStep::kOk) return read;
      if (got == 0) return HttpStep::kFailed;  // Available promised more than Read gives
      body->append(chunk, 0, got);
      available -= got;
    }
  }
}

// A cancel check for an exchange that another thread turns on once a wait is under way: after
// Arm(), it waits until the exchange has asked the check twice (so the wait has begun and polls),
// then asks to cancel.
class Canceller {
 public:
  ~Canceller() {
    if (thread_.joinable()) thread_.join();
  }

  std::function<bool()> Check() {
    return [this] {
      std::lock_guard<std::mutex> hold(mutex_);
      if (armed_) ++asked_;
      asked_changed_.notify_all();
      return cancel_;
    };
  }

  void Arm() {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      armed_ = true;
      asked_ = 0;
    }
    thread_ = std::thread([this] {
      std::unique_lock<std::mutex> hold(mutex_);
      asked_changed_.wait_for(hold, kGenerousBound, [this] { return asked_ >= 2; });
      cancel_ = true;
    });
  }

  void Join() { thread_.join(); }

 private:
  std::mutex mutex_;
  std::condition_variable asked_changed_;
  bool armed_ = false;
  int asked_ = 0;
  bool cancel_ = false;
  std::thread thread_;
};

// Sets proxy environment variables for one test and restores them afterwards.
class ProxyEnvironment {
 public:
  ProxyEnvironment() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value == nullptr ? std::nullopt : std::optional<std::string>(value));
      unsetenv(name);
    }
  }
  ~ProxyEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) {
        setenv(name, value->c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }
  void Set(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }

 private:
  static constexpr const char* kNames[] = {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

// --- Preparing a request ------------------------------------------------------------------

TEST(HttpRouteTest, HostsAndTargetsAreCheckedBeforeAnythingIsSent) {
  EXPECT_TRUE(HostFitsUrl("127.0.0.1"));
  EXPECT_TRUE(HostFitsUrl("stats.example.com"));
  EXPECT_TRUE(HostFitsUrl("web_01"));
  EXPECT_TRUE(HostFitsUrl("[::1]"));
  EXPECT_TRUE(HostFitsUrl("[fe80::1:2]"));
  for (const char* host : {"", "two words", "user@host", "host/path", "host:80", "host?x", "host#x", "[::1", "[]",
                           "[::g]", "tab\there", "back\\slash"}) {
    EXPECT_FALSE(HostFitsUrl(host)) << host;
  }
  EXPECT_TRUE(TargetFitsRequestLine("/.perf?a=1 b&c=%20"));
  EXPECT_FALSE(TargetFitsRequestLine("/.perf\r\nX-Injected: 1"));
  EXPECT_FALSE(TargetFitsRequestLine("/.perf\n"));
  EXPECT_FALSE(TargetFitsRequestLine(std::string("/.perf\0x", 8)));
}

TEST(HttpRouteTest, ProxiesReceiveAbsoluteTargets) {
  HttpRequestOptions options = DirectOptions(8080, "/.perf?x=1");
  options.host = "web.example.com";
  EXPECT_EQ("/.perf?x=1", FirstHopTarget(options, false));
  EXPECT_EQ("http://web.example.com:8080/.perf?x=1", FirstHopTarget(options, true));
  options.target = "";
  EXPECT_EQ("/", FirstHopTarget(options, false));
  EXPECT_EQ("http://web.example.com:8080/", FirstHopTarget(options, true));
  options.target = "http://elsewhere:81/.perf";
  EXPECT_EQ("http://elsewhere:81/.perf", FirstHopTarget(options, true));
  options.host = "[::1]";
  options.target = "/.perf";
  EXPECT_EQ("http://[::1]:8080/.perf", FirstHopTarget(options, true));

  EXPECT_TRUE(IsHttpProxy("proxy.example.com:3128"));
  EXPECT_TRUE(IsHttpProxy("http://proxy:3128"));
  EXPECT_TRUE(IsHttpProxy("HTTPS://proxy:3128"));
  EXPECT_FALSE(IsHttpProxy("socks5://proxy:1080"));
  EXPECT_FALSE(IsHttpProxy("socks5h://proxy:1080"));
}

TEST(HttpRouteTest, NoProxyListsHostsTheWayLibcurlDoes) {
  EXPECT_TRUE(NoProxyListsHost("anything.example", "*"));
  EXPECT_TRUE(NoProxyListsHost("example.com", "example.com"));
  EXPECT_TRUE(NoProxyListsHost("www.Example.COM", "example.com"));
  EXPECT_TRUE(NoProxyListsHost("www.example.com", ".example.com"));
  EXPECT_TRUE(NoProxyListsHost("www.example.com.", "example.com"));
  EXPECT_FALSE(NoProxyListsHost("notexample.com", "example.com"));
  EXPECT_FALSE(NoProxyListsHost("example.com.org", "example.com"));
  EXPECT_TRUE(NoProxyListsHost("stats", "localhost, stats ,,other"));
  EXPECT_FALSE(NoProxyListsHost("stats", "localhost other stats"));  // only commas separate
  EXPECT_FALSE(NoProxyListsHost("stats", ""));
  EXPECT_TRUE(NoProxyListsHost("127.0.0.1", "127.0.0.1"));
  EXPECT_TRUE(NoProxyListsHost("10.1.2.3", "10.0.0.0/8"));
  EXPECT_FALSE(NoProxyListsHost("11.1.2.3", "10.0.0.0/8"));
  EXPECT_FALSE(NoProxyListsHost("127.0.0.1", "*.0.0.1,0.0.1"));
  EXPECT_TRUE(NoProxyListsHost("[::1]", "::1"));
  EXPECT_TRUE(NoProxyListsHost("[fd00::5]", "fd00::/8"));
  EXPECT_FALSE(NoProxyListsHost("[fe80::5]", "fd00::/8"));
}

TEST(HttpResponseHeadTest, StatusLinesAreReadLikeLibcurlReadsThem) {
  int code = -1;
  std::string reason;
  EXPECT_TRUE(ParseStatusLine("HTTP/1.1 200 OK\r\n", &code, &reason));
  EXPECT_EQ(200, code);
  EXPECT_EQ("OK", reason);
  EXPECT_TRUE(ParseStatusLine("HTTP/1.0 404 Not Found", &code, &reason));
  EXPECT_EQ(404, code);
  EXPECT_EQ("Not Found", reason);
  EXPECT_TRUE(ParseStatusLine("HTTP/1.1 204\r\n", &code, &reason));
  EXPECT_EQ(204, code);
  EXPECT_EQ("", reason);
  EXPECT_TRUE(ParseStatusLine("HTTP/1.1 200OK\r\n", &code, &reason));
  EXPECT_EQ(200, code);
  for (const char* line : {"HTTP/1.1 abc Broken\r\n", "HTTP/1.1 20 OK", "HTTP/1.1 2000 OK", "ICY 200 OK", "HTTP/1.1",
                           ""}) {
    EXPECT_FALSE(ParseStatusLine(line, &code, &reason)) << line;
    EXPECT_EQ(0, code) << line;
    EXPECT_EQ("", reason) << line;
  }
}

TEST(HttpResponseHeadTest, OnlyTheFinalBlockCounts) {
  ResponseHead head;
  for (const char* line : {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "Server: x\r\n"}) {
    head.AddLine(line);
  }
  EXPECT_FALSE(head.complete()) << "headers are not complete before their blank line";
  head.AddLine("\r\n");
  EXPECT_TRUE(head.complete());
  EXPECT_EQ(200, head.status_code());
  head.AddLine("X-Trailer: 1\r\n");
  EXPECT_EQ(200, head.status_code());

  // libcurl answers the challenge itself: the 401 is followed by the real answer.
  head.Reset();
  for (const char* line : {"HTTP/1.1 401 Unauthorized\r\n", "WWW-Authenticate: Basic realm=\"x\"\r\n", "\r\n"}) {
    head.AddLine(line);
  }
  EXPECT_FALSE(head.complete());
  head.AddLine("HTTP/1.1 200 OK\r\n");
  head.AddLine("\r\n");
  EXPECT_TRUE(head.complete());
  EXPECT_EQ(200, head.status_code());

  // Nobody answers this 407: its body makes it final.
  head.Reset();
  for (const char* line : {"HTTP/1.1 407 Proxy Authentication Required\r\n",
                           "Proxy-Authenticate: Digest realm=\"p\", nonce=\"n\"\r\n",
                           "proxy-authenticate: basic realm=\"p\"\r\n", "\r\n"}) {
    head.AddLine(line);
  }
  EXPECT_FALSE(head.complete());
  head.NoteBody();
  EXPECT_TRUE(head.complete());
  EXPECT_EQ(407, head.status_code());
  EXPECT_EQ("Proxy Authentication Required", head.reason_phrase());
  EXPECT_TRUE(head.proxy_offers_basic());

  head.Reset();
  for (const char* line : {"HTTP/1.1 407 Denied\r\n", "Proxy-Authenticate: Digest realm=\"Basic\"\r\n",
                           "Proxy-Authenticate: NTLM\r\n", "\r\n"}) {
    head.AddLine(line);
  }
  head.NoteEnd();
  EXPECT_TRUE(head.complete());
  EXPECT_FALSE(head.proxy_offers_basic());
}

TEST(HttpOpenTest, UnusableHostPortOrTargetIsRefused) {
  struct Case {
    std::string host;
    int port;
    std::string target;
    HttpOpenFailure failure;
  };
  const Case cases[] = {
      {"", 80, "/.perf", HttpOpenFailure::kConnection},
      {"two words", 80, "/.perf", HttpOpenFailure::kConnection},
      {"user@host", 80, "/.perf", HttpOpenFailure::kConnection},
      {"host/path", 80, "/.perf", HttpOpenFailure::kConnection},
      {"127.0.0.1", 0, "/.perf", HttpOpenFailure::kConnection},
      {"127.0.0.1", 65536, "/.perf", HttpOpenFailure::kConnection},
      {"127.0.0.1", 80, "/.perf\r\nX-Injected: 1", HttpOpenFailure::kRequest},
      {"127.0.0.1", 80, std::string("/.perf\0", 7), HttpOpenFailure::kRequest},
  };
  for (const Case& c : cases) {
    HttpRequestOptions options = DirectOptions(c.port, c.target);
    options.host = c.host;
    HttpOpenFailure failure = HttpOpenFailure::kSession;
    std::string error_text;
    EXPECT_EQ(nullptr, SystemHttpClient().Open(options, nullptr, &failure, &error_text)) << c.host << ":" << c.port;
    EXPECT_EQ(c.failure, failure) << c.host << ":" << c.port << " " << c.target;
    EXPECT_FALSE(error_text.empty()) << c.host << ":" << c.port;
  }
  HttpRequestOptions fine = DirectOptions(80, "/a b?c");  // the server gets what it is given
  EXPECT_NE(nullptr, Open(fine));
}

// --- Status and request -------------------------------------------------------------------

TEST(HttpExchangeTest, StatusCodeAndReasonPhraseOfTheFinalResponse) {
  const std::string long_reason = "Statistics " + std::string(3000, 'r');
  LoopbackServer server([&](const ReceivedRequest& request) {
    if (request.target == "/missing") return Reply::Response("HTTP/1.1 404 Not Found", "", "no such page");
    if (request.target == "/long") return Reply::Response("HTTP/1.1 200 " + long_reason, "", "ok");
    if (request.target == "/bare") return Reply::Response("HTTP/1.1 200", "", "ok");
    if (request.target == "/garbled") return Reply::Response("HTTP/1.1 abc Broken", "", "ok");
    if (request.target == "/continue") {
      Reply reply;
      reply.Write("HTTP/1.1 100 Continue\r\n\r\n").Pause(20ms).Write("HTTP/1.1 201 Made\r\nContent-Length: 0\r\n\r\n");
      return reply.AndThen(Reply::Then::kNextRequest);
    }
    return Reply::Response("HTTP/1.1 200 OK", "", "ok");
  });
  ASSERT_TRUE(server.started());
  struct Case {
    const char* target;
    int code;
    std::string reason;
  };
  const Case cases[] = {{"/ok", 200, "OK"},          {"/missing", 404, "Not Found"}, {"/long", 200, long_reason},
                        {"/bare", 200, ""},          {"/garbled", 0, ""},            {"/continue", 201, "Made"}};
  for (const Case& c : cases) {
    std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), c.target));
    ASSERT_NE(nullptr, exchange);
    ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << c.target << ": " << exchange->ErrorText();
    EXPECT_EQ(c.code, exchange->StatusCode()) << c.target;
    EXPECT_EQ(c.reason, exchange->ReasonPhrase()) << c.target;
  }

  // The short body of a 404 is there to read, then the response ends.
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), "/missing"));
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound));
  std::string body;
  EXPECT_EQ(HttpStep::kOk, ReadBody(*exchange, &body));
  EXPECT_EQ("no such page", body);
  EXPECT_EQ("Not available", exchange->ErrorText());
}

TEST(HttpExchangeTest, RequestIsSentExactlyAsGiven) {
  LoopbackServer server([](const ReceivedRequest&) { return Reply::Response("HTTP/1.1 200 OK", "", "ok"); });
  ASSERT_TRUE(server.started());
  const std::string absolute = "http://127.0.0.1:" + std::to_string(server.port()) + "/.perf";
  const std::vector<std::pair<std::string, std::string>> targets = {
      {"/.perf?x=1&y=%20z", "/.perf?x=1&y=%20z"},
      {"/a b", "/a b"},
      {absolute, absolute},
      {"", "/"},
  };
  for (const auto& [given, sent] : targets) {
    std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), given));
    ASSERT_NE(nullptr, exchange);
    ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  }
  const std::vector<ReceivedRequest> requests = server.Requests();
  ASSERT_EQ(targets.size(), requests.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const ReceivedRequest& request = requests[i];
    EXPECT_EQ("GET", request.method);
    EXPECT_EQ(targets[i].second, request.target);
    EXPECT_EQ("HTTP/1.1", request.version);
    EXPECT_EQ("*/*", request.Header("Accept"));
    EXPECT_EQ(kUserAgent, request.Header("User-Agent"));
    EXPECT_EQ("no-cache", request.Header("Cache-Control"));
    EXPECT_EQ("no-cache", request.Header("Pragma"));
    EXPECT_EQ("127.0.0.1:" + std::to_string(server.port()), request.Header("Host"));
    EXPECT_FALSE(request.HasHeader("Authorization"));
    EXPECT_FALSE(request.HasHeader("Proxy-Authorization"));
    EXPECT_FALSE(request.HasHeader("Expect"));
  }
}

// --- The body as a stream -----------------------------------------------------------------

TEST(HttpExchangeTest, BodyArrivesPieceByPieceWithEveryByteIntact) {
  std::string bytes;
  for (int round = 0; round < 4; ++round) {
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  }
  bytes += "THIS_STRING_NEVER_HAPPENS";
  LoopbackServer server([&](const ReceivedRequest& request) {
    Reply reply;
    if (request.target == "/chunked") {
      reply.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
      for (std::size_t at = 0; at < bytes.size(); at += 300) {
        const std::string piece = bytes.substr(at, 300);
        char size[16];
        std::snprintf(size, sizeof(size), "%zx\r\n", piece.size());
        reply.Pause(15ms).Write(size + piece + "\r\n");
      }
      return reply.Pause(15ms).Write("0\r\n\r\n").AndThen(Reply::Then::kNextRequest);
    }
    if (request.target == "/cut") {
      // Promises more than it sends, then hangs up.
      return reply.Write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + bytes.substr(0, 700))
          .Pause(15ms)
          .AndThen(Reply::Then::kClose);
    }
    // Ends by closing the connection, as a pushing web server does.
    reply.Write("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nConnection: close\r\n\r\n");
    reply.Pause(20ms).Write(bytes.substr(0, 100));
    reply.Pause(20ms).Write(bytes.substr(100, 600));
    reply.Pause(20ms).Write(bytes.substr(700));
    return reply.Pause(20ms).AndThen(Reply::Then::kClose);
  });
  ASSERT_TRUE(server.started());

  for (const char* target : {"/closing", "/chunked"}) {
    std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), target));
    ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
    ASSERT_EQ(200, exchange->StatusCode());
    std::string body;
    EXPECT_EQ(HttpStep::kOk, ReadBody(*exchange, &body, 77)) << target << ": " << exchange->ErrorText();
    EXPECT_EQ(bytes, body) << target;
    std::size_t available = 99;
    EXPECT_EQ(HttpStep::kOk, exchange->Available(&available)) << "the end stays the end";
    EXPECT_EQ(0u, available);
    char spare[8];
    std::size_t copied = 99;
    EXPECT_EQ(HttpStep::kOk, exchange->Read(spare, sizeof(spare), &copied));
    EXPECT_EQ(0u, copied);
  }

  std::unique_ptr<HttpExchange> cut = Open(DirectOptions(server.port(), "/cut"));
  ASSERT_EQ(HttpStep::kOk, cut->Send(kGenerousBound));
  std::string body;
  EXPECT_EQ(HttpStep::kFailed, ReadBody(*cut, &body));
  EXPECT_EQ(bytes.substr(0, 700), body) << "what arrived before the break is still delivered";
  EXPECT_NE("Not available", cut->ErrorText());
}

TEST(HttpExchangeTest, FastServerWaitsInsteadOfFillingMemory) {
  std::string bytes(1 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  LoopbackServer server([&](const ReceivedRequest&) {
    Reply reply;
    return reply.Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + bytes).AndThen(Reply::Then::kClose);
  });
  ASSERT_TRUE(server.started());
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port()));
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound));
  std::string body;
  std::size_t largest = 0;
  EXPECT_EQ(HttpStep::kOk, ReadBody(*exchange, &body, 4096, &largest)) << exchange->ErrorText();
  EXPECT_TRUE(body == bytes) << "received " << body.size() << " of " << bytes.size() << " bytes";
  EXPECT_LE(largest, 128u * 1024u) << "bytes held for the reader at once";
}

// --- Failures before the answer -----------------------------------------------------------

TEST(HttpExchangeTest, RefusedConnectionIsAConnectFailure) {
  const int port = ClosedLoopbackPort();
  ASSERT_NE(0, port);
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(port));
  ASSERT_NE(nullptr, exchange);
  EXPECT_EQ("Not available", exchange->ErrorText());
  EXPECT_EQ(HttpStep::kConnectFailed, exchange->Send(kGenerousBound));
  EXPECT_FALSE(exchange->ErrorText().empty());
  EXPECT_NE("Not available", exchange->ErrorText());
}

TEST(HttpExchangeTest, SilentOrVanishingServerFailsTheSend) {
  LoopbackServer server([](const ReceivedRequest& request) {
    Reply reply;
    return reply.AndThen(request.target == "/vanish" ? Reply::Then::kClose : Reply::Then::kHold);
  });
  ASSERT_TRUE(server.started());

  std::unique_ptr<HttpExchange> silent = Open(DirectOptions(server.port(), "/silent"));
  EXPECT_EQ(HttpStep::kSendFailed, silent->Send(300ms));
  EXPECT_NE(std::string::npos, silent->ErrorText().find("300 ms")) << silent->ErrorText();
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen(kGenerousBound)) << "the abandoned request keeps its connection";

  std::unique_ptr<HttpExchange> vanishing = Open(DirectOptions(server.port(), "/vanish"));
  EXPECT_EQ(HttpStep::kSendFailed, vanishing->Send(kGenerousBound));
  EXPECT_NE("Not available", vanishing->ErrorText());
  std::size_t available = 0;
  EXPECT_EQ(HttpStep::kFailed, vanishing->Available(&available)) << "nothing to read from an unanswered request";
}

// --- Cancelling and time-outs -------------------------------------------------------------

TEST(HttpExchangeTest, CancelEndsAWaitingSendAndTheConnection) {
  LoopbackServer server([](const ReceivedRequest&) { return Reply().AndThen(Reply::Then::kHold); });
  ASSERT_TRUE(server.started());
  Canceller canceller;
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port()), canceller.Check());
  canceller.Arm();
  EXPECT_EQ(HttpStep::kCancelled, exchange->Send(kGenerousBound));
  canceller.Join();
  EXPECT_TRUE(server.WaitForRequests(1, kGenerousBound));
  exchange.reset();
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen(kGenerousBound));
}

TEST(HttpExchangeTest, SilentBodyIsCancelledOrTimesOut) {
  LoopbackServer server([](const ReceivedRequest&) {
    Reply reply;
    return reply.Write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nTHIS_STRING")
        .AndThen(Reply::Then::kHold);
  });
  ASSERT_TRUE(server.started());

  Canceller canceller;
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port()), canceller.Check());
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound));
  std::string body;
  std::size_t available = 0;
  ASSERT_EQ(HttpStep::kOk, exchange->Available(&available));
  canceller.Arm();
  EXPECT_EQ(HttpStep::kCancelled, ReadBody(*exchange, &body));
  canceller.Join();
  EXPECT_EQ("THIS_STRING", body);
  exchange.reset();
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen(kGenerousBound));

  HttpRequestOptions impatient = DirectOptions(server.port());
  impatient.receive_timeout = 300ms;
  exchange = Open(impatient);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound));
  body.clear();
  EXPECT_EQ(HttpStep::kFailed, ReadBody(*exchange, &body));
  EXPECT_EQ("THIS_STRING", body);
  EXPECT_EQ("No data received for 300 ms", exchange->ErrorText());
  exchange.reset();
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen(kGenerousBound));
}

// --- Credentials --------------------------------------------------------------------------

TEST(HttpExchangeTest, ServerCredentialsAnswerTheChallenge) {
  const std::string expected = "Basic " + Base64("monitor:s3cret");
  LoopbackServer server([&](const ReceivedRequest& request) {
    if (request.Header("Authorization") == expected) return Reply::Response("HTTP/1.1 200 OK", "", "page");
    return Reply::Response("HTTP/1.1 401 Unauthorized", "WWW-Authenticate: Basic realm=\"x\"\r\n", "denied");
  });
  ASSERT_TRUE(server.started());

  HttpRequestOptions options = DirectOptions(server.port());
  options.login = "monitor";
  options.password = "s3cret";
  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(200, exchange->StatusCode());
  std::string body;
  EXPECT_EQ(HttpStep::kOk, ReadBody(*exchange, &body));
  EXPECT_EQ("page", body) << "the challenge's own body never reaches the reader";
  std::vector<ReceivedRequest> requests = server.Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_FALSE(requests[0].HasHeader("Authorization"));
  EXPECT_EQ(expected, requests[1].Header("Authorization"));

  options.password = "wrong";
  exchange = Open(options);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(401, exchange->StatusCode());
  EXPECT_EQ("Unauthorized", exchange->ReasonPhrase());
  EXPECT_EQ(4u, server.Requests().size());
}

// A proxy that wants "DOM\user" with password "pw"; it never forwards anything.
Reply AnswerAsProxy(const ReceivedRequest& request) {
  if (request.Header("Proxy-Authorization") == "Basic " + Base64("DOM\\user:pw")) {
    return Reply::Response("HTTP/1.1 200 OK", "", "proxied page");
  }
  return Reply::Response("HTTP/1.1 407 Proxy Authentication Required", "Proxy-Authenticate: Basic realm=\"p\"\r\n",
                         "authenticate first");
}

TEST(HttpProxyTest, NamedProxyGetsAbsoluteTargetsAndCredentialsOnlyAfterA407) {
  LoopbackServer proxy(AnswerAsProxy);
  ASSERT_TRUE(proxy.started());
  HttpRequestOptions options = DirectOptions(8080, "/.perf");
  options.host = "webserver.test";  // never looked up: only the proxy is reached
  options.proxy_mode = ProxyMode::kNamed;
  options.proxy_server = "127.0.0.1:" + std::to_string(proxy.port());
  options.keep_connection = true;

  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(407, exchange->StatusCode());
  exchange->SetProxyCredentials("DOM\\user", "pw");
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(200, exchange->StatusCode());
  std::string body;
  EXPECT_EQ(HttpStep::kOk, ReadBody(*exchange, &body));
  EXPECT_EQ("proxied page", body);

  std::vector<ReceivedRequest> requests = proxy.Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("http://webserver.test:8080/.perf", requests[0].target);
  EXPECT_FALSE(requests[0].HasHeader("Proxy-Authorization"));
  EXPECT_EQ("http://webserver.test:8080/.perf", requests[1].target);
  EXPECT_EQ("Basic " + Base64("DOM\\user:pw"), requests[1].Header("Proxy-Authorization"));
  EXPECT_EQ("no-cache", requests[1].Header("Cache-Control"));

  // A web server's own absolute target passes the proxy as given.
  options.target = "http://other.test:81/stats";
  exchange = Open(options);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound));
  ASSERT_TRUE(proxy.WaitForRequests(3, kGenerousBound));
  EXPECT_EQ("http://other.test:81/stats", proxy.Requests()[2].target);
}

TEST(HttpProxyTest, RejectedProxyCredentialsEndWithASecond407) {
  LoopbackServer proxy(AnswerAsProxy);
  ASSERT_TRUE(proxy.started());
  HttpRequestOptions options = DirectOptions(8080);
  options.host = "webserver.test";
  options.proxy_mode = ProxyMode::kNamed;
  options.proxy_server = "http://127.0.0.1:" + std::to_string(proxy.port());

  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(407, exchange->StatusCode());
  exchange->SetProxyCredentials("DOM\\user", "wrong");
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(407, exchange->StatusCode());
  EXPECT_EQ("Proxy Authentication Required", exchange->ReasonPhrase());
  const std::vector<ReceivedRequest> requests = proxy.Requests();
  ASSERT_EQ(2u, requests.size()) << "the wrong credentials are sent once, not retried";
  EXPECT_EQ("Basic " + Base64("DOM\\user:wrong"), requests[1].Header("Proxy-Authorization"));
}

TEST(HttpProxyTest, SystemSettingsFollowTheEnvironment) {
  LoopbackServer proxy(AnswerAsProxy);
  LoopbackServer web([](const ReceivedRequest&) { return Reply::Response("HTTP/1.1 200 OK", "", "direct page"); });
  ASSERT_TRUE(proxy.started());
  ASSERT_TRUE(web.started());
  ProxyEnvironment environment;
  environment.Set("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));

  HttpRequestOptions through = DirectOptions(8080, "/.perf");
  through.host = "webserver.test";
  through.proxy_mode = ProxyMode::kSystem;
  std::unique_ptr<HttpExchange> exchange = Open(through);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(407, exchange->StatusCode());
  ASSERT_EQ(1u, proxy.Requests().size());
  EXPECT_EQ("http://webserver.test:8080/.perf", proxy.Requests()[0].target);

  // Listed in no_proxy, or told to go direct: the web server gets the target as given.
  environment.Set("no_proxy", "localhost,127.0.0.1");
  HttpRequestOptions listed = DirectOptions(web.port(), "/.perf");
  listed.proxy_mode = ProxyMode::kSystem;
  exchange = Open(listed);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(200, exchange->StatusCode());
  environment.Set("no_proxy", "");
  exchange = Open(DirectOptions(web.port(), "/.perf"));
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(200, exchange->StatusCode());
  const std::vector<ReceivedRequest> direct = web.Requests();
  ASSERT_EQ(2u, direct.size());
  EXPECT_EQ("/.perf", direct[0].target);
  EXPECT_EQ("/.perf", direct[1].target);
  EXPECT_EQ(1u, proxy.Requests().size());
}

// --- Addresses ----------------------------------------------------------------------------

TEST(HttpExchangeTest, Ipv6LiteralHost) {
  LoopbackServer server([](const ReceivedRequest&) { return Reply::Response("HTTP/1.1 200 OK", "", "six"); },
                        AF_INET6);
  if (!server.started()) GTEST_SKIP() << "no IPv6 loopback on this machine";
  HttpRequestOptions options = DirectOptions(server.port());
  options.host = "[::1]";
  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(HttpStep::kOk, exchange->Send(kGenerousBound)) << exchange->ErrorText();
  EXPECT_EQ(200, exchange->StatusCode());
  std::string body;
  EXPECT_EQ(HttpStep::kOk, ReadBody(*exchange, &body));
  EXPECT_EQ("six", body);
  EXPECT_EQ("[::1]:" + std::to_string(server.port()), server.Requests().at(0).Header("Host"));
}

}  // namespace
