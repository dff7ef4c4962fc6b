#include "platform/process.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/mutex.h"

namespace {

// A path that tests put in place of the real executable's.
Mutex executable_override_mutex;
std::optional<std::string> executable_override GUARDED_BY(executable_override_mutex);

}  // namespace

Result<std::string> GetExecutablePath() {
  {
    MutexLock hold(executable_override_mutex);
    if (executable_override) {
      if (executable_override->empty()) return ErrnoStatus(ENOENT);
      return *executable_override;
    }
  }
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return ErrnoStatus(errno != 0 ? errno : ENOENT);
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    if (buffer.size() >= (std::size_t{1} << 20)) return ErrnoStatus(ENAMETOOLONG);
    buffer.resize(buffer.size() * 2);
  }
}

void TEST_SetExecutablePath(std::optional<std::string> path) {
  MutexLock hold(executable_override_mutex);
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

void NameCurrentThread(const char* name) {
  if (name == nullptr) return;
  char kept[16] = {};
  for (std::size_t i = 0; i + 1 < sizeof kept && name[i] != '\0'; ++i) kept[i] = name[i];
  (void)pthread_setname_np(pthread_self(), kept);
}
