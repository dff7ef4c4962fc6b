// The servers of the monitor, registered under their key "host|url|port": all measurements
// of one source share one server, one thread and one connection.
//
// The registry has no lock: its owner calls it one call at a time (the monitor under its state
// lock); the polling threads never touch it. The registry walks its servers in key order.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/http.h"
#include "polling/netscape_server.h"
#include "polling/proxy_settings.h"

class ServerRegistry {
 public:
  // Servers fetch through `http`, which must outlive the registry.
  explicit ServerRegistry(HttpClient& http) : http_(http) {}
  ~ServerRegistry() { DestroyAllServers(); }
  ServerRegistry(const ServerRegistry&) = delete;
  ServerRegistry& operator=(const ServerRegistry&) = delete;

  // The proxy use of servers created from now on.
  void SetProxySettings(const ProxySettings& proxy) { proxy_ = proxy; }

  // The registered servers, as TakeAllServers hands them over.
  using Servers = std::map<std::string, std::unique_ptr<CNetscapeServer>>;

  // Adds one activation to the server of `params`, creating it and starting its thread when
  // there is none (or only a stopped one), and returns that server. Null when no thread can be
  // started; nothing is registered then.
  [[nodiscard]] CNetscapeServer* FindOrStartServer(const ServerParams& params);

  // The registered server of `params` or of `key`, or null.
  CNetscapeServer* FindServer(const ServerParams& params);
  CNetscapeServer* FindServerByKey(const std::string& key);

  // The first server whose host name is `host_text` or its part before a ':' (so "web1:8080"
  // finds "web1", and "web10" does not), or null.
  CNetscapeServer* FindServerByHost(std::string_view host_text);

  // Destroys and unregisters every stopped server.
  void PurgeStoppedServers();

  // Destroys every server; their threads are asked to end all at once, then waited for.
  void DestroyAllServers() { DestroyServers(TakeAllServers()); }

  // Unregisters every server and hands them over, their threads still running.
  [[nodiscard]] Servers TakeAllServers();

  // Asks the threads of `servers` to end all at once, then waits for them.
  static void DestroyServers(Servers servers);

  std::size_t server_count() const { return servers_.size(); }

  // Changes whenever a server is registered or unregistered, so that a caller may keep a server
  // it found for as long as the generation stays the same.
  std::uint64_t generation() const { return generation_; }

 private:
  HttpClient& http_;
  ProxySettings proxy_ = ProxySettings::Direct();
  Servers servers_;
  // The serial number of the next server created.
  std::uint64_t next_serial_ = 1;
  std::uint64_t generation_ = 1;
};
