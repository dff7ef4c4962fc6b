// Request heads, routing, the command line and the layout of the streams, without sockets.
#include "tools/statserver/http_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/statserver/options.h"
#include "tools/statserver/page.h"
#include "tools/statserver/responses.h"

namespace statserver {
namespace {

HttpRequest Parse(const std::string& head, int expected_status = 0) {
  HttpRequest request;
  EXPECT_EQ(ParseRequestHead(head, &request), expected_status) << head;
  return request;
}

std::string Joined(const std::vector<StreamPiece>& pieces) {
  std::string all;
  for (const StreamPiece& piece : pieces) all += piece.bytes;
  return all;
}

TEST(ScanRequestHead, FindsTheEndOfTheHead) {
  std::size_t length = 0;
  EXPECT_EQ(ScanRequestHead("GET / HTTP/1.1\r\nHost: a\r\n", &length), HeadScan::kIncomplete);
  EXPECT_EQ(ScanRequestHead("GET / HTTP/1.1\r\nHost: a\r\n\r\nGET /next", &length), HeadScan::kComplete);
  EXPECT_EQ(length, 27u);
  EXPECT_EQ(ScanRequestHead("GET / HTTP/1.0\n\n", &length), HeadScan::kComplete);
  EXPECT_EQ(length, 16u);
  // Empty lines between pipelined requests belong to the next head and do not end it.
  EXPECT_EQ(ScanRequestHead("\r\n\r\nGET / HTTP/1.1\r\n", &length), HeadScan::kIncomplete);
  EXPECT_EQ(ScanRequestHead("\r\nGET / HTTP/1.1\r\n\r\n", &length), HeadScan::kComplete);
  EXPECT_EQ(length, 20u);
}

TEST(ScanRequestHead, RefusesHeadsBeyondTheLimit) {
  std::size_t length = 0;
  const std::string endless = "GET / HTTP/1.1\r\nX-Filler: " + std::string(kMaxRequestHead, 'x');
  EXPECT_EQ(ScanRequestHead(endless, &length), HeadScan::kTooLarge);
  EXPECT_EQ(ScanRequestHead(endless + "\r\n\r\n", &length), HeadScan::kTooLarge);
}

TEST(ParseRequestHead, ReadsRequestLineHeadersAndKeepAlive) {
  const HttpRequest request =
      Parse("GET /a%20b/c?x=1&y HTTP/1.1\r\nHost: localhost\r\nAuthorization: Basic Zm9vOmJhcg==\r\n\r\n");
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/a%20b/c?x=1&y");
  EXPECT_EQ(request.path, "/a b/c");
  EXPECT_EQ(request.query, "x=1&y");
  EXPECT_EQ(request.version_minor, 1);
  EXPECT_TRUE(request.keep_alive);
  EXPECT_EQ(request.Header("host"), "localhost");
  EXPECT_FALSE(request.Header("Cookie").has_value());

  EXPECT_FALSE(Parse("GET / HTTP/1.1\r\nConnection: close\r\n\r\n").keep_alive);
  EXPECT_FALSE(Parse("GET / HTTP/1.0\r\n\r\n").keep_alive);
  EXPECT_TRUE(Parse("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n").keep_alive);
  EXPECT_FALSE(Parse("GET / HTTP/1.1\r\nConnection: TE, close\r\n\r\n").keep_alive);
}

TEST(ParseRequestHead, ReadsBodiesAndAbsoluteTargets) {
  EXPECT_EQ(Parse("POST /x HTTP/1.1\r\nContent-Length: 12\r\n\r\n").content_length, 12u);
  EXPECT_TRUE(Parse("POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n").chunked_body);
  const HttpRequest proxied = Parse("GET http://127.0.0.1:8080/.perf?once HTTP/1.1\r\n\r\n");
  EXPECT_EQ(proxied.path, "/.perf");
  EXPECT_EQ(proxied.query, "once");
  EXPECT_EQ(Parse("GET http://127.0.0.1:8080 HTTP/1.1\r\n\r\n").path, "/");
}

TEST(ParseRequestHead, AnswersMalformedRequests) {
  Parse("GET /\r\n\r\n", 400);
  Parse("GET  HTTP/1.1\r\n\r\n", 400);
  Parse("G(T / HTTP/1.1\r\n\r\n", 400);
  Parse("GET * HTTP/1.1\r\n\r\n", 400);
  Parse("GET / FTP/1.0\r\n\r\n", 400);
  Parse("GET / HTTP/2.0\r\n\r\n", 505);
  Parse("GET / HTTP/1.1\r\nNo colon here\r\n\r\n", 400);
  Parse("GET / HTTP/1.1\r\nX: 1\r\n folded\r\n\r\n", 400);
  Parse("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400);
  Parse("POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400);
  Parse("POST / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", 413);
}

TEST(Query, DecodesParameters) {
  const QueryParams params = ParseQuery("count=3&text=Gone+fishing%21&once&&bad=%zz");
  EXPECT_EQ(FindParam(params, "count"), "3");
  EXPECT_EQ(FindParam(params, "text"), "Gone fishing!");
  EXPECT_EQ(FindParam(params, "once"), "");
  EXPECT_EQ(FindParam(params, "bad"), "%zz");
  EXPECT_FALSE(FindParam(params, "chunk").has_value());
  EXPECT_EQ(PercentDecode("a%2", false), "a%2");
}

TEST(Numbers, AreReadWholeAndBounded) {
  EXPECT_EQ(ParseBoundedInt("42", 0, 100), 42);
  EXPECT_FALSE(ParseBoundedInt("42x", 0, 100).has_value());
  EXPECT_FALSE(ParseBoundedInt("", 0, 100).has_value());
  EXPECT_FALSE(ParseBoundedInt("+4", 0, 100).has_value());
  EXPECT_FALSE(ParseBoundedInt("101", 0, 100).has_value());
  EXPECT_FALSE(ParseBoundedInt("99999999999999999999999", 0, 100).has_value());
}

TEST(BasicAuth, MatchesOnlyTheRightCredentials) {
  std::string decoded;
  ASSERT_TRUE(DecodeBase64("YWRtaW46YWRtaW4=", &decoded));
  EXPECT_EQ(decoded, "admin:admin");
  ASSERT_TRUE(DecodeBase64("YQ", &decoded));
  EXPECT_EQ(decoded, "a");
  EXPECT_FALSE(DecodeBase64("YW*i", &decoded));

  EXPECT_TRUE(BasicAuthMatches("Basic YWRtaW46YWRtaW4=", "admin:admin"));
  EXPECT_TRUE(BasicAuthMatches("basic   YWRtaW46YWRtaW4=", "admin:admin"));
  EXPECT_FALSE(BasicAuthMatches("Basic YWRtaW46YWRtaW4=", "admin:tovel"));
  EXPECT_FALSE(BasicAuthMatches("Bearer YWRtaW46YWRtaW4=", "admin:admin"));
  EXPECT_FALSE(BasicAuthMatches(std::nullopt, "admin:admin"));
}

TEST(RouteRequest, SendsEachUrlWhereHelpSaysItGoes) {
  const QueryParams none;
  const QueryParams once = ParseQuery("once");
  EXPECT_EQ(RouteRequest("/.perf", none), Route::kStatisticsStream);
  EXPECT_EQ(RouteRequest("/https-demo/.perf", none), Route::kStatisticsStream);
  EXPECT_EQ(RouteRequest("/.perf", once), Route::kStatisticsOnce);
  EXPECT_EQ(RouteRequest("/perf-once", none), Route::kStatisticsOnce);
  EXPECT_EQ(RouteRequest("/fault/401", none), Route::kFault401);
  EXPECT_EQ(RouteRequest("/fault/404", none), Route::kFault404);
  EXPECT_EQ(RouteRequest("/fault/407", none), Route::kFault407);
  EXPECT_EQ(RouteRequest("/fault/500", none), Route::kFault500);
  EXPECT_EQ(RouteRequest("/fault/silent", none), Route::kFaultSilent);
  EXPECT_EQ(RouteRequest("/fault/silent-after-headers", none), Route::kFaultSilentAfterHeaders);
  EXPECT_EQ(RouteRequest("/fault/drop-mid-page", none), Route::kFaultDropMidPage);
  EXPECT_EQ(RouteRequest("/fault/oversized", none), Route::kFaultOversized);
  EXPECT_EQ(RouteRequest("/fault/split-delimiter", none), Route::kFaultSplitDelimiter);
  EXPECT_EQ(RouteRequest("/fault/back-to-back", none), Route::kFaultBackToBack);
  EXPECT_EQ(RouteRequest("/fault/reason", none), Route::kFaultReason);
  EXPECT_EQ(RouteRequest("/fault/binary", none), Route::kFaultBinary);
  EXPECT_EQ(RouteRequest("/fault/nonsense", none), Route::kFaultUnknown);
  EXPECT_EQ(RouteRequest("/", none), Route::kLoad);
  EXPECT_EQ(RouteRequest("/index.html", none), Route::kLoad);
  EXPECT_EQ(RouteRequest("/load/.perfect", none), Route::kLoad);
  EXPECT_TRUE(IsStatisticsRoute(Route::kStatisticsOnce));
  EXPECT_FALSE(IsStatisticsRoute(Route::kFaultBinary));
}

TEST(CommandLine, ReadsEveryOption) {
  const CommandLine line = ParseCommandLine({"--bind", "::1", "--port=8080", "--port-file", "/tmp/p", "--interval",
                                             "250", "--duration", "30", "--auth", "admin:secret",
                                             "--max-connections", "16", "--keepalive-timeout", "2",
                                             "--keepalive-max", "4"});
  ASSERT_EQ(line.action, CommandLine::Action::kRun) << line.error;
  EXPECT_EQ(line.options.bind, "::1");
  EXPECT_EQ(line.options.port, 8080);
  EXPECT_EQ(line.options.port_file, "/tmp/p");
  EXPECT_EQ(line.options.interval_ms, 250);
  EXPECT_EQ(line.options.duration_seconds, 30);
  EXPECT_EQ(line.options.auth, "admin:secret");
  EXPECT_EQ(line.options.max_connections, 16);
  EXPECT_EQ(line.options.keepalive_timeout_seconds, 2);
  EXPECT_EQ(line.options.keepalive_max, 4);

  const CommandLine defaults = ParseCommandLine({});
  EXPECT_EQ(defaults.options.bind, "127.0.0.1");
  EXPECT_EQ(defaults.options.port, 0);
  EXPECT_EQ(defaults.options.interval_ms, 1000);
  EXPECT_FALSE(defaults.options.duration_seconds.has_value());
  EXPECT_EQ(ParseCommandLine({"--help"}).action, CommandLine::Action::kHelp);
  EXPECT_EQ(ParseCommandLine({"--version"}).action, CommandLine::Action::kVersion);
}

TEST(CommandLine, RefusesAnythingButLoopback) {
  for (const char* address : {"0.0.0.0", "192.168.1.1", "::", "example.com", ""}) {
    const CommandLine line = ParseCommandLine({"--bind", address});
    EXPECT_EQ(line.action, CommandLine::Action::kError) << address;
    EXPECT_NE(line.error.find("loopback"), std::string::npos);
  }
  EXPECT_EQ(ParseCommandLine({"--port", "70000"}).action, CommandLine::Action::kError);
  EXPECT_EQ(ParseCommandLine({"--interval", "0"}).action, CommandLine::Action::kError);
  EXPECT_EQ(ParseCommandLine({"--auth", "nocolon"}).action, CommandLine::Action::kError);
  EXPECT_EQ(ParseCommandLine({"--port"}).action, CommandLine::Action::kError);
  EXPECT_EQ(ParseCommandLine({"--frobnicate"}).action, CommandLine::Action::kError);
}

TEST(CommandLine, TlsTakesACertificateAndAKey) {
  const CommandLine line = ParseCommandLine({"--tls", "/tmp/server.crt", "/tmp/server.key", "--interval", "100"});
  ASSERT_EQ(line.action, CommandLine::Action::kRun) << line.error;
  EXPECT_EQ(line.options.tls_certificate, "/tmp/server.crt");
  EXPECT_EQ(line.options.tls_key, "/tmp/server.key");
  EXPECT_EQ(line.options.interval_ms, 100);
  EXPECT_TRUE(ParseCommandLine({}).options.tls_certificate.empty()) << "plain HTTP by default";
  for (const std::vector<std::string>& refused : std::vector<std::vector<std::string>>{
           {"--tls"}, {"--tls", "/tmp/server.crt"}, {"--tls", "/tmp/server.crt", "--interval", "100"}}) {
    const CommandLine bad = ParseCommandLine(refused);
    EXPECT_EQ(bad.action, CommandLine::Action::kError) << refused.size();
    EXPECT_NE(bad.error.find("--tls CERT KEY"), std::string::npos) << bad.error;
  }
}

TEST(CommandLine, HelpNamesEveryOptionAndUrl) {
  const std::string help = HelpText();
  for (const char* item :
       {"--bind", "--port", "--port-file", "--interval", "--duration", "--auth", "--max-connections",
        "--keepalive-timeout", "--keepalive-max", "--tls", "--help", "--version", "/.perf", "count=", "chunk=", "interval=",
        "trailer=", "/.perf?once", "/perf-once", "/fault/401", "/fault/404", "/fault/407", "/fault/500",
        "/fault/silent", "/fault/silent-after-headers", "/fault/drop-mid-page", "/fault/oversized",
        "/fault/split-delimiter", "/fault/back-to-back", "/fault/reason", "/fault/binary", "delay="}) {
    EXPECT_NE(help.find(item), std::string::npos) << item;
  }
}

TEST(StreamPlan, PlainCopyIsDelimiterLineEndAndPage) {
  StreamSettings settings;
  const auto pieces = PlanCopy(settings, "page\n");
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].bytes, std::string(kDelimiter) + "\npage\n");
}

TEST(StreamPlan, ChunksAreSmallAndPaused) {
  StreamSettings settings;
  settings.chunk = 7;
  settings.chunk_pause_ms = 3;
  const std::string page(100, 'p');
  const auto pieces = PlanCopy(settings, page);
  EXPECT_EQ(Joined(pieces), std::string(kDelimiter) + "\n" + page);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    EXPECT_LE(pieces[i].bytes.size(), 7u);
    EXPECT_EQ(pieces[i].pause_after_ms, i + 1 == pieces.size() ? 0 : 3);
  }
}

TEST(StreamPlan, SplitDelimiterNeverTravelsInOnePiece) {
  StreamSettings settings;
  settings.style = StreamStyle::kSplitDelimiter;
  const auto pieces = PlanCopy(settings, "page\n");
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].bytes, "THIS_STRING_");
  EXPECT_EQ(pieces[0].pause_after_ms, kSplitDelimiterPauseMs);
  EXPECT_EQ(pieces[1].bytes.find(kDelimiter), std::string::npos);
  EXPECT_EQ(Joined(pieces), std::string(kDelimiter) + "\npage\n");
}

TEST(StreamPlan, BackToBackAndBinaryCopies) {
  StreamSettings settings;
  settings.style = StreamStyle::kBackToBack;
  EXPECT_EQ(Joined(PlanCopy(settings, "p\n")), std::string(kDelimiter) + kDelimiter + "\np\n");

  settings.style = StreamStyle::kBinaryAtEnd;
  const std::string binary = Joined(PlanCopy(settings, "p\n"));
  EXPECT_EQ(binary.size(), kDelimiterLength + 1 + 2 + 257);
  EXPECT_EQ(binary.find(kDelimiter, 1), std::string::npos);
  EXPECT_EQ(binary.find('\0'), kDelimiterLength + 3);
  settings.style = StreamStyle::kBinaryAtStart;
  EXPECT_EQ(Joined(PlanCopy(settings, "p\n")).find('\0'), kDelimiterLength + 1);
}

TEST(StreamSettings, ComeFromTheQuery) {
  StreamSettings settings;
  std::string error;
  ASSERT_EQ(ReadStreamSettings(ParseQuery("count=3&chunk=10&interval=50&pause=0&trailer=1"), 1000,
                               StreamStyle::kPlain, &settings, &error),
            0);
  EXPECT_EQ(settings.count, 3);
  EXPECT_EQ(settings.chunk, 10u);
  EXPECT_EQ(settings.interval_ms, 50);
  EXPECT_EQ(settings.chunk_pause_ms, 0);
  EXPECT_TRUE(settings.trailer);
  ASSERT_EQ(ReadStreamSettings(ParseQuery("at=start"), 1000, StreamStyle::kBinaryAtEnd, &settings, &error), 0);
  EXPECT_EQ(settings.style, StreamStyle::kBinaryAtStart);
  EXPECT_EQ(settings.interval_ms, 1000);
  EXPECT_FALSE(settings.count.has_value());
  ASSERT_EQ(ReadStreamSettings(ParseQuery("stall=4000&stall_after=2"), 1000, StreamStyle::kPlain, &settings, &error),
            0);
  EXPECT_EQ(settings.stall_after, 2);
  EXPECT_EQ(settings.stall_ms, 4000);
  EXPECT_EQ(ReadStreamSettings(ParseQuery("stall=4000"), 1000, StreamStyle::kPlain, &settings, &error), 400);
  EXPECT_EQ(ReadStreamSettings(ParseQuery("count=0"), 1000, StreamStyle::kPlain, &settings, &error), 400);
  EXPECT_EQ(ReadStreamSettings(ParseQuery("chunk=x"), 1000, StreamStyle::kPlain, &settings, &error), 400);
  EXPECT_FALSE(error.empty());
}

TEST(FaultBodies, HaveTheirPromisedShape) {
  const std::string page = "0123456789\n";
  EXPECT_EQ(DropMidPageBody(page), std::string(kDelimiter) + "\n01234");
  const std::string oversized = OversizedBody(page, 20 * 1024 + 1);
  EXPECT_EQ(oversized.size(), 20u * 1024 + 1);
  EXPECT_EQ(oversized.find(kDelimiter), std::string::npos);
  EXPECT_EQ(SafeReasonPhrase("Bad\r\nSet-Cookie: x"), "Bad  Set-Cookie: x");
  EXPECT_EQ(SafeReasonPhrase(std::string(5000, 'r')).size(), 4000u);
  const std::string head = ResponseHead(407, ReasonPhrase(407), "text/plain", 5, false,
                                        "Proxy-Authenticate: Basic realm=\"proxy\"\r\n");
  EXPECT_EQ(head.rfind("HTTP/1.1 407 Proxy Authentication Required\r\n", 0), 0u);
  EXPECT_NE(head.find("Content-Length: 5\r\n"), std::string::npos);
  EXPECT_NE(head.find("Connection: close\r\n"), std::string::npos);
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
}

}  // namespace
}  // namespace statserver
