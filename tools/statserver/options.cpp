#include "tools/statserver/options.h"

#include <string_view>
#include <utility>

#include "tools/statserver/http_request.h"

namespace statserver {
namespace {

constexpr long long kMaxSources = 4000;
constexpr int kConnectionsBesideSources = 64;

struct IntOption {
  std::string_view name;
  long long min;
  long long max;
};

CommandLine Fail(std::string message) {
  CommandLine result;
  result.action = CommandLine::Action::kError;
  result.error = std::move(message);
  return result;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine result;
  ServerOptions& options = result.options;
  bool max_connections_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "--help" || name == "-h") {
      result.action = CommandLine::Action::kHelp;
      return result;
    }
    if (name == "--version") {
      result.action = CommandLine::Action::kVersion;
      return result;
    }
    const auto take_value = [&]() -> std::optional<std::string> {
      if (value) return value;
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    const auto take_int = [&](long long min, long long max) -> std::optional<long long> {
      const auto text = take_value();
      if (!text) return std::nullopt;
      return ParseBoundedInt(*text, min, max);
    };

    if (name == "--bind") {
      const auto address = take_value();
      if (!address) return Fail("--bind needs an address");
      if (*address == "127.0.0.1" || *address == "localhost") {
        options.bind = "127.0.0.1";
      } else if (*address == "::1" || *address == "[::1]") {
        options.bind = "::1";
      } else {
        return Fail("--bind accepts only the loopback addresses 127.0.0.1 and ::1, not '" + *address + "'");
      }
    } else if (name == "--port") {
      const auto port = take_int(0, 65535);
      if (!port) return Fail("--port needs a number from 0 to 65535");
      options.port = static_cast<int>(*port);
    } else if (name == "--port-file") {
      const auto path = take_value();
      if (!path || path->empty()) return Fail("--port-file needs a path");
      options.port_file = *path;
    } else if (name == "--interval") {
      const auto interval = take_int(1, 3600000);
      if (!interval) return Fail("--interval needs a number of milliseconds from 1 to 3600000");
      options.interval_ms = static_cast<int>(*interval);
    } else if (name == "--duration") {
      const auto duration = take_int(1, 7 * 24 * 3600);
      if (!duration) return Fail("--duration needs a number of seconds from 1 to 604800");
      options.duration_seconds = static_cast<int>(*duration);
    } else if (name == "--auth") {
      const auto auth = take_value();
      if (!auth || auth->find(':') == std::string::npos || auth->front() == ':') {
        return Fail("--auth needs USER:PASSWORD");
      }
      options.auth = *auth;
    } else if (name == "--proxy-auth") {
      const auto auth = take_value();
      if (!auth || auth->find(':') == std::string::npos || auth->front() == ':') {
        return Fail("--proxy-auth needs USER:PASSWORD");
      }
      options.proxy_auth = *auth;
    } else if (name == "--trace") {
      const auto path = take_value();
      if (!path || path->empty()) return Fail("--trace needs a path");
      options.trace_file = *path;
    } else if (name == "--max-connections") {
      const auto count = take_int(1, 4096);
      if (!count) return Fail("--max-connections needs a number from 1 to 4096");
      options.max_connections = static_cast<int>(*count);
      max_connections_given = true;
    } else if (name == "--keepalive-timeout") {
      const auto seconds = take_int(1, 3600);
      if (!seconds) return Fail("--keepalive-timeout needs a number of seconds from 1 to 3600");
      options.keepalive_timeout_seconds = static_cast<int>(*seconds);
    } else if (name == "--keepalive-max") {
      const auto count = take_int(0, 4096);
      if (!count) return Fail("--keepalive-max needs a number from 0 to 4096");
      options.keepalive_max = static_cast<int>(*count);
    } else if (name == "--tls") {
      // Two values: "--tls CERT KEY" (or "--tls=CERT KEY").
      const auto certificate = take_value();
      if (!certificate || certificate->empty() || i + 1 >= args.size() || args[i + 1].empty() ||
          args[i + 1].rfind("--", 0) == 0) {
        return Fail("--tls needs a certificate file and a key file (PEM): --tls CERT KEY");
      }
      options.tls_certificate = *certificate;
      options.tls_key = args[++i];
    } else if (name == "--sources") {
      const auto count = take_int(1, kMaxSources);
      if (!count) return Fail("--sources needs a number from 1 to " + std::to_string(kMaxSources));
      options.sources = static_cast<int>(*count);
    } else {
      return Fail("unknown argument '" + args[i] + "' (see --help)");
    }
  }
  // Every source is one long-lived connection; leave room for the connection tests and some load beside them.
  if (!max_connections_given && options.sources + kConnectionsBesideSources > options.max_connections) {
    options.max_connections = options.sources + kConnectionsBesideSources;
  }
  return result;
}

std::string HelpText() {
  return R"(Usage: sarvik-statserver [OPTIONS]

A small web server that serves the statistics page of an iPlanet/Netscape 7.0 web server the way such a
server pushes it to a performance monitor: one long-lived response in which a fresh copy of the page follows
every interval, each copy introduced by the line THIS_STRING_NEVER_HAPPENS. Its counters move with the
requests it really serves. It listens on the loopback interface only, and misbehaves on request.

Options:
  --bind ADDRESS            127.0.0.1 (default) or ::1; no other address is accepted
  --port N                  port to listen on; 0 or absent: an ephemeral port
  --port-file PATH          once listening, write the port number to PATH (atomically)
  --interval MS             push interval of the statistics stream (default 1000)
  --duration SECONDS        stop by itself after this long
  --auth USER:PASSWORD      the statistics URLs require these HTTP Basic credentials
                            (401 with WWW-Authenticate: Basic realm="perf" otherwise)
  --proxy-auth USER:PASSWORD  act as a proxy that wants these Basic credentials: every request without
                            them in Proxy-Authorization is answered 407 (Proxy-Authenticate: Basic
                            realm="proxy"); a request with them is served as if sent directly (an
                            absolute target http://HOST:PORT/PATH is routed by its PATH)
  --trace FILE              append to FILE one line "connection N open" per connection, then for each
                            request "connection N request" and its head exactly as received, and
                            "connection N closed" when it ends
  --max-connections N       simultaneous connections (default 512); more are answered 503
  --keepalive-timeout SECONDS  idle time before a kept-alive connection is closed (default 30)
  --keepalive-max N         connections waiting in keep-alive at once (default 256); more are refused
  --tls CERT KEY            serve every URL over TLS (https) with the PEM certificate chain CERT and its
                            private key KEY; a connection beyond --max-connections is closed unanswered
  --sources N               serve N numbered sources /s/1/.perf .. /s/N/.perf (up to 4000) whose pages
                            follow a formula (below); raises --max-connections to N + 64 unless given
  --help                    this text
  --version                 the version

On start it prints one line "listening on ADDRESS:PORT" and flushes. SIGINT or SIGTERM stop it: every
connection is closed and the exit status is 0. Request heads are limited to 16 KB (431 beyond).

Statistics URLs (Basic credentials required when --auth is given):
  GET /.perf                the stream: 200, Content-Type: text/plain, Connection: close, no length;
                            then at once and every interval the delimiter, a line end and a fresh page.
                            Also any path ending in /.perf. Query options:
                              count=N      close after N copies (a reader that publishes a copy when the
                                           next delimiter arrives gets N-1 of them, unless trailer=1)
                              trailer=1    after the last copy send one more delimiter
                              interval=MS  push interval of this response
                              chunk=N      write in pieces of N bytes ...
                              pause=MS     ... with this pause between pieces (default 2)
                              stall_after=N  after N copies hold still, the connection open, ...
                              stall=MS     ... for this long before the next copy (default 10000)
  GET /.perf?once           one plain page (no delimiter) with Content-Length, then close
  GET /perf-once            the same

Numbered sources (--sources N): /s/K/.perf, 1 <= K <= N, is a stream like /.perf (same query options;
?once for one page) whose figures depend only on K and on the copy number n (0 for the first copy of the
response, one more for each copy after it). Load does not move them. A gauge with weight w shows w*K + n,
a total with weight w shows w*K*n (it grows by w*K per copy). The figure is the first number after its label:
  gauges  Current/Peak/Limit Queue Length 1, Acceptor Threads 2, KeepAliveCount 3, Active Sessions 4,
          Keep-Alive Sessions 5, File Cache Entries 6, Maximum Age 7, Idle/Peak/Limit 8,
          Work Queue Length/Peak/Limit 9, CacheEntries 10
  totals  Total Connections Queued 1, KeepAliveHits 2, KeepAliveFlushes 3, KeepAliveRefusals 4,
          KeepAliveTimeouts 5, Total Sessions Created 6, File Cache Hit Ratio 7, HitRatio 8,
          Total number of requests: 9, Number of Requests: 10, Number of Invocations: 11;
          Virtual Server Statistics table: https-demo Requests 12, Bytes Sent 13, https-admin Requests 14,
          Bytes Sent 15 (Errors 0)
Each peak or limit is K above the figure it bounds; each lookup count (ratios) is hits + K.

Fault URLs (no credentials needed):
  /fault/401                401 Unauthorized (with WWW-Authenticate: Basic realm="perf")
  /fault/404                404 Not Found
  /fault/407                407 Proxy Authentication Required (with Proxy-Authenticate: Basic realm="proxy")
  /fault/500                500 Internal Server Error
  /fault/silent             read the request, never answer (until the client closes or the server stops)
  /fault/silent-after-headers  200 headers, then nothing (body=T: T, then nothing)
  /fault/drop-mid-page      200 headers, a delimiter and half a page, then close
  /fault/oversized          200 and a body of 24 KB (size=N: N bytes, up to 4 MB) without a delimiter, then close
  /fault/split-delimiter    the stream, each delimiter written in two pieces 50 ms apart
  /fault/back-to-back       the stream, each page preceded by two delimiters with nothing between them
  /fault/reason?text=T      status 503 (status=N: another) with the reason phrase T (default: a long one)
  /fault/binary             the stream, each page followed by all 256 byte values, NULs included
                            (at=start: the bytes come before the page text)
  /fault/status-line?line=L the status line L exactly as given (for example "HTTP/1.1 200" or "HTTP/1.1
                            abc Broken"), Content-Length and the body "ok", then close; interim=1: a
                            "100 Continue" block first, 20 ms before it
  /fault/hang-up            read the request, then close without answering
  /fault/every-byte         200 and a body of all 256 byte values four times, then the delimiter, written
                            in pieces 15 ms apart; framing=close (default: no length, then close),
                            chunked (Transfer-Encoding: chunked) or cut (Content-Length: 5000, only the
                            first 700 bytes, then close)
  The stream faults take the query options of /.perf.

Any other URL (GET, HEAD or POST) is load: a small HTML page, with keep-alive on HTTP/1.1 (and on HTTP/1.0
with Connection: keep-alive). Load moves the counters; delay=MS (up to 10000) makes its handling that much
longer. A Host header or path containing "admin" counts for the virtual server https-admin, all else for
https-demo. The statistics and fault URLs do not move the counters, except that an error answer adds to
its virtual server's Errors.
)";
}

}  // namespace statserver
