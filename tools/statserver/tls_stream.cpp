#include "tools/statserver/tls_stream.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <new>

namespace statserver {
namespace {

// OpenSSL's reason for the latest failure of this thread, or `fallback`; the queue is emptied.
std::string OpenSslError(const std::string& fallback) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return fallback;
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

class TlsStream final : public ByteStream {
 public:
  TlsStream(int fd, SSL* ssl) : ByteStream(fd), ssl_(ssl) {}
  ~TlsStream() override {
    SSL_free(ssl_);
    CloseSocket();
  }

  StreamIo Start() override {
    ERR_clear_error();
    const int result = SSL_accept(ssl_);
    return result == 1 ? StreamIo::Done(0) : Failure(result);
  }

  StreamIo Receive(char* buffer, std::size_t size) override {
    ERR_clear_error();
    std::size_t got = 0;
    const int result = SSL_read_ex(ssl_, buffer, size, &got);
    return result == 1 ? StreamIo::Done(got) : Failure(result);
  }

  StreamIo Send(const char* data, std::size_t size) override {
    ERR_clear_error();
    std::size_t written = 0;
    const int result = SSL_write_ex(ssl_, data, size, &written);
    return result == 1 ? StreamIo::Done(written) : Failure(result);
  }

  std::size_t Buffered() const override { return static_cast<std::size_t>(SSL_pending(ssl_)); }

  void EndSending() override {
    // The close_notify alert goes out if the socket takes it now; the client may also just see the
    // connection end, which it takes the same way.
    ERR_clear_error();
    if (SSL_is_init_finished(ssl_)) (void)SSL_shutdown(ssl_);
    ERR_clear_error();
    ::shutdown(fd(), SHUT_WR);
  }

 private:
  StreamIo Failure(int result) {
    const int error = SSL_get_error(ssl_, result);
    ERR_clear_error();
    switch (error) {
      case SSL_ERROR_WANT_READ:
        return StreamIo::WouldBlock(POLLIN);
      case SSL_ERROR_WANT_WRITE:
        return StreamIo::WouldBlock(POLLOUT);
      case SSL_ERROR_ZERO_RETURN:
        return StreamIo::Closed();
      default:
        return StreamIo::Failed();
    }
  }

  SSL* const ssl_;
};

}  // namespace

std::unique_ptr<TlsContext> TlsContext::Load(const std::string& certificate_path, const std::string& key_path,
                                             std::string* error) {
  ERR_clear_error();
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (context == nullptr) {
    *error = "TLS cannot be set up: " + OpenSslError("out of memory");
    return nullptr;
  }
  std::unique_ptr<TlsContext> loaded(new (std::nothrow) TlsContext(context));
  if (loaded == nullptr) {
    SSL_CTX_free(context);
    *error = "TLS cannot be set up: out of memory";
    return nullptr;
  }
  if (SSL_CTX_use_certificate_chain_file(context, certificate_path.c_str()) != 1) {
    *error = "cannot use the certificate " + certificate_path + ": " + OpenSslError("not a PEM certificate");
    return nullptr;
  }
  if (SSL_CTX_use_PrivateKey_file(context, key_path.c_str(), SSL_FILETYPE_PEM) != 1) {
    *error = "cannot use the key " + key_path + ": " + OpenSslError("not a PEM private key");
    return nullptr;
  }
  if (SSL_CTX_check_private_key(context) != 1) {
    *error = "the key " + key_path + " does not belong to the certificate " + certificate_path + ": " +
             OpenSslError("they do not match");
    return nullptr;
  }
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // Send() offers what is left of a write again, from wherever it now lies, and takes part writes.
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // A client that closes without the close_notify alert has ended its side, as on a plain socket.
  SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  return loaded;
}

TlsContext::~TlsContext() { SSL_CTX_free(context_); }

std::unique_ptr<ByteStream> TlsContext::Wrap(int fd) const {
  SSL* ssl = SSL_new(context_);
  if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1) {
    SSL_free(ssl);
    ::close(fd);
    ERR_clear_error();
    return nullptr;
  }
  std::unique_ptr<ByteStream> stream(new (std::nothrow) TlsStream(fd, ssl));
  if (stream == nullptr) {
    SSL_free(ssl);
    ::close(fd);
  }
  return stream;
}

}  // namespace statserver
