#include "polling/netscape_server.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "polling/connection_probe.h"
#include "polling/server_registry.h"
#include "polling/stream_splitter.h"
#include "polling/testing/fake_http.h"

namespace {

using namespace std::chrono_literals;

const std::string kD(kStreamDelimiter);

// Waits up to `limit` for `condition`.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// Every fetch message of the catalogue spells out its arguments, so the tests see exactly
// what a cycle recorded.
class FetchTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QOR_NS_MON_FILE");
    unsetenv("QOR_MON_REPORT_ALWAYS");
    char pattern[] = "/tmp/sarvik-fetch-XXXXXX";
    directory_ = mkdtemp(pattern);
    catalogue_ = directory_ + "/messages";
    std::ofstream file(catalogue_ + ".e2");
    for (int id : {-47483, -47484, -47491, -47492, -47494, -47495, -47496, -47497}) {
      file << id << "\t" << id << ":%1|%2|%3|%4|%5|%6|%7\n";
    }
    file.close();
    ASSERT_TRUE(AddResourceFile(catalogue_).ok());
    params_.port = 8080;
    params_.url = "/.perf";
    params_.login = "admin";
    params_.password = "secret";
    params_.host = "web1";
  }
  void TearDown() override {
    RemoveResourceFile(catalogue_);
    std::remove((catalogue_ + ".e2").c_str());
    std::remove((directory_ + "/dump.txt").c_str());
    rmdir(directory_.c_str());
    unsetenv("QOR_NS_MON_FILE");
  }

  std::string Snapshot(CNetscapeServer& server) {
    char buffer[16384];
    const std::size_t length = server.CopySnapshot(buffer, sizeof buffer, nullptr);
    return std::string(buffer, length);
  }

  std::pair<int, std::string> Report(CNetscapeServer& server) {
    std::string text;
    const int code = server.error_record().GetReport(&text);
    return {code, text};
  }

  std::string directory_;
  std::string catalogue_;
  ServerParams params_;
};

TEST_F(FetchTest, AStreamPublishesEachCopyAndItsEndIsRecorded) {
  FakeScript script;
  script.body = {"HTTP/1.1 junk before the first page", kD + "page one", kD + "page two", kD + "tail"};
  FakeHttpClient http(script);
  CNetscapeServer server(params_, ProxySettings::Direct(), http);
  EXPECT_EQ(std::make_pair(1, std::string()), Report(server));

  // A server that is not active reads once: a connection test.
  EXPECT_EQ(0, server.RunSingleCycle());
  EXPECT_EQ("", Snapshot(server));

  ASSERT_TRUE(server.AddActivation(false));
  EXPECT_EQ(0, server.RunSingleCycle());
  EXPECT_EQ(kD + "page two", Snapshot(server));
  EXPECT_EQ(std::make_pair(13, std::string("-47483:web1|admin|web1|8080|/.perf|NetscapeServer::GetMonitorData|")),
            Report(server));

  const HttpRequestOptions& sent = http.log().last_options;
  EXPECT_EQ("web1", sent.host);
  EXPECT_EQ(8080, sent.port);
  EXPECT_EQ("/.perf", sent.target);
  EXPECT_EQ("admin", sent.login);
  EXPECT_EQ("secret", sent.password);
  EXPECT_EQ("Mozilla/4.5 [en] (WinNT; I)", sent.user_agent);
  EXPECT_EQ(ProxyMode::kDirect, sent.proxy_mode);
}

// A reader that finds the snapshot emptied by a failure finds that failure in the record, never
// the record of before. The test thread fails cycle after cycle while a reader samples the
// record, the snapshot and the record again within one cycle (the cycle number unchanged).
TEST_F(FetchTest, AFailureIsRecordedBeforeTheSnapshotEmpties) {
  FakeScript failing;
  failing.open_fails = true;
  failing.error_text = std::string(100000, 'e');  // a long text makes recording take a while
  FakeHttpClient http(failing);
  CNetscapeServer server(params_, ProxySettings::Direct(), http);
  std::atomic<int> cycle{0};
  std::atomic<bool> done{false};
  std::atomic<int> stale_reads{0};
  std::atomic<int> samples{0};
  std::thread reader([&] {
    char buffer[64];
    while (!done.load()) {
      const int cycle_before = cycle.load();
      const int code_before = server.error_record().result_code();
      const std::size_t length = server.CopySnapshot(buffer, sizeof buffer, nullptr);
      const int code_after = server.error_record().result_code();
      if (cycle.load() != cycle_before) continue;
      ++samples;
      // The record was reset for this cycle before the read began, and the snapshot was emptied
      // after it: the failure must already stand in the record.
      if (code_before == 0 && length == 0 && code_after == 0) ++stale_reads;
    }
  });
  // Enough cycles for the reader to sample many of them, however the threads are scheduled.
  for (int i = 0; i < 3000 || (samples.load() < 3000 && i < 3'000'000); ++i) {
    ++cycle;
    server.TEST_PublishSnapshot("page", 4);
    server.error_record().SetError(0, "");
    EXPECT_EQ(3, server.RunSingleCycle());
  }
  done = true;
  reader.join();
  EXPECT_GT(samples.load(), 0);
  EXPECT_EQ(0, stale_reads.load());
}

TEST_F(FetchTest, EachFailureIsRecordedWithItsCodeAndEmptiesTheSnapshot) {
  struct Case {
    const char* name;
    FakeScript script;
    int result;
    int code;
    std::string text;
  };
  FakeScript session, connection, request, refused, unsent, not_found, available, read;
  session.open_fails = true;
  session.error_text = "out of resources";
  connection = session;
  connection.open_failure = StatusCode::kInvalidAddress;
  request = session;
  request.open_failure = StatusCode::kInvalidArgument;
  refused.responses = {{StatusCode::kConnectFailed, 0, ""}};
  refused.error_text = "Connection refused";
  unsent.responses = {{StatusCode::kSendFailed, 0, ""}};
  unsent.error_text = "The request was not answered within 8000 ms";
  not_found.responses = {{StatusCode::kOk, 404, "Not Found"}};
  available.body = {kD + "a" + kD};
  available.fail_available_after_body = StatusCode::kReceiveFailed;
  available.error_text = "Connection reset by peer";
  read.body = {kD + "a" + kD, "more"};
  read.fail_read_at_end = StatusCode::kReceiveFailed;
  read.error_text = "Connection reset by peer";
  const Case cases[] = {
      {"session", session, 3, 11, "-47497:web1|out of resources|GetMonitorData||||"},
      {"connection", connection, 4, 20, "-47496:web1|8080|admin|out of resources|GetMonitorData||"},
      {"request", request, 5, 12, "-47495:web1|/.perf|8080|out of resources|GetMonitorData||"},
      {"refused", refused, 4, 20, "-47496:web1|8080|admin|Connection refused|GetMonitorData||"},
      {"send", unsent, 6, 13,
       "-47494:web1|admin|web1|8080|/.perf|The request was not answered within 8000 ms|GetMonitorData"},
      // The password never appears: the login is masked.
      {"status", not_found, 7, 14,
       "-47484:404|Not Found|admin:<password>@|web1|8080|/.perf|NetscapeServer::GetMonitorData"},
      {"available", available, 8, 15, "-47492:web1|Connection reset by peer|GetMonitorData||||"},
      {"read", read, 9, 16, "-47491:web1|Connection reset by peer|GetMonitorData||||"},
  };
  for (const Case& c : cases) {
    FakeHttpClient http(FakeScript{.body = {kD + "old" + kD}});
    CNetscapeServer server(params_, ProxySettings::Direct(), http);
    ASSERT_TRUE(server.AddActivation(false));
    ASSERT_EQ(0, server.RunSingleCycle());
    ASSERT_EQ(kD + "old", Snapshot(server));

    http.SetScript(c.script);
    EXPECT_EQ(c.result, server.RunSingleCycle()) << c.name;
    EXPECT_EQ(std::make_pair(c.code, c.text), Report(server)) << c.name;
    EXPECT_EQ("", Snapshot(server)) << c.name;
  }
}

TEST_F(FetchTest, AProxysDemandIsAnsweredOnce) {
  ProxySettings proxy;
  proxy.access_type = ProxyMode::kNamed;
  proxy.proxy_server = "127.0.0.1:3128";
  proxy.user_name = "DOM\\user";
  proxy.password = "pw";
  proxy.keep_connection = true;

  FakeScript accepted;
  accepted.responses = {{StatusCode::kOk, 407, "Proxy Authentication Required"}, {StatusCode::kOk, 200, "OK"}};
  accepted.body = {kD + "page" + kD};
  FakeHttpClient http(accepted);
  CNetscapeServer server(params_, proxy, http);
  ASSERT_TRUE(server.AddActivation(false));
  EXPECT_EQ(0, server.RunSingleCycle());
  EXPECT_EQ(kD + "page", Snapshot(server));
  EXPECT_EQ(2, http.log().sends);
  EXPECT_EQ(std::vector<std::string>{"DOM\\user:pw"}, http.log().proxy_credentials);
  EXPECT_EQ(ProxyMode::kNamed, http.log().last_options.proxy_mode);
  EXPECT_EQ("127.0.0.1:3128", http.log().last_options.proxy_server);
  EXPECT_TRUE(http.log().last_options.keep_connection);

  FakeScript refused;
  refused.responses = {{StatusCode::kOk, 407, "Proxy Authentication Required"}};
  http.SetScript(refused);
  EXPECT_EQ(7, server.RunSingleCycle());
  EXPECT_EQ(4, http.log().sends);
  EXPECT_EQ(14, Report(server).first);
}

TEST_F(FetchTest, AnHttpsSourceFetchesOverTlsAndSaysOnceThatItsCertificateIsUnchecked) {
  ServerParams https = params_;
  https.scheme = HttpScheme::kHttps;
  ProxySettings unchecked = ProxySettings::Direct();
  unchecked.verify_server = false;

  FakeHttpClient http(FakeScript{.body = {kD + "page" + kD}});
  CNetscapeServer server(https, unchecked, http);
  ASSERT_TRUE(server.AddActivation(false));
  EXPECT_EQ(0, server.RunSingleCycle());
  EXPECT_EQ(HttpScheme::kHttps, http.log().last_options.scheme);
  EXPECT_FALSE(http.log().last_options.verify_server);
  std::string notice;
  ASSERT_TRUE(server.TakeNotice(&notice));
  EXPECT_NE(std::string::npos, notice.find("verifyServer=0")) << notice;
  EXPECT_NE(std::string::npos, notice.find("https://" + https.host + ":" + std::to_string(https.port))) << notice;
  EXPECT_FALSE(server.TakeNotice(&notice)) << "said once";

  // Checked certificates, and plain HTTP, need no word.
  CNetscapeServer checked(https, ProxySettings::Direct(), http);
  EXPECT_EQ(0, checked.RunSingleCycle());
  EXPECT_TRUE(http.log().last_options.verify_server);
  EXPECT_FALSE(checked.TakeNotice(&notice));
  CNetscapeServer plain(params_, unchecked, http);
  EXPECT_EQ(0, plain.RunSingleCycle());
  EXPECT_EQ(HttpScheme::kHttp, http.log().last_options.scheme);
  EXPECT_FALSE(plain.TakeNotice(&notice));
  EXPECT_NE(plain.key(), server.key()) << "HTTP and HTTPS of one host and port are two servers";
}

TEST_F(FetchTest, OversizedPagesAreCutOrDiscarded) {
  // A copy longer than the store keeps its first 8191 characters.
  const std::string long_page = kD + std::string(12000, 'p');
  FakeHttpClient http(FakeScript{.body = {long_page, kD}});
  CNetscapeServer server(params_, ProxySettings::Direct(), http);
  ASSERT_TRUE(server.AddActivation(false));
  EXPECT_EQ(0, server.RunSingleCycle());
  EXPECT_EQ(long_page.substr(0, CNetscapeServer::kSnapshotCapacity - 1), Snapshot(server));
  (void)Report(server);

  // More than the stream buffer without any delimiter: the discard is recorded, the cycle goes on.
  http.SetScript(FakeScript{.body = {std::string(20000, 'x')}, .wait_after_body = false});
  EXPECT_EQ(0, server.RunSingleCycle());
  EXPECT_EQ(13, Report(server).first);
  // The snapshot of the previous cycle stays.
  EXPECT_EQ(CNetscapeServer::kSnapshotCapacity - 1, Snapshot(server).size());
}

TEST_F(FetchTest, TheDumpFileStandsInForTheNetwork) {
  const std::string dump = directory_ + "/dump.txt";
  std::ofstream(dump, std::ios::binary) << std::string(9000, 'd');
  setenv("QOR_NS_MON_FILE", dump.c_str(), 1);
  FakeHttpClient http;
  {
    ServerRegistry registry(http);
    ASSERT_TRUE(registry.FindOrStartServer(params_));
    CNetscapeServer* server = registry.FindServer(params_);
    ASSERT_NE(nullptr, server);
    ASSERT_TRUE(Eventually([&] { return Snapshot(*server).size() == CNetscapeServer::kSnapshotCapacity - 1; }));
    EXPECT_EQ(std::string(8191, 'd'), Snapshot(*server));
  }
  EXPECT_EQ(0, http.log().opens);

  // The connection test never reads the file: the cycle ends at once and says nothing.
  std::string text = "untouched";
  EXPECT_EQ(1, TestConnection(params_, ProxySettings::Direct(), http, &text));
  EXPECT_EQ("", text);

  // A missing file ends the cycle without a message.
  setenv("QOR_NS_MON_FILE", (directory_ + "/missing.txt").c_str(), 1);
  CNetscapeServer server(params_, ProxySettings::Direct(), http);
  ASSERT_TRUE(server.AddActivation(false));
  EXPECT_EQ(3, server.RunSingleCycle());
  EXPECT_EQ(std::make_pair(1, std::string()), Report(server));
}

TEST_F(FetchTest, TheConnectionTestReportsTheFailureText) {
  FakeScript refused;
  refused.responses = {{StatusCode::kConnectFailed, 0, ""}};
  refused.error_text = "Connection refused";
  FakeHttpClient http(refused);
  for (int attempt = 0; attempt < 2; ++attempt) {  // every test has a record of its own
    std::string text;
    EXPECT_EQ(1, TestConnection(params_, ProxySettings::Direct(), http, &text));
    EXPECT_EQ("-47496:web1|8080|admin|Connection refused|GetMonitorData||", text);
  }
  http.SetScript(FakeScript{.body = {kD + "page"}});
  std::string text = "untouched";
  EXPECT_EQ(0, TestConnection(params_, ProxySettings::Direct(), http, &text));
  EXPECT_EQ("untouched", text);
}

class RegistryTest : public FetchTest {};

TEST_F(RegistryTest, OneServerPerSourceWhateverTheCredentials) {
  FakeHttpClient http(FakeScript{.body = {kD + "page" + kD}, .wait_after_body = true});
  ServerRegistry registry(http);
  ServerParams other_login = params_;
  other_login.login = "guest";
  ServerParams other_url = params_;
  other_url.url = "/https-admin/.perf";

  ASSERT_TRUE(registry.FindOrStartServer(params_));
  ASSERT_TRUE(registry.FindOrStartServer(other_login));
  ASSERT_TRUE(registry.FindOrStartServer(other_url));
  ASSERT_EQ(2u, registry.server_count());
  CNetscapeServer* server = registry.FindServerByKey("web1|/.perf|8080");
  ASSERT_NE(nullptr, server);
  EXPECT_EQ(2, server->activation_count());
  EXPECT_EQ("admin", server->params().login);  // the first activation's credentials stay
  EXPECT_EQ(server, registry.FindServer(other_login));
  ASSERT_TRUE(Eventually([&] { return http.log().waiting.load() == 2; }));  // two connections

  EXPECT_EQ(server, registry.FindServerByHost("web1:8080"));
  EXPECT_EQ(nullptr, registry.FindServerByHost("web"));
  EXPECT_EQ(nullptr, registry.FindServerByHost("web10")) << "a longer host name is another host";
  EXPECT_EQ(nullptr, registry.FindServerByHost("other"));
  registry.DestroyAllServers();
  EXPECT_EQ(0u, registry.server_count());
  EXPECT_EQ(nullptr, registry.FindServerByHost("web1"));
}

TEST_F(RegistryTest, AnIdleServerIsWokenOrStopsAndIsNeverRevived) {
  FakeHttpClient http(FakeScript{.body = {kD + "page" + kD}, .wait_after_body = true});
  ServerRegistry registry(http);
  ASSERT_TRUE(registry.FindOrStartServer(params_));
  CNetscapeServer* server = registry.FindServer(params_);
  ASSERT_TRUE(Eventually([&] { return http.log().waiting.load() == 1; }));

  // The last release makes it idle: its fetch ends, and a prompt activation wakes it again.
  server->ReleaseActivation();
  ASSERT_TRUE(Eventually([&] { return http.log().waiting.load() == 0; }));
  ASSERT_TRUE(registry.FindOrStartServer(params_));
  EXPECT_EQ(server, registry.FindServer(params_));
  ASSERT_TRUE(Eventually([&] { return http.log().waiting.load() == 1; }));
  EXPECT_EQ(2, http.log().opens);

  // Left idle, it stops after its pause and stays registered until the next activation.
  server->ReleaseActivation();
  ASSERT_TRUE(Eventually([&] { return server->stopped(); }));
  EXPECT_FALSE(server->AddActivation(true));
  EXPECT_EQ(server, registry.FindServer(params_));
  EXPECT_EQ(kD + "page", Snapshot(*server));  // what it last stored is still served

  ASSERT_TRUE(registry.FindOrStartServer(params_));
  CNetscapeServer* fresh = registry.FindServer(params_);
  ASSERT_NE(nullptr, fresh);
  EXPECT_FALSE(fresh->stopped());
  EXPECT_EQ(1, fresh->activation_count());
}

TEST_F(RegistryTest, AFailedCycleGivesUpAnActivation) {
  FakeScript refused;
  refused.responses = {{StatusCode::kConnectFailed, 0, ""}};
  refused.error_text = "Connection refused";
  FakeHttpClient http(refused);
  ServerRegistry registry(http);
  ASSERT_TRUE(registry.FindOrStartServer(params_));
  CNetscapeServer* server = registry.FindServer(params_);
  ASSERT_TRUE(Eventually([&] { return server->stopped(); }));
  EXPECT_EQ(1, http.log().opens);
  EXPECT_EQ(20, Report(*server).first);

  // Another activation purges it and starts afresh.
  ServerParams other = params_;
  other.host = "web2";
  ASSERT_TRUE(registry.FindOrStartServer(other));
  EXPECT_EQ(nullptr, registry.FindServer(params_));
}

TEST_F(RegistryTest, DestructionDoesNotWaitForSilentPeersOrPauses) {
  FakeScript silent;
  silent.responses = {{StatusCode::kCancelled, 0, ""}};
  FakeHttpClient waiting(silent);
  FakeHttpClient streaming(FakeScript{.body = {kD + "page" + kD}, .wait_after_body = true});
  ServerRegistry silent_sends(waiting);
  ServerRegistry silent_streams(streaming);
  for (int i = 0; i < 20; ++i) {
    ServerParams params = params_;
    params.host = "web" + std::to_string(i);
    ASSERT_TRUE(silent_sends.FindOrStartServer(params));
    ASSERT_TRUE(silent_streams.FindOrStartServer(params));
  }
  ASSERT_TRUE(Eventually([&] { return waiting.log().waiting.load() == 20 && streaming.log().waiting.load() == 20; }));
  silent_sends.DestroyAllServers();
  silent_streams.DestroyAllServers();
  EXPECT_EQ(0, waiting.log().waiting.load());
  EXPECT_EQ(0, streaming.log().waiting.load());

  // A server pausing between cycles is destroyed without waiting out the pause.
  FakeHttpClient ending(FakeScript{.body = {kD + "page" + kD}});
  ServerRegistry pausing(ending);
  ASSERT_TRUE(pausing.FindOrStartServer(params_));
  ASSERT_TRUE(Eventually([&] { return ending.log().opens == 1; }));
  pausing.DestroyAllServers();
}

}  // namespace
