#include "ui/help.h"

#include "platform/help_engine.h"
#include "platform/plinth.h"
#include "platform/process.h"

namespace {

// The help file's pages of the contexts the plug-in asks for, for viewers that address pages.
struct HelpTopic {
  int context;
  const char* page;
};
constexpr HelpTopic kHelpTopics[] = {{kAddMeasurementsHelpContext, "CL_NETSCAPE_MEASUREMENTS.htm"}};

// The longest host program path the help request takes, terminating NUL included.
constexpr int kPathCapacity = 2048;

}  // namespace

std::string HelpFilePath(const std::string& executable_path, bool light_edition) {
  char directory[kPathCapacity];
  if (!os_get_dir_name(executable_path.c_str(), directory, sizeof directory)) return {};
  return std::string(directory) + (light_edition ? "/../help/Help.chm" : "/online.chm");
}

void OpenHelpTopic(int context) {
  const Result<std::string> found = GetExecutablePath();
  if (!found.ok() || found->size() >= kPathCapacity) return;
  const std::string& executable = *found;
  HelpRequest request;
  request.help_file = HelpFilePath(executable, GetEnvironment("QOR_RESMON_LIGHT").has_value());
  if (request.help_file.empty()) return;
  request.command = kHelpCommandContext;
  request.context = context;
  for (const HelpTopic& topic : kHelpTopics) {
    if (topic.context == context) request.page = topic.page;
  }
  TheHelpEngineBinding().Call(request);
}
