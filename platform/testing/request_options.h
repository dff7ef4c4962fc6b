// Request options as the tests of the HTTP layer start from: a direct GET of `target` on
// `host`:`port` with the monitor's user agent.
#pragma once

#include <string>
#include <utility>

#include "platform/http.h"

inline HttpRequestOptions OptionsFor(std::string host, int port, std::string target) {
  HttpRequestOptions options;
  options.host = std::move(host);
  options.port = port;
  options.target = std::move(target);
  options.user_agent = "Mozilla/4.5 [en] (WinNT; I)";
  options.proxy_mode = ProxyMode::kDirect;
  return options;
}
