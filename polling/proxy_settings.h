// The proxy use of every fetch, read once from section "ProxySettings" of the configuration
// when the monitor starts:
// - useProxy (default 1): exactly 1 uses a proxy, anything else connects directly and ignores
//   the other keys;
// - httpProxy: the proxy to use; empty means the system's proxy settings;
// - proxyDomain, proxyUsername, proxyPassword: the credentials answered to a proxy's 407; with a
//   domain the user name is "domain\user".
// A settings value never changes after it is read, so any thread may read it.
#pragma once

#include <string>

#include "platform/http.h"
#include "platform/profile.h"

struct ProxySettings {
  std::string user_name;
  std::string password;
  std::string proxy_server;
  ProxyMode access_type = ProxyMode::kDirect;
  bool keep_connection = false;

  // The settings of `profile` (a missing section gives the system's proxy with no credentials).
  static ProxySettings Read(const Profile& profile);

  // The settings used when none were read: direct access.
  static ProxySettings Direct() { return ProxySettings{}; }
};
