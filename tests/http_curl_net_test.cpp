// The HTTP transport (platform/http_curl.cpp) against real servers on 127.0.0.1: sarvik-statserver,
// started by each test with the fault URLs and options the case needs, its trace file showing what the
// transport sent. The pure parts of the transport have their unit tests beside them in platform/.
#include "platform/http.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/child_process.h"

// Readable codes in failure messages.
static void PrintTo(StatusCode code, std::ostream* out) {
  switch (code) {
    case StatusCode::kOk: *out << "kOk"; break;
    case StatusCode::kConnectFailed: *out << "kConnectFailed"; break;
    case StatusCode::kSendFailed: *out << "kSendFailed"; break;
    case StatusCode::kReceiveFailed: *out << "kReceiveFailed"; break;
    case StatusCode::kCancelled: *out << "kCancelled"; break;
    default: *out << "StatusCode(" << static_cast<int>(code) << ")"; break;
  }
}

namespace {

using namespace std::chrono_literals;

constexpr const char* kUserAgent = "Mozilla/4.5 [en] (WinNT; I)";
// Long enough never to be reached by a healthy exchange, even under a sanitizer.
constexpr std::chrono::milliseconds kGenerousBound = 10s;
// What every statistics page of sarvik-statserver names.
constexpr const char* kPageMark = "Sarvik Statistics Server";

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

// The head of one request as the server's trace recorded it.
struct ReceivedRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values without blanks around

  std::string Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
      if (key.size() == name.size() && std::equal(key.begin(), key.end(), name.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
          })) {
        return value;
      }
    }
    return "";
  }
  bool HasHeader(std::string_view name) const { return !Header(name).empty(); }
};

// sarvik-statserver with its trace: the connections it saw and the request heads exactly as received.
class TracedServer {
 public:
  explicit TracedServer(std::vector<std::string> arguments = {})
      : server_(WithTrace(directory_.path() + "/trace", std::move(arguments))) {}

  bool started() const { return server_.started(); }
  int port() const { return server_.port(); }

  std::vector<ReceivedRequest> Requests() const {
    std::vector<ReceivedRequest> requests;
    std::istringstream trace(Trace());
    std::string line;
    while (std::getline(trace, line)) {
      if (line.find(" request") == std::string::npos || line.rfind("connection ", 0) != 0) continue;
      ReceivedRequest request;
      std::string request_line;
      std::getline(trace, request_line);
      if (!request_line.empty() && request_line.back() == '\r') request_line.pop_back();
      // The target may hold a blank; the version is the last word.
      const std::size_t first = request_line.find(' ');
      const std::size_t last = request_line.rfind(' ');
      request.method = request_line.substr(0, first);
      if (first != std::string::npos && last > first) {
        request.target = request_line.substr(first + 1, last - first - 1);
        request.version = request_line.substr(last + 1);
      }
      while (std::getline(trace, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        request.headers.emplace_back(line.substr(0, colon), value);
      }
      requests.push_back(std::move(request));
    }
    return requests;
  }

  // Waits until at least `count` requests have arrived.
  bool WaitForRequests(std::size_t count) const {
    return WaitFor([&] { return Requests().size() >= count; });
  }

  // Waits until every connection the server accepted has been closed (by either side).
  bool WaitUntilNoConnectionIsOpen() const {
    return WaitFor([&] {
      const std::string trace = Trace();
      return Count(trace, " open\n") == Count(trace, " closed\n");
    });
  }

 private:
  static std::vector<std::string> WithTrace(const std::string& path, std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--trace", path});
    return arguments;
  }
  static std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }
  std::string Trace() const {
    std::ifstream file(directory_.path() + "/trace", std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
  }

  TemporaryDirectory directory_;  // before server_: it holds the trace the server writes
  StatisticsServer server_;
};

HttpRequestOptions DirectOptions(int port, std::string target = "/perf-once") {
  HttpRequestOptions options;
  options.host = "127.0.0.1";
  options.port = port;
  options.target = std::move(target);
  options.user_agent = kUserAgent;
  options.proxy_mode = ProxyMode::kDirect;
  return options;
}

std::unique_ptr<HttpExchange> Open(const HttpRequestOptions& options, std::function<bool()> cancel = nullptr) {
  Result<std::unique_ptr<HttpExchange>> opened = SystemHttpClient().Open(options, std::move(cancel));
  EXPECT_TRUE(opened.ok()) << "Open failed: " << opened.status().message();
  return opened.ok() ? std::move(opened).value() : nullptr;
}

// The text of the failure of the last step that Code() looked at (empty after a success), for
// the messages of the checks below.
std::string last_failure_text;

// The code of a step's outcome, keeping its failure text in last_failure_text.
StatusCode Code(const Status& status) {
  last_failure_text = status.message();
  return status.code();
}
template <typename T>
StatusCode Code(const Result<T>& result) {
  return Code(result.status());
}

// Available() and Read() with the count in `*count` (0 on failure).
StatusCode Available(HttpExchange& exchange, std::size_t* count) {
  const Result<std::size_t> available = exchange.Available();
  *count = available.ok() ? *available : 0;
  return Code(available);
}
StatusCode Read(HttpExchange& exchange, char* buffer, std::size_t size, std::size_t* count) {
  const Result<std::size_t> read = exchange.Read(buffer, size);
  *count = read.ok() ? *read : 0;
  return Code(read);
}

// Pulls the body until the response ends or a step fails, reading in pieces of at most `piece`
// bytes; returns the last step's code. `*largest` gets the most bytes Available() ever reported.
StatusCode ReadBody(HttpExchange& exchange, std::string* body, std::size_t piece = 1000,
                    std::size_t* largest = nullptr) {
  for (;;) {
    std::size_t available = 0;
    const StatusCode waited = Available(exchange, &available);
    if (waited != StatusCode::kOk || available == 0) return waited;
    if (largest != nullptr) *largest = std::max(*largest, available);
    while (available > 0) {
      std::string chunk(std::min(piece, available), '\0');
      std::size_t got = 0;
      const StatusCode read = Read(exchange, chunk.data(), chunk.size(), &got);
      if (read != StatusCode::kOk) return read;
      if (got == 0) return StatusCode::kReceiveFailed;  // Available promised more than Read gives
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

// All 256 byte values four times, then the delimiter: the body of /fault/every-byte.
std::string EveryByte() {
  std::string bytes;
  for (int round = 0; round < 4; ++round) {
    for (int value = 0; value < 256; ++value) bytes += static_cast<char>(value);
  }
  return bytes + "THIS_STRING_NEVER_HAPPENS";
}

// --- Status and request -------------------------------------------------------------------

TEST(HttpExchangeTest, StatusCodeAndReasonPhraseOfTheFinalResponse) {
  TracedServer server;
  ASSERT_TRUE(server.started());
  const std::string long_reason = "Statistics " + std::string(3000, 'r');
  struct Case {
    std::string target;
    int code;
    std::string reason;
  };
  const Case cases[] = {
      {"/perf-once", 200, "OK"},
      {"/fault/404", 404, "Not Found"},
      {"/fault/status-line?line=HTTP/1.1%20200%20Statistics%20" + std::string(3000, 'r'), 200, long_reason},
      {"/fault/status-line?line=HTTP/1.1%20200", 200, ""},
      {"/fault/status-line?line=HTTP/1.1%20abc%20Broken", 0, ""},
      {"/fault/status-line?line=HTTP/1.1%20201%20Made&interim=1", 201, "Made"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), c.target));
    ASSERT_NE(nullptr, exchange);
    ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << c.target << ": " << last_failure_text;
    EXPECT_EQ(c.code, exchange->StatusCode()) << c.target;
    EXPECT_EQ(c.reason, exchange->ReasonPhrase()) << c.target;
  }

  // The short body of a 404 is there to read, then the response ends.
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), "/fault/404"));
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound)));
  std::string body;
  EXPECT_EQ(StatusCode::kOk, ReadBody(*exchange, &body));
  EXPECT_NE(std::string::npos, body.find("404")) << body;
}

TEST(HttpExchangeTest, RequestIsSentExactlyAsGiven) {
  TracedServer server;
  ASSERT_TRUE(server.started());
  const std::string absolute = "http://127.0.0.1:" + std::to_string(server.port()) + "/perf-once";
  const std::vector<std::pair<std::string, std::string>> targets = {
      {"/perf-once?x=1&y=%20z", "/perf-once?x=1&y=%20z"},
      {"/a b", "/a b"},
      {absolute, absolute},
      {"", "/"},
  };
  for (const auto& [given, sent] : targets) {
    std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), given));
    ASSERT_NE(nullptr, exchange);
    ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << given << ": " << last_failure_text;
  }
  ASSERT_TRUE(server.WaitForRequests(targets.size()));
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
  TracedServer server;
  ASSERT_TRUE(server.started());
  const std::string bytes = EveryByte();

  // Ending by closing the connection, as a pushing web server does, and in chunks.
  for (const char* target : {"/fault/every-byte?framing=close", "/fault/every-byte?framing=chunked"}) {
    std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), target));
    ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
    ASSERT_EQ(200, exchange->StatusCode());
    std::string body;
    EXPECT_EQ(StatusCode::kOk, ReadBody(*exchange, &body, 77)) << target << ": " << last_failure_text;
    EXPECT_EQ(bytes, body) << target;
    std::size_t available = 99;
    EXPECT_EQ(StatusCode::kOk, Available(*exchange, &available)) << "the end stays the end";
    EXPECT_EQ(0u, available);
    char spare[8];
    std::size_t copied = 99;
    EXPECT_EQ(StatusCode::kOk, Read(*exchange, spare, sizeof(spare), &copied));
    EXPECT_EQ(0u, copied);
  }

  // Promises more than it sends, then hangs up.
  std::unique_ptr<HttpExchange> cut = Open(DirectOptions(server.port(), "/fault/every-byte?framing=cut"));
  ASSERT_EQ(StatusCode::kOk, Code(cut->Send(kGenerousBound)));
  std::string body;
  EXPECT_EQ(StatusCode::kReceiveFailed, ReadBody(*cut, &body));
  EXPECT_EQ(bytes.substr(0, 700), body) << "what arrived before the break is still delivered";
  EXPECT_NE("Not available", last_failure_text);
}

TEST(HttpExchangeTest, FastServerWaitsInsteadOfFillingMemory) {
  TracedServer server;
  ASSERT_TRUE(server.started());
  constexpr std::size_t kSize = 1 << 20;
  std::unique_ptr<HttpExchange> exchange =
      Open(DirectOptions(server.port(), "/fault/oversized?size=" + std::to_string(kSize)));
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound)));
  std::string body;
  std::size_t largest = 0;
  EXPECT_EQ(StatusCode::kOk, ReadBody(*exchange, &body, 4096, &largest)) << last_failure_text;
  EXPECT_EQ(kSize, body.size());
  EXPECT_NE(std::string::npos, body.find(kPageMark)) << "the page text repeated";
  EXPECT_LE(largest, 128u * 1024u) << "bytes held for the reader at once";
}

// --- Failures before the answer -----------------------------------------------------------

TEST(HttpExchangeTest, RefusedConnectionIsAConnectFailure) {
  const int port = UnusedPort();
  ASSERT_NE(0, port);
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(port));
  ASSERT_NE(nullptr, exchange);
  EXPECT_EQ(StatusCode::kConnectFailed, Code(exchange->Send(kGenerousBound)));
  EXPECT_FALSE(last_failure_text.empty());
  EXPECT_NE("Not available", last_failure_text);
}

TEST(HttpExchangeTest, SilentOrVanishingServerFailsTheSend) {
  TracedServer server;
  ASSERT_TRUE(server.started());

  std::unique_ptr<HttpExchange> silent = Open(DirectOptions(server.port(), "/fault/silent"));
  EXPECT_EQ(StatusCode::kSendFailed, Code(silent->Send(300ms)));
  EXPECT_NE(std::string::npos, last_failure_text.find("300 ms")) << last_failure_text;
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen()) << "the abandoned request keeps its connection";

  std::unique_ptr<HttpExchange> vanishing = Open(DirectOptions(server.port(), "/fault/hang-up"));
  EXPECT_EQ(StatusCode::kSendFailed, Code(vanishing->Send(kGenerousBound)));
  EXPECT_NE("Not available", last_failure_text);
  std::size_t available = 0;
  EXPECT_EQ(StatusCode::kReceiveFailed, Available(*vanishing, &available))
      << "nothing to read from an unanswered request";
}

// --- Cancelling and time-outs -------------------------------------------------------------

TEST(HttpExchangeTest, CancelEndsAWaitingSendAndTheConnection) {
  TracedServer server;
  ASSERT_TRUE(server.started());
  Canceller canceller;
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), "/fault/silent"), canceller.Check());
  canceller.Arm();
  EXPECT_EQ(StatusCode::kCancelled, Code(exchange->Send(kGenerousBound)));
  canceller.Join();
  EXPECT_TRUE(server.WaitForRequests(1));
  exchange.reset();
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen());
}

TEST(HttpExchangeTest, SilentBodyIsCancelledOrTimesOut) {
  TracedServer server;
  ASSERT_TRUE(server.started());
  const std::string target = "/fault/silent-after-headers?body=THIS_STRING";

  Canceller canceller;
  std::unique_ptr<HttpExchange> exchange = Open(DirectOptions(server.port(), target), canceller.Check());
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound)));
  std::string body;
  std::size_t available = 0;
  ASSERT_EQ(StatusCode::kOk, Available(*exchange, &available));
  canceller.Arm();
  EXPECT_EQ(StatusCode::kCancelled, ReadBody(*exchange, &body));
  canceller.Join();
  EXPECT_EQ("THIS_STRING", body);
  exchange.reset();
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen());

  HttpRequestOptions impatient = DirectOptions(server.port(), target);
  impatient.receive_timeout = 300ms;
  exchange = Open(impatient);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound)));
  body.clear();
  EXPECT_EQ(StatusCode::kReceiveFailed, ReadBody(*exchange, &body));
  EXPECT_EQ("THIS_STRING", body);
  EXPECT_EQ("No data received for 300 ms", last_failure_text);
  exchange.reset();
  EXPECT_TRUE(server.WaitUntilNoConnectionIsOpen());
}

// --- Credentials --------------------------------------------------------------------------

TEST(HttpExchangeTest, ServerCredentialsAnswerTheChallenge) {
  TracedServer server({"--auth", "monitor:s3cret"});
  ASSERT_TRUE(server.started());
  const std::string expected = "Basic " + Base64("monitor:s3cret");

  HttpRequestOptions options = DirectOptions(server.port());
  options.login = "monitor";
  options.password = "s3cret";
  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(200, exchange->StatusCode());
  std::string body;
  EXPECT_EQ(StatusCode::kOk, ReadBody(*exchange, &body));
  EXPECT_NE(std::string::npos, body.find(kPageMark)) << "the challenge's own body never reaches the reader";
  EXPECT_EQ(std::string::npos, body.find("credentials")) << body;
  ASSERT_TRUE(server.WaitForRequests(2));
  std::vector<ReceivedRequest> requests = server.Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_FALSE(requests[0].HasHeader("Authorization"));
  EXPECT_EQ(expected, requests[1].Header("Authorization"));

  options.password = "wrong";
  exchange = Open(options);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(401, exchange->StatusCode());
  EXPECT_EQ("Unauthorized", exchange->ReasonPhrase());
  EXPECT_EQ(4u, server.Requests().size());
}

// A proxy that wants "DOM\user" with password "pw"; it never forwards anything, it serves the
// page itself.
std::vector<std::string> ProxyArguments() { return {"--proxy-auth", "DOM\\user:pw"}; }

TEST(HttpProxyTest, NamedProxyGetsAbsoluteTargetsAndCredentialsOnlyAfterA407) {
  TracedServer proxy(ProxyArguments());
  ASSERT_TRUE(proxy.started());
  HttpRequestOptions options = DirectOptions(8080, "/.perf?once");
  options.host = "webserver.test";  // never looked up: only the proxy is reached
  options.proxy_mode = ProxyMode::kNamed;
  options.proxy_server = "127.0.0.1:" + std::to_string(proxy.port());
  options.keep_connection = true;

  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(407, exchange->StatusCode());
  exchange->SetProxyCredentials("DOM\\user", "pw");
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(200, exchange->StatusCode());
  std::string body;
  EXPECT_EQ(StatusCode::kOk, ReadBody(*exchange, &body));
  EXPECT_NE(std::string::npos, body.find(kPageMark)) << body;

  ASSERT_TRUE(proxy.WaitForRequests(2));
  std::vector<ReceivedRequest> requests = proxy.Requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("http://webserver.test:8080/.perf?once", requests[0].target);
  EXPECT_FALSE(requests[0].HasHeader("Proxy-Authorization"));
  EXPECT_EQ("http://webserver.test:8080/.perf?once", requests[1].target);
  EXPECT_EQ("Basic " + Base64("DOM\\user:pw"), requests[1].Header("Proxy-Authorization"));
  EXPECT_EQ("no-cache", requests[1].Header("Cache-Control"));

  // A web server's own absolute target passes the proxy as given.
  options.target = "http://other.test:81/stats";
  exchange = Open(options);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound)));
  ASSERT_TRUE(proxy.WaitForRequests(3));
  EXPECT_EQ("http://other.test:81/stats", proxy.Requests()[2].target);
}

TEST(HttpProxyTest, RejectedProxyCredentialsEndWithASecond407) {
  TracedServer proxy(ProxyArguments());
  ASSERT_TRUE(proxy.started());
  HttpRequestOptions options = DirectOptions(8080);
  options.host = "webserver.test";
  options.proxy_mode = ProxyMode::kNamed;
  options.proxy_server = "http://127.0.0.1:" + std::to_string(proxy.port());

  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(407, exchange->StatusCode());
  exchange->SetProxyCredentials("DOM\\user", "wrong");
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(407, exchange->StatusCode());
  EXPECT_EQ("Proxy Authentication Required", exchange->ReasonPhrase());
  ASSERT_TRUE(proxy.WaitForRequests(2));
  const std::vector<ReceivedRequest> requests = proxy.Requests();
  ASSERT_EQ(2u, requests.size()) << "the wrong credentials are sent once, not retried";
  EXPECT_EQ("Basic " + Base64("DOM\\user:wrong"), requests[1].Header("Proxy-Authorization"));
}

TEST(HttpProxyTest, SystemSettingsFollowTheEnvironment) {
  TracedServer proxy(ProxyArguments());
  TracedServer web;
  ASSERT_TRUE(proxy.started());
  ASSERT_TRUE(web.started());
  ProxyEnvironment environment;
  environment.Set("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.port()));

  HttpRequestOptions through = DirectOptions(8080, "/perf-once");
  through.host = "webserver.test";
  through.proxy_mode = ProxyMode::kSystem;
  std::unique_ptr<HttpExchange> exchange = Open(through);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(407, exchange->StatusCode());
  ASSERT_TRUE(proxy.WaitForRequests(1));
  ASSERT_EQ(1u, proxy.Requests().size());
  EXPECT_EQ("http://webserver.test:8080/perf-once", proxy.Requests()[0].target);

  // Listed in no_proxy, or told to go direct: the web server gets the target as given.
  environment.Set("no_proxy", "localhost,127.0.0.1");
  HttpRequestOptions listed = DirectOptions(web.port(), "/perf-once");
  listed.proxy_mode = ProxyMode::kSystem;
  exchange = Open(listed);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(200, exchange->StatusCode());
  environment.Set("no_proxy", "");
  exchange = Open(DirectOptions(web.port(), "/perf-once"));
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(200, exchange->StatusCode());
  ASSERT_TRUE(web.WaitForRequests(2));
  const std::vector<ReceivedRequest> direct = web.Requests();
  ASSERT_EQ(2u, direct.size());
  EXPECT_EQ("/perf-once", direct[0].target);
  EXPECT_EQ("/perf-once", direct[1].target);
  EXPECT_EQ(1u, proxy.Requests().size());
}

// --- Addresses ----------------------------------------------------------------------------

TEST(HttpExchangeTest, Ipv6LiteralHost) {
  TracedServer server({"--bind", "::1"});
  if (!server.started()) GTEST_SKIP() << "no IPv6 loopback on this machine";
  HttpRequestOptions options = DirectOptions(server.port());
  options.host = "[::1]";
  std::unique_ptr<HttpExchange> exchange = Open(options);
  ASSERT_EQ(StatusCode::kOk, Code(exchange->Send(kGenerousBound))) << last_failure_text;
  EXPECT_EQ(200, exchange->StatusCode());
  std::string body;
  EXPECT_EQ(StatusCode::kOk, ReadBody(*exchange, &body));
  EXPECT_NE(std::string::npos, body.find(kPageMark));
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_EQ("[::1]:" + std::to_string(server.port()), server.Requests().at(0).Header("Host"));
}

}  // namespace
