#include "tools/host/load_generator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace sarvik_host {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRequestsPerConnection = 8;

// One client connection to a loopback port.
class Connection {
 public:
  explicit Connection(int port) : port_(port) {}
  ~Connection() { Close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Sends a GET for `path` and reads the whole answer. True when an answer came.
  bool Get(const std::string& path, bool keep_alive) {
    if (fd_ < 0 && !Open()) return false;
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                                "\r\nUser-Agent: sarvik-host-demo\r\nAccept: */*\r\n" +
                                (keep_alive ? "" : "Connection: close\r\n") + "\r\n";
    if (send(fd_, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
      Close();
      return false;
    }
    const bool answered = ReadAnswer();
    ++requests_;
    if (!answered || !keep_alive || !server_keeps_alive_) Close();
    return answered;
  }

  int requests() const { return requests_; }
  bool open() const { return fd_ >= 0; }

  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    requests_ = 0;
  }

 private:
  bool Open() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    timeval timeout{2, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      Close();
      return false;
    }
    return true;
  }

  // Reads the head and the body (by its Content-Length, or up to the close).
  bool ReadAnswer() {
    std::string data;
    char buffer[4096];
    std::size_t head_end = std::string::npos;
    while (head_end == std::string::npos) {
      const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      data.append(buffer, static_cast<std::size_t>(got));
      head_end = data.find("\r\n\r\n");
      if (data.size() > 65536) return false;
    }
    std::string head = data.substr(0, head_end);
    for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    server_keeps_alive_ = head.find("connection: close") == std::string::npos;
    const std::size_t length_at = head.find("content-length:");
    const std::size_t body_have = data.size() - head_end - 4;
    if (length_at == std::string::npos) {
      server_keeps_alive_ = false;
      while (recv(fd_, buffer, sizeof buffer, 0) > 0) {
      }
      return true;
    }
    std::size_t body_left = std::strtoul(head.c_str() + length_at + 15, nullptr, 10);
    body_left = body_have >= body_left ? 0 : body_left - body_have;
    while (body_left > 0) {
      const ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, body_left), 0);
      if (got <= 0) return false;
      body_left -= static_cast<std::size_t>(got);
    }
    return true;
  }

  const int port_;
  int fd_ = -1;
  int requests_ = 0;
  bool server_keeps_alive_ = true;
};

}  // namespace

LoadGenerator::LoadGenerator(std::vector<int> ports) : ports_(std::move(ports)), thread_([this] { Run(); }) {}

LoadGenerator::~LoadGenerator() { Stop(); }

void LoadGenerator::Stop() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

double LoadGenerator::RateAt(double seconds) { return 40.0 + 25.0 * std::sin(2 * kPi * seconds / 30.0); }

void LoadGenerator::Run() {
  if (ports_.empty()) return;
  std::vector<std::unique_ptr<Connection>> connections;
  // Server i gets i + 1 shares: a list that names each server as often as its shares.
  std::vector<std::size_t> turns;
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    connections.push_back(std::make_unique<Connection>(ports_[i]));
    for (std::size_t share = 0; share <= i; ++share) turns.push_back(i);
  }

  const auto start = std::chrono::steady_clock::now();
  auto next = start;
  long sent = 0;
  while (true) {
    {
      std::unique_lock<std::mutex> hold(mutex_);
      if (wake_.wait_until(hold, next, [this] { return stopping_; })) return;
    }
    const std::size_t server = turns[static_cast<std::size_t>(sent) % turns.size()];
    Connection& connection = *connections[server];
    bool answered = false;
    if (sent % 29 == 28) {
      // An error answer, on a connection of its own.
      Connection once(ports_[server]);
      answered = once.Get("/fault/404", false);
    } else {
      const std::string path = sent % 13 == 12 ? "/admin/index.html"
                                               : "/docs/page-" + std::to_string(sent % 40) + ".html";
      answered = connection.Get(path, true);
      // Closing a kept-alive connection is a flush for the server; the next request opens a new session.
      if (connection.requests() >= kRequestsPerConnection) connection.Close();
    }
    if (answered) ++answered_;
    ++sent;

    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto gap = std::chrono::duration<double>(1.0 / RateAt(elapsed));
    next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(gap);
    // After a stall (a slow answer) the schedule starts again from now instead of catching up.
    const auto now = std::chrono::steady_clock::now();
    if (next < now - std::chrono::seconds(1)) next = now;
  }
}

}  // namespace sarvik_host
