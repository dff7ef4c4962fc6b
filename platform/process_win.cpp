#include "platform/process.h"

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/mutex.h"

namespace {

// A path that tests put in place of the real executable's.
Mutex executable_override_mutex;
std::optional<std::string> executable_override GUARDED_BY(executable_override_mutex);

// Primary language and sublanguage identifiers of the Chinese user interfaces written in
// simplified characters: the People's Republic of China and Singapore.
constexpr LANGID kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr LANGID kChineseSingapore = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SINGAPORE);

}  // namespace

Result<std::string> GetExecutablePath() {
  {
    MutexLock hold(executable_override_mutex);
    if (executable_override) {
      if (executable_override->empty()) return ErrnoStatus(ENOENT);
      return *executable_override;
    }
  }
  // The host program's module, not this library's: a null module handle names the program.
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return ErrnoStatus(ENOENT);
    if (length < buffer.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      return std::string(buffer.data(), length);
    }
    if (buffer.size() >= (std::size_t{1} << 16)) return ErrnoStatus(ENAMETOOLONG);
    buffer.resize(buffer.size() * 2);
  }
}

void TEST_SetExecutablePath(std::optional<std::string> path) {
  MutexLock hold(executable_override_mutex);
  executable_override = std::move(path);
}

std::optional<std::string> GetEnvironment(const char* name) {
  if (name == nullptr) return std::nullopt;
  // The process environment itself (the C library keeps a copy of its own taken at start-up).
  std::vector<char> buffer(256);
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(length);
  }
}

Edition CurrentEdition() {
  const LANGID language = GetUserDefaultUILanguage();
  if (language == kChinesePrc || language == kChineseSingapore) return Edition::kSimplifiedChinese;
  return Edition::kEnglish;
}

void NameCurrentThread(const char* name) {
  if (name == nullptr) return;
  // SetThreadDescription exists from Windows 10, version 1607 on; earlier systems name nothing.
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  const auto set_description =
      reinterpret_cast<SetDescription>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")));
  if (set_description == nullptr) return;
  wchar_t kept[16] = {};
  for (std::size_t i = 0; i + 1 < sizeof kept / sizeof kept[0] && name[i] != '\0'; ++i) {
    kept[i] = static_cast<unsigned char>(name[i]);
  }
  (void)set_description(GetCurrentThread(), kept);
}
