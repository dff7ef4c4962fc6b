#include "tools/host/discover_fetch.h"

#if !defined(_WIN32)
#include <curl/curl.h>
#endif

#include <cctype>
#include <mutex>

#include "tools/host/targets.h"

namespace sarvik_host {

namespace {

constexpr std::string_view kDelimiter = "THIS_STRING_NEVER_HAPPENS";
// The plug-in's stream buffer: this many characters at most wait for their delimiter.
constexpr std::size_t kStreamRoom = 16383;

// Cuts a stream into copies with the plug-in's rules: after every read, the text from the earlier
// of the last two delimiters up to the later one is a copy, and the rest waits; a buffer that
// fills up without a copy is dropped.
class CopyCutter {
 public:
  // Takes `bytes` as the plug-in's reads would (never more than the room left at a time).
  void Take(std::string_view bytes, std::vector<std::string>* copies) {
    while (!bytes.empty()) {
      const std::size_t room = kStreamRoom - buffer_.size();
      const std::size_t count = std::min(room, bytes.size());
      buffer_.append(bytes.substr(0, count));
      bytes.remove_prefix(count);
      Cut(copies);
    }
  }

 private:
  void Cut(std::vector<std::string>* copies) {
    std::size_t earlier = std::string::npos;
    std::size_t later = std::string::npos;
    for (std::size_t from = 0; from <= buffer_.size();) {
      const std::size_t match = buffer_.find(kDelimiter, from);
      if (match == std::string::npos) break;
      earlier = later;
      later = match;
      from = match + kDelimiter.size() + 1;
    }
    if (earlier != std::string::npos) {
      copies->push_back(buffer_.substr(earlier, later - earlier));
      buffer_.erase(0, later);
      return;
    }
    if (buffer_.size() == kStreamRoom) buffer_.clear();
  }

  std::string buffer_;
};

#if !defined(_WIN32)
struct Transfer {
  CURL* easy = nullptr;
  CopyCutter cutter;
  std::vector<std::string> copies;
  std::chrono::steady_clock::time_point first_deadline;
  std::chrono::steady_clock::time_point second_deadline{};
  std::chrono::milliseconds second_bound{};
  const std::function<bool()>* stop = nullptr;
  bool stopped = false;
  bool timed_out = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* context) noexcept {
  auto* transfer = static_cast<Transfer*>(context);
  long status = 0;
  curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
  // The body of a challenge that libcurl answers itself, or of a failure, is not the page.
  if (status != 200) return size * count;
  try {
    const bool had_copy = !transfer->copies.empty();
    transfer->cutter.Take(std::string_view(data, size * count), &transfer->copies);
    if (!had_copy && !transfer->copies.empty()) {
      transfer->second_deadline = std::chrono::steady_clock::now() + transfer->second_bound;
    }
  } catch (...) {
    return 0;
  }
  return size * count;
}

// Whether the transfer must end now: asked to stop, or past its bound.
bool Over(Transfer* transfer) {
  bool stop = true;
  try {
    stop = (*transfer->stop)();
  } catch (...) {
  }
  if (stop) {
    transfer->stopped = true;
    return true;
  }
  const auto now = std::chrono::steady_clock::now();
  if (transfer->copies.empty() ? now >= transfer->first_deadline : now >= transfer->second_deadline) {
    transfer->timed_out = true;
    return true;
  }
  return false;
}

// Runs the transfer until it ends by itself, has two copies, or is Over(); its result code
// (CURLE_OK when it ended early).
CURLcode RunTransfer(Transfer* transfer) {
  CURLM* multi = curl_multi_init();
  if (multi == nullptr) return CURLE_OUT_OF_MEMORY;
  CURLcode code = CURLE_OK;
  if (curl_multi_add_handle(multi, transfer->easy) != CURLM_OK) {
    curl_multi_cleanup(multi);
    return CURLE_OUT_OF_MEMORY;
  }
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) {
      code = CURLE_RECV_ERROR;
      break;
    }
    int queued = 0;
    bool done = false;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        code = message->data.result;
        done = true;
      }
    }
    if (done || running == 0 || transfer->copies.size() >= 2 || Over(transfer)) break;
    // A stop signal is seen within a tenth of a second.
    curl_multi_poll(multi, nullptr, 0, 100, nullptr);
  }
  curl_multi_remove_handle(multi, transfer->easy);
  curl_multi_cleanup(multi);
  return code;
}

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
#endif

}  // namespace

bool MakePageSource(const std::string& host_text, const std::string& user_data,
                    const CounterConfiguration& configuration, PageSource* source, std::string* error) {
  if (!CheckUserData(user_data, error)) return false;
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t bar = user_data.find('|'); ; bar = user_data.find('|', start)) {
    fields.push_back(user_data.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  source->host = std::string(TrimHost(host_text));
  source->port = std::stoi(fields[0]);
  source->url = fields[1];
  source->login = fields[2];
  source->password = fields[3];
  std::string scheme = fields.size() > 4 ? fields[4] : "";
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  source->https = scheme == "https";

  std::string verify = configuration.Value("Netscape", "verifyServer", "1");
  source->verify_server = verify != "0";
  const std::string use_proxy = configuration.Value("ProxySettings", "useProxy", "1");
  source->use_proxy = use_proxy.empty() ? 1 : std::atoi(use_proxy.c_str());
  source->http_proxy = configuration.Value("ProxySettings", "httpProxy");
  const std::string domain = configuration.Value("ProxySettings", "proxyDomain");
  const std::string user = configuration.Value("ProxySettings", "proxyUsername");
  source->proxy_user = domain.empty() ? user : domain + "\\" + user;
  source->proxy_password = configuration.Value("ProxySettings", "proxyPassword");
  return true;
}

std::vector<std::string> CutCopies(std::string_view stream) {
  CopyCutter cutter;
  std::vector<std::string> copies;
  cutter.Take(stream, &copies);
  return copies;
}

#if defined(_WIN32)
PageCopies ReadPageCopies(const PageSource&, std::chrono::milliseconds, std::chrono::milliseconds,
                          const std::function<bool()>&) {
  PageCopies result;
  result.error = "discover reads the page over libcurl, which the Windows edition of sarvik-host is built without";
  return result;
}
#else
PageCopies ReadPageCopies(const PageSource& source, std::chrono::milliseconds first_bound,
                          std::chrono::milliseconds second_bound, const std::function<bool()>& stop) {
  InitialiseCurlOnce();
  PageCopies result;
  Transfer transfer;
  transfer.easy = curl_easy_init();
  if (transfer.easy == nullptr) {
    result.error = "libcurl could not start a transfer";
    return result;
  }
  transfer.stop = &stop;
  transfer.first_deadline = std::chrono::steady_clock::now() + first_bound;
  transfer.second_bound = second_bound;

  char error_buffer[CURL_ERROR_SIZE] = "";
  curl_slist* headers = nullptr;
  for (const char* header : {"Accept: */*", "Cache-Control: no-cache", "Pragma: no-cache"}) {
    curl_slist* appended = curl_slist_append(headers, header);
    if (appended != nullptr) headers = appended;
  }
  CURL* easy = transfer.easy;
  const std::string origin = std::string(source.https ? "https://" : "http://") + source.host + ":" +
                             std::to_string(source.port);
  const bool relative = !source.url.empty() && source.url.front() == '/';
  const std::string url = relative ? origin + source.url : origin + "/";
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  // The target exactly as configured: no dot segments removed; an absolute one sent as it is.
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  if (!relative) curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, source.url.c_str());
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, error_buffer);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/4.5 [en] (WinNT; I)");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min<long long>(first_bound.count(), 8000)));
  if (source.use_proxy != 1) {
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
  } else if (!source.http_proxy.empty()) {
    curl_easy_setopt(easy, CURLOPT_PROXY, source.http_proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  }
  if (source.use_proxy == 1 && !source.proxy_user.empty()) {
    // Offered only after the proxy asks (407), as the plug-in does.
    curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, source.proxy_user.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, source.proxy_password.c_str());
    curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
  }
  if (source.https) {
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, source.verify_server ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, source.verify_server ? 2L : 0L);
  }
  if (!source.login.empty()) {
    curl_easy_setopt(easy, CURLOPT_USERNAME, source.login.c_str());
    curl_easy_setopt(easy, CURLOPT_PASSWORD, source.password.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_ANY));
  }
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, static_cast<void*>(&transfer));

  const CURLcode code = RunTransfer(&transfer);
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(easy);
  curl_slist_free_all(headers);

  result.copies = std::move(transfer.copies);
  result.stopped = transfer.stopped;
  if (!result.copies.empty() || result.stopped) return result;
  const std::string where = origin + source.url;
  if (status != 0 && status != 200) {
    result.error = "the server answered " + std::to_string(status) + " for " + where;
  } else if (transfer.timed_out) {
    result.error = "no complete copy of the page came from " + where + " within " +
                   std::to_string(first_bound.count() / 1000) + " s (a copy runs from one " + std::string(kDelimiter) +
                   " to the next)";
  } else if (code != CURLE_OK) {
    result.error = where + ": " + (error_buffer[0] != '\0' ? std::string(error_buffer) : curl_easy_strerror(code));
  } else {
    result.error = "the answer from " + where + " ended without a complete copy of the page (a copy runs from one " +
                   std::string(kDelimiter) + " to the next)";
  }
  return result;
}
#endif

}  // namespace sarvik_host
