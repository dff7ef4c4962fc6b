// The statistics server's sockets: a listener on a loopback address and one thread per connection. What a
// connection is answered (statistics, load pages, faults) is connection.h's part; this is the accept loop.
//
// Lifecycle: construct with the options, Open (binds and listens), then Run on one thread until RequestStop
// or the --duration bound. Run closes the listener, wakes every connection thread (each waits on the stop
// pipe as well as on its socket, so a silent or slow client never holds it), joins them all and returns.
// Finished connection threads are joined while the server runs, so their number stays bounded by
// max_connections; a connection beyond the bound is answered 503 and closed.
//
// Thread safety: RequestStop may be called from any thread and from a signal handler (it only writes one
// byte to a pipe). Open and Run are called by the owner, Run at most once. The destructor does not stop a
// Run in progress: the owner stops it and joins the thread that runs it first.
#ifndef SARVIK_TOOLS_STATSERVER_SERVER_H_
#define SARVIK_TOOLS_STATSERVER_SERVER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "tools/statserver/connection.h"
#include "tools/statserver/options.h"
#include "tools/statserver/server_stats.h"
#include "tools/statserver/tls_stream.h"

namespace statserver {

// The product line of the pages this server generates.
inline constexpr char kVersionLine[] = "Sarvik Statistics Server 7.0 B06/01/2025 12:00 (Linux DOMESTIC)";

class StatServer {
 public:
  explicit StatServer(ServerOptions options);
  ~StatServer();
  StatServer(const StatServer&) = delete;
  StatServer& operator=(const StatServer&) = delete;

  // Creates the stop pipe, binds the loopback address, listens, and loads the TLS certificate and key when
  // they are given. False with *error on failure.
  [[nodiscard]] bool Open(std::string* error);

  // Serves until RequestStop or the duration ends, then closes every connection and joins every thread.
  void Run();

  // Asks Run to stop. Async-signal-safe.
  void RequestStop();

  // The bound port and "127.0.0.1:PORT" / "[::1]:PORT"; valid after a successful Open.
  int port() const { return port_; }
  std::string AddressText() const;

  // The write end of the stop pipe, for a signal handler that cannot reach the object.
  int stop_write_fd() const { return stop_write_fd_; }

  // The live counters (valid after a successful Open).
  ServerStats* stats() { return stats_.get(); }

 private:
  const ServerOptions options_;
  int listen_fd_ = -1;
  int stop_read_fd_ = -1;
  int stop_write_fd_ = -1;
  int port_ = 0;
  std::unique_ptr<ServerStats> stats_;
  std::unique_ptr<RequestTrace> trace_;  // set by Open when --trace is given
  std::unique_ptr<TlsContext> tls_;      // set by Open when --tls is given
};

// Writes `port` and a line end to `path` through a temporary file renamed over it. False with *error on failure.
[[nodiscard]] bool WritePortFile(const std::string& path, int port, std::string* error);

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_SERVER_H_
