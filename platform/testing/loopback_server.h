// A small scriptable HTTP server on the loopback interface, for tests of the HTTP transport.
//
// It listens on 127.0.0.1 (or ::1) at an ephemeral port, reads each request's head, records it
// and asks the test's handler what to do: write pieces of bytes with pauses between them, then
// read the next request on the same connection, close it, or hold it open in silence. Each
// connection runs on its own thread; every wait of every thread (accept, read, write, pause)
// also watches the server's stop signal, so the destructor stops and joins them all promptly,
// whatever the client does.
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace testing_support {

// The head of one request as the server received it.
struct ReceivedRequest {
  std::string method;
  std::string target;
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, values without blanks around
  int connection = 0;  // 1 for the first connection accepted, 2 for the second...

  // The first value of header `name` (compared without case), empty when absent.
  std::string Header(std::string_view name) const;
  bool HasHeader(std::string_view name) const;
};

// What the server does with one request.
class Reply {
 public:
  // What follows the written pieces.
  enum class Then {
    kNextRequest,  // read the next request on the same connection
    kClose,        // close the connection
    kHold,         // keep the connection open, answering nothing, until the client closes it
  };

  // Writes `bytes` (any bytes, NULs included).
  Reply& Write(std::string bytes);
  // Waits `pause` before the next piece.
  Reply& Pause(std::chrono::milliseconds pause);
  Reply& AndThen(Then then);

  // A whole response with a Content-Length body: status line, `headers` (each ending with CRLF),
  // then `body`; the connection stays open for the next request.
  static Reply Response(std::string_view status_line, std::string_view headers, std::string_view body);

  struct Piece {
    std::chrono::milliseconds pause{0};  // before the bytes
    std::string bytes;
  };
  const std::vector<Piece>& pieces() const { return pieces_; }
  Then then() const { return then_; }

 private:
  std::vector<Piece> pieces_;
  std::chrono::milliseconds next_pause_{0};
  Then then_ = Then::kClose;
};

class LoopbackServer {
 public:
  using Handler = std::function<Reply(const ReceivedRequest&)>;

  // Starts listening on `family` (AF_INET: 127.0.0.1, AF_INET6: ::1) and serving with
  // `handler`, which is called on the connection's thread. Check started() before use.
  explicit LoopbackServer(Handler handler, int family = AF_INET);
  // Stops every thread and closes every socket.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool started() const { return listener_ >= 0; }
  int port() const { return port_; }

  // The requests received so far, in the order they arrived.
  std::vector<ReceivedRequest> Requests() const;

  // Waits until at least `count` requests have arrived, at most `deadline`.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const;

  // Waits until every accepted connection has been closed (by either side), at most `deadline`.
  bool WaitUntilNoConnectionIsOpen(std::chrono::milliseconds deadline) const;

  int connections_accepted() const;

 private:
  void AcceptLoop();
  void Serve(int socket, int connection);
  // Waits until `socket` is ready for `events` or the server stops; false when it stops.
  bool WaitFor(int socket, short events) const;
  // Sleeps for `pause` unless the server stops first; false when it stops.
  bool Sleep(std::chrono::milliseconds pause) const;
  bool WriteAll(int socket, std::string_view bytes) const;
  void Record(ReceivedRequest request);
  void ConnectionClosed();

  const Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  int stop_pipe_[2] = {-1, -1};  // written once to wake every wait at stop
  std::atomic<bool> stopping_{false};

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<ReceivedRequest> requests_;  // guarded by mutex_
  std::vector<std::thread> connections_;   // guarded by mutex_
  int accepted_ = 0;                       // guarded by mutex_
  int open_ = 0;                           // guarded by mutex_

  std::thread acceptor_;
};

// A loopback TCP port on which nothing listens: bound once, then closed, so a connection to it
// is refused.
int ClosedLoopbackPort();

}  // namespace testing_support
