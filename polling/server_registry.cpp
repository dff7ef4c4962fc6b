#include "polling/server_registry.h"

#include <new>

bool ServerRegistry::FindOrStartServer(const ServerParams& params) {
  PurgeStoppedServers();
  const std::string key = MakeServerKey(params);
  if (const auto found = servers_.find(key); found != servers_.end()) {
    if (found->second->AddActivation(true)) return true;
    // The server stopped since the purge above.
    PurgeStoppedServers();
  }
  auto server = std::unique_ptr<CNetscapeServer>(new (std::nothrow) CNetscapeServer(params, proxy_, http_));
  if (server == nullptr) return false;
  // A new server is active before its thread's first cycle looks.
  if (!server->AddActivation(false) || !server->StartPolling()) return false;
  servers_[key] = std::move(server);
  return true;
}

CNetscapeServer* ServerRegistry::FindServer(const ServerParams& params) { return FindServerByKey(MakeServerKey(params)); }

CNetscapeServer* ServerRegistry::FindServerByKey(const std::string& key) {
  const auto found = servers_.find(key);
  return found == servers_.end() ? nullptr : found->second.get();
}

CNetscapeServer* ServerRegistry::FindServerByHost(std::string_view host_text) {
  for (const auto& [key, server] : servers_) {
    const std::string& host = server->params().host;
    if (host_text.substr(0, host.size()) == host && host_text.size() >= host.size()) return server.get();
  }
  return nullptr;
}

void ServerRegistry::PurgeStoppedServers() {
  std::erase_if(servers_, [](const auto& entry) { return entry.second->stopped(); });
}

void ServerRegistry::DestroyAllServers() {
  for (auto& entry : servers_) entry.second->RequestStop();
  servers_.clear();
}
