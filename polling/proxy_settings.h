// The proxy use of every fetch, read once from section "ProxySettings" of the configuration
// when the monitor starts:
// - useProxy (default 1): exactly 1 uses a proxy, anything else connects directly and ignores
//   the other keys;
// - httpProxy: the proxy to use; empty means the system's proxy settings;
// - proxyDomain, proxyUsername, proxyPassword: the credentials answered to a proxy's 407; with a
//   domain the user name is "domain\user".
// The same record carries the one other setting of every fetch, read at the same time from
// section "Netscape": verifyServer (ReadVerifyServer), whether HTTPS sources must show a
// certificate that the system trusts and that names their host.
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
  bool verify_server = true;  // HTTPS sources: check the certificate and the host name

  // The settings of `profile` (a missing section gives the system's proxy with no credentials;
  // a missing verifyServer checks HTTPS sources).
  static ProxySettings Read(const Profile& profile);

  // The settings used when none were read: direct access, HTTPS sources checked.
  static ProxySettings Direct() { return ProxySettings{}; }
};
