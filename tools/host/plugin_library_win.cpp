// The plug-in loaded with LoadLibrary and its exports found with GetProcAddress; the program's
// directory from GetModuleFileNameA.
#include <windows.h>

#include <vector>

#include "tools/host/plugin_library.h"
#include "tools/host/plugin_library_platform.h"

namespace sarvik_host {

namespace {

// The system's text for an error code, without its line end.
std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
      reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 && text != nullptr ? std::string(text, length) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

}  // namespace

const char kPluginFileName[] = "sarvik.dll";

std::string ExecutableDirectory() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return "";
    if (length < buffer.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      std::string path(buffer.data(), length);
      const std::size_t separator = path.find_last_of("\\/");
      if (separator == std::string::npos) return "";
      path.resize(separator);
      return path;
    }
    if (buffer.size() >= (std::size_t{1} << 16)) return "";
    buffer.resize(buffer.size() * 2);
  }
}

std::string DefaultPluginPath() {
  const std::string directory = ExecutableDirectory();
  return (directory.empty() ? std::string(".") : directory) + "\\" + kPluginFileName;
}

LibraryHandle OpenLibrary(const std::string& path, std::string* reason) {
  // LoadLibrary searches the system's folders for a bare name; the host means that file.
  const std::string file = path.find_first_of("\\/:") == std::string::npos ? ".\\" + path : path;
  // A file that is no library is an error to report, not a message box to click away.
  DWORD previous_mode = 0;
  const bool mode_set = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode) != 0;
  HMODULE library = LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD error = GetLastError();
  if (mode_set) SetThreadErrorMode(previous_mode, nullptr);
  if (library == nullptr) *reason = SystemMessage(error);
  return reinterpret_cast<LibraryHandle>(library);
}

ExportAddress FindExport(LibraryHandle library, const char* name) {
  return reinterpret_cast<ExportAddress>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

}  // namespace sarvik_host
