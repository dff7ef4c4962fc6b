// The proxy exchange of the Windows edition through squid on 127.0.0.1, which asks every client
// for basic proxy credentials.
//
// WinINet as Wine provides it repeats a request that got a 407 first without the credentials set
// on it, and answers that second 407 itself with them; Windows' own WinINet sends them with the
// repeated request. So a cycle here shows one request more without credentials than on Windows,
// and these tests hold what both have in common: never credentials up front, then the configured
// user exactly once a cycle, and a refused user ends the cycle as an unexpected status.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/catalogue.h"
#include "polling/connection_probe.h"
#include "polling/netscape_server.h"
#include "tests/child_process.h"

namespace {

constexpr auto Presented = &AuthenticatingProxy::PresentedTheUser;

class WindowsProxyTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    MsgHandlerInitFunction();
    ASSERT_TRUE(AddResourceFile(std::string(SARVIK_SOURCE_DIR) + "/dat/tq_mon_http_msgs").ok());
  }
  static void TearDownTestSuite() { MsgHandlerDestroyFunction(); }
};

TEST_F(WindowsProxyTest, TheConfiguredUserAnswersA407OnceACycle) {
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
  ServerParams params;
  params.host = "127.0.0.1";
  params.port = statistics.port();
  params.url = "/.perf?count=3";
  const std::string target = "http://127.0.0.1:" + std::to_string(statistics.port()) + "/.perf?count=3";

  std::string text;
  EXPECT_EQ(0, TestConnection(params, settings, SystemHttpClient(), &text)) << text;
  const std::vector<std::string> accepted = proxy.RequestsOfExchange(0);
  ASSERT_GE(accepted.size(), 2u);
  EXPECT_FALSE(Presented(accepted.front())) << "credentials went up front: " << accepted.front();
  EXPECT_TRUE(Presented(accepted.back())) << accepted.back();
  EXPECT_NE(std::string::npos, accepted.back().find("/200 ")) << accepted.back();
  int presented = 0;
  for (const std::string& line : accepted) {
    EXPECT_NE(std::string::npos, line.find(" GET " + target + " ")) << line;
    presented += Presented(line);
  }
  EXPECT_EQ(1, presented) << testing::PrintToString(accepted);

  settings.password = "wrong";
  CNetscapeServer refused(params, settings, SystemHttpClient());
  EXPECT_EQ(7, refused.RunSingleCycle());
  std::string message;
  EXPECT_EQ(14, refused.error_record().GetReport(&message));
  EXPECT_NE(std::string::npos, message.find("407")) << message;
  EXPECT_EQ(std::string::npos, message.find("wrong")) << "the proxy password shows: " << message;
  const std::vector<std::string> rejected = proxy.RequestsOfExchange(accepted.size());
  ASSERT_GE(rejected.size(), 2u);
  EXPECT_FALSE(Presented(rejected.front())) << rejected.front();
  EXPECT_TRUE(Presented(rejected.back())) << rejected.back();
  EXPECT_NE(std::string::npos, rejected.back().find("/407 ")) << rejected.back();
  presented = 0;
  for (const std::string& line : rejected) presented += Presented(line);
  EXPECT_EQ(1, presented) << testing::PrintToString(rejected);
}

}  // namespace
