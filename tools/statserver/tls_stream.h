// TLS for the statistics server (--tls CERT KEY): the server's certificate and key, loaded once,
// and the stream that serves one accepted connection inside TLS through OpenSSL.
//
// Threads: a context is filled before the server runs and only read afterwards, so every
// connection thread may wrap its socket at the same time; a stream belongs to its connection's
// thread (stream.h).
#ifndef SARVIK_TOOLS_STATSERVER_TLS_STREAM_H_
#define SARVIK_TOOLS_STATSERVER_TLS_STREAM_H_

#include <memory>
#include <string>

#include "tools/statserver/stream.h"

typedef struct ssl_ctx_st SSL_CTX;

namespace statserver {

class TlsContext {
 public:
  // The certificate chain at `certificate_path` and its private key at `key_path`, both PEM. Null,
  // with *error naming the file and OpenSSL's reason, when either cannot be used or they do not
  // belong together.
  static std::unique_ptr<TlsContext> Load(const std::string& certificate_path, const std::string& key_path,
                                          std::string* error);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  // A stream that serves TLS on the accepted, non-blocking socket `fd`, which it owns from the call
  // on (closed at once when no stream can be made: null then). The handshake is its Start().
  std::unique_ptr<ByteStream> Wrap(int fd) const;

 private:
  explicit TlsContext(SSL_CTX* context) : context_(context) {}
  SSL_CTX* const context_;
};

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_TLS_STREAM_H_
