// Where a request goes and what it names, decided before anything is sent: no server needed.
#include "platform/http_curl_route.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/http.h"
#include "platform/testing/request_options.h"

namespace {

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
  HttpRequestOptions options = OptionsFor("web.example.com", 8080, "/.perf?x=1");
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

}  // namespace
