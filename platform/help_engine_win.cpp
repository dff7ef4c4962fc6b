// The HTML Help engine: the system's "hhctrl.ocx", found through the class registration of its
// control (else by name on the usual search path), loaded at the first help request and kept
// until the process ends, and called through its ANSI entry point, ordinal 14 (HtmlHelpA).
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/help_engine.h"

namespace {

// The HTML Help control's class, whose in-process server is the engine's module.
constexpr char kEngineServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr char kEngineModuleName[] = "hhctrl.ocx";
constexpr WORD kHtmlHelpAOrdinal = 14;
constexpr DWORD kEnginePathCapacity = 260;

using HtmlHelpAFunction = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

// Reads the registered path of the engine's module into `path` (kEnginePathCapacity bytes).
bool FindHelpEngine(char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kEngineServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = kEnginePathCapacity;
  const LONG read = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) return false;
  // A registry text need not end in NUL.
  path[size < kEnginePathCapacity ? size : kEnginePathCapacity - 1] = '\0';
  return true;
}

class HtmlHelpEngine final : public HelpEngine {
 public:
  explicit HtmlHelpEngine(HtmlHelpAFunction entry) : entry_(entry) {}

  void Show(const HelpRequest& request) override {
    // The portable code joins a path's parts with '/'; the engine is given the system's own
    // separator.
    std::string file = request.help_file;
    std::replace(file.begin(), file.end(), '/', '\\');
    // No owner window; what the engine answers (its window, or none) is not looked at.
    entry_(nullptr, file.c_str(), static_cast<UINT>(request.command), static_cast<DWORD_PTR>(request.context));
  }

 private:
  // Inside a module that is never unloaded.
  const HtmlHelpAFunction entry_;
};

}  // namespace

std::unique_ptr<HelpEngine> LoadPlatformHelpEngine() {
  HMODULE module = nullptr;
  char path[kEnginePathCapacity] = "";
  if (FindHelpEngine(path)) module = LoadLibraryA(path);
  if (module == nullptr) module = LoadLibraryA(kEngineModuleName);
  if (module == nullptr) return nullptr;
  // The module stays loaded for the life of the process, whatever comes next: the engine may
  // have windows and threads of its own.
  FARPROC entry = GetProcAddress(module, MAKEINTRESOURCEA(kHtmlHelpAOrdinal));
  if (entry == nullptr) return nullptr;
  return std::make_unique<HtmlHelpEngine>(reinterpret_cast<HtmlHelpAFunction>(reinterpret_cast<void*>(entry)));
}
