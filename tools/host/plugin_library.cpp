#include "tools/host/plugin_library.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "tools/host/plugin_library_platform.h"

namespace sarvik_host {

namespace {

template <typename Function>
void Resolve(LibraryHandle library, const char* name, Function* slot, std::vector<std::string>* missing) {
  const ExportAddress address = FindExport(library, name);
  if (address == nullptr) {
    if (missing != nullptr) missing->push_back(name);
    return;
  }
  *slot = reinterpret_cast<Function>(address);
}

std::string Join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) {
    if (!text.empty()) text += ", ";
    text += word;
  }
  return text;
}

}  // namespace

bool LoadPlugin(const std::string& path, PluginExports* exports, std::string* error) {
  std::error_code status_error;
  const std::filesystem::file_status status = std::filesystem::status(path, status_error);
  if (status_error || !std::filesystem::exists(status)) {
    const std::string reason =
        status_error ? status_error.message() : std::make_error_code(std::errc::no_such_file_or_directory).message();
    *error = "cannot find the plug-in " + path + ": " + reason + " (give its path with --plugin)";
    return false;
  }
  if (!std::filesystem::is_regular_file(status)) {
    *error = "the plug-in " + path + " is not a file";
    return false;
  }
  std::string reason;
  const LibraryHandle library = OpenLibrary(path, &reason);
  if (library == nullptr) {
    *error = "cannot load the plug-in " + path + ": " + reason + " (is it a " + kPluginFileName +
             " of this build and machine?)";
    return false;
  }

  PluginExports loaded;
  std::vector<std::string> missing;
  Resolve(library, "InitMonitor", &loaded.InitMonitor, &missing);
  Resolve(library, "TerminateMonitor", &loaded.TerminateMonitor, &missing);
  Resolve(library, "SetMonitorRate", &loaded.SetMonitorRate, &missing);
  Resolve(library, "TestMachine", &loaded.TestMachine, &missing);
  Resolve(library, "GetMeasurementsCollection", &loaded.GetMeasurementsCollection, &missing);
  Resolve(library, "GetUserDataStr", &loaded.GetUserDataStr, &missing);
  Resolve(library, "ActivateMeasurement", &loaded.ActivateMeasurement, &missing);
  Resolve(library, "DeActivateMeasurement", &loaded.DeActivateMeasurement, &missing);
  Resolve(library, "GetNewData", &loaded.GetNewData, &missing);
  Resolve(library, "FreeMonitorStringAllocation", &loaded.FreeMonitorStringAllocation, &missing);
  Resolve(library, "BrowseMonitor", &loaded.BrowseMonitor, nullptr);
  Resolve(library, "CancelAdd", &loaded.CancelAdd, nullptr);
  if (!missing.empty()) {
    *error = "the plug-in " + path + " does not export " + Join(missing) + " (it is not a " + kPluginFileName +
             " of this version)";
    CloseLibrary(library);
    return false;
  }
  *exports = loaded;
  return true;
}

}  // namespace sarvik_host
