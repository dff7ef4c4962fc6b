#include "tools/host/signal_watch.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace sarvik_host {

SignalWatch::SignalWatch() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGHUP);
  sigemptyset(&original_mask_);
  pthread_sigmask(SIG_BLOCK, &stop, &original_mask_);
  fd_ = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

SignalWatch::~SignalWatch() {
  if (fd_ >= 0) close(fd_);
}

int SignalWatch::Wait(std::chrono::milliseconds timeout, int other_fd, bool* other_ready) {
  if (other_ready != nullptr) *other_ready = false;
  if (received_ != 0) return received_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    pollfd watched[2] = {{fd_, POLLIN, 0}, {other_fd, POLLIN, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int wait_ms = left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 1000000));
    const int ready = poll(watched, other_fd >= 0 ? 2 : 1, wait_ms);
    if (ready < 0 && errno != EINTR) return 0;
    if (ready > 0 && (watched[0].revents & POLLIN) != 0) {
      signalfd_siginfo info{};
      if (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        received_ = static_cast<int>(info.ssi_signo);
        return received_;
      }
    }
    if (ready > 0 && other_fd >= 0 && (watched[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
      if (other_ready != nullptr) *other_ready = true;
      return 0;
    }
    if (std::chrono::steady_clock::now() >= deadline) return 0;
  }
}

}  // namespace sarvik_host
