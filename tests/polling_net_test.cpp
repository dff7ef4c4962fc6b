// Servers fetching from a real statistics server and through a real proxy on 127.0.0.1.
#include <dirent.h>
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>

#include "platform/catalogue.h"
#include "polling/connection_probe.h"
#include "polling/server_registry.h"
#include "polling/stream_splitter.h"
#include "tests/child_process.h"

namespace {

constexpr auto Presented = &AuthenticatingProxy::PresentedTheUser;

const std::string kD(kStreamDelimiter);

// Passes every exchange on to the real client and counts them.
class CountingHttpClient : public HttpClient {
 public:
  Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions& options,
                                             std::function<bool()> cancel) override {
    ++opens;
    return SystemHttpClient().Open(options, std::move(cancel));
  }
  std::atomic<int> opens{0};
};

int ThreadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
  }
  return count;
}

class PollingNetTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    SystemHttpClient();  // libcurl is set up before any polling thread
    MsgHandlerInitFunction();
    ASSERT_TRUE(AddResourceFile(std::string(SARVIK_SOURCE_DIR) + "/dat/tq_mon_http_msgs").ok());
  }
  static void TearDownTestSuite() { MsgHandlerDestroyFunction(); }

  ServerParams Params(int port, const std::string& url) {
    ServerParams params;
    params.host = "127.0.0.1";
    params.port = port;
    params.url = url;
    return params;
  }

  static std::string Snapshot(CNetscapeServer& server, SampleTime* time = nullptr) {
    char buffer[16384];
    const std::size_t length = server.CopySnapshot(buffer, sizeof buffer, time);
    return std::string(buffer, length);
  }

  static std::pair<int, std::string> Report(CNetscapeServer& server) {
    std::string text;
    const int code = server.error_record().GetReport(&text);
    return {code, text};
  }
};

TEST_F(PollingNetTest, TheSnapshotFollowsThePushesOverOneConnection) {
  StatisticsServer statistics({"--interval", "100"});
  ASSERT_TRUE(statistics.started());
  CountingHttpClient http;
  ServerRegistry registry(http);
  ASSERT_TRUE(registry.FindOrStartServer(Params(statistics.port(), "/.perf")));
  CNetscapeServer* server = registry.FindServer(Params(statistics.port(), "/.perf"));

  // Every push is published afresh (a new time stamp), and what the server counts shows up.
  std::set<std::pair<std::int32_t, std::int32_t>> stamps;
  std::set<std::string> request_counts;
  ASSERT_TRUE(WaitFor([&] {
    SampleTime time{};
    const std::string snapshot = Snapshot(*server, &time);
    if (snapshot.empty()) return false;
    stamps.insert({time.seconds, time.microseconds});
    EXPECT_EQ(0u, snapshot.find(kD)) << "a copy starts with the delimiter";
    const std::size_t counter = snapshot.find("Total number of requests:");
    EXPECT_NE(std::string::npos, counter);
    request_counts.insert(snapshot.substr(counter, 48));
    if (request_counts.size() < 4) SendLoadRequest(statistics.port());
    return stamps.size() >= 12 && request_counts.size() >= 4;
  })) << stamps.size() << " copies, " << request_counts.size() << " request counts seen";
  EXPECT_EQ(1, http.opens.load()) << "one connection serves every copy";
}

TEST_F(PollingNetTest, CopiesArriveWholeWhateverTheStreamsPieces) {
  StatisticsServer statistics({"--interval", "50"});
  ASSERT_TRUE(statistics.started());
  ServerRegistry registry(SystemHttpClient());
  for (const std::string url : {"/.perf?chunk=7", "/.perf?chunk=1000", "/fault/split-delimiter", "/fault/back-to-back"}) {
    ASSERT_TRUE(registry.FindOrStartServer(Params(statistics.port(), url))) << url;
  }
  for (const std::string url : {"/.perf?chunk=7", "/.perf?chunk=1000", "/fault/split-delimiter", "/fault/back-to-back"}) {
    CNetscapeServer* server = registry.FindServer(Params(statistics.port(), url));
    std::set<std::string> copies;
    std::set<std::int32_t> stamps;
    ASSERT_TRUE(WaitFor([&] {
      SampleTime time{};
      const std::string snapshot = Snapshot(*server, &time);
      if (!snapshot.empty()) copies.insert(snapshot);
      if (!snapshot.empty()) stamps.insert(time.microseconds);
      return stamps.size() >= 3;
    })) << url;
    for (const std::string& copy : copies) {
      EXPECT_EQ(0u, copy.find(kD)) << url;
      EXPECT_NE(std::string::npos, copy.find("Performance Counters:")) << url;
      EXPECT_EQ(copy.find(kD, 1), url == "/fault/back-to-back" ? kD.size() : std::string::npos) << url;
    }
  }
}

TEST_F(PollingNetTest, FailuresReachTheErrorRecord) {
  StatisticsServer statistics({"--interval", "100", "--auth", "admin:secret"});
  ASSERT_TRUE(statistics.started());
  struct Case {
    std::string url;
    std::string login;
    std::string password;
    int port;
    int result;
    int code;
    std::vector<std::string> mentions;
  };
  const int refused_port = UnusedPort();
  const Case cases[] = {
      {"/.perf", "", "", refused_port, 4, 20, {"127.0.0.1", std::to_string(refused_port)}},
      {"/fault/404", "admin", "secret", statistics.port(), 7, 14, {"404", "Not Found", "admin:<password>@", "/fault/404"}},
      {"/fault/500", "admin", "secret", statistics.port(), 7, 14, {"500", "Internal Server Error"}},
      {"/.perf", "admin", "wrong", statistics.port(), 7, 14, {"401"}},
      {"/fault/drop-mid-page", "admin", "secret", statistics.port(), 0, 13, {"/fault/drop-mid-page"}},
      {"/fault/oversized", "admin", "secret", statistics.port(), 0, 13, {"/fault/oversized"}},
  };
  for (const Case& c : cases) {
    ServerParams params = Params(c.port, c.url);
    params.login = c.login;
    params.password = c.password;
    CNetscapeServer server(params, ProxySettings::Direct(), SystemHttpClient());
    ASSERT_TRUE(server.AddActivation(false));  // an active server reads its stream to the end
    EXPECT_EQ(c.result, server.RunSingleCycle()) << c.url;
    const auto [code, text] = Report(server);
    EXPECT_EQ(c.code, code) << c.url;
    for (const std::string& mention : c.mentions) EXPECT_NE(std::string::npos, text.find(mention)) << c.url << ": " << text;
    EXPECT_EQ(std::string::npos, text.find("secret")) << "a password in: " << text;
  }

  // The right credentials answer the server's challenge.
  ServerParams params = Params(statistics.port(), "/.perf");
  params.login = "admin";
  params.password = "secret";
  std::string text;
  EXPECT_EQ(0, TestConnection(params, ProxySettings::Direct(), SystemHttpClient(), &text)) << text;
}

TEST_F(PollingNetTest, ASendThatIsNeverAnsweredEndsAfterItsBound) {
  StatisticsServer statistics;
  ASSERT_TRUE(statistics.started());
  CNetscapeServer server(Params(statistics.port(), "/fault/silent"), ProxySettings::Direct(), SystemHttpClient());
  EXPECT_EQ(6, server.RunSingleCycle());
  const auto [code, text] = Report(server);
  EXPECT_EQ(13, code);
  EXPECT_NE(std::string::npos, text.find("/fault/silent")) << text;
  EXPECT_NE(std::string::npos, text.find("8000 ms")) << text;
}

TEST_F(PollingNetTest, AProxyDemandIsAnsweredOnceWithTheConfiguredUser) {
  AuthenticatingProxy proxy;
  ASSERT_TRUE(proxy.started()) << "squid did not start";
  StatisticsServer statistics({"--interval", "100"});
  ASSERT_TRUE(statistics.started());

  ProxySettings settings;
  settings.access_type = ProxyMode::kNamed;
  settings.proxy_server = "127.0.0.1:" + std::to_string(proxy.port());
  settings.user_name = "user";
  settings.password = "pw";
  settings.keep_connection = true;
  const ServerParams params = Params(statistics.port(), "/.perf?count=3");
  const std::string target = "http://127.0.0.1:" + std::to_string(statistics.port()) + "/.perf?count=3";
  std::string text;
  EXPECT_EQ(0, TestConnection(params, settings, SystemHttpClient(), &text)) << text;
  // The proxy saw each exchange first without credentials, then once with them.
  const std::vector<std::string> accepted = proxy.RequestsOfExchange(0);
  ASSERT_EQ(2u, accepted.size()) << testing::PrintToString(accepted);
  EXPECT_FALSE(Presented(accepted[0])) << accepted[0];
  EXPECT_TRUE(Presented(accepted[1])) << accepted[1];
  EXPECT_NE(std::string::npos, accepted[1].find("/200 ")) << accepted[1];

  settings.password = "wrong";
  CNetscapeServer refused(params, settings, SystemHttpClient());
  EXPECT_EQ(7, refused.RunSingleCycle());
  const auto [code, message] = Report(refused);
  EXPECT_EQ(14, code);
  EXPECT_NE(std::string::npos, message.find("407")) << message;
  const std::vector<std::string> rejected = proxy.RequestsOfExchange(accepted.size());
  ASSERT_EQ(2u, rejected.size()) << testing::PrintToString(rejected);
  EXPECT_FALSE(Presented(rejected[0])) << rejected[0];
  EXPECT_TRUE(Presented(rejected[1])) << rejected[1];
  EXPECT_NE(std::string::npos, rejected[1].find("/407 ")) << rejected[1];
  for (const std::vector<std::string>* exchange : {&accepted, &rejected}) {
    for (const std::string& line : *exchange) EXPECT_NE(std::string::npos, line.find(" GET " + target + " ")) << line;
  }
}

TEST_F(PollingNetTest, DestructionLeavesNoThreadWhateverTheServersAreDoing) {
  StatisticsServer statistics({"--interval", "100"});
  ASSERT_TRUE(statistics.started());
  {
    // Threads the process starts once and keeps (a sanitizer's, say) are started by a first fetch.
    ServerRegistry warm_up(SystemHttpClient());
    ASSERT_TRUE(warm_up.FindOrStartServer(Params(statistics.port(), "/.perf")));
    ASSERT_TRUE(WaitFor([&] { return !Snapshot(*warm_up.FindServer(Params(statistics.port(), "/.perf"))).empty(); }));
  }
  // A joined thread leaves /proc/self/task a moment after its join returned, so the count may
  // still hold the warm-up's thread here and is compared once the threads have gone.
  const int threads_before = ThreadCount();
  {
    ServerRegistry registry(SystemHttpClient());
    for (const std::string url : {"/.perf", "/fault/silent", "/fault/silent-after-headers", "/.perf?idle"}) {
      ASSERT_TRUE(registry.FindOrStartServer(Params(statistics.port(), url)));
    }
    CNetscapeServer* streaming = registry.FindServer(Params(statistics.port(), "/.perf"));
    ASSERT_TRUE(WaitFor([&] { return !Snapshot(*streaming).empty(); }));
    // One server is left idle, pausing between its cycles.
    registry.FindServer(Params(statistics.port(), "/.perf?idle"))->ReleaseActivation();
  }
  EXPECT_TRUE(WaitFor([&] { return ThreadCount() <= threads_before; }))
      << ThreadCount() << " threads, " << threads_before << " before the servers started";
}

}  // namespace
