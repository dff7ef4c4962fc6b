// The libcurl client's refusals before any connection is made. Exchanges with real servers (status,
// body, failures, cancelling, credentials, proxies) are network tests: tests/http_curl_net_test.cpp.
#include "platform/http.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/testing/request_options.h"

namespace {

TEST(HttpOpenTest, UnusableHostPortOrTargetIsRefused) {
  struct Case {
    std::string host;
    int port;
    std::string target;
    StatusCode failure;
  };
  const Case cases[] = {
      {"", 80, "/.perf", StatusCode::kInvalidAddress},
      {"two words", 80, "/.perf", StatusCode::kInvalidAddress},
      {"user@host", 80, "/.perf", StatusCode::kInvalidAddress},
      {"host/path", 80, "/.perf", StatusCode::kInvalidAddress},
      {"127.0.0.1", 0, "/.perf", StatusCode::kInvalidAddress},
      {"127.0.0.1", 65536, "/.perf", StatusCode::kInvalidAddress},
      {"127.0.0.1", 80, "/.perf\r\nX-Injected: 1", StatusCode::kInvalidArgument},
      {"127.0.0.1", 80, std::string("/.perf\0", 7), StatusCode::kInvalidArgument},
  };
  for (const Case& c : cases) {
    const HttpRequestOptions options = OptionsFor(c.host, c.port, c.target);
    const Result<std::unique_ptr<HttpExchange>> opened = SystemHttpClient().Open(options, nullptr);
    EXPECT_FALSE(opened.ok()) << c.host << ":" << c.port;
    EXPECT_EQ(c.failure, opened.status().code()) << c.host << ":" << c.port << " " << c.target;
    EXPECT_FALSE(opened.status().message().empty()) << c.host << ":" << c.port;
  }
  const HttpRequestOptions fine = OptionsFor("127.0.0.1", 80, "/a b?c");  // the server gets what it is given
  const Result<std::unique_ptr<HttpExchange>> opened = SystemHttpClient().Open(fine, nullptr);
  EXPECT_TRUE(opened.ok()) << opened.status().message();
}

}  // namespace
