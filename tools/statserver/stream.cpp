#include "tools/statserver/stream.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace statserver {

void ByteStream::CloseSocket() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

StreamIo PlainStream::Receive(char* buffer, std::size_t size) {
  while (true) {
    const ssize_t got = ::recv(fd(), buffer, size, 0);
    if (got > 0) return StreamIo::Done(static_cast<std::size_t>(got));
    if (got == 0) return StreamIo::Closed();
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return StreamIo::WouldBlock(POLLIN);
    return StreamIo::Failed();
  }
}

StreamIo PlainStream::Send(const char* data, std::size_t size) {
  while (true) {
    const ssize_t sent = ::send(fd(), data, size, MSG_NOSIGNAL);
    if (sent > 0) return StreamIo::Done(static_cast<std::size_t>(sent));
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return StreamIo::WouldBlock(POLLOUT);
    return StreamIo::Failed();
  }
}

void PlainStream::EndSending() { ::shutdown(fd(), SHUT_WR); }

}  // namespace statserver
