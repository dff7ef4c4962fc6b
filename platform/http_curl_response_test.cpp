// Reading a response's status line and header blocks as libcurl hands them over: no server needed.
#include "platform/http_curl_response.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

}  // namespace
