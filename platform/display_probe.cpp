#include "platform/display_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// The part of libxcb the probe needs; the connection type stays opaque.
using XcbConnect = void* (*)(const char* display, int* screen);
using XcbConnectionHasError = int (*)(void* connection);
using XcbDisconnect = void (*)(void* connection);

// How often and how far apart a refused connection is tried again: an X server resetting after
// its last client left takes a few milliseconds to listen again.
constexpr int kConnectAttempts = 10;
constexpr auto kConnectPause = std::chrono::milliseconds(100);

}  // namespace

bool X11Connection::Open(const std::string& display, std::string* reason) {
  Close();
  if (display.empty()) {
    *reason = "DISPLAY is not set";
    return false;
  }
  library_ = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    *reason = "the X client library libxcb.so.1 cannot be loaded";
    return false;
  }
  const auto connect = reinterpret_cast<XcbConnect>(dlsym(library_, "xcb_connect"));
  const auto has_error = reinterpret_cast<XcbConnectionHasError>(dlsym(library_, "xcb_connection_has_error"));
  disconnect_ = reinterpret_cast<XcbDisconnect>(dlsym(library_, "xcb_disconnect"));
  if (connect != nullptr && has_error != nullptr && disconnect_ != nullptr) {
    for (int attempt = 0; attempt < kConnectAttempts && connection_ == nullptr; ++attempt) {
      if (attempt > 0) std::this_thread::sleep_for(kConnectPause);
      int screen = 0;
      // xcb_connect never returns null: a failed connection is an object in an error state.
      void* connection = connect(display.c_str(), &screen);
      if (connection != nullptr && has_error(connection) == 0) connection_ = connection;
      else if (connection != nullptr) disconnect_(connection);
    }
  }
  if (connection_ == nullptr) {
    Close();
    *reason = "the X display '" + display + "' cannot be opened";
    return false;
  }
  return true;
}

void X11Connection::Close() {
  if (connection_ != nullptr) disconnect_(connection_);
  connection_ = nullptr;
  if (library_ != nullptr) dlclose(library_);
  library_ = nullptr;
  disconnect_ = nullptr;
}

bool ProbeX11Display(const std::string& display, std::string* reason) {
  X11Connection connection;
  return connection.Open(display, reason);
}

bool ProbeWaylandDisplay(const std::string& wayland_display, const std::string& runtime_directory,
                         std::string* reason) {
  if (wayland_display.empty()) {
    *reason = "WAYLAND_DISPLAY is not set";
    return false;
  }
  const std::string path =
      wayland_display.front() == '/' ? wayland_display : runtime_directory + "/" + wayland_display;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path || (wayland_display.front() != '/' && runtime_directory.empty())) {
    *reason = "the Wayland display '" + wayland_display + "' has no usable socket path";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int socket_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_fd < 0) {
    *reason = std::string("no socket: ") + std::strerror(errno);
    return false;
  }
  const bool answered = connect(socket_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  const int error = errno;
  close(socket_fd);
  if (!answered) *reason = "the Wayland display '" + path + "' cannot be opened: " + std::strerror(error);
  return answered;
}
