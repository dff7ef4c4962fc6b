// The connection parameters of one statistics source, and the key servers are registered
// under.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/http.h"  // HttpScheme

struct ServerParams {
  std::int32_t port = 0;  // TCP port of the web server
  std::string url;        // the statistics resource on the server, the request target
  std::string login;      // user name for the server; may be empty
  std::string password;   // password for the server; may be empty
  std::string host;       // host name of the web server
  HttpScheme scheme = HttpScheme::kHttp;  // plain HTTP, or HTTPS
};

// The registry key of a source: "host|url|port", and "host|url|port|https" for an HTTPS source.
// Login and password are not part of it, so measurements that differ only in their credentials
// share one server; the scheme is, so that HTTP and HTTPS on one host and port are two servers.
std::string MakeServerKey(const ServerParams& params);

// The scheme a text names: "https" in any case is HTTPS; anything else (empty, "http", an
// unknown word) is plain HTTP.
HttpScheme SchemeFromText(std::string_view text);

// "http" or "https".
std::string_view SchemeText(HttpScheme scheme);
