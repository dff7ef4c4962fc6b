// The connection parameters of one statistics source, and the key servers are registered
// under.
#pragma once

#include <cstdint>
#include <string>

struct ServerParams {
  std::int32_t port = 0;  // TCP port of the web server
  std::string url;        // the statistics resource on the server, the request target
  std::string login;      // user name for the server; may be empty
  std::string password;   // password for the server; may be empty
  std::string host;       // host name of the web server
};

// The registry key of a source: "host|url|port". Login and password are not part of it, so
// measurements that differ only in their credentials share one server.
std::string MakeServerKey(const ServerParams& params);
