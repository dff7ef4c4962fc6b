// The statistics stream over WinINet, one internet handle, connection and request per exchange.
//
// The send runs on a thread of its own and is bounded by closing the internet handle, which
// aborts whatever WinINet is doing below it; the same close ends a wait for body data when
// another thread wakes the exchange. Closing the handles is guarded by a lock, so that each is
// closed once, whichever thread gets there first.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/http.h"
#include "platform/mutex.h"

namespace {

constexpr const char* kNoErrorText = "Not available";
// FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS.
constexpr DWORD kErrorTextFlags = 0x1A00;
constexpr DWORD kErrorTextSize = 1024;
// How often a wait for the send asks the cancel check when nobody wakes it.
constexpr DWORD kSendPollMs = 100;

// The readable text of WinINet's (or the system's) error number `error`: "Not available" for 0.
std::string ErrorText(DWORD error) {
  if (error == 0) return kNoErrorText;
  static const HMODULE wininet = LoadLibraryA("Wininet.dll");
  char buffer[kErrorTextSize] = {};
  const DWORD length =
      FormatMessageA(kErrorTextFlags, wininet, error, 0, buffer, static_cast<DWORD>(sizeof buffer), nullptr);
  std::string text(buffer, std::min<DWORD>(length, kErrorTextSize - 1));
  // The system ends its texts with a line break, which has no place inside a message.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  if (text.empty()) return "WinINet error " + std::to_string(error);
  return text;
}

Status Failure(StatusCode code, DWORD error) { return Status::Failure(code, ErrorText(error), static_cast<int>(error)); }

// Failures of reaching the server at all: its name, its port, or (for HTTPS) the secure channel
// and the server's certificate.
bool IsConnectError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return true;
    default:
      return false;
  }
}

class WinInetExchange final : public HttpExchange {
 public:
  explicit WinInetExchange(std::function<bool()> cancel_requested)
      : cancel_requested_(std::move(cancel_requested)), wake_event_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

  ~WinInetExchange() override {
    CloseHandles();
    if (wake_event_ != nullptr) CloseHandle(wake_event_);
  }

  WinInetExchange(const WinInetExchange&) = delete;
  WinInetExchange& operator=(const WinInetExchange&) = delete;

  Status Open(const HttpRequestOptions& options) {
    if (wake_event_ == nullptr) return Failure(StatusCode::kResourceExhausted, GetLastError());
    DWORD access = INTERNET_OPEN_TYPE_DIRECT;
    const char* proxy = nullptr;
    switch (options.proxy_mode) {
      case ProxyMode::kSystem:
        access = INTERNET_OPEN_TYPE_PRECONFIG;
        break;
      case ProxyMode::kNamed:
        access = INTERNET_OPEN_TYPE_PROXY;
        if (!options.proxy_server.empty()) proxy = options.proxy_server.c_str();
        break;
      case ProxyMode::kDirect:
      default:
        access = INTERNET_OPEN_TYPE_DIRECT;
        break;
    }
    const HINTERNET internet = InternetOpenA(options.user_agent.c_str(), access, proxy, nullptr, 0);
    if (internet == nullptr) return Failure(StatusCode::kResourceExhausted, GetLastError());
    {
      MutexLock hold(handles_mutex_);
      internet_ = internet;
    }
    // Body data may take this long between two pushes of the page; the headers are bounded by
    // the send (see Send).
    DWORD receive_ms = static_cast<DWORD>(std::max<long long>(1, options.receive_timeout.count()));
    receive_timeout_ms_ = receive_ms;
    (void)InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive_ms, sizeof receive_ms);

    if (options.port < 1 || options.port > 65535) {
      return Status::Failure(StatusCode::kInvalidAddress, ErrorText(ERROR_INTERNET_INVALID_URL),
                             ERROR_INTERNET_INVALID_URL);
    }
    std::string host = options.host;
    // WinINet takes an IPv6 literal without its brackets.
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    connection_ = InternetConnectA(internet, host.c_str(), static_cast<INTERNET_PORT>(options.port),
                                   options.login.empty() ? nullptr : options.login.c_str(),
                                   options.password.empty() ? nullptr : options.password.c_str(),
                                   INTERNET_SERVICE_HTTP, 0, 0);
    if (connection_ == nullptr) return Failure(StatusCode::kInvalidAddress, GetLastError());

    const char* accepted[] = {"*/*", nullptr};
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (options.keep_connection) flags |= INTERNET_FLAG_KEEP_CONNECTION;
    const bool secure = options.scheme == HttpScheme::kHttps;
    if (secure) flags |= INTERNET_FLAG_SECURE;
    if (secure && !options.verify_server) flags |= INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
    const std::string target = options.target.empty() ? "/" : options.target;
    request_ = HttpOpenRequestA(connection_, "GET", target.c_str(), nullptr, nullptr, accepted, flags, 0);
    if (request_ == nullptr) return Failure(StatusCode::kInvalidArgument, GetLastError());
    if (secure && !options.verify_server) {
      // Any certificate, a self-signed one included.
      DWORD security = 0;
      DWORD length = sizeof security;
      (void)InternetQueryOptionA(request_, INTERNET_OPTION_SECURITY_FLAGS, &security, &length);
      security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                  SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_REVOCATION;
      (void)InternetSetOptionA(request_, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
    }
    return Status::Ok();
  }

  Status Send(std::chrono::milliseconds bound) override {
    if (Cancelled()) return Status::Failure(StatusCode::kCancelled, "cancelled");
    // Waiting for the status line is the send's part; a stalled peer cannot hold it past the bound
    // even where closing the handle would not interrupt the wait.
    DWORD headers_ms = static_cast<DWORD>(std::max<long long>(1, bound.count()) + 1000);
    (void)InternetSetOptionA(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &headers_ms, sizeof headers_ms);

    SendJob job{request_, 0};
    const HANDLE thread = CreateThread(nullptr, 0, &SendThread, &job, 0, nullptr);
    if (thread == nullptr) return Failure(StatusCode::kSendFailed, GetLastError());

    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max<long long>(0, bound.count()));
    bool timed_out = false;
    bool cancelled = false;
    const HANDLE waits[] = {thread, wake_event_};
    for (;;) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) {
        timed_out = true;
        break;
      }
      const DWORD slice = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, kSendPollMs));
      const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, slice);
      if (woke == WAIT_OBJECT_0) break;
      if (Cancelled()) {
        cancelled = true;
        break;
      }
    }
    if (timed_out || cancelled) {
      // Closing the internet handle aborts the pending send; the thread then ends on its own.
      CloseInternet();
      WaitForSingleObject(thread, INFINITE);
    }
    DWORD exit_code = 1;
    const bool read_exit = GetExitCodeThread(thread, &exit_code) != 0;
    CloseHandle(thread);

    if (cancelled || (Cancelled() && (timed_out || !read_exit || exit_code != 0))) {
      return Status::Failure(StatusCode::kCancelled, "cancelled");
    }
    if (timed_out) {
      // WinINet's own text for a time-out does not say which bound ran out.
      return Status::Failure(StatusCode::kSendFailed,
                             "The request was not answered within " + std::to_string(bound.count()) + " ms",
                             ERROR_INTERNET_TIMEOUT);
    }
    if (!read_exit || exit_code != 0) {
      return Failure(IsConnectError(job.error) ? StatusCode::kConnectFailed : StatusCode::kSendFailed, job.error);
    }
    // A server that closes the connection without a byte leaves WinINet an empty answer, which
    // it accepts; no status line arrived, so the send has failed.
    if (StatusCode() == 0 && RawHeadersBlank()) {
      return Failure(StatusCode::kSendFailed, ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    DWORD receive_ms = receive_timeout_ms_;
    (void)InternetSetOptionA(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive_ms, sizeof receive_ms);
    return Status::Ok();
  }

  int StatusCode() const override {
    DWORD status = 0;
    DWORD length = sizeof status;
    if (!HttpQueryInfoA(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, nullptr)) return 0;
    return static_cast<int>(status);
  }

  std::string ReasonPhrase() const override {
    DWORD length = 0;
    (void)HttpQueryInfoA(request_, HTTP_QUERY_STATUS_TEXT, nullptr, &length, nullptr);
    if (length == 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    DWORD size = length + 1;
    if (!HttpQueryInfoA(request_, HTTP_QUERY_STATUS_TEXT, text.data(), &size, nullptr)) return {};
    text.resize(std::min<std::size_t>(size, text.size()));
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    return text;
  }

  void SetProxyCredentials(const std::string& user_name, const std::string& password) override {
    // Each passed with its terminating NUL counted.
    (void)InternetSetOptionA(request_, INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(user_name.c_str()),
                             static_cast<DWORD>(user_name.size() + 1));
    (void)InternetSetOptionA(request_, INTERNET_OPTION_PROXY_PASSWORD, const_cast<char*>(password.c_str()),
                             static_cast<DWORD>(password.size() + 1));
  }

  Result<std::size_t> Available() override {
    if (Cancelled()) return Status::Failure(StatusCode::kCancelled, "cancelled");
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request_, &available, 0, 0)) {
      const DWORD error = GetLastError();
      if (Cancelled()) return Status::Failure(StatusCode::kCancelled, "cancelled");
      return Failure(StatusCode::kReceiveFailed, error);
    }
    return static_cast<std::size_t>(available);
  }

  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    if (Cancelled()) return Status::Failure(StatusCode::kCancelled, "cancelled");
    DWORD read = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
    if (!InternetReadFile(request_, buffer, want, &read)) {
      const DWORD error = GetLastError();
      if (Cancelled()) return Status::Failure(StatusCode::kCancelled, "cancelled");
      return Failure(StatusCode::kReceiveFailed, error);
    }
    return static_cast<std::size_t>(read);
  }

  // Closes the internet handle, which ends any wait of the exchange at once: WinINet cannot be
  // woken otherwise. Every later step then reports kCancelled, or a broken exchange when the
  // cancel check does not ask to stop.
  void Wake() override {
    CloseInternet();
    if (wake_event_ != nullptr) SetEvent(wake_event_);
  }

 private:
  struct SendJob {
    HINTERNET request;
    DWORD error;
  };

  static DWORD WINAPI SendThread(void* argument) {
    SendJob* job = static_cast<SendJob*>(argument);
    if (HttpSendRequestA(job->request, nullptr, 0, nullptr, 0)) return 0;
    job->error = GetLastError();
    return 1;
  }

  // Whether the response brought no status line or header at all (nothing but line ends).
  bool RawHeadersBlank() const {
    DWORD length = 0;
    (void)HttpQueryInfoA(request_, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &length, nullptr);
    if (length == 0) return true;
    std::string headers(static_cast<std::size_t>(length) + 1, '\0');
    DWORD size = length + 1;
    if (!HttpQueryInfoA(request_, HTTP_QUERY_RAW_HEADERS_CRLF, headers.data(), &size, nullptr)) return true;
    return headers.find_first_not_of(std::string("\r\n \t\0", 5)) == std::string::npos;
  }

  bool Cancelled() const { return cancel_requested_ && cancel_requested_(); }

  void CloseInternet() {
    MutexLock hold(handles_mutex_);
    if (internet_ != nullptr) InternetCloseHandle(internet_);
    internet_ = nullptr;
    internet_closed_ = true;
  }

  // Request, connection, then the internet handle. Once the internet handle is closed its
  // children are gone with it and are not closed again.
  void CloseHandles() {
    MutexLock hold(handles_mutex_);
    if (!internet_closed_) {
      if (request_ != nullptr) InternetCloseHandle(request_);
      if (connection_ != nullptr) InternetCloseHandle(connection_);
      if (internet_ != nullptr) InternetCloseHandle(internet_);
    }
    request_ = nullptr;
    connection_ = nullptr;
    internet_ = nullptr;
    internet_closed_ = true;
  }

  const std::function<bool()> cancel_requested_;
  const HANDLE wake_event_;
  DWORD receive_timeout_ms_ = 0;
  // Used by the owning thread only; valid until the internet handle is closed.
  HINTERNET connection_ = nullptr;
  HINTERNET request_ = nullptr;
  Mutex handles_mutex_;
  HINTERNET internet_ GUARDED_BY(handles_mutex_) = nullptr;
  bool internet_closed_ GUARDED_BY(handles_mutex_) = false;
};

class WinInetClient final : public HttpClient {
 public:
  Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions& options,
                                             std::function<bool()> cancel_requested) override {
    auto exchange = std::make_unique<WinInetExchange>(std::move(cancel_requested));
    const Status opened = exchange->Open(options);
    if (!opened.ok()) return opened;
    return std::unique_ptr<HttpExchange>(std::move(exchange));
  }
};

}  // namespace

HttpClient& SystemHttpClient() {
  static WinInetClient client;
  return client;
}

// WinINet trusts the system's certificate store alone; a test's own authority would have to be
// installed there. Accepted and ignored, so that the tests that need it are the Linux ones.
void TEST_TrustCertificates(const std::string& /*path*/) {}
