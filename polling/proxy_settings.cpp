#include "polling/proxy_settings.h"

#include "config/counter_config.h"

ProxySettings ProxySettings::Read(const Profile& profile) {
  ProxySettings settings;
  settings.verify_server = ReadVerifyServer(profile);
  if (profile.GetInt(kSectionProxySettings, "useProxy", 1) != 1) return settings;
  settings.keep_connection = true;
  settings.access_type = ProxyMode::kSystem;
  const std::string domain = profile.GetString(kSectionProxySettings, "proxyDomain", "", kServerTextBufferSize);
  const std::string user = profile.GetString(kSectionProxySettings, "proxyUsername", "", kServerTextBufferSize);
  settings.user_name = domain.empty() ? user : domain + "\\" + user;
  settings.password = profile.GetString(kSectionProxySettings, "proxyPassword", "", kServerTextBufferSize);
  settings.proxy_server = profile.GetString(kSectionProxySettings, "httpProxy", "", kServerTextBufferSize);
  if (!settings.proxy_server.empty()) settings.access_type = ProxyMode::kNamed;
  return settings;
}
