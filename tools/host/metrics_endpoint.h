// The metrics endpoint of a monitoring session: an HTTP server on its own thread that answers
// GET (and HEAD) /metrics with the latest snapshot of a MetricsBoard, rendered by
// RenderExposition in the format the request's Accept header asks for. Other paths are 404,
// other methods 405. It never waits on the session: each request takes the board's latest
// snapshot and renders it.
#pragma once

#include <memory>
#include <string>

#include "tools/host/metrics_board.h"

struct MHD_Daemon;

namespace sarvik_host {

// Reads a listening address: "HOST:PORT", "[IPV6]:PORT", ":PORT" or "PORT" (the last two on
// 127.0.0.1). PORT is 0 to 65535 (0: any free port). False and `*error` set (one sentence) when
// `listen` has none of these forms.
bool ParseListenAddress(const std::string& listen, std::string* host, int* port, std::string* error);

class MetricsEndpoint {
 public:
  // Starts serving `board` on `listen` (see ParseListenAddress). `board` must outlive the
  // endpoint. Null and `*error` set (a clear sentence naming the address) when the address is
  // malformed, cannot be resolved, or cannot be listened on.
  static std::unique_ptr<MetricsEndpoint> Start(const std::string& listen, const MetricsBoard& board,
                                                std::string* error);
  // Stops serving: the listening socket is closed and the server's thread joined before it returns.
  ~MetricsEndpoint();
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // The address actually listened on, "HOST:PORT" ("[V6]:PORT" for IPv6), port 0 resolved.
  std::string address() const { return address_; }

 private:
  MetricsEndpoint(const MetricsBoard& board, std::string address) : board_(board), address_(std::move(address)) {}

  // Never change after Start.
  const MetricsBoard& board_;
  const std::string address_;
  MHD_Daemon* daemon_ = nullptr;  // set once by Start, stopped by the destructor

  friend struct MetricsEndpointAccess;
};

}  // namespace sarvik_host
