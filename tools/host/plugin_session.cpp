#include "tools/host/plugin_session.h"

#include <algorithm>
#include <iterator>
#include <cstring>

namespace sarvik_host {

namespace {

// A message buffer that reads back as empty when the plug-in left it alone.
struct MessageBuffer {
  MessageBuffer() { text[0] = '\0'; }
  std::string Text() const { return std::string(text, strnlen(text, sizeof text)); }
  char text[4096];
};

template <std::size_t N>
void CopyField(char (&field)[N], const std::string& text) {
  const std::size_t length = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

}  // namespace

PluginSession::~PluginSession() {
  if (!open_) return;
  while (!active_.empty()) {
    const Name name = active_.back();
    Deactivate(name.first, name.second);
  }
  Terminate();
}

CallResult PluginSession::Init() {
  MessageBuffer buffer;
  std::int32_t status = 0;
  const int code = exports_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, buffer.text, kMessageSize);
  open_ = code == 0;
  return {code, buffer.Text()};
}

void PluginSession::Terminate() {
  if (!open_) return;
  open_ = false;
  active_.clear();
  active_index_.clear();
  exports_.TerminateMonitor();
}

int PluginSession::SetMonitorRate(std::uint32_t* rate_ms) { return exports_.SetMonitorRate(rate_ms); }

CallResult PluginSession::TestMachine(const std::string& host, const std::string& user_data) {
  MessageBuffer buffer;
  const int code = exports_.TestMachine(host.c_str(), user_data.c_str(), buffer.text, kMessageSize);
  return {code, buffer.Text()};
}

CallResult PluginSession::GetMeasurementsCollection(const std::string& host, std::string* document) {
  char* text = nullptr;
  const int code = exports_.GetMeasurementsCollection(host.c_str(), nullptr, &text);
  document->assign(text == nullptr ? "" : text);
  if (text != nullptr) exports_.FreeMonitorStringAllocation(&text);
  return {code, ""};
}

CallResult PluginSession::GetUserDataStr(const std::string& host, const std::string& login,
                                         const std::string& password, const std::string& document,
                                         std::string* user_data) {
  HostMachineRecord machine;
  std::memset(&machine, 0, sizeof machine);
  CopyField(machine.host, host);
  CopyField(machine.login, login);
  CopyField(machine.password, password);
  char* text = nullptr;
  const int code = exports_.GetUserDataStr(&machine, document.c_str(), &text);
  user_data->assign(text == nullptr ? "" : text);
  if (text != nullptr) exports_.FreeMonitorStringAllocation(&text);
  return {code, ""};
}

CallResult PluginSession::Browse(const std::string& host, std::vector<CounterDefinition>* records) {
  records->clear();
  if (exports_.BrowseMonitor == nullptr) return {2, "this plug-in has no Add Measurements dialog (no BrowseMonitor)"};
  MessageBuffer buffer;
  CounterDefinition* selection = nullptr;
  std::int32_t count = 0;
  const int code = exports_.BrowseMonitor(nullptr, host.c_str(), &selection, &count, buffer.text, kMessageSize);
  if (code == 0 && selection != nullptr && count > 0) records->assign(selection, selection + count);
  return {code, buffer.Text()};
}

CallResult PluginSession::Activate(const std::string& id, const std::string& host, const std::string& user_data) {
  MessageBuffer buffer;
  const int code = exports_.ActivateMeasurement(id.c_str(), host.c_str(), user_data.c_str(), buffer.text, kMessageSize);
  if (code == 0) {
    Name name(id, host);
    if (active_index_.find(name) == active_index_.end()) {
      active_.push_back(name);
      active_index_.emplace(std::move(name), std::prev(active_.end()));
    }
  }
  return {code, buffer.Text()};
}

CallResult PluginSession::Deactivate(const std::string& id, const std::string& host) {
  MessageBuffer buffer;
  const int code = exports_.DeActivateMeasurement(id.c_str(), host.c_str(), buffer.text, kMessageSize);
  const auto found = active_index_.find(Name(id, host));
  if (found != active_index_.end()) {
    active_.erase(found->second);
    active_index_.erase(found);
  }
  return {code, buffer.Text()};
}

std::vector<std::pair<std::string, std::string>> PluginSession::Active() const {
  return std::vector<Name>(active_.begin(), active_.end());
}

CallResult PluginSession::GetNewData(const std::string& id, const std::string& host, ReadingRecord* reading,
                                     bool* written) {
  // A kind the plug-in never writes tells whether it wrote the record.
  constexpr std::int32_t kUntouched = -1;
  std::memset(reading, 0, sizeof *reading);
  reading->kind = kUntouched;
  MessageBuffer buffer;
  const int code = exports_.GetNewData(id.c_str(), host.c_str(), reading, buffer.text, kMessageSize);
  *written = reading->kind != kUntouched;
  return {code, buffer.Text()};
}

}  // namespace sarvik_host
