// One accepted connection of the statistics server, served on the caller's thread from its first request to
// its close: the HTTP side of the server. Each request is read, routed (http_request.h) and answered: load URLs
// with a small page (kept alive when the client asks), statistics URLs with one page or a pushed stream of
// pages, fault URLs with the misbehaviour they name. The live counters move with every request served.
//
// A connection is served over a byte stream (stream.h): the socket itself, or TLS on it when the server has a
// TLS context (--tls); the handshake is part of the first request's time.
//
// Ownership: ServeConnection owns `fd` from the call on and closes it before returning. `context` (and the
// options and counters it refers to) must outlive the call.
// Threads: any number of connections may be served at once, each on its own thread; they share only the
// counters, which lock themselves. Every wait also watches the stop pipe, so a stop request ends a connection
// promptly whatever its client does.
#ifndef SARVIK_TOOLS_STATSERVER_CONNECTION_H_
#define SARVIK_TOOLS_STATSERVER_CONNECTION_H_

#include <atomic>
#include <string>
#include <string_view>

#include "tools/statserver/options.h"
#include "tools/statserver/server_stats.h"

namespace statserver {

class TlsContext;

// The connections and request heads the server received, appended to a file (--trace) for tests that check
// what a client sent. Each entry is one write to a file opened for appending, so the entries of different
// connections never interleave. Owns the descriptor; safe to call from any connection thread.
class RequestTrace {
 public:
  explicit RequestTrace(int fd) : fd_(fd) {}
  ~RequestTrace();
  RequestTrace(const RequestTrace&) = delete;
  RequestTrace& operator=(const RequestTrace&) = delete;

  // Writes "connection N open" and returns N (1 for the first connection).
  int Opened();
  // Writes "connection N request" and the head exactly as received, its blank line included.
  void Request(int connection, std::string_view head);
  // Writes "connection N closed", once the connection's socket is closed.
  void Closed(int connection);

 private:
  void Write(const std::string& entry);

  const int fd_;
  std::atomic<int> connections_{0};
};

// What a connection needs of the server.
struct ServerContext {
  const ServerOptions& options;
  ServerStats& stats;
  int stop_fd;           // read end of the stop pipe: readable once the server is asked to stop
  RequestTrace* trace;   // null unless --trace
  const TlsContext* tls;  // null unless --tls: connections are plain HTTP
};

// Serves the connection on `fd` (non-blocking, accepted at `accepted` from `peer`) until it ends.
void ServeConnection(const ServerContext& context, int fd, std::string peer, Clock::time_point accepted);

// Answers 503 on a connection beyond the server's bound and closes `fd`, without waiting on the client. A TLS
// server closes such a connection without an answer, as no handshake is waited for.
void RefuseConnection(int fd);

enum class Wait { kReady, kStopped, kTimedOut, kFailed };

// Waits for `events` on `fd` or for `stop_fd` to become readable, until `deadline`
// (Clock::time_point::max(): no limit).
[[nodiscard]] Wait WaitFor(int fd, short events, int stop_fd, Clock::time_point deadline);

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_CONNECTION_H_
