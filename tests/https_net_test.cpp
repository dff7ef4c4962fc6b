// HTTPS sources against sarvik-statserver --tls on 127.0.0.1: readings inside TLS, and the
// certificate checks that refuse a wrong host name or an untrusted certificate unless the
// configuration turns them off.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/catalogue.h"
#include "polling/connection_probe.h"
#include "polling/server_registry.h"
#include "polling/stream_splitter.h"
#include "tests/certificates.h"
#include "tests/child_process.h"

namespace {

class HttpsNetTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    SystemHttpClient();  // libcurl is set up before any polling thread
    MsgHandlerInitFunction();
    ASSERT_TRUE(AddResourceFile(std::string(SARVIK_SOURCE_DIR) + "/dat/tq_mon_http_msgs").ok());
  }
  static void TearDownTestSuite() { MsgHandlerDestroyFunction(); }

  void SetUp() override {
    // The statistics server's certificate for 127.0.0.1 is trusted as if the system's store held it.
    std::optional<CertificatePair> loopback = MakeSelfSignedPair(directory_.path(), "loopback", "IP:127.0.0.1");
    ASSERT_TRUE(loopback) << "openssl could not make a certificate in " << directory_.path();
    loopback_ = *loopback;
    trusted_ = directory_.path() + "/trusted.pem";
  }
  void TearDown() override { TEST_TrustCertificates(""); }

  static ServerParams Https(int port, const std::string& url = "/.perf") {
    ServerParams params;
    params.host = "127.0.0.1";
    params.port = port;
    params.url = url;
    params.scheme = HttpScheme::kHttps;
    return params;
  }

  static ProxySettings Unchecked() {
    ProxySettings settings = ProxySettings::Direct();
    settings.verify_server = false;
    return settings;
  }

  static std::string Snapshot(CNetscapeServer& server, SampleTime* time = nullptr) {
    char buffer[16384];
    const std::size_t length = server.CopySnapshot(buffer, sizeof buffer, time);
    return std::string(buffer, length);
  }

  // One cycle of a throw-away server: its result, and its error record's code and text.
  struct Cycle {
    int result;
    int code;
    std::string text;
  };
  static Cycle RunCycle(const ServerParams& params, const ProxySettings& proxy) {
    CNetscapeServer server(params, proxy, SystemHttpClient());
    Cycle cycle{server.RunSingleCycle(), 0, ""};
    cycle.code = server.error_record().GetReport(&cycle.text);
    return cycle;
  }

  TemporaryDirectory directory_;
  CertificatePair loopback_;
  std::string trusted_;
};

TEST_F(HttpsNetTest, ReadingsArriveOverTlsFromATrustedServer) {
  ASSERT_TRUE(WriteCertificateBundle(trusted_, {loopback_}));
  TEST_TrustCertificates(trusted_);
  StatisticsServer statistics({"--interval", "100", "--tls", loopback_.certificate, loopback_.key});
  ASSERT_TRUE(statistics.started());

  ServerRegistry registry(SystemHttpClient());
  ASSERT_TRUE(registry.FindOrStartServer(Https(statistics.port())));
  CNetscapeServer* server = registry.FindServer(Https(statistics.port()));
  ASSERT_NE(nullptr, server);
  std::set<std::pair<std::int32_t, std::int32_t>> stamps;
  ASSERT_TRUE(WaitFor([&] {
    SampleTime time{};
    const std::string snapshot = Snapshot(*server, &time);
    if (snapshot.empty()) return false;
    EXPECT_EQ(0u, snapshot.find(kStreamDelimiter)) << "a copy starts with the delimiter";
    EXPECT_NE(std::string::npos, snapshot.find("Performance Counters:"));
    stamps.insert({time.seconds, time.microseconds});
    return stamps.size() >= 3;
  })) << "copies seen: " << stamps.size() << "; error record: " << server->error_record().result_code();
  std::string notice;
  EXPECT_FALSE(server->TakeNotice(&notice)) << "a checked certificate needs no word: " << notice;

  std::string failure;
  EXPECT_EQ(0, TestConnection(Https(statistics.port()), ProxySettings::Direct(), SystemHttpClient(), &failure))
      << failure;
}

TEST_F(HttpsNetTest, TheWrongSchemeOnEitherSideFails) {
  ASSERT_TRUE(WriteCertificateBundle(trusted_, {loopback_}));
  TEST_TrustCertificates(trusted_);
  StatisticsServer tls({"--interval", "100", "--tls", loopback_.certificate, loopback_.key});
  StatisticsServer plain({"--interval", "100"});
  ASSERT_TRUE(tls.started());
  ASSERT_TRUE(plain.started());

  // HTTPS to a plain server, which waits for a request head that never comes: the handshake does
  // not end within the send bound, which is a failure to connect.
  const Cycle to_plain = RunCycle(Https(plain.port()), ProxySettings::Direct());
  EXPECT_EQ(4, to_plain.result) << to_plain.text;
  EXPECT_EQ(20, to_plain.code) << to_plain.text;
  EXPECT_NE(std::string::npos, to_plain.text.find(std::to_string(plain.port()))) << to_plain.text;
  EXPECT_TRUE(to_plain.text.find("SSL") != std::string::npos || to_plain.text.find("TLS") != std::string::npos)
      << to_plain.text;

  // Plain HTTP to a TLS server never gets a statistics page.
  ServerParams http = Https(tls.port());
  http.scheme = HttpScheme::kHttp;
  CNetscapeServer server(http, ProxySettings::Direct(), SystemHttpClient());
  ASSERT_TRUE(server.AddActivation(false));
  EXPECT_NE(0, server.RunSingleCycle());
  EXPECT_EQ("", Snapshot(server));
}

TEST_F(HttpsNetTest, AWrongHostNameAndAnUntrustedCertificateFailUnlessTheChecksAreOff) {
  // "other" is trusted but names another host; "stranger" names 127.0.0.1 but nobody trusts it.
  const std::optional<CertificatePair> other = MakeSelfSignedPair(directory_.path(), "other", "DNS:stats.example");
  const std::optional<CertificatePair> stranger = MakeSelfSignedPair(directory_.path(), "stranger", "IP:127.0.0.1");
  ASSERT_TRUE(other && stranger);
  ASSERT_TRUE(WriteCertificateBundle(trusted_, {loopback_, *other}));
  TEST_TrustCertificates(trusted_);
  StatisticsServer wrong_name({"--interval", "100", "--tls", other->certificate, other->key});
  StatisticsServer untrusted({"--interval", "100", "--tls", stranger->certificate, stranger->key});
  ASSERT_TRUE(wrong_name.started());
  ASSERT_TRUE(untrusted.started());

  const struct {
    const char* name;
    int port;
    std::string says;  // in libcurl's text
  } cases[] = {
      {"wrong host name", wrong_name.port(), "127.0.0.1"},
      {"untrusted certificate", untrusted.port(), "self-signed certificate"},
  };
  for (const auto& c : cases) {
    const Cycle checked = RunCycle(Https(c.port), ProxySettings::Direct());
    EXPECT_EQ(4, checked.result) << c.name << ": " << checked.text;
    EXPECT_EQ(20, checked.code) << c.name << ": " << checked.text;
    EXPECT_NE(std::string::npos, checked.text.find(c.says)) << c.name << ": " << checked.text;
    EXPECT_NE(std::string::npos, checked.text.find(std::to_string(c.port))) << c.name << ": " << checked.text;

    std::string failure;
    EXPECT_EQ(1, TestConnection(Https(c.port), ProxySettings::Direct(), SystemHttpClient(), &failure)) << c.name;
    EXPECT_NE(std::string::npos, failure.find(c.says)) << c.name << ": " << failure;

    // Unchecked, the same server is read.
    EXPECT_EQ(0, TestConnection(Https(c.port), Unchecked(), SystemHttpClient(), &failure)) << c.name << ": " << failure;
    ServerRegistry registry(SystemHttpClient());
    registry.SetProxySettings(Unchecked());
    CNetscapeServer* server = registry.FindOrStartServer(Https(c.port));
    ASSERT_NE(nullptr, server) << c.name;
    EXPECT_TRUE(WaitFor([&] { return Snapshot(*server).find("Performance Counters:") != std::string::npos; }))
        << c.name << ": result " << server->error_record().result_code();
    std::string notice;
    EXPECT_TRUE(server->TakeNotice(&notice)) << c.name;
    EXPECT_NE(std::string::npos, notice.find("is not checked")) << notice;
  }
  // The host name check is what refused the first server: its certificate is trusted.
  const Cycle by_name = RunCycle(Https(wrong_name.port()), ProxySettings::Direct());
  EXPECT_NE(std::string::npos, by_name.text.find("name")) << by_name.text;
  EXPECT_EQ(std::string::npos, by_name.text.find("self-signed")) << by_name.text;
}

}  // namespace
