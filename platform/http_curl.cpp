// HTTP exchanges over libcurl's multi interface: one multi handle and one fresh easy handle per
// exchange, driven only from the thread that owns the exchange.
//
// libcurl never blocks here on its own: every wait is a curl_multi_poll that ends on network
// events, on its bound, or on curl_multi_wakeup from the thread that wants the exchange to stop;
// the caller's cancel check is asked after each, so a silent web server cannot hold a thread
// that is asked to stop, and an idle stream does not wake its thread between pushes. The statistics body is endless, so no libcurl time-out may cover
// the whole transfer: the bound of Send() is our own deadline around the header phase, and the
// receive time-out of Available() our own count of the time without data.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "platform/http.h"
#include "platform/http_curl_response.h"
#include "platform/http_curl_route.h"

namespace {

using Clock = std::chrono::steady_clock;

// The longest single wait for network events. Waits end early on events and on Wake(); this
// bound only keeps a wait finite when neither comes.
constexpr std::chrono::milliseconds kLongestPoll{30000};

// Body bytes held for the reader before the transfer is paused. The reader drains whatever
// Available() reports before the next wait, so the buffer holds at most this much plus one
// write of libcurl's (CURL_MAX_WRITE_SIZE): a web server that pushes faster than the monitor
// reads waits in TCP flow control instead of filling memory.
constexpr std::size_t kMostBufferedBytes = 64 * 1024;

constexpr const char* kNoErrorText = "Not available";

// libcurl's receive buffer: one statistics page (a snapshot holds at most 8191 characters)
// arrives in one read, without the 16 KB default held by every source's transfer.
constexpr long kReceiveBufferSize = 8192;

// The one way a failure of this transport becomes a Status: the step's kind and libcurl's (or
// our own) text, which a failure never leaves empty.
Status HttpFailure(::StatusCode code, std::string text) {
  return Status::Failure(code, text.empty() ? std::string(kNoErrorText) : std::move(text));
}

std::string DurationText(std::chrono::milliseconds duration) {
  const long long ms = duration.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

// Whether a transfer that failed with `code` never got as far as a connection to its first hop,
// or, over TLS, as far as a secure connection to a server whose certificate was accepted.
bool IsConnectFailure(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return true;
    default:
      return false;
  }
}

// Certificates that tests add to the system's store (TEST_TrustCertificates); empty: none.
std::mutex g_trusted_certificates_mutex;
std::string g_trusted_certificates;

std::string TrustedCertificates() {
  std::lock_guard<std::mutex> hold(g_trusted_certificates_mutex);
  return g_trusted_certificates;
}

class CurlExchange final : public HttpExchange {
 public:
  // Prepares an exchange for `options`; fails as HttpClient::Open() does when libcurl cannot
  // take it.
  static Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions& options,
                                                    std::function<bool()> cancel_requested);

  ~CurlExchange() override;
  CurlExchange(const CurlExchange&) = delete;
  CurlExchange& operator=(const CurlExchange&) = delete;

  Status Send(std::chrono::milliseconds bound) override;
  int StatusCode() const override { return answered_ ? status_code_ : 0; }
  std::string ReasonPhrase() const override { return answered_ ? reason_phrase_ : std::string(); }
  void SetProxyCredentials(const std::string& user_name, const std::string& password) override;
  Result<std::size_t> Available() override;
  Result<std::size_t> Read(char* buffer, std::size_t size) override;
  void Wake() override { curl_multi_wakeup(multi_); }

 private:
  CurlExchange(CURLM* multi, std::chrono::milliseconds receive_timeout, std::function<bool()> cancel_requested);

  static size_t OnHeader(char* data, size_t size, size_t count, void* self) noexcept;
  static size_t OnBody(char* data, size_t size, size_t count, void* self) noexcept;

  // Sets the options of the three preparation steps; fails with the kind of the step that
  // refused them.
  Status Prepare(const HttpRequestOptions& options);

  // The failure of a step of kind `code`, with the text of the last failure (error_text_).
  Status Failed(::StatusCode code) const { return HttpFailure(code, error_text_); }

  // Detaches the easy handle from the multi handle, which abandons its transfer.
  void Detach();

  // Runs the transfer as far as the network allows without waiting, and notes its end; false
  // with error_text_ set when the multi handle itself fails.
  bool Perform();

  // Waits up to `longest` (at most kLongestPoll) for network events; false with error_text_ set
  // on failure.
  bool Poll(std::chrono::milliseconds longest);

  bool CancelRequested() const { return cancel_requested_ && cancel_requested_(); }

  std::size_t Buffered() const { return body_.size() - read_at_; }

  // libcurl's text for the transfer's own failure `code`: its error buffer, or the code's text.
  std::string TransferErrorText(CURLcode code) const;

  // Whether the transfer ended because the response's first line was no status line libcurl
  // accepts; such a response counts as answered, with a status that cannot be read.
  bool EndedOnUnreadableStatus() const;

  // Whether the exchange speaks TLS and its handshake has not been completed: a failure now is a
  // failure to connect, whatever its kind.
  bool SecureConnectionPending() const;

  // Fixed at construction.
  CURLM* const multi_;
  const std::chrono::milliseconds receive_timeout_;
  const std::function<bool()> cancel_requested_;

  CURL* easy_ = nullptr;
  bool https_ = false;  // set by Prepare
  curl_slist* headers_ = nullptr;
  char error_buffer_[CURL_ERROR_SIZE] = {};
  bool attached_ = false;  // easy_ is in multi_

  // Proxy credentials for the next Send(), set after a 407.
  bool proxy_credentials_pending_ = false;
  bool proxy_offers_basic_ = false;  // the latest answer was a 407 that offers Basic
  std::string proxy_user_name_;
  std::string proxy_password_;

  // State of the current transfer.
  ResponseHead head_;
  bool answered_ = false;  // Send() returned ok
  int status_code_ = 0;
  std::string reason_phrase_;
  bool ended_ = false;  // libcurl reported the transfer done
  CURLcode end_code_ = CURLE_OK;
  std::string end_text_;
  bool paused_ = false;  // OnBody paused the transfer because the buffer was full
  std::string body_;     // received body bytes; those before read_at_ are read
  std::size_t read_at_ = 0;

  std::string error_text_;
};

Result<std::unique_ptr<HttpExchange>> CurlExchange::Open(const HttpRequestOptions& options,
                                                         std::function<bool()> cancel_requested) {
  CURLM* multi = curl_multi_init();
  if (multi == nullptr) {
    return HttpFailure(::StatusCode::kResourceExhausted, "The network layer could not be prepared (out of resources)");
  }
  std::unique_ptr<CurlExchange> exchange(new (std::nothrow)
                                             CurlExchange(multi, options.receive_timeout, std::move(cancel_requested)));
  if (exchange == nullptr) {
    curl_multi_cleanup(multi);
    return HttpFailure(::StatusCode::kResourceExhausted, "The network layer could not be prepared (out of memory)");
  }
  if (Status prepared = exchange->Prepare(options); !prepared.ok()) return prepared;
  return std::unique_ptr<HttpExchange>(std::move(exchange));
}

CurlExchange::CurlExchange(CURLM* multi, std::chrono::milliseconds receive_timeout,
                           std::function<bool()> cancel_requested)
    : multi_(multi), receive_timeout_(receive_timeout), cancel_requested_(std::move(cancel_requested)) {}

CurlExchange::~CurlExchange() {
  Detach();
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  curl_multi_cleanup(multi_);
  curl_slist_free_all(headers_);
}

Status CurlExchange::Prepare(const HttpRequestOptions& options) {
  // The connection: host, port and the web server's credentials.
  if (!HostFitsUrl(options.host)) {
    return HttpFailure(::StatusCode::kInvalidAddress, "The host name \"" + options.host + "\" cannot be used in an URL");
  }
  if (options.port < 1 || options.port > 65535) {
    return HttpFailure(::StatusCode::kInvalidAddress, "The port " + std::to_string(options.port) + " is not a TCP port (1 to 65535)");
  }
  easy_ = curl_easy_init();
  if (easy_ == nullptr) {
    return HttpFailure(::StatusCode::kInvalidAddress, "The connection could not be prepared (out of resources)");
  }

  CURLcode code = CURLE_OK;
  const auto set = [this, &code](CURLoption option, auto value) {
    if (code == CURLE_OK) code = curl_easy_setopt(easy_, option, value);
  };
  // A refused option fails the preparation step it belongs to, with libcurl's text for `code`.
  const auto refused = [&code](::StatusCode step) {
    return code == CURLE_OK ? Status::Ok() : HttpFailure(step, curl_easy_strerror(code));
  };

  // The session: how the process reaches the network.
  set(CURLOPT_NOSIGNAL, 1L);
  set(CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  // Without it, a name look-up that never answers holds curl_easy_cleanup for seconds.
  set(CURLOPT_QUICK_EXIT, 1L);
  set(CURLOPT_ERRORBUFFER, error_buffer_);
  bool through_http_proxy = false;
  switch (options.proxy_mode) {
    case ProxyMode::kDirect:
      set(CURLOPT_PROXY, "");
      break;
    case ProxyMode::kNamed:
      set(CURLOPT_PROXY, options.proxy_server.c_str());
      // The named proxy carries every request: no host is exempt through no_proxy.
      set(CURLOPT_NOPROXY, "");
      through_http_proxy = !options.proxy_server.empty() && IsHttpProxy(options.proxy_server);
      break;
    case ProxyMode::kSystem:
    default:
      // libcurl reads http_proxy and no_proxy itself; we only learn which target form it needs.
      through_http_proxy = SystemProxyCarries(options.host);
      break;
  }
  // Over TLS a proxy only opens a tunnel (CONNECT); the request inside it reaches the web server
  // as on a direct connection, so its target stays as given.
  const bool https = options.scheme == HttpScheme::kHttps;
  https_ = https;
  if (https) through_http_proxy = false;
  if (Status failed = refused(::StatusCode::kResourceExhausted); !failed.ok()) return failed;

  const std::string url =
      std::string(https ? "https://" : "http://") + options.host + ":" + std::to_string(options.port) + "/";
  set(CURLOPT_URL, url.c_str());
  if (https) {
    // The system's certificate store (libcurl's default) and the host name check, unless the
    // configuration accepts any certificate.
    set(CURLOPT_SSL_VERIFYPEER, options.verify_server ? 1L : 0L);
    set(CURLOPT_SSL_VERIFYHOST, options.verify_server ? 2L : 0L);
    if (const std::string trusted = TrustedCertificates(); !trusted.empty()) set(CURLOPT_CAINFO, trusted.c_str());
  }
  if (!options.login.empty()) {
    set(CURLOPT_USERNAME, options.login.c_str());
    set(CURLOPT_PASSWORD, options.password.c_str());
    // Probe first and answer whatever the web server asks for (Basic, Digest, NTLM...).
    set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
  }
  if (Status failed = refused(::StatusCode::kInvalidAddress); !failed.ok()) return failed;
  {
    // libcurl's own reading of the URL must agree that it holds nothing but host and port.
    CURLU* parsed = curl_url();
    const CURLUcode parse = parsed == nullptr ? CURLUE_OUT_OF_MEMORY : curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0);
    curl_url_cleanup(parsed);
    if (parse != CURLUE_OK) {
      return HttpFailure(::StatusCode::kInvalidAddress, "The address " + url + " cannot be used: " + curl_url_strerror(parse));
    }
  }

  // The request.
  if (!TargetFitsRequestLine(options.target)) {
    return HttpFailure(::StatusCode::kInvalidArgument, "The request target contains a line break or a NUL character");
  }
  if (!TargetFitsRequestLine(options.user_agent)) {
    return HttpFailure(::StatusCode::kInvalidArgument, "The user agent contains a line break or a NUL character");
  }
  // "Never from a cache": a proxy must fetch the page from the web server and keep no copy.
  for (const char* header : {"Accept: */*", "Cache-Control: no-cache", "Pragma: no-cache"}) {
    curl_slist* appended = curl_slist_append(headers_, header);
    if (appended == nullptr) {
      return HttpFailure(::StatusCode::kInvalidArgument, "The request could not be prepared (out of memory)");
    }
    headers_ = appended;
  }
  const std::string target = FirstHopTarget(options, through_http_proxy);
  set(CURLOPT_HTTPGET, 1L);
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_REQUEST_TARGET, target.c_str());
  set(CURLOPT_HTTPHEADER, headers_);
  set(CURLOPT_USERAGENT, options.user_agent.c_str());
  set(CURLOPT_HEADERFUNCTION, &CurlExchange::OnHeader);
  set(CURLOPT_HEADERDATA, static_cast<void*>(this));
  set(CURLOPT_WRITEFUNCTION, &CurlExchange::OnBody);
  set(CURLOPT_WRITEDATA, static_cast<void*>(this));
  if (Status failed = refused(::StatusCode::kInvalidArgument); !failed.ok()) return failed;
  // Keep-alive is HTTP/1.1's default and what keep_connection asks for; without it nothing needs
  // to close the connection early, as every exchange ends with its own multi handle.
  return Status::Ok();
}

void CurlExchange::Detach() {
  if (!attached_) return;
  curl_multi_remove_handle(multi_, easy_);
  attached_ = false;
}

size_t CurlExchange::OnHeader(char* data, size_t size, size_t count, void* self) noexcept {
  auto* exchange = static_cast<CurlExchange*>(self);
  try {
    exchange->head_.AddLine(std::string_view(data, size * count));
  } catch (...) {
    return 0;  // out of memory: libcurl fails the transfer
  }
  return size * count;
}

size_t CurlExchange::OnBody(char* data, size_t size, size_t count, void* self) noexcept {
  auto* exchange = static_cast<CurlExchange*>(self);
  const std::size_t length = size * count;
  exchange->head_.NoteBody();
  if (exchange->Buffered() >= kMostBufferedBytes) {
    // libcurl keeps these bytes and hands them over again when the transfer is resumed.
    exchange->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  try {
    exchange->body_.append(data, length);
  } catch (...) {
    return 0;
  }
  return length;
}

bool CurlExchange::Perform() {
  int running = 0;
  const CURLMcode performed = curl_multi_perform(multi_, &running);
  if (performed != CURLM_OK) {
    error_text_ = curl_multi_strerror(performed);
    return false;
  }
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
    if (message->msg != CURLMSG_DONE || message->easy_handle != easy_) continue;
    ended_ = true;
    end_code_ = message->data.result;
    end_text_ = end_code_ == CURLE_OK ? std::string() : TransferErrorText(end_code_);
    head_.NoteEnd();
  }
  return true;
}

bool CurlExchange::Poll(std::chrono::milliseconds longest) {
  const auto wait = std::clamp(longest, std::chrono::milliseconds(1), kLongestPoll);
  const CURLMcode polled = curl_multi_poll(multi_, nullptr, 0, static_cast<int>(wait.count()), nullptr);
  if (polled != CURLM_OK) {
    error_text_ = curl_multi_strerror(polled);
    return false;
  }
  return true;
}

std::string CurlExchange::TransferErrorText(CURLcode code) const {
  if (error_buffer_[0] != '\0') return std::string(error_buffer_, strnlen(error_buffer_, sizeof(error_buffer_)));
  return curl_easy_strerror(code);
}

bool CurlExchange::EndedOnUnreadableStatus() const {
  if (end_code_ != CURLE_UNSUPPORTED_PROTOCOL && end_code_ != CURLE_WEIRD_SERVER_REPLY) return false;
  if (head_.status_line_seen()) return false;
  // Only a request that went out can have been answered with a line libcurl refused.
  long request_size = 0;
  return curl_easy_getinfo(easy_, CURLINFO_REQUEST_SIZE, &request_size) == CURLE_OK && request_size > 0;
}

bool CurlExchange::SecureConnectionPending() const {
  if (!https_) return false;
  curl_off_t handshake_done_us = 0;
  return curl_easy_getinfo(easy_, CURLINFO_APPCONNECT_TIME_T, &handshake_done_us) == CURLE_OK && handshake_done_us == 0;
}

Status CurlExchange::Send(std::chrono::milliseconds bound) {
  // A repeated Send() starts the request again from the beginning on the same easy handle.
  Detach();
  head_.Reset();
  answered_ = false;
  status_code_ = 0;
  reason_phrase_.clear();
  ended_ = false;
  end_code_ = CURLE_OK;
  end_text_.clear();
  paused_ = false;
  body_.clear();
  read_at_ = 0;
  error_text_.clear();
  error_buffer_[0] = '\0';

  if (proxy_credentials_pending_) {
    proxy_credentials_pending_ = false;
    // Up front, so that exactly one more request goes out: Basic needs no challenge, and for the
    // other schemes libcurl starts the handshake at once.
    CURLcode code = curl_easy_setopt(easy_, CURLOPT_PROXYUSERNAME, proxy_user_name_.c_str());
    if (code == CURLE_OK) code = curl_easy_setopt(easy_, CURLOPT_PROXYPASSWORD, proxy_password_.c_str());
    if (code == CURLE_OK) {
      const unsigned long schemes = proxy_offers_basic_ ? CURLAUTH_BASIC : (CURLAUTH_ANY & ~CURLAUTH_BASIC);
      code = curl_easy_setopt(easy_, CURLOPT_PROXYAUTH, schemes);
    }
    if (code != CURLE_OK) {
      error_text_ = curl_easy_strerror(code);
      return Failed(::StatusCode::kSendFailed);
    }
  }
  const auto connect_bound = std::max(bound, std::chrono::milliseconds(1));
  if (curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect_bound.count())) != CURLE_OK) {
    error_text_ = "The send bound could not be set";
    return Failed(::StatusCode::kSendFailed);
  }
  const CURLMcode added = curl_multi_add_handle(multi_, easy_);
  if (added != CURLM_OK) {
    error_text_ = curl_multi_strerror(added);
    return Failed(::StatusCode::kSendFailed);
  }
  attached_ = true;

  const std::string not_answered = "The request was not answered within " + std::to_string(bound.count()) + " ms";
  const Clock::time_point deadline = Clock::now() + bound;
  for (;;) {
    if (!Perform()) {
      Detach();
      return Failed(::StatusCode::kSendFailed);
    }
    if (head_.complete()) {
      answered_ = true;
      status_code_ = head_.status_code();
      reason_phrase_ = head_.reason_phrase();
      proxy_offers_basic_ = head_.proxy_offers_basic();
      return Status::Ok();
    }
    if (ended_) {
      if (EndedOnUnreadableStatus()) {
        answered_ = true;
        return Status::Ok();
      }
      if (end_code_ == CURLE_OK) {
        error_text_ = "The web server ended the response before its headers were complete";
        return Failed(::StatusCode::kSendFailed);
      }
      if (IsConnectFailure(end_code_) || SecureConnectionPending()) {
        error_text_ = end_text_;
        return Failed(::StatusCode::kConnectFailed);
      }
      error_text_ = end_code_ == CURLE_OPERATION_TIMEDOUT ? not_answered + " (" + end_text_ + ")" : end_text_;
      return Failed(::StatusCode::kSendFailed);
    }
    if (CancelRequested()) {
      Detach();
      error_text_ = "The request was cancelled";
      return Failed(::StatusCode::kCancelled);
    }
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      const bool connecting = SecureConnectionPending();
      // Abandoning the transfer closes its connection, as closing the request would.
      Detach();
      if (connecting) {
        error_text_ = "The TLS handshake did not end within " + std::to_string(bound.count()) + " ms";
        return Failed(::StatusCode::kConnectFailed);
      }
      error_text_ = not_answered;
      return Failed(::StatusCode::kSendFailed);
    }
    if (!Poll(std::chrono::ceil<std::chrono::milliseconds>(deadline - now))) {
      Detach();
      return Failed(::StatusCode::kSendFailed);
    }
  }
}

void CurlExchange::SetProxyCredentials(const std::string& user_name, const std::string& password) {
  proxy_user_name_ = user_name;
  proxy_password_ = password;
  proxy_credentials_pending_ = true;
}

Result<std::size_t> CurlExchange::Available() {
  if (!answered_) {
    error_text_ = "The request has not been answered";
    return Failed(::StatusCode::kReceiveFailed);
  }
  if (Buffered() > 0) {
    return Buffered();
  }
  if (paused_) {
    paused_ = false;
    // Hands the bytes held back at the pause to OnBody at once.
    const CURLcode resumed = curl_easy_pause(easy_, CURLPAUSE_CONT);
    if (resumed != CURLE_OK) {
      error_text_ = TransferErrorText(resumed);
      return Failed(::StatusCode::kReceiveFailed);
    }
  }
  const Clock::time_point started = Clock::now();
  for (;;) {
    if (Buffered() > 0) {
      return Buffered();
    }
    if (ended_) {
      if (end_code_ == CURLE_OK) return std::size_t{0};  // the response has ended
      error_text_ = end_text_;
      return Failed(::StatusCode::kReceiveFailed);
    }
    if (!attached_) {
      error_text_ = "The request has been abandoned";
      return Failed(::StatusCode::kReceiveFailed);
    }
    if (!Perform()) return Failed(::StatusCode::kReceiveFailed);
    if (Buffered() > 0 || ended_) continue;
    if (CancelRequested()) {
      error_text_ = "The request was cancelled";
      return Failed(::StatusCode::kCancelled);
    }
    std::chrono::milliseconds longest = kLongestPoll;
    if (receive_timeout_.count() > 0) {
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
      if (waited >= receive_timeout_) {
        error_text_ = "No data received for " + DurationText(receive_timeout_);
        return Failed(::StatusCode::kReceiveFailed);
      }
      longest = std::min(longest, receive_timeout_ - waited);
    }
    if (!Poll(longest)) return Failed(::StatusCode::kReceiveFailed);
  }
}

Result<std::size_t> CurlExchange::Read(char* buffer, std::size_t size) {
  const std::size_t copied = std::min(size, Buffered());
  if (copied > 0) std::memcpy(buffer, body_.data() + read_at_, copied);
  read_at_ += copied;
  if (read_at_ == body_.size()) {
    // Everything read: the buffer starts again at its beginning, keeping its capacity.
    body_.clear();
    read_at_ = 0;
  }
  return copied;
}

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(CURLcode global_init) : global_init_(global_init) {}

  Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions& options,
                                             std::function<bool()> cancel_requested) override {
    if (global_init_ != CURLE_OK) {
      return HttpFailure(::StatusCode::kResourceExhausted,
                         std::string("The network layer could not be initialised: ") + curl_easy_strerror(global_init_));
    }
    return CurlExchange::Open(options, std::move(cancel_requested));
  }

 private:
  const CURLcode global_init_;  // fixed at construction
};

}  // namespace

void TEST_TrustCertificates(const std::string& path) {
  std::lock_guard<std::mutex> hold(g_trusted_certificates_mutex);
  g_trusted_certificates = path;
}

HttpClient& SystemHttpClient() {
  static std::once_flag initialised;
  static CURLcode global_init = CURLE_OK;
  std::call_once(initialised, [] { global_init = curl_global_init(CURL_GLOBAL_DEFAULT); });
  static CurlHttpClient client(global_init);
  return client;
}
