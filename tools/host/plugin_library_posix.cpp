// The plug-in loaded with dlopen; the program's directory from /proc/self/exe.
#include <dlfcn.h>
#include <unistd.h>

#include <vector>

#include "tools/host/plugin_library.h"
#include "tools/host/plugin_library_platform.h"

namespace sarvik_host {

const char kPluginFileName[] = "libsarvik.so";

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
  return (directory.empty() ? std::string(".") : directory) + "/" + kPluginFileName;
}

LibraryHandle OpenLibrary(const std::string& path, std::string* reason) {
  // dlopen searches the library path for a name without a slash; the host means that file.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* text = dlerror();
    *reason = text != nullptr ? text : "unknown reason";
  }
  return library;
}

ExportAddress FindExport(LibraryHandle library, const char* name) {
  dlerror();
  return reinterpret_cast<ExportAddress>(dlsym(library, name));
}

void CloseLibrary(LibraryHandle library) { dlclose(library); }

}  // namespace sarvik_host
