#include "monitor/monitor.h"

#include <cstring>

#include "config/counter_config.h"
#include "documents/user_data.h"
#include "monitor/trim_host.h"
#include "platform/catalogue.h"
#include "platform/files.h"
#include "platform/plinth.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "polling/connection_probe.h"
#include "reporting/messages.h"
#include "resources/string_table.h"

namespace {

// The message catalogue, relative to the host program's directory, without its ".e2".
constexpr char kCatalogueRelativePath[] = "../dat/tq_mon_http_msgs";

std::string CataloguePath() {
  const Result<std::string> found = GetExecutablePath();
  std::string executable = found.ok() ? *found : std::string();
  const char* separator = FindLastPathSeparator(executable.c_str());
  executable.resize(separator == nullptr ? 0 : static_cast<std::size_t>(separator - executable.c_str()) + 1);
  return executable + NativePath(kCatalogueRelativePath);
}

}  // namespace

// The catalogue is brought up first so that it outlives every monitor.
Monitor::Monitor(HttpClient& http) : http_(http), servers_(http) { MsgHandlerInitFunction(); }

Monitor& Monitor::Instance() {
  static Monitor monitor(SystemHttpClient());
  return monitor;
}

int Monitor::RefuseUninitialised(const char* entry_point, char* message, int message_size) {
  std::string text;
  FormatTableMessage(&text, kMsgNotInitialized, {entry_point});
  os_strncpy(message, text.c_str(), message_size);
  return 2;
}

int Monitor::Init(std::int32_t* status, char* message, int message_size) {
  MutexLock hold(state_mutex_);
  std::string text;
  if (initialised()) {
    FormatTableMessage(&text, kMsgAlreadyInitialized);
    os_strncpy(message, text.c_str(), message_size);
    return 2;
  }

  const Result<std::string> config_path = LocateConfigFile();
  if (!config_path.ok()) {
    FormatTableMessage(&text, kMsgConfigFileName, {CStringParam(config_path.status().error_number(), 10)});
    os_strncpy(message, text.c_str(), message_size);
    return 2;
  }
  config_path_ = *config_path;
  if (status != nullptr) *status = 0;

  Profile profile = Profile::Load(config_path_);
  std::vector<CounterDefinition> definitions = ReadCounterDefinitions(profile);
  if (definitions.empty()) {
    FormatTableMessage(&text, kMsgNoCounters);
    os_strncpy(message, text.c_str(), message_size);
    return 2;
  }
  configuration_ = std::make_shared<const Configuration>(std::move(profile), std::move(definitions));

  const std::string catalogue_path = CataloguePath();
  MsgHandlerInitFunction();
  if (!AddResourceFile(catalogue_path).ok()) {
    text = "Error can not open resource file " + catalogue_path + ".e2.";
    os_strncpy(message, text.c_str(), message_size);
    return 2;
  }
  proxy_ = ProxySettings::Read(configuration_->profile);
  servers_.SetProxySettings(*proxy_);
  return 0;
}

void Monitor::Terminate() {
  ServerRegistry::Servers servers;
  MeasurementRegistry measurements;
  {
    MutexLock hold(state_mutex_);
    ++terminations_;
    configuration_.reset();
    measurements = std::move(measurements_);
    selection_.clear();
    selection_.shrink_to_fit();
    servers = servers_.TakeAllServers();
    RemoveResourceFile(CataloguePath());
    MsgHandlerDestroyFunction();
    proxy_.reset();
    servers_.SetProxySettings(ProxySettings::Direct());
  }
  // The threads are waited for without the lock: calls from other threads meanwhile find the
  // monitor ended.
  measurements = MeasurementRegistry();
  ServerRegistry::DestroyServers(std::move(servers));
}

int Monitor::TestMachine(const char* host_text, const char* user_data, char* message, int message_size) {
  ServerParams params;
  ParseUserData(user_data == nullptr ? "" : user_data, &params);
  params.host = TrimHost(host_text == nullptr ? "" : host_text);
  ProxySettings proxy = ProxySettings::Direct();
  {
    MutexLock hold(state_mutex_);
    if (proxy_) proxy = *proxy_;
  }
  std::string failure;
  if (TestConnection(params, proxy, http_, &failure) == 0) return 0;
  os_strncpy(message, failure.c_str(), message_size);
  return 1;
}

int Monitor::SetRate(std::uint32_t* rate) {
  std::string config_path;
  {
    MutexLock hold(state_mutex_);
    if (!initialised()) return -2;
    config_path = config_path_;
  }
  // A negative or zero SamplingRate is no rate at all; it never replaces the host's.
  const int configured = GetPrivateProfileInt(kSectionNetscape, kKeySamplingRate, 0, config_path);
  if (configured <= 1000 || rate == nullptr) return -1;
  *rate = static_cast<std::uint32_t>(configured);
  return 0;
}

std::vector<CounterDefinition> Monitor::TEST_definitions() const {
  MutexLock hold(state_mutex_);
  return configuration_ ? configuration_->definitions : std::vector<CounterDefinition>{};
}
