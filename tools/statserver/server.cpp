#include "tools/statserver/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <list>
#include <system_error>
#include <thread>
#include <utility>

#include "tools/statserver/connection.h"
#include "tools/statserver/page.h"
#include "tools/statserver/tls_stream.h"

namespace statserver {
namespace {

using std::chrono::milliseconds;

std::string ErrnoText(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string PeerText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    ::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
  }
  return text;
}

// A connection thread and whether it has finished (then it can be joined without waiting).
struct Worker {
  std::thread thread;
  std::atomic<bool> finished{false};
};

}  // namespace

StatServer::StatServer(ServerOptions options) : options_(std::move(options)) {}

StatServer::~StatServer() {
  CloseFd(listen_fd_);
  CloseFd(stop_read_fd_);
  CloseFd(stop_write_fd_);
}

std::string StatServer::AddressText() const {
  return (options_.bind == "::1" ? std::string("[::1]") : options_.bind) + ":" + std::to_string(port_);
}

bool StatServer::Open(std::string* error) {
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = ErrnoText("pipe");
    return false;
  }
  stop_read_fd_ = pipe_fds[0];
  stop_write_fd_ = pipe_fds[1];

  const bool v6 = options_.bind == "::1";
  listen_fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) {
    *error = ErrnoText("socket");
    return false;
  }
  const int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_storage address{};
  socklen_t length = 0;
  if (v6) {
    auto* v6_address = reinterpret_cast<sockaddr_in6*>(&address);
    v6_address->sin6_family = AF_INET6;
    v6_address->sin6_addr = in6addr_loopback;
    v6_address->sin6_port = htons(static_cast<std::uint16_t>(options_.port));
    length = sizeof(sockaddr_in6);
    ::setsockopt(listen_fd_, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
  } else {
    auto* v4_address = reinterpret_cast<sockaddr_in*>(&address);
    v4_address->sin_family = AF_INET;
    v4_address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4_address->sin_port = htons(static_cast<std::uint16_t>(options_.port));
    length = sizeof(sockaddr_in);
  }
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length) != 0) {
    *error = ErrnoText(("bind " + AddressText()).c_str());
    return false;
  }
  if (::listen(listen_fd_, 128) != 0) {
    *error = ErrnoText("listen");
    return false;
  }
  length = sizeof address;
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    *error = ErrnoText("getsockname");
    return false;
  }
  if (!options_.trace_file.empty()) {
    const int trace_fd = ::open(options_.trace_file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (trace_fd < 0) {
      *error = ErrnoText(("cannot write " + options_.trace_file).c_str());
      return false;
    }
    trace_ = std::make_unique<RequestTrace>(trace_fd);
  }
  port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                   : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  if (!options_.tls_certificate.empty()) {
    tls_ = TlsContext::Load(options_.tls_certificate, options_.tls_key, error);
    if (!tls_) return false;
  }

  ServerIdentity identity;
  identity.pid = static_cast<long>(::getpid());
  identity.version_line = kVersionLine;
  identity.server_started = FormatPageTime(std::time(nullptr));
  identity.process_started = identity.server_started;
  identity.listen_address = (tls_ ? "https://" : "http://") + AddressText();
  StatsLimits limits;
  limits.queue_limit = static_cast<std::uint64_t>(options_.max_connections);
  limits.sessions_limit = static_cast<std::uint64_t>(options_.max_connections);
  limits.keepalive_limit = static_cast<std::uint64_t>(options_.keepalive_max);
  limits.keepalive_timeout_seconds = static_cast<std::uint64_t>(options_.keepalive_timeout_seconds);
  stats_ = std::make_unique<ServerStats>(std::move(identity), limits, Clock::now());
  return true;
}

void StatServer::RequestStop() {
  if (stop_write_fd_ < 0) return;
  const char byte = 's';
  const ssize_t ignored = ::write(stop_write_fd_, &byte, 1);  // a full pipe is already a stop request
  (void)ignored;
}

void StatServer::Run() {
  if (listen_fd_ < 0 || !stats_) return;
  const ServerContext context{options_, *stats_, stop_read_fd_, trace_.get(), tls_.get()};
  std::list<Worker> workers;
  const auto reap = [&workers](bool wait) {
    for (auto it = workers.begin(); it != workers.end();) {
      if (wait || it->finished.load(std::memory_order_acquire)) {
        it->thread.join();
        it = workers.erase(it);
      } else {
        ++it;
      }
    }
  };

  const Clock::time_point deadline = options_.duration_seconds
                                         ? Clock::now() + std::chrono::seconds(*options_.duration_seconds)
                                         : Clock::time_point::max();
  while (true) {
    const Wait wait = WaitFor(listen_fd_, POLLIN, stop_read_fd_, std::min(deadline, Clock::now() + milliseconds(500)));
    if (wait == Wait::kStopped) break;
    if (Clock::now() >= deadline) {
      RequestStop();
      break;
    }
    reap(false);
    if (wait != Wait::kReady) continue;

    while (true) {
      sockaddr_storage peer{};
      socklen_t peer_length = sizeof peer;
      const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &peer_length,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED) {
          // Out of descriptors or memory: give the connections a moment to finish rather than spin.
          (void)WaitFor(stop_read_fd_, POLLIN, stop_read_fd_, Clock::now() + milliseconds(100));
        }
        break;
      }
      const Clock::time_point accepted = Clock::now();
      if (workers.size() >= static_cast<std::size_t>(options_.max_connections)) {
        if (tls_) {
          ::close(fd);
        } else {
          RefuseConnection(fd);
        }
        continue;
      }
      const int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      stats_->ConnectionQueued(accepted);
      Worker& worker = workers.emplace_back();
      try {
        worker.thread = std::thread([&context, &worker, fd, accepted, peer_text = PeerText(peer)]() mutable {
          try {
            ServeConnection(context, fd, std::move(peer_text), accepted);
          } catch (...) {
            // Out of memory in one connection: that connection is lost, the server goes on.
          }
          worker.finished.store(true, std::memory_order_release);
        });
      } catch (const std::system_error&) {
        // No thread for this connection: drop it.
        workers.pop_back();
        ::close(fd);
        stats_->ConnectionDequeued(Clock::now());
      }
    }
  }
  CloseFd(listen_fd_);
  reap(true);
}

bool WritePortFile(const std::string& path, int port, std::string* error) {
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) {
    *error = ErrnoText(("cannot write " + temporary).c_str());
    return false;
  }
  const bool written = std::fprintf(file, "%d\n", port) > 0;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = ErrnoText(("cannot write " + path).c_str());
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace statserver
