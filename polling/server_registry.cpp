#include "polling/server_registry.h"

#include <new>

CNetscapeServer* ServerRegistry::FindOrStartServer(const ServerParams& params) {
  PurgeStoppedServers();
  const std::string key = MakeServerKey(params);
  if (const auto found = servers_.find(key); found != servers_.end()) {
    if (found->second->AddActivation(true)) return found->second.get();
    // The server stopped since the purge above.
    PurgeStoppedServers();
  }
  std::unique_ptr<CNetscapeServer> server;
  try {
    server = std::make_unique<CNetscapeServer>(params, proxy_, http_, next_serial_++);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  // A new server is active before its thread's first cycle looks.
  if (!server->AddActivation(false) || !server->StartPolling()) return nullptr;
  CNetscapeServer* const started = server.get();
  servers_[key] = std::move(server);
  ++generation_;
  return started;
}

CNetscapeServer* ServerRegistry::FindServer(const ServerParams& params) { return FindServerByKey(MakeServerKey(params)); }

CNetscapeServer* ServerRegistry::FindServerByKey(const std::string& key) {
  const auto found = servers_.find(key);
  return found == servers_.end() ? nullptr : found->second.get();
}

CNetscapeServer* ServerRegistry::FindServerByHost(std::string_view host_text) {
  for (const auto& [key, server] : servers_) {
    const std::string& host = server->params().host;
    if (!host_text.starts_with(host)) continue;
    if (host_text.size() == host.size() || host_text[host.size()] == ':') return server.get();
  }
  return nullptr;
}

void ServerRegistry::PurgeStoppedServers() {
  if (std::erase_if(servers_, [](const auto& entry) { return entry.second->stopped(); }) > 0) ++generation_;
}

ServerRegistry::Servers ServerRegistry::TakeAllServers() {
  Servers taken;
  taken.swap(servers_);
  ++generation_;
  return taken;
}

void ServerRegistry::DestroyServers(Servers servers) {
  for (auto& entry : servers) entry.second->RequestStop();
  servers.clear();
}
