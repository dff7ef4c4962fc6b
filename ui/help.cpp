#include "ui/help.h"

#include <filesystem>
#include <system_error>

#include "platform/help_engine.h"
#include "platform/plinth.h"

namespace {

// The help file's pages of the contexts the plug-in asks for, for viewers that address pages.
struct HelpTopic {
  int context;
  const char* page;
};
constexpr HelpTopic kHelpTopics[] = {{kAddMeasurementsHelpContext, "CL_NETSCAPE_MEASUREMENTS.htm"}};

// The longest host program path the help request takes, terminating NUL included.
constexpr int kPathCapacity = 2048;

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string HelpFilePath(const std::string& executable_path, bool light_edition, Edition edition) {
  char directory[kPathCapacity];
  if (!os_get_dir_name(executable_path.c_str(), directory, sizeof directory)) return {};
  const char* folder = edition == Edition::kSimplifiedChinese ? "zh_CN/" : "";
  return std::string(directory) + (light_edition ? "/../help/" : "/") + folder + (light_edition ? "Help.chm" : "online.chm");
}

HelpOutcome OpenHelpTopic(int context) {
  const Result<std::string> found = GetExecutablePath();
  if (!found.ok() || found->size() >= kPathCapacity) return HelpOutcome::kNotShown;
  const std::string& executable = *found;
  const bool light = GetEnvironment("QOR_RESMON_LIGHT").has_value();
  HelpRequest request;
  request.help_file = HelpFilePath(executable, light, CurrentEdition());
  if (request.help_file.empty()) return HelpOutcome::kNotShown;
  // An installation may carry the English help alone.
  if (CurrentEdition() != Edition::kEnglish && !FileExists(request.help_file)) {
    request.help_file = HelpFilePath(executable, light, Edition::kEnglish);
  }
  request.command = kHelpCommandContext;
  request.context = context;
  for (const HelpTopic& topic : kHelpTopics) {
    if (topic.context == context) request.page = topic.page;
  }
  HelpEngineBinding& binding = TheHelpEngineBinding();
  const bool failed_before = binding.failed();
  if (binding.Call(request)) return HelpOutcome::kRequested;
  return failed_before ? HelpOutcome::kNotShown : HelpOutcome::kNoHelpEngine;
}
