// The byte stream a connection is served over: the accepted socket itself, or TLS on top of it
// (tls_stream.h). The connection code reads, writes and waits through this interface only, so it
// serves both alike.
//
// Every operation is non-blocking. One that cannot go on without the network answers kWouldBlock
// with the poll events to wait for on fd() before calling it again (a TLS read may need to write
// first, and the other way round). Buffered() counts bytes the stream already holds for reading,
// which no wait on the socket would report.
//
// Ownership: a stream owns its socket and closes it when destroyed. Threads: one stream belongs to
// the one connection thread that serves it.
#ifndef SARVIK_TOOLS_STATSERVER_STREAM_H_
#define SARVIK_TOOLS_STATSERVER_STREAM_H_

#include <cstddef>

namespace statserver {

struct StreamIo {
  enum class Kind { kDone, kWouldBlock, kClosed, kFailed };
  Kind kind = Kind::kFailed;
  std::size_t bytes = 0;  // kDone: bytes read or written (at least one)
  short wait_events = 0;  // kWouldBlock: POLLIN and/or POLLOUT

  static StreamIo Done(std::size_t bytes) { return {Kind::kDone, bytes, 0}; }
  static StreamIo WouldBlock(short events) { return {Kind::kWouldBlock, 0, events}; }
  static StreamIo Closed() { return {Kind::kClosed, 0, 0}; }
  static StreamIo Failed() { return {Kind::kFailed, 0, 0}; }
};

class ByteStream {
 public:
  virtual ~ByteStream() = default;

  // Brings the stream up (the TLS handshake): kDone once it is, kWouldBlock while it waits on the
  // client, kFailed or kClosed when the client is not served.
  virtual StreamIo Start() = 0;

  // Reads up to `size` bytes (kDone), or tells that the client ended its side (kClosed).
  virtual StreamIo Receive(char* buffer, std::size_t size) = 0;

  // Writes up to `size` bytes of `data` (kDone with the number written). After kWouldBlock the
  // same bytes are offered again.
  virtual StreamIo Send(const char* data, std::size_t size) = 0;

  // Bytes held for reading that the socket no longer shows.
  virtual std::size_t Buffered() const = 0;

  // Ends our side of the stream (after our last byte); reading goes on.
  virtual void EndSending() = 0;

  int fd() const { return fd_; }

 protected:
  explicit ByteStream(int fd) : fd_(fd) {}
  ByteStream(const ByteStream&) = delete;
  ByteStream& operator=(const ByteStream&) = delete;

  // Closes the socket; the destructor of every stream calls it last.
  void CloseSocket();

 private:
  int fd_;
};

// The accepted socket, bytes as they come.
class PlainStream final : public ByteStream {
 public:
  explicit PlainStream(int fd) : ByteStream(fd) {}
  ~PlainStream() override { CloseSocket(); }

  StreamIo Start() override { return StreamIo::Done(0); }
  StreamIo Receive(char* buffer, std::size_t size) override;
  StreamIo Send(const char* data, std::size_t size) override;
  std::size_t Buffered() const override { return 0; }
  void EndSending() override;
};

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_STREAM_H_
