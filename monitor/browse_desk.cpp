// The export that lets the user pick measurements: the "Add Measurements" dialog over the
// counter definitions, filling the selection array.
#include <algorithm>
#include <cstring>
#include <string>

#include "monitor/monitor.h"
#include "monitor/trim_host.h"
#include "platform/plinth.h"
#include "platform/process.h"
#include "ui/browse.h"
#include "ui/dialog_template.h"
#include "ui/dialog_view.h"

int Monitor::BrowseMonitor(const char* host_text, CounterDefinition** selection, std::int32_t* count, char* message,
                           int message_size, DialogToolkit& toolkit) {
  MutexLock one_dialog(browse_mutex_);
  RememberedProperties();
  if (selection != nullptr) *selection = nullptr;
  if (message != nullptr && message_size > 0) message[0] = '\0';
  const std::string host(TrimHost(host_text == nullptr ? "" : host_text));

  // The dialog works on copies, so that the state lock is not held while it shows.
  SharedConfiguration configuration;
  std::string config_path;
  std::vector<CounterDefinition> picked;
  std::uint64_t terminations = 0;
  {
    MutexLock hold(state_mutex_);
    if (!initialised()) return RefuseUninitialised("BrowseMonitor", message, message_size);
    configuration = configuration_;
    config_path = config_path_;
    if (selection_.empty()) {
      CounterDefinition empty_record;
      std::memset(&empty_record, 0, sizeof empty_record);
      selection_.assign(configuration->definitions.size(), empty_record);
    }
    picked = selection_;
    terminations = terminations_;
  }

  std::string reason;
  if (!toolkit.CanShowDialog(&reason)) {
    const std::optional<DialogTemplate> dialog = LoadDialogTemplate(kAddMeasurementsDialogId, CurrentEdition());
    const std::string text = dialog ? dialog->Prompt("no_display", reason) : reason;
    os_strncpy(message, text.c_str(), message_size);
    if (count != nullptr) *count = 0;
    return 2;
  }

  const RunningServerLookup find_running = [this](std::string_view text) -> std::optional<ServerParams> {
    MutexLock hold(state_mutex_);
    if (const CNetscapeServer* server = servers_.FindServerByHost(text)) return server->params();
    return std::nullopt;
  };
  const int selected =
      RunAddMeasurementsDialog(host, configuration->definitions, picked, find_running, config_path, toolkit);

  MutexLock hold(state_mutex_);
  // The monitor ended while the dialog showed: its selection array is gone.
  if (terminations != terminations_ || !initialised()) {
    return RefuseUninitialised("BrowseMonitor", message, message_size);
  }
  // The host keeps the same array from call to call.
  std::copy(picked.begin(), picked.end(), selection_.begin());
  if (selection != nullptr) *selection = selection_.data();
  if (count != nullptr) *count = selected;
  return 0;
}
