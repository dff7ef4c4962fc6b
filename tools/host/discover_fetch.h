// Reading copies of a server's statistics page for counter discovery, the way the plug-in reads
// them: one GET of the statistics URL whose response is an endless stream, cut into copies at
// the delimiter "THIS_STRING_NEVER_HAPPENS" (a copy runs from one delimiter to the next; text
// before the first delimiter is never a copy), over the same route as the plug-in's own fetches:
// the web server's credentials, HTTPS with or without the certificate check (verifyServer), and
// the proxy of the configuration's ProxySettings (useProxy, httpProxy, proxyDomain,
// proxyUsername, proxyPassword; credentials answered to a proxy's 407).
//
// The host reads the page itself, over libcurl as the plug-in does, because the plug-in hands
// out numbers, not pages.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tools/host/discover.h"

namespace sarvik_host {

// Where and how the page is read.
struct PageSource {
  std::string host;  // as the plug-in connects to it: TrimHost of the host text
  int port = 80;
  std::string url;   // the request target, sent as given
  std::string login;
  std::string password;
  bool https = false;
  // From the configuration.
  bool verify_server = true;
  int use_proxy = 1;  // exactly 1: a proxy (httpProxy, or the environment's when empty)
  std::string http_proxy;
  std::string proxy_user;  // "domain\\user" when a domain is configured
  std::string proxy_password;
};

// The source for a resolved user-data string "PORT|URL|LOGIN|PASSWORD[|SCHEME]", host text
// `host_text` and `configuration` (its [ProxySettings] and verifyServer). False with `*error`
// when the user data cannot be read.
[[nodiscard]] bool MakePageSource(const std::string& host_text, const std::string& user_data,
                                  const CounterConfiguration& configuration, PageSource* source, std::string* error);

struct PageCopies {
  std::vector<std::string> copies;  // the complete copies read, at most two
  std::string error;                // why none could be read; empty when one was
  bool stopped = false;             // `stop` asked to end
};

// Reads the first complete copy of the stream within `first_bound`, and a second one when it
// comes within `second_bound` after the first. `stop` is asked every few tens of milliseconds;
// true ends the read at once.
PageCopies ReadPageCopies(const PageSource& source, std::chrono::milliseconds first_bound,
                          std::chrono::milliseconds second_bound, const std::function<bool()>& stop);

// The copies of `stream` as the plug-in cuts them when it reads `stream` at once, for tests of
// the cut: of the texts from one delimiter up to the next, the latest.
std::vector<std::string> CutCopies(std::string_view stream);

}  // namespace sarvik_host
