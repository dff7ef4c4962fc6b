#include "platform/process.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

std::mutex executable_override_mutex;
std::optional<std::string> executable_override;  // guarded by executable_override_mutex

}  // namespace

bool GetExecutablePath(std::string* path, int* error_code) {
  {
    std::lock_guard<std::mutex> hold(executable_override_mutex);
    if (executable_override) {
      *path = *executable_override;
      if (path->empty()) *error_code = ENOENT;
      return !path->empty();
    }
  }
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      *error_code = errno != 0 ? errno : ENOENT;
      return false;
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      path->assign(buffer.data(), static_cast<std::size_t>(length));
      return true;
    }
    if (buffer.size() >= (std::size_t{1} << 20)) {
      *error_code = ENAMETOOLONG;
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

void TEST_SetExecutablePath(std::optional<std::string> path) {
  std::lock_guard<std::mutex> hold(executable_override_mutex);
  executable_override = std::move(path);
}

std::optional<std::string> GetEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

Edition CurrentEdition() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    const std::string locale(value);
    if (locale.rfind("zh_CN", 0) == 0 || locale.rfind("zh_SG", 0) == 0) return Edition::kSimplifiedChinese;
    return Edition::kEnglish;
  }
  return Edition::kEnglish;
}
