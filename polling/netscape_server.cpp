#include "polling/netscape_server.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "platform/files.h"
#include "platform/plinth.h"
#include "platform/process.h"
#include "polling/stream_splitter.h"

namespace {

// Catalogue messages of the fetch cycle.
constexpr std::int32_t kMsgStreamEnded = -47483;
constexpr std::int32_t kMsgUnexpectedStatus = -47484;
constexpr std::int32_t kMsgReadFailed = -47491;
constexpr std::int32_t kMsgAvailableFailed = -47492;
constexpr std::int32_t kMsgSendFailed = -47494;
constexpr std::int32_t kMsgRequestFailed = -47495;
constexpr std::int32_t kMsgConnectFailed = -47496;
constexpr std::int32_t kMsgNetworkFailed = -47497;

constexpr char kOperation[] = "GetMonitorData";
constexpr char kQualifiedOperation[] = "NetscapeServer::GetMonitorData";
constexpr char kPasswordMask[] = ":<password>@";

// A slice of the pauses inside a cycle, so that an inactive server ends promptly.
constexpr std::chrono::milliseconds kActivityCheck{100};

// The notice of a source whose certificate is taken unchecked, or nothing.
std::string UncheckedCertificateNotice(const ServerParams& params, const ProxySettings& proxy) {
  if (params.scheme != HttpScheme::kHttps || proxy.verify_server) return {};
  return "The certificate of https://" + params.host + ":" + std::to_string(params.port) +
         " is not checked (verifyServer=0 in the configuration): neither who signed it nor the host name it names";
}

}  // namespace

CNetscapeServer::CNetscapeServer(const ServerParams& params, const ProxySettings& proxy, HttpClient& http,
                                 std::uint64_t serial)
    : params_(params),
      key_(MakeServerKey(params)),
      serial_(serial),
      proxy_(proxy),
      http_(http),
      dump_file_(GetEnvironment("QOR_NS_MON_FILE")),
      notice_(UncheckedCertificateNotice(params, proxy)) {}

CNetscapeServer::~CNetscapeServer() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

bool CNetscapeServer::StartPolling() {
  polling_ = true;
  try {
    thread_ = std::thread(&CNetscapeServer::PollingLoop, this);
  } catch (const std::system_error&) {
    polling_ = false;
    return false;
  }
  return true;
}

bool CNetscapeServer::AddActivation(bool wake) {
  MutexLock hold(state_mutex_);
  if (stopped_) return false;
  ++activation_count_;
  if (!active_.load() && wake) wake_event_.Signal();
  active_.store(true);
  return true;
}

void CNetscapeServer::ReleaseActivation() {
  MutexLock hold(state_mutex_);
  ReleaseActivationLocked();
}

void CNetscapeServer::ReleaseActivationLocked() {
  if (activation_count_ > 0) --activation_count_;
  if (activation_count_ == 0 && active_.exchange(false)) WakeExchange();
}

void CNetscapeServer::RequestStop() {
  MutexLock hold(state_mutex_);
  if (stopped_) return;
  activation_count_ = 0;
  active_.store(false);
  wake_event_.Signal();
  WakeExchange();
}

void CNetscapeServer::WakeExchange() {
  MutexLock hold(exchange_mutex_);
  if (exchange_ != nullptr) exchange_->Wake();
}

bool CNetscapeServer::WaitForNextCycle() {
  (void)wake_event_.WaitFor(kCyclePause);
  MutexLock hold(state_mutex_);
  stopped_ = !active_.load();
  return stopped_;
}

bool CNetscapeServer::stopped() const {
  MutexLock hold(state_mutex_);
  return stopped_;
}

bool CNetscapeServer::TakeNotice(std::string* text) {
  if (notice_.empty() || notice_said_.exchange(true)) return false;
  *text = notice_;
  return true;
}

int CNetscapeServer::activation_count() const {
  MutexLock hold(state_mutex_);
  return activation_count_;
}

void CNetscapeServer::PublishSnapshot(const char* text, std::size_t length) {
  SampleTime now{};
  os_gettimeofday(&now);
  // A copy longer than the store keeps its beginning, where the counters of the page stand.
  length = std::min(length, kSnapshotCapacity - 1);
  MutexLock hold(data_mutex_);
  if (length > 0) std::memcpy(snapshot_, text, length);
  snapshot_[length] = '\0';
  snapshot_length_ = length;
  snapshot_time_ = now;
}

std::size_t CNetscapeServer::CopySnapshot(char* buffer, std::size_t capacity, SampleTime* time) const {
  MutexLock hold(data_mutex_);
  if (time != nullptr) *time = snapshot_time_;
  if (buffer == nullptr || capacity == 0) return 0;
  const std::size_t length = std::min(snapshot_length_, capacity - 1);
  std::memcpy(buffer, snapshot_, length);
  buffer[length] = '\0';
  return length;
}

void CNetscapeServer::PollingLoop() {
  NameCurrentThread(kPollingThreadName);
  for (;;) {
    int result = 3;
    try {
      result = GetMonitorData();
    } catch (...) {
      // Memory ran out inside the cycle: it counts as a failed cycle.
    }
    if (result != 0) ReleaseActivation();
    if (WaitForNextCycle()) return;
  }
}

int CNetscapeServer::GetMonitorData() { return dump_file_ ? ReadDumpFile() : FetchFromNetwork(); }

int CNetscapeServer::ReadDumpFile() {
  while (active_.load()) {
    std::string page;
    if (!ReadFileStart(*dump_file_, &page, kDumpReadSize).ok()) break;
    PublishSnapshot(page.c_str(), std::strlen(page.c_str()));
    for (auto waited = std::chrono::milliseconds(0); waited < kDumpPause && active_.load(); waited += kActivityCheck) {
      std::this_thread::sleep_for(kActivityCheck);
    }
  }
  return 3;
}

void CNetscapeServer::RecordFailure(int code, std::int32_t message_id,
                                    std::initializer_list<MessageArgument> arguments) {
  error_record_.RecordError(code, message_id, arguments);
}

void CNetscapeServer::FailCycle(int code, std::int32_t message_id, std::initializer_list<MessageArgument> arguments) {
  // Recorded before the snapshot goes, so that a reader who finds no snapshot finds this failure.
  RecordFailure(code, message_id, arguments);
  PublishSnapshot(nullptr, 0);
}

int CNetscapeServer::FetchFromNetwork() {
  const ServerParams& p = params_;
  HttpRequestOptions options;
  options.scheme = p.scheme;
  options.verify_server = proxy_.verify_server;
  options.host = p.host;
  options.port = p.port;
  options.login = p.login;
  options.password = p.password;
  options.target = p.url;
  options.user_agent = kStatisticsUserAgent;
  options.proxy_mode = proxy_.access_type;
  options.proxy_server = proxy_.proxy_server;
  options.keep_connection = proxy_.keep_connection;
  options.receive_timeout = kReceiveTimeout;

  // A polling server ends its waits once it has no activation left; the one-shot server of a
  // connection test is never active and waits as long as the transport allows.
  auto cancel_requested = [this] { return polling_ && !active_.load(); };

  Result<std::unique_ptr<HttpExchange>> opened = http_.Open(options, cancel_requested);
  if (!opened.ok()) {
    error_text_ = opened.status().message();
    if (error_text_.empty()) error_text_ = "Not available";
    switch (opened.status().code()) {
      case StatusCode::kResourceExhausted:
        FailCycle(11, kMsgNetworkFailed, {p.host, error_text_, kOperation});
        return 3;
      case StatusCode::kInvalidAddress:
        FailCycle(20, kMsgConnectFailed, {p.host, std::to_string(p.port), p.login, error_text_, kOperation});
        return 4;
      case StatusCode::kInvalidArgument:
      default:
        FailCycle(12, kMsgRequestFailed, {p.host, p.url, p.port, error_text_, kOperation});
        return 5;
    }
  }
  const std::unique_ptr<HttpExchange> exchange = std::move(opened).value();
  // Registered while it exists, so that the last release of an activation can wake its waits.
  struct Registration {
    CNetscapeServer& server;
    Registration(CNetscapeServer& owner, HttpExchange* exchange) : server(owner) {
      MutexLock hold(server.exchange_mutex_);
      server.exchange_ = exchange;
    }
    ~Registration() {
      MutexLock hold(server.exchange_mutex_);
      server.exchange_ = nullptr;
    }
  } registration(*this, exchange.get());

  bool proxy_credentials_sent = false;
  for (;;) {
    const Status sent = exchange->Send(kSendBound);
    if (sent.code() == StatusCode::kCancelled) return 0;
    if (!sent.ok()) {
      error_text_ = sent.message();
      if (sent.code() == StatusCode::kConnectFailed) {
        FailCycle(20, kMsgConnectFailed, {p.host, std::to_string(p.port), p.login, error_text_, kOperation});
        return 4;
      }
      FailCycle(13, kMsgSendFailed, {p.host, p.login, p.host, p.port, p.url, error_text_, kOperation});
      return 6;
    }
    const int status = exchange->StatusCode();
    if (status == 200) break;
    if (status == 407 && !proxy_credentials_sent) {
      proxy_credentials_sent = true;
      exchange->SetProxyCredentials(proxy_.user_name, proxy_.password);
      continue;
    }
    const std::string reason = exchange->ReasonPhrase();
    FailCycle(14, kMsgUnexpectedStatus,
                  {status, reason, p.login + kPasswordMask, p.host, p.port, p.url, kQualifiedOperation});
    return 7;
  }

  StreamSplitter splitter;
  const StreamSplitter::CopyReceiver publish = [this](const char* text, std::size_t length) {
    PublishSnapshot(text, length);
  };
  for (;;) {
    const Result<std::size_t> waited = exchange->Available();
    if (waited.status().code() == StatusCode::kCancelled) return 0;
    if (!waited.ok()) {
      error_text_ = waited.status().message();
      FailCycle(15, kMsgAvailableFailed, {p.host, error_text_, kOperation});
      return 8;
    }
    const std::size_t available = *waited;
    if (available == 0) {
      RecordFailure(13, kMsgStreamEnded, {p.host, p.login, p.host, p.port, p.url, kQualifiedOperation});
      return 0;
    }
    const Result<std::size_t> read = exchange->Read(splitter.write_position(), std::min(available, splitter.free_room()));
    if (read.status().code() == StatusCode::kCancelled) return 0;
    if (!read.ok()) {
      error_text_ = read.status().message();
      FailCycle(16, kMsgReadFailed, {p.host, error_text_, kOperation});
      return 9;
    }
    const StreamSplitter::Outcome outcome = splitter.Commit(*read, publish);
    if (outcome.discarded_undelivered) {
      RecordFailure(13, kMsgStreamEnded, {p.host, p.login, p.host, p.port, p.url, kQualifiedOperation});
    }
    if (!active_.load()) return 0;
  }
}
