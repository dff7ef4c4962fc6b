#include "platform/plinth.h"

#include <sys/time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/files.h"
#include "platform/text.h"

void os_strncpy(char* destination, const char* source, int size, int /*unused*/) {
  if (destination == nullptr || size < 1) return;
  const std::size_t room = static_cast<std::size_t>(size) - 1;
  const std::size_t length = source == nullptr ? 0 : strnlen(source, room);
  if (length > 0) std::memmove(destination, source, length);
  destination[length] = '\0';
}

int os_FormatParameterizedString(std::string_view format, char* output, int size,
                                 const FormatParameters& parameters) {
  if (output == nullptr || size < 1) return 0;
  std::array<std::string_view, 9> texts;
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = parameters[i] == nullptr ? "" : parameters[i];
  const std::string filled = FillPlaceholders(format, texts);
  const std::size_t length = std::min(filled.size(), static_cast<std::size_t>(size) - 1);
  std::memcpy(output, filled.data(), length);
  output[length] = '\0';
  return static_cast<int>(length);
}

int os_gettimeofday(SampleTime* time, int /*unused*/) {
  if (time == nullptr) return 0;
  timeval now{};
  gettimeofday(&now, nullptr);
  time->seconds = static_cast<std::int32_t>(now.tv_sec);
  time->microseconds = static_cast<std::int32_t>(now.tv_usec);
  return 0;
}

bool os_get_dir_name(const char* path, char* output, int size) {
  if (output == nullptr || size < 1) return false;
  const char* slash = FindLastPathSeparator(path);
  if (slash == nullptr) {
    os_strncpy(output, ".", size);
    return size > 1;
  }
  const std::size_t length = static_cast<std::size_t>(slash - path);
  if (length + 1 > static_cast<std::size_t>(size)) {
    output[0] = '\0';
    return false;
  }
  std::memcpy(output, path, length);
  output[length] = '\0';
  return true;
}

const char* os_strrchr(const char* text, char character) {
  if (text == nullptr) return nullptr;
  return std::strrchr(text, character);
}

char* os_AllocateText(std::string_view text, std::size_t capacity) {
  const std::size_t size = std::max(capacity, text.size() + 1);
  char* copy = static_cast<char*>(std::calloc(size, 1));
  if (copy == nullptr) return nullptr;
  std::memcpy(copy, text.data(), std::min(text.size(), size - 1));
  return copy;
}

void os_FreeText(char* text) { std::free(text); }

std::vector<std::string> SplitNonEmpty(std::string_view text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    if (end > start) parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}
