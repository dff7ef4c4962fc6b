#include "platform/testing/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace testing_support {

namespace {

// A wait with nothing to wake it still looks at the stop flag this often.
constexpr int kLongestWaitMs = 200;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Reads a request head (up to, not including, the blank line).
ReceivedRequest ParseHead(std::string_view head) {
  ReceivedRequest request;
  std::size_t line_end = head.find("\r\n");
  const std::string_view request_line = head.substr(0, line_end);
  const std::size_t first_space = request_line.find(' ');
  const std::size_t last_space = request_line.rfind(' ');
  if (first_space != std::string_view::npos && last_space > first_space) {
    request.method = std::string(request_line.substr(0, first_space));
    request.target = std::string(request_line.substr(first_space + 1, last_space - first_space - 1));
    request.version = std::string(request_line.substr(last_space + 1));
  }
  while (line_end != std::string_view::npos) {
    const std::size_t start = line_end + 2;
    line_end = head.find("\r\n", start);
    const std::string_view line = head.substr(start, line_end == std::string_view::npos ? head.npos : line_end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    request.headers.emplace_back(std::string(line.substr(0, colon)), std::string(Trimmed(line.substr(colon + 1))));
  }
  return request;
}

void SetNonBlocking(int socket) { fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK); }

}  // namespace

std::string ReceivedRequest::Header(std::string_view name) const {
  for (const auto& [header_name, value] : headers) {
    if (EqualsIgnoringCase(header_name, name)) return value;
  }
  return std::string();
}

bool ReceivedRequest::HasHeader(std::string_view name) const {
  for (const auto& header : headers) {
    if (EqualsIgnoringCase(header.first, name)) return true;
  }
  return false;
}

Reply& Reply::Write(std::string bytes) {
  pieces_.push_back(Piece{next_pause_, std::move(bytes)});
  next_pause_ = std::chrono::milliseconds(0);
  return *this;
}

Reply& Reply::Pause(std::chrono::milliseconds pause) {
  next_pause_ += pause;
  return *this;
}

Reply& Reply::AndThen(Then then) {
  // A pause before the end is a piece of nothing, so that it is kept.
  if (next_pause_.count() > 0) Write(std::string());
  then_ = then;
  return *this;
}

Reply Reply::Response(std::string_view status_line, std::string_view headers, std::string_view body) {
  std::string bytes(status_line);
  bytes += "\r\n";
  bytes += headers;
  bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  bytes += body;
  Reply reply;
  reply.Write(std::move(bytes)).AndThen(Then::kNextRequest);
  return reply;
}

LoopbackServer::LoopbackServer(Handler handler, int family) : handler_(std::move(handler)) {
  if (pipe2(stop_pipe_, O_CLOEXEC) != 0) return;
  const int listener = socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return;
  sockaddr_storage address{};
  socklen_t length = 0;
  if (family == AF_INET6) {
    auto* ipv6 = reinterpret_cast<sockaddr_in6*>(&address);
    ipv6->sin6_family = AF_INET6;
    ipv6->sin6_addr = in6addr_loopback;
    length = sizeof(sockaddr_in6);
  } else {
    auto* ipv4 = reinterpret_cast<sockaddr_in*>(&address);
    ipv4->sin_family = AF_INET;
    ipv4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof(sockaddr_in);
  }
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(listener, 16) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener);
    return;
  }
  port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                   : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  SetNonBlocking(listener);
  listener_ = listener;
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  if (stop_pipe_[1] >= 0) {
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = write(stop_pipe_[1], &wake, 1);
  }
  if (acceptor_.joinable()) acceptor_.join();
  // The acceptor has ended, so the list of connection threads no longer grows.
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    connections.swap(connections_);
  }
  for (std::thread& connection : connections) connection.join();
  if (listener_ >= 0) close(listener_);
  for (const int end : stop_pipe_) {
    if (end >= 0) close(end);
  }
}

bool LoopbackServer::WaitFor(int socket, short events) const {
  for (;;) {
    if (stopping_) return false;
    pollfd waits[2] = {{socket, events, 0}, {stop_pipe_[0], POLLIN, 0}};
    const int ready = poll(waits, 2, kLongestWaitMs);
    if (ready < 0 && errno != EINTR) return false;
    if (stopping_ || (waits[1].revents & POLLIN) != 0) return false;
    if (ready > 0 && waits[0].revents != 0) return true;
  }
}

bool LoopbackServer::Sleep(std::chrono::milliseconds pause) const {
  const auto until = std::chrono::steady_clock::now() + pause;
  for (;;) {
    if (stopping_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return true;
    pollfd wait = {stop_pipe_[0], POLLIN, 0};
    poll(&wait, 1, static_cast<int>(std::min<long long>(left.count(), kLongestWaitMs)));
  }
}

bool LoopbackServer::WriteAll(int socket, std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t sent = send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      // The client reads slower than we write: wait for room, still watching for the stop.
      if (!WaitFor(socket, POLLOUT)) return false;
      continue;
    }
    return false;
  }
  return true;
}

void LoopbackServer::AcceptLoop() {
  while (WaitFor(listener_, POLLIN)) {
    const int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (socket < 0) continue;
    std::lock_guard<std::mutex> hold(mutex_);
    const int connection = ++accepted_;
    ++open_;
    connections_.emplace_back([this, socket, connection] { Serve(socket, connection); });
    changed_.notify_all();
  }
}

void LoopbackServer::Serve(int socket, int connection) {
  std::string received;
  bool open = true;
  while (open) {
    std::size_t head_end = received.find("\r\n\r\n");
    while (head_end == std::string::npos) {
      if (!WaitFor(socket, POLLIN)) {
        open = false;
        break;
      }
      char chunk[4096];
      const ssize_t got = recv(socket, chunk, sizeof(chunk), 0);
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (got <= 0) {
        open = false;
        break;
      }
      received.append(chunk, static_cast<std::size_t>(got));
      head_end = received.find("\r\n\r\n");
    }
    if (!open) break;
    ReceivedRequest request = ParseHead(std::string_view(received).substr(0, head_end));
    received.erase(0, head_end + 4);  // requests of a GET carry no body
    request.connection = connection;
    const Reply reply = handler_(request);
    Record(std::move(request));
    for (const Reply::Piece& piece : reply.pieces()) {
      if (!Sleep(piece.pause) || !WriteAll(socket, piece.bytes)) {
        open = false;
        break;
      }
    }
    if (!open) break;
    switch (reply.then()) {
      case Reply::Then::kNextRequest:
        break;
      case Reply::Then::kHold:
        // Silent until the client goes away or the server stops; whatever arrives is dropped.
        while (WaitFor(socket, POLLIN)) {
          char chunk[4096];
          const ssize_t got = recv(socket, chunk, sizeof(chunk), 0);
          if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
        }
        open = false;
        break;
      case Reply::Then::kClose:
      default:
        open = false;
        break;
    }
  }
  close(socket);
  ConnectionClosed();
}

void LoopbackServer::Record(ReceivedRequest request) {
  std::lock_guard<std::mutex> hold(mutex_);
  requests_.push_back(std::move(request));
  changed_.notify_all();
}

void LoopbackServer::ConnectionClosed() {
  std::lock_guard<std::mutex> hold(mutex_);
  --open_;
  changed_.notify_all();
}

std::vector<ReceivedRequest> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return requests_;
}

bool LoopbackServer::WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const {
  std::unique_lock<std::mutex> hold(mutex_);
  return changed_.wait_for(hold, deadline, [&] { return requests_.size() >= count; });
}

bool LoopbackServer::WaitUntilNoConnectionIsOpen(std::chrono::milliseconds deadline) const {
  std::unique_lock<std::mutex> hold(mutex_);
  return changed_.wait_for(hold, deadline, [&] { return open_ == 0; });
}

int LoopbackServer::connections_accepted() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return accepted_;
}

int ClosedLoopbackPort() {
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  int port = 0;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(probe);
  return port;
}

}  // namespace testing_support
