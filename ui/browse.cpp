#include "ui/browse.h"

#include <memory>

#include "config/counter_config.h"
#include "documents/measurements_collection.h"
#include "platform/plinth.h"
#include "platform/profile.h"
#include "ui/netscape_dlg.h"

namespace {

std::unique_ptr<ServerParams>& RememberedSlot() {
  static std::unique_ptr<ServerParams> remembered;
  return remembered;
}

}  // namespace

ServerParams& RememberedProperties() {
  std::unique_ptr<ServerParams>& slot = RememberedSlot();
  if (slot == nullptr) slot = std::make_unique<ServerParams>();
  return *slot;
}

void TEST_ForgetRememberedProperties() { RememberedSlot().reset(); }

void SeedRememberedProperties(std::string_view host, const RunningServerLookup& find_running,
                              const std::string& config_path, ServerParams* remembered) {
  if (std::optional<ServerParams> running = find_running(host)) {
    *remembered = std::move(*running);
    return;
  }
  if (!remembered->url.empty() && remembered->url.find(host) != std::string::npos) return;

  const Profile configuration = Profile::Load(config_path);
  remembered->port = configuration.GetInt(kSectionNetscape, kKeyServerPort, kDefaultServerPort);
  remembered->url =
      ExpandInfoUrl(configuration.GetString(kSectionNetscape, kKeyInfoUrl, "", kServerTextBufferSize), host);
  remembered->login =
      configuration.GetString(kSectionNetscape, kKeyServerLogin, kDefaultServerLogin, kServerTextBufferSize);
  remembered->password =
      configuration.GetString(kSectionNetscape, kKeyServerPassword, kDefaultServerPassword, kServerTextBufferSize);
  remembered->scheme = ReadServerScheme(configuration);
}

int RunAddMeasurementsDialog(std::string_view host, std::span<const CounterDefinition> definitions,
                             std::span<CounterDefinition> selection, const RunningServerLookup& find_running,
                             const std::string& config_path, DialogToolkit& toolkit) {
  ServerParams& remembered = RememberedProperties();
  SeedRememberedProperties(host, find_running, config_path, &remembered);

  CNetscapeDlg dialog(toolkit);
  if (dialog.RunAddMeasurements(definitions, selection, remembered) == kDialogOk) {
    // The remembered host stays what it was.
    remembered.port = dialog.port();
    remembered.login = dialog.login();
    remembered.password = dialog.password();
    remembered.url = dialog.url();
  }
  const int count = dialog.selected_count();
  for (int i = 0; i < count && static_cast<std::size_t>(i) < selection.size(); ++i) {
    CopyToField(selection[static_cast<std::size_t>(i)].host, host);
  }
  return count;
}
