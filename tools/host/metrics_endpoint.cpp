#include "tools/host/metrics_endpoint.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "tools/host/metrics_exposition.h"

namespace sarvik_host {

namespace {

constexpr char kMetricsPath[] = "/metrics";
constexpr int kBacklog = 16;
constexpr unsigned int kConnectionLimit = 32;
constexpr unsigned int kConnectionTimeoutSeconds = 15;

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "HOST:PORT" of a bound socket address; IPv6 in brackets.
std::string AddressText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "";
  int port = 0;
  if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, host, sizeof host);
    port = ntohs(v6.sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
  }
  const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
  inet_ntop(AF_INET, &v4.sin_addr, host, sizeof host);
  port = ntohs(v4.sin_port);
  return std::string(host) + ":" + std::to_string(port);
}

MHD_Result Respond(MHD_Connection* connection, unsigned int status, const std::string& body, const char* content_type,
                   const char* allow = nullptr) {
  MHD_Response* response =
      MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, content_type);
  if (allow != nullptr) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allow);
  const MHD_Result queued = MHD_queue_response(connection, status, response);
  MHD_destroy_response(response);
  return queued;
}

}  // namespace

// The server thread's way in to the endpoint it serves.
struct MetricsEndpointAccess {
  static MHD_Result Answer(void* endpoint_pointer, MHD_Connection* connection, const char* url, const char* method,
                           const char* /*version*/, const char* /*upload_data*/, size_t* /*upload_data_size*/,
                           void** /*request_state*/) {
    const auto* endpoint = static_cast<const MetricsEndpoint*>(endpoint_pointer);
    const bool get = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0;
    const bool head = std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    if (!get && !head) {
      return Respond(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD are served.\n",
                     "text/plain; charset=utf-8", "GET, HEAD");
    }
    if (std::strcmp(url, kMetricsPath) != 0) {
      return Respond(connection, MHD_HTTP_NOT_FOUND, "Not found: the metrics are at /metrics.\n",
                     "text/plain; charset=utf-8");
    }
    const char* accept = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT);
    const ExpositionFormat format = FormatForAccept(accept != nullptr ? accept : "");
    const std::int64_t now_us = std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
    const std::shared_ptr<const MetricsSnapshot> snapshot = endpoint->board_.Latest();
    // MHD leaves the body out of an answer to HEAD by itself.
    return Respond(connection, MHD_HTTP_OK, RenderExposition(*snapshot, now_us, ReadProcessFacts(), format),
                   ContentTypeOf(format));
  }
};

bool ParseListenAddress(const std::string& listen, std::string* host, int* port, std::string* error) {
  std::string host_part;
  std::string port_part;
  if (AllDigits(listen)) {
    port_part = listen;
  } else if (!listen.empty() && listen[0] == '[') {
    const std::size_t close = listen.find(']');
    if (close == std::string::npos || close + 1 >= listen.size() || listen[close + 1] != ':') {
      *error = "'" + listen + "' is not an address such as [::1]:9464";
      return false;
    }
    host_part = listen.substr(1, close - 1);
    port_part = listen.substr(close + 2);
    if (host_part.empty()) {
      *error = "'" + listen + "' names no IPv6 address between the brackets";
      return false;
    }
  } else {
    const std::size_t colon = listen.rfind(':');
    if (colon == std::string::npos) {
      *error = "'" + listen + "' is not an address such as 127.0.0.1:9464 (HOST:PORT)";
      return false;
    }
    host_part = listen.substr(0, colon);
    port_part = listen.substr(colon + 1);
    if (host_part.find(':') != std::string::npos) {
      *error = "'" + listen + "': an IPv6 address goes in brackets, as in [::1]:9464";
      return false;
    }
  }
  if (!AllDigits(port_part) || port_part.size() > 5 || std::stol(port_part) > 65535) {
    *error = "'" + listen + "' needs a port from 0 to 65535";
    return false;
  }
  *host = host_part.empty() ? "127.0.0.1" : host_part;
  *port = static_cast<int>(std::stol(port_part));
  return true;
}

std::unique_ptr<MetricsEndpoint> MetricsEndpoint::Start(const std::string& listen, const MetricsBoard& board,
                                                        std::string* error) {
  std::string host;
  int port = 0;
  if (!ParseListenAddress(listen, &host, &port, error)) return nullptr;

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int failure = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); failure != 0) {
    *error = "cannot listen on " + listen + ": " + gai_strerror(failure);
    return nullptr;
  }
  int socket_fd = -1;
  int last_errno = 0;
  for (const addrinfo* entry = found; entry != nullptr && socket_fd < 0; entry = entry->ai_next) {
    socket_fd = socket(entry->ai_family, entry->ai_socktype | SOCK_CLOEXEC, entry->ai_protocol);
    if (socket_fd < 0) {
      last_errno = errno;
      continue;
    }
    const int on = 1;
    setsockopt(socket_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(socket_fd, entry->ai_addr, entry->ai_addrlen) != 0 || ::listen(socket_fd, kBacklog) != 0) {
      last_errno = errno;
      close(socket_fd);
      socket_fd = -1;
    }
  }
  freeaddrinfo(found);
  if (socket_fd < 0) {
    *error = "cannot listen on " + listen + ": " + std::strerror(last_errno);
    return nullptr;
  }

  sockaddr_storage bound{};
  socklen_t bound_size = sizeof bound;
  if (getsockname(socket_fd, reinterpret_cast<sockaddr*>(&bound), &bound_size) != 0) {
    *error = "cannot listen on " + listen + ": " + std::strerror(errno);
    close(socket_fd);
    return nullptr;
  }

  std::unique_ptr<MetricsEndpoint> endpoint(new MetricsEndpoint(board, AddressText(bound)));
  endpoint->daemon_ = MHD_start_daemon(
      MHD_USE_AUTO_INTERNAL_THREAD, 0, nullptr, nullptr, &MetricsEndpointAccess::Answer, endpoint.get(),
      MHD_OPTION_LISTEN_SOCKET, socket_fd, MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit,
      MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutSeconds, MHD_OPTION_END);
  if (endpoint->daemon_ == nullptr) {
    close(socket_fd);
    *error = "cannot serve metrics on " + endpoint->address_ + ": the HTTP server did not start";
    return nullptr;
  }
  return endpoint;
}

MetricsEndpoint::~MetricsEndpoint() {
  // Joins the server's thread and closes its sockets, the listening one included.
  if (daemon_ != nullptr) MHD_stop_daemon(daemon_);
}

}  // namespace sarvik_host
