// HTTP for the statistics stream: one GET whose response is read as an endless stream.
//
// A fetch opens an exchange (session, connection and request in one), sends it with a bound on
// the time to the response's status line, reads the status, and then pulls the body through
// Available() and Read(). A wait inside an exchange sleeps until the network has something for
// it, its own bound passes, or another thread wakes it with Wake(); after every wait it asks the
// caller's cancel check. So an idle stream costs nothing between the server's pushes, and a caller
// that wants to end (a server being destroyed) wakes it instead of waiting on a silent peer.
// Exchanges are independent of each other: each belongs to the one thread that opened it, and
// only Wake() may be called from another.
//
// Every step returns a Status (or a Result): ok, or a failure whose code() says which step
// failed and whose message() is a readable, never empty text of why.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/status.h"

// How requests reach the network.
enum class ProxyMode {
  kSystem = 0,  // the proxy configured for the system (the http_proxy / no_proxy environment)
  kDirect = 1,  // straight to the web server
  kNamed = 3,   // through the proxy named in the request options
};

// How the web server is spoken to: plain HTTP, or HTTP inside TLS.
enum class HttpScheme {
  kHttp = 0,
  kHttps = 1,
};

// Everything one request needs.
struct HttpRequestOptions {
  HttpScheme scheme = HttpScheme::kHttp;
  std::string host;            // web server host name or address ("[::1]" for an IPv6 literal)
  int port = 80;               // TCP port (1..65535)
  std::string login;           // answered to the web server's authentication challenge; may be empty
  std::string password;
  std::string target;          // request target, sent exactly as given ("/" when empty)
  std::string user_agent;
  ProxyMode proxy_mode = ProxyMode::kDirect;
  std::string proxy_server;    // for kNamed: "host:port" or a proxy URL
  bool keep_connection = false;  // ask the proxy and the server to keep the connection open
  // Longest wait for body data before Available() fails; the stream's own pace must fit in it.
  std::chrono::milliseconds receive_timeout{120000};
  // For kHttps: whether the web server's certificate must chain to the system's certificate
  // store and name `host`. False accepts any certificate (a self-signed one included).
  bool verify_server = true;
};

class HttpExchange {
 public:
  virtual ~HttpExchange() = default;

  // Sends the request and waits until the final response's status line and headers have
  // arrived, at most `bound`. Fails with kConnectFailed (the host could not be resolved, the
  // TCP connection not opened, or, for kHttps, the TLS handshake failed or the server's
  // certificate was refused), kSendFailed (no status line in time, or a failure on the way)
  // or kCancelled.
  [[nodiscard]] virtual Status Send(std::chrono::milliseconds bound) = 0;

  // The final response's status code, 0 when none could be read; and its reason phrase, empty
  // when the server sent none. Valid after Send() returned ok.
  virtual int StatusCode() const = 0;
  virtual std::string ReasonPhrase() const = 0;

  // The proxy user name and password for the next Send(), which repeats the request with them.
  virtual void SetProxyCredentials(const std::string& user_name, const std::string& password) = 0;

  // Waits until body bytes can be read or the response has ended; returns the bytes ready
  // (0: the response has ended). Fails with kReceiveFailed (the connection broke, or the
  // receive time-out) or kCancelled.
  [[nodiscard]] virtual Result<std::size_t> Available() = 0;

  // Copies up to `size` ready bytes into `buffer`; returns the number copied. Fails like
  // Available().
  [[nodiscard]] virtual Result<std::size_t> Read(char* buffer, std::size_t size) = 0;

  // Ends the current or the next wait of the exchange at once, so that it asks the cancel check.
  // Any thread may call it while the exchange exists. An exchange whose waits ask the cancel
  // check often on their own need not override it.
  virtual void Wake() {}
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Opens an exchange for `options`; nothing is sent yet. `cancel_requested` is asked from the
  // calling thread after every wait of the exchange (see Wake()); true ends the wait with
  // kCancelled. When the exchange cannot be prepared, the failure names the step that
  // refused it: kResourceExhausted (the network layer itself), kInvalidAddress (the connection:
  // host, port or credentials unusable) or kInvalidArgument (the request: target unusable).
  [[nodiscard]] virtual Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions& options,
                                                                   std::function<bool()> cancel_requested) = 0;
};

// The client over libcurl, shared by every thread of the process. The first call initialises
// libcurl; make it before any thread that fetches starts.
HttpClient& SystemHttpClient();

// Tests only: exchanges opened from now on also trust the certificates in the PEM file at
// `path` (empty: the system's store alone again). Any thread may call it.
void TEST_TrustCertificates(const std::string& path);
