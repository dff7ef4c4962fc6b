#include "tools/statserver/connection.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>
#include <string_view>
#include <utility>

#include "tools/statserver/http_request.h"
#include "tools/statserver/page.h"
#include "tools/statserver/responses.h"
#include "tools/statserver/source_page.h"
#include "tools/statserver/tls_stream.h"

namespace statserver {
namespace {

using std::chrono::milliseconds;

// How long a new connection may take to send its first request head.
constexpr auto kFirstRequestTimeout = std::chrono::seconds(60);
// How long a write may make no progress before the connection is given up.
constexpr auto kSendStallTimeout = std::chrono::seconds(60);
// How long a closing connection waits for the client's end after our last byte.
constexpr auto kLingerTimeout = std::chrono::seconds(2);
// Longest delay=MS of a load request.
constexpr long long kMaxLoadDelayMs = 10000;

constexpr char kDefaultReasonText[] =
    "The statistics service is not available at the moment because the server is busy rebuilding its "
    "performance counters after a configuration change; please try again in a few minutes, or ask the "
    "administrator of this web server to look at the error log for the reason of this long reason phrase";

bool StopRequested(int stop_fd) {
  pollfd fd = {stop_fd, POLLIN, 0};
  return ::poll(&fd, 1, 0) > 0;
}

bool ContainsIgnoreCase(std::string_view text, std::string_view word) {
  if (word.size() > text.size()) return false;
  for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
    bool same = true;
    for (std::size_t j = 0; j < word.size() && same; ++j) {
      const char a = text[i + j];
      const char lower = (a >= 'A' && a <= 'Z') ? static_cast<char>(a - 'A' + 'a') : a;
      same = lower == word[j];
    }
    if (same) return true;
  }
  return false;
}

// One accepted connection, served on its own thread from accept to close.
class Connection {
 public:
  Connection(const ServerContext& context, std::unique_ptr<ByteStream> stream, std::string peer,
             Clock::time_point accepted)
      : context_(context), stream_(std::move(stream)), peer_(std::move(peer)), accepted_(accepted) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  void Serve();

 private:
  enum class HeadResult { kHead, kClosed, kTimedOut, kStopped, kTooLarge, kFailed };

  // Waits until the stream can go on with what `io` waits for: at once when it holds bytes for
  // reading already.
  Wait WaitForStream(const StreamIo& io, Clock::time_point deadline);
  // Brings the stream up (the TLS handshake) within the first request's time. False when the
  // client is not served.
  bool StartStream();

  HeadResult ReadHead(Clock::time_point deadline, std::string* head);
  // Reads and drops `length` body bytes. False when the client or server went away first.
  bool DiscardBody(std::uint64_t length);
  // Writes everything. False when the client went away, the write stalled or the server is stopping.
  bool Send(std::string_view bytes);
  // Waits until `until`, dropping whatever the client sends. False when the client closed or the server is
  // stopping.
  bool PauseUntil(Clock::time_point until);
  bool PauseFor(int ms) { return PauseUntil(Clock::now() + milliseconds(ms)); }
  // Ends our side and waits briefly for the client's, so that our last bytes are not lost to a reset.
  void CloseGracefully();

  // Each returns whether the connection stays open for another request.
  bool ServeLoad(const HttpRequest& request, const QueryParams& params, Clock::time_point first_byte);
  bool ServeStatistics(const HttpRequest& request, const QueryParams& params, Route route);
  // `source`: a numbered source (--sources) whose formula pages are streamed instead of the live page.
  bool ServeStream(const QueryParams& params, StreamStyle style, std::optional<int> source = std::nullopt);
  bool ServeFault(const HttpRequest& request, const QueryParams& params, Route route);
  bool ServeEveryByte(std::string_view framing, std::string_view virtual_server);
  bool AnswerError(int status, std::string_view reason, std::string_view detail, std::string_view virtual_server,
                   std::string_view extra_headers = {});

  std::string VirtualServerOf(const HttpRequest& request) const;
  // A fresh page, which lists itself among the busy requests.
  std::string MakePage(std::string_view uri);

  const ServerContext& context_;
  const std::unique_ptr<ByteStream> stream_;
  bool stream_open_ = true;  // until CloseGracefully
  const std::string peer_;
  const Clock::time_point accepted_;
  std::string buffer_;  // received bytes not yet consumed
  Clock::time_point first_byte_{};  // when the first byte of the current request arrived
};

Connection::HeadResult Connection::ReadHead(Clock::time_point deadline, std::string* head) {
  char scratch[4096];
  while (true) {
    std::size_t head_length = 0;
    switch (ScanRequestHead(buffer_, &head_length)) {
      case HeadScan::kComplete:
        head->assign(buffer_, 0, head_length);
        buffer_.erase(0, head_length);
        return HeadResult::kHead;
      case HeadScan::kTooLarge:
        return HeadResult::kTooLarge;
      case HeadScan::kIncomplete:
      default:
        break;
    }
    const StreamIo got = stream_->Receive(scratch, sizeof scratch);
    switch (got.kind) {
      case StreamIo::Kind::kDone:
        if (buffer_.empty()) first_byte_ = Clock::now();
        buffer_.append(scratch, got.bytes);
        continue;
      case StreamIo::Kind::kClosed:
        return HeadResult::kClosed;
      case StreamIo::Kind::kWouldBlock:
        break;
      case StreamIo::Kind::kFailed:
      default:
        return HeadResult::kFailed;
    }
    switch (WaitForStream(got, deadline)) {
      case Wait::kReady:
        break;
      case Wait::kStopped:
        return HeadResult::kStopped;
      case Wait::kTimedOut:
        return HeadResult::kTimedOut;
      case Wait::kFailed:
      default:
        return HeadResult::kFailed;
    }
  }
}

Wait Connection::WaitForStream(const StreamIo& io, Clock::time_point deadline) {
  if ((io.wait_events & POLLIN) != 0 && stream_->Buffered() > 0) return Wait::kReady;
  return WaitFor(stream_->fd(), io.wait_events, context_.stop_fd, deadline);
}

bool Connection::StartStream() {
  const Clock::time_point deadline = accepted_ + kFirstRequestTimeout;
  while (true) {
    const StreamIo started = stream_->Start();
    if (started.kind == StreamIo::Kind::kDone) return true;
    if (started.kind != StreamIo::Kind::kWouldBlock) return false;
    if (WaitForStream(started, deadline) != Wait::kReady) return false;
  }
}

bool Connection::DiscardBody(std::uint64_t length) {
  const std::uint64_t buffered = std::min<std::uint64_t>(length, buffer_.size());
  buffer_.erase(0, static_cast<std::size_t>(buffered));
  length -= buffered;
  char scratch[4096];
  const Clock::time_point deadline = Clock::now() + kFirstRequestTimeout;
  while (length > 0) {
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, sizeof scratch));
    const StreamIo got = stream_->Receive(scratch, wanted);
    if (got.kind == StreamIo::Kind::kDone) {
      length -= got.bytes;
      continue;
    }
    if (got.kind != StreamIo::Kind::kWouldBlock || WaitForStream(got, deadline) != Wait::kReady) return false;
  }
  return true;
}

bool Connection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const StreamIo sent = stream_->Send(bytes.data(), bytes.size());
    if (sent.kind == StreamIo::Kind::kDone) {
      bytes.remove_prefix(sent.bytes);
      continue;
    }
    if (sent.kind != StreamIo::Kind::kWouldBlock) return false;
    // Only a stall ends the wait: a TLS write may wait for the client's bytes, which are not ours to read.
    if (WaitFor(stream_->fd(), sent.wait_events, context_.stop_fd, Clock::now() + kSendStallTimeout) != Wait::kReady) {
      return false;
    }
  }
  return true;
}

bool Connection::PauseUntil(Clock::time_point until) {
  char scratch[4096];
  while (true) {
    const StreamIo got = stream_->Receive(scratch, sizeof scratch);
    if (got.kind == StreamIo::Kind::kDone) continue;
    if (got.kind != StreamIo::Kind::kWouldBlock) return false;
    switch (WaitForStream(got, until)) {
      case Wait::kTimedOut:
        return true;
      case Wait::kReady:
        break;
      case Wait::kStopped:
      case Wait::kFailed:
      default:
        return false;
    }
  }
}

void Connection::CloseGracefully() {
  if (!stream_open_) return;
  stream_open_ = false;
  stream_->EndSending();
  PauseUntil(Clock::now() + kLingerTimeout);
}

std::string Connection::VirtualServerOf(const HttpRequest& request) const {
  const auto host = request.Header("Host");
  if ((host && ContainsIgnoreCase(*host, "admin")) || ContainsIgnoreCase(request.path, "admin")) {
    return context_.stats.identity().admin_virtual_server;
  }
  return context_.stats.identity().default_virtual_server;
}

std::string Connection::MakePage(std::string_view uri) {
  const ServerIdentity& identity = context_.stats.identity();
  SessionRow row{identity.pid, "response", peer_, 0, identity.default_virtual_server, "GET", std::string(uri),
                 "service-dump"};
  const Clock::time_point now = Clock::now();
  const std::uint64_t id = context_.stats.BeginBusy(std::move(row), false, now);
  const PageData data = context_.stats.Snapshot(now);
  context_.stats.EndBusy(id, now);
  return RenderPage(data);
}

bool Connection::AnswerError(int status, std::string_view reason, std::string_view detail,
                             std::string_view virtual_server, std::string_view extra_headers) {
  context_.stats.RecordError(virtual_server);
  const std::string body = ErrorBody(status, reason, detail);
  Send(ResponseHead(status, reason, "text/plain", body.size(), false, extra_headers) + body);
  return false;
}

void Connection::Serve() {
  ServerStats& stats = context_.stats;
  const Clock::duration pickup_delay = Clock::now() - accepted_;
  bool first = true;
  bool session = false;       // counted as a load session
  bool keeping_alive = false;  // waiting in keep-alive for the next request
  const auto timeout = std::chrono::seconds(context_.options.keepalive_timeout_seconds);
  const int trace_id = context_.trace != nullptr ? context_.trace->Opened() : 0;
  if (!StartStream()) {
    // A client that fails the handshake never sends a request; it leaves the queue all the same.
    stats.ConnectionDequeued(Clock::now());
    if (context_.trace != nullptr) context_.trace->Closed(trace_id);
    return;
  }

  while (true) {
    std::string head;
    const Clock::time_point deadline =
        first ? accepted_ + kFirstRequestTimeout : Clock::now() + timeout;
    first_byte_ = Clock::now();
    const HeadResult result = ReadHead(deadline, &head);
    const Clock::time_point now = Clock::now();
    if (first) stats.ConnectionDequeued(now);

    if (result != HeadResult::kHead) {
      if (keeping_alive) {
        KeepAliveEnd how = KeepAliveEnd::kClientClosed;
        if (result == HeadResult::kTimedOut) how = KeepAliveEnd::kTimedOut;
        if (result == HeadResult::kStopped) how = KeepAliveEnd::kServerStopped;
        stats.LeaveKeepAlive(how, now);
        keeping_alive = false;
      }
      if (result == HeadResult::kTooLarge) {
        AnswerError(431, ReasonPhrase(431), "The request head is longer than 16 KB.",
                    stats.identity().default_virtual_server);
      }
      break;
    }
    if (keeping_alive) {
      stats.LeaveKeepAlive(KeepAliveEnd::kReused, now);
      keeping_alive = false;
    }
    if (context_.trace != nullptr) context_.trace->Request(trace_id, head);

    HttpRequest request;
    const int status = ParseRequestHead(head, &request);
    if (status != 0) {
      AnswerError(status, ReasonPhrase(status), "The request could not be read.",
                  stats.identity().default_virtual_server);
      break;
    }
    if (!context_.options.proxy_auth.empty()) {
      if (!BasicAuthMatches(request.Header("Proxy-Authorization"), context_.options.proxy_auth)) {
        AnswerError(407, ReasonPhrase(407), "The proxy needs credentials.", VirtualServerOf(request),
                    "Proxy-Authenticate: Basic realm=\"proxy\"\r\n");
        break;
      }
      // As a proxy, an absolute target names the page by the path after its authority.
      constexpr std::string_view kScheme = "http://";
      if (request.path.compare(0, kScheme.size(), kScheme) == 0) {
        const std::size_t slash = request.path.find('/', kScheme.size());
        request.path = slash == std::string::npos ? "/" : request.path.substr(slash);
      }
    }
    const QueryParams params = ParseQuery(request.query);
    const Route route = RouteRequest(request.path, params);
    if (first && route == Route::kLoad) {
      stats.LoadSessionOpened(peer_, pickup_delay, now);
      session = true;
    }
    first = false;

    bool keep = false;
    if (route == Route::kLoad) {
      keep = ServeLoad(request, params, first_byte_);
    } else if (IsStatisticsRoute(route)) {
      keep = ServeStatistics(request, params, route);
    } else {
      keep = ServeFault(request, params, route);
    }
    if (!keep) break;
    keeping_alive = true;
  }
  CloseGracefully();
  if (context_.trace != nullptr) context_.trace->Closed(trace_id);
  if (session) stats.LoadSessionClosed(Clock::now());
}

bool Connection::ServeLoad(const HttpRequest& request, const QueryParams& params, Clock::time_point first_byte) {
  ServerStats& stats = context_.stats;
  const std::string virtual_server = VirtualServerOf(request);
  if (request.chunked_body) {
    return AnswerError(501, ReasonPhrase(501), "Request bodies with Transfer-Encoding are not supported.",
                       virtual_server);
  }
  if (request.method != "GET" && request.method != "HEAD" && request.method != "POST") {
    return AnswerError(405, ReasonPhrase(405), "Load URLs take GET, HEAD and POST.", virtual_server,
                       "Allow: GET, HEAD, POST\r\n");
  }
  long long delay_ms = 0;
  if (const auto text = FindParam(params, "delay")) {
    const auto delay = ParseBoundedInt(*text, 0, kMaxLoadDelayMs);
    if (!delay) return AnswerError(400, ReasonPhrase(400), "delay must be 0 to 10000 milliseconds.", virtual_server);
    delay_ms = *delay;
  }

  const Clock::time_point start = Clock::now();
  const ServerIdentity& identity = stats.identity();
  const std::uint64_t busy = stats.BeginBusy(
      SessionRow{identity.pid, "response", peer_, 0, virtual_server, request.method, request.target, "send-file"},
      true, start);
  bool ok = DiscardBody(request.content_length);
  if (ok && delay_ms > 0) ok = PauseFor(static_cast<int>(delay_ms));
  bool keep = false;
  std::uint64_t bytes_sent = 0;
  if (ok) {
    keep = request.keep_alive && !StopRequested(context_.stop_fd) && stats.EnterKeepAlive(Clock::now());
    const std::string body = LoadPageBody(virtual_server, request.path);
    std::string response = ResponseHead(200, "OK", "text/html", body.size(), keep);
    if (request.method != "HEAD") response += body;
    ok = Send(response);
    bytes_sent = response.size();
    if (!ok && keep) {
      stats.LeaveKeepAlive(KeepAliveEnd::kServerStopped, Clock::now());
      keep = false;
    }
  }
  const Clock::time_point end = Clock::now();
  stats.EndBusy(busy, end);
  if (ok) stats.RecordLoadRequest(LoadRequestRecord{virtual_server, request.path, start - first_byte, end - start,
                                                    bytes_sent});
  return ok && keep;
}

bool Connection::ServeStatistics(const HttpRequest& request, const QueryParams& params, Route route) {
  const std::string virtual_server = VirtualServerOf(request);
  if (!context_.options.auth.empty() &&
      !BasicAuthMatches(request.Header("Authorization"), context_.options.auth)) {
    return AnswerError(401, ReasonPhrase(401), "The statistics need credentials.", virtual_server,
                       "WWW-Authenticate: Basic realm=\"perf\"\r\n");
  }
  if (request.method != "GET") {
    return AnswerError(405, ReasonPhrase(405), "The statistics take GET.", virtual_server, "Allow: GET\r\n");
  }
  const std::optional<int> source = SourceOfPath(request.path, context_.options.sources);
  if (route == Route::kStatisticsOnce) {
    const std::string page =
        source ? RenderPage(SourcePageData(*source, 0, context_.stats.identity())) : MakePage(request.target);
    Send(ResponseHead(200, "OK", "text/plain", page.size(), false, "Cache-Control: no-cache\r\n") + page);
    return false;
  }
  return ServeStream(params, StreamStyle::kPlain, source);
}

bool Connection::ServeStream(const QueryParams& params, StreamStyle style, std::optional<int> source) {
  StreamSettings settings;
  std::string error;
  if (const int status = ReadStreamSettings(params, context_.options.interval_ms, style, &settings, &error);
      status != 0) {
    return AnswerError(status, ReasonPhrase(status), error, context_.stats.identity().default_virtual_server);
  }
  if (!Send(ResponseHead(200, "OK", "text/plain", std::nullopt, false, "Cache-Control: no-cache\r\n"))) return false;
  Clock::time_point next = Clock::now();
  for (long long copy = 0; !settings.count || copy < *settings.count; ++copy) {
    if (settings.stall_after && copy == *settings.stall_after) next += milliseconds(settings.stall_ms);
    if (copy > 0 && !PauseUntil(next)) return false;
    const std::string page = source ? RenderPage(SourcePageData(*source, static_cast<std::uint64_t>(copy),
                                                                context_.stats.identity()))
                                    : MakePage("/.perf");
    for (const StreamPiece& piece : PlanCopy(settings, page)) {
      if (!Send(piece.bytes)) return false;
      if (piece.pause_after_ms > 0 && !PauseFor(piece.pause_after_ms)) return false;
    }
    next += milliseconds(settings.interval_ms);
    if (next < Clock::now()) next = Clock::now();  // a slow client gets the next copy at once, not a burst
  }
  if (settings.trailer) Send(std::string_view(kDelimiter, kDelimiterLength));
  return false;
}

bool Connection::ServeFault(const HttpRequest& request, const QueryParams& params, Route route) {
  const std::string virtual_server = VirtualServerOf(request);
  switch (route) {
    case Route::kFault401:
      return AnswerError(401, ReasonPhrase(401), "Fault on request.", virtual_server,
                         "WWW-Authenticate: Basic realm=\"perf\"\r\n");
    case Route::kFault404:
      return AnswerError(404, ReasonPhrase(404), "Fault on request.", virtual_server);
    case Route::kFault407:
      return AnswerError(407, ReasonPhrase(407), "Fault on request.", virtual_server,
                         "Proxy-Authenticate: Basic realm=\"proxy\"\r\n");
    case Route::kFault500:
      return AnswerError(500, ReasonPhrase(500), "Fault on request.", virtual_server);
    case Route::kFaultSilent:
      PauseUntil(Clock::time_point::max());
      return false;
    case Route::kFaultSilentAfterHeaders:
      if (Send(ResponseHead(200, "OK", "text/plain", std::nullopt, false) + FindParam(params, "body").value_or(""))) {
        PauseUntil(Clock::time_point::max());
      }
      return false;
    case Route::kFaultStatusLine: {
      if (FindParam(params, "interim") && !(Send("HTTP/1.1 100 Continue\r\n\r\n") && PauseFor(20))) return false;
      const std::string line = SafeReasonPhrase(FindParam(params, "line").value_or("HTTP/1.1 200 OK"));
      const std::string head = ResponseHead(200, "OK", "text/plain", 2, false);
      Send(line + head.substr(head.find("\r\n")) + "ok");
      return false;
    }
    case Route::kFaultHangUp:
      return false;
    case Route::kFaultEveryByte:
      return ServeEveryByte(FindParam(params, "framing").value_or("close"), virtual_server);
    case Route::kFaultDropMidPage:
      Send(ResponseHead(200, "OK", "text/plain", std::nullopt, false) + DropMidPageBody(MakePage(request.target)));
      return false;
    case Route::kFaultOversized: {
      std::size_t size = kDefaultOversizedBytes;
      if (const auto text = FindParam(params, "size")) {
        const auto parsed = ParseBoundedInt(*text, 1, static_cast<long long>(kMaxOversizedBytes));
        if (!parsed) return AnswerError(400, ReasonPhrase(400), "size must be 1 to 4194304 bytes.", virtual_server);
        size = static_cast<std::size_t>(*parsed);
      }
      Send(ResponseHead(200, "OK", "text/plain", std::nullopt, false) + OversizedBody(MakePage(request.target), size));
      return false;
    }
    case Route::kFaultSplitDelimiter:
      return ServeStream(params, StreamStyle::kSplitDelimiter);
    case Route::kFaultBackToBack:
      return ServeStream(params, StreamStyle::kBackToBack);
    case Route::kFaultBinary:
      return ServeStream(params, StreamStyle::kBinaryAtEnd);
    case Route::kFaultReason: {
      int status = 503;
      if (const auto text = FindParam(params, "status")) {
        const auto parsed = ParseBoundedInt(*text, 100, 599);
        if (!parsed || *parsed == 200) {
          return AnswerError(400, ReasonPhrase(400), "status must be 100 to 599, not 200.", virtual_server);
        }
        status = static_cast<int>(*parsed);
      }
      const std::string reason = SafeReasonPhrase(FindParam(params, "text").value_or(kDefaultReasonText));
      if (status >= 400) context_.stats.RecordError(virtual_server);
      const std::string body = ErrorBody(status, reason, "Fault on request.");
      Send(ResponseHead(status, reason, "text/plain", body.size(), false) + body);
      return false;
    }
    case Route::kFaultUnknown:
    default:
      return AnswerError(404, ReasonPhrase(404),
                         "Faults: 401 404 407 500 silent silent-after-headers drop-mid-page oversized "
                         "split-delimiter back-to-back reason binary status-line hang-up every-byte.",
                         virtual_server);
  }
}

bool Connection::ServeEveryByte(std::string_view framing, std::string_view virtual_server) {
  constexpr int kPieceGapMs = 15;
  const std::string bytes = EveryByteBody();
  std::string head;
  std::vector<std::string> pieces;
  if (framing == "close") {
    head = ResponseHead(200, "OK", "text/plain", std::nullopt, false);
    pieces = {bytes.substr(0, 100), bytes.substr(100, 600), bytes.substr(700)};
  } else if (framing == "chunked") {
    head = ResponseHead(200, "OK", "text/plain", std::nullopt, false, "Transfer-Encoding: chunked\r\n");
    for (std::size_t at = 0; at < bytes.size(); at += 300) {
      const std::string piece = bytes.substr(at, 300);
      char size[24];
      std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
      pieces.push_back(size + piece + "\r\n");
    }
    pieces.push_back("0\r\n\r\n");
  } else if (framing == "cut") {
    // Promises more than it sends, then hangs up.
    head = ResponseHead(200, "OK", "text/plain", 5000, false);
    pieces = {bytes.substr(0, 700)};
  } else {
    return AnswerError(400, ReasonPhrase(400), "framing must be close, chunked or cut.", virtual_server);
  }
  if (!Send(head)) return false;
  for (const std::string& piece : pieces) {
    if (!PauseFor(kPieceGapMs) || !Send(piece)) return false;
  }
  PauseFor(kPieceGapMs);
  return false;
}

}  // namespace

RequestTrace::~RequestTrace() {
  if (fd_ >= 0) ::close(fd_);
}

int RequestTrace::Opened() {
  const int connection = connections_.fetch_add(1) + 1;
  Write("connection " + std::to_string(connection) + " open\n");
  return connection;
}

void RequestTrace::Request(int connection, std::string_view head) {
  Write("connection " + std::to_string(connection) + " request\n" + std::string(head));
}

void RequestTrace::Closed(int connection) { Write("connection " + std::to_string(connection) + " closed\n"); }

void RequestTrace::Write(const std::string& entry) {
  const ssize_t ignored = ::write(fd_, entry.data(), entry.size());  // a lost entry only weakens a test
  (void)ignored;
}

Wait WaitFor(int fd, short events, int stop_fd, Clock::time_point deadline) {
  while (true) {
    int timeout_ms = -1;
    if (deadline != Clock::time_point::max()) {
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Wait::kTimedOut;
      timeout_ms = left > 1000000 ? 1000000 : static_cast<int>(left);
    }
    pollfd fds[2] = {{fd, events, 0}, {stop_fd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeout_ms);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Wait::kFailed;
    }
    if (fds[1].revents != 0) return Wait::kStopped;
    if (fds[0].revents != 0) return Wait::kReady;
  }
}

void ServeConnection(const ServerContext& context, int fd, std::string peer, Clock::time_point accepted) {
  std::unique_ptr<ByteStream> stream;
  if (context.tls != nullptr) {
    stream = context.tls->Wrap(fd);
    if (stream == nullptr) {
      context.stats.ConnectionDequeued(Clock::now());
      return;
    }
  } else {
    stream = std::make_unique<PlainStream>(fd);
  }
  Connection connection(context, std::move(stream), std::move(peer), accepted);
  connection.Serve();
}

void RefuseConnection(int fd) {
  const std::string body = ErrorBody(503, ReasonPhrase(503), "Too many connections.");
  const std::string response = ResponseHead(503, ReasonPhrase(503), "text/plain", body.size(), false) + body;
  // Drop what the client already sent, so that closing does not reset the connection before it has
  // read the answer.
  char scratch[4096];
  for (int reads = 0; reads < 16 && ::recv(fd, scratch, sizeof scratch, 0) > 0; ++reads) {
  }
  const ssize_t ignored = ::send(fd, response.data(), response.size(), MSG_NOSIGNAL);
  (void)ignored;
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace statserver
