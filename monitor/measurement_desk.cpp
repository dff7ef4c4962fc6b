// The exports that work on measurements: activation, data delivery and the description
// documents.
#include <cstring>

#include "config/counter_config.h"
#include "counters/measurement_factory.h"
#include "documents/host_document.h"
#include "documents/measurements_collection.h"
#include "documents/user_data.h"
#include "monitor/monitor.h"
#include "platform/plinth.h"
#include "reporting/messages.h"

namespace {

constexpr std::int32_t kMsgCannotCreate = -47485;
constexpr std::int32_t kMsgNoHost = -47487;
constexpr std::int32_t kMsgNotActive = -47486;
constexpr std::int32_t kMsgServerNotRegistered = -47498;
constexpr std::int32_t kMsgNoServer = -47499;

}  // namespace

int Monitor::ActivateMeasurement(const char* identifier, const char* host_text, const char* user_data, char* message,
                                 int message_size) {
  MutexLock hold(state_mutex_);
  if (!initialised()) return RefuseUninitialised("ActivateMeasurement", message, message_size);
  MeasurementKey name;
  MakeMeasurementKey(identifier, host_text, &name);
  // Without a host the server would poll nowhere.
  if (name.host.empty()) {
    CopyCatalogueMessage(message, message_size, kMsgNoHost, {name.working_text(), " ActivateMeasurement"});
    return 8;
  }

  ActiveMeasurement* entry = measurements_.Find(name.key);
  if (entry == nullptr) {
    // The user data is read once, here: the measurement and its registry entry keep the source.
    ServerParams server;
    ParseUserData(user_data == nullptr ? "" : user_data, &server);
    server.host = name.host;
    // The configuration is the one Init read: activating a thousand counters reads no file.
    const int index = configuration_->index.Find(name.counter_name);
    std::unique_ptr<CNetscapeMeasurement> measurement =
        CreateMeasurement(index, configuration_->definitions, name.key, server, configuration_->profile);
    if (measurement == nullptr) {
      CopyCatalogueMessage(message, message_size, kMsgCannotCreate,
                           {name.working_text(), name.host, " ActivateMeasurement"});
      return 8;
    }
    entry = &measurements_.Add(name.key, ActiveMeasurement{std::move(measurement), std::move(server)});
  }

  if (!ActivateLocked(*entry)) {
    CopyCatalogueMessage(message, message_size, kMsgNoServer, {name.working_text(), name.host, " ActivateMeasurement"});
    return 9;
  }
  return 0;
}

bool Monitor::ActivateLocked(ActiveMeasurement& entry) {
  CNetscapeServer* server = servers_.FindOrStartServer(entry.server);
  if (server == nullptr) return false;
  // Activations given to a server that has since stopped went with it.
  if (server->serial() != entry.server_serial) {
    entry.server_serial = server->serial();
    entry.activations_held = 0;
  }
  ++entry.activations_held;
  return true;
}

int Monitor::DeActivateMeasurement(const char* identifier, const char* host_text, char* message, int message_size) {
  MutexLock hold(state_mutex_);
  if (!initialised()) return RefuseUninitialised("DeActivateMeasurement", message, message_size);
  MeasurementKey name;
  MakeMeasurementKey(identifier, host_text, &name);
  const ActiveMeasurement* entry = measurements_.Find(name.key);
  if (entry == nullptr) {
    CopyCatalogueMessage(message, message_size, kMsgNotActive,
                         {name.key, "(Id of the measurement)", " DeActivateMeasurement"});
    return 8;
  }
  CNetscapeServer* server = servers_.FindServerByKey(entry->measurement->server_key());
  if (server != nullptr && server->serial() == entry->server_serial) {
    // Failed cycles may have given some of them up already; the count never goes below 0.
    for (int i = 0; i < entry->activations_held; ++i) server->ReleaseActivation();
  }
  measurements_.Erase(name.key);
  return 0;
}

int Monitor::GetNewData(const char* identifier, const char* host_text, ReadingRecord* reading, char* message,
                        int message_size) {
  MutexLock hold(state_mutex_);
  if (!initialised()) return RefuseUninitialised("GetNewData", message, message_size);
  MakeMeasurementKey(identifier, host_text, &key_);
  ActiveMeasurement* found = measurements_.FindForReading(key_.key);
  if (found == nullptr) {
    CopyCatalogueMessage(message, message_size, kMsgNotActive, {key_.key, "(host:" + key_.host + ")", "getNewData"});
    return 8;
  }
  ActiveMeasurement& entry = *found;
  CNetscapeMeasurement& measurement = *entry.measurement;
  if (entry.lookup_generation != servers_.generation()) {
    entry.registered_server = servers_.FindServerByKey(measurement.server_key());
    entry.lookup_generation = servers_.generation();
  }
  CNetscapeServer* server = entry.registered_server;
  if (server == nullptr) {
    CopyCatalogueMessage(message, message_size, kMsgServerNotRegistered, {key_.host, key_.key, "getNewData"});
    return 10;
  }

  // The server's notice goes with its first answer, whatever that answer is.
  std::string notice;
  const bool noticed = server->TakeNotice(&notice);
  const auto write_message = [&](const std::string& text) {
    if (!noticed) {
      os_strncpy(message, text.c_str(), message_size);
      return;
    }
    const std::string said = text.empty() ? notice : notice + "; " + text;
    os_strncpy(message, said.c_str(), message_size);
  };

  // The data lock is held only for this copy; the extraction runs on the copy.
  SampleTime time{};
  const std::size_t length = server->CopySnapshot(snapshot_copy_.data(), snapshot_copy_.size(), &time);
  if (length == 0) {
    const int code = server->error_record().GetReport(&report_text_);
    write_message(report_text_);
    return code;
  }
  if (measurement.NewData(snapshot_copy_.data(), time) == CNetscapeMeasurement::kNewReading) {
    measurement.GetReading(reading);
    if (noticed) write_message({});
    return 0;
  }
  const int code = measurement.GetReport(&report_text_);
  write_message(report_text_);
  return code;
}

char* Monitor::GetMeasurementsCollection(const char* host_text) const {
  SharedConfiguration configuration;
  std::string config_path;
  {
    MutexLock hold(state_mutex_);
    configuration = configuration_;
    config_path = config_path_;
  }
  const std::string document =
      BuildMeasurementsCollection(configuration ? std::span<const CounterDefinition>(configuration->definitions)
                                                : std::span<const CounterDefinition>(),
                                  host_text == nullptr ? "" : host_text, Profile::Load(config_path));
  return os_AllocateText(document);
}

char* Monitor::GetUserDataStr(const HostMachineRecord* machine, const char* document) const {
  std::string config_path;
  {
    MutexLock hold(state_mutex_);
    config_path = config_path_;
  }
  HostMachineRecord empty_machine;
  std::memset(&empty_machine, 0, sizeof empty_machine);
  const std::string user_data = ComposeUserData(machine == nullptr ? empty_machine : *machine,
                                                document == nullptr ? "" : document, Profile::Load(config_path));
  return os_AllocateText(user_data, kUserDataCapacity);
}
