// The terminal through termios: single keys without echo from standard input, the size from
// standard output.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tools/host/terminal.h"

namespace sarvik_host {

namespace {

class PosixTerminal final : public Terminal {
 public:
  PosixTerminal() {
    // Keys only from a terminal in the foreground: changing the modes of a terminal from the
    // background would stop the host (SIGTTOU).
    if (isatty(STDIN_FILENO) == 0 || tcgetpgrp(STDIN_FILENO) != getpgrp()) return;
    if (tcgetattr(STDIN_FILENO, &original_) != 0) return;
    termios keys = original_;
    // Without line editing and echo; signals (Ctrl-C) and output processing stay as they were.
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) return;
    reads_keys_ = true;
  }

  ~PosixTerminal() override {
    if (reads_keys_) tcsetattr(STDIN_FILENO, TCSANOW, &original_);
  }

  std::optional<TerminalSize> Size() const override {
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return std::nullopt;
    return TerminalSize{size.ws_col, size.ws_row};
  }

  bool ReadsKeys() const override { return reads_keys_; }
  int KeyHandle() const override { return reads_keys_ ? STDIN_FILENO : -1; }

  std::vector<KeyPress> TakeKeys() override {
    if (!reads_keys_) return {};
    std::string bytes;
    char buffer[256];
    while (true) {
      pollfd input{STDIN_FILENO, POLLIN, 0};
      if (poll(&input, 1, 0) <= 0) break;
      if ((input.revents & POLLIN) == 0) {
        // Hung up or closed: a descriptor that stays ready would wake the wait at once, forever.
        stop_reading_ = (input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
        break;
      }
      const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        // The terminal went away (end of input): no more keys, but the table goes on.
        stop_reading_ = true;
        break;
      }
      bytes.append(buffer, static_cast<std::size_t>(got));
    }
    if (stop_reading_) {
      tcsetattr(STDIN_FILENO, TCSANOW, &original_);
      reads_keys_ = false;
    }
    return DecodeKeys(bytes);
  }

 private:
  termios original_{};
  bool reads_keys_ = false;
  bool stop_reading_ = false;
};

}  // namespace

std::unique_ptr<Terminal> Terminal::Open() {
  if (isatty(STDOUT_FILENO) == 0) return nullptr;
  return std::make_unique<PosixTerminal>();
}

}  // namespace sarvik_host
