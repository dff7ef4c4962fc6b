#include "tools/host/plugin_library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace sarvik_host {

namespace {

template <typename Function>
void Resolve(void* library, const char* name, Function* slot, std::vector<std::string>* missing) {
  dlerror();
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) {
    if (missing != nullptr) missing->push_back(name);
    return;
  }
  *slot = reinterpret_cast<Function>(symbol);
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

std::string ExecutableDirectory() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return "";
  std::string path(buffer.data(), static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  path.resize(slash == 0 ? 1 : slash);
  return path;
}

std::string DefaultPluginPath() {
  const std::string directory = ExecutableDirectory();
  return (directory.empty() ? std::string(".") : directory) + "/libsarvik.so";
}

bool LoadPlugin(const std::string& path, PluginExports* exports, std::string* error) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    *error = "cannot find the plug-in " + path + ": " + std::strerror(errno) + " (give its path with --plugin)";
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = "the plug-in " + path + " is not a file";
    return false;
  }
  // dlopen searches the library path for a name without a slash; the host means that file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* reason = dlerror();
    *error = "cannot load the plug-in " + path + ": " + (reason != nullptr ? reason : "unknown reason") +
             " (is it a libsarvik.so of this build and machine?)";
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
    *error = "the plug-in " + path + " does not export " + Join(missing) +
             " (it is not a libsarvik.so of this version)";
    dlclose(library);
    return false;
  }
  *exports = loaded;
  return true;
}

}  // namespace sarvik_host
