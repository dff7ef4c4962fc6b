#include "config/counter_config.h"

#include <cstring>

#include "config/server_params.h"
#include "platform/files.h"
#include "platform/plinth.h"
#include "platform/process.h"
#include "platform/text.h"

Result<std::string> LocateConfigFile() {
  Result<std::string> executable = GetExecutablePath();
  if (!executable.ok()) return executable.status();
  const char* separator = FindLastPathSeparator(executable->c_str());
  executable->resize(separator == nullptr ? 0 : static_cast<std::size_t>(separator - executable->c_str()) + 1);
  return *executable + NativePath(kConfigRelativePath);
}

HttpScheme ReadServerScheme(const Profile& profile) {
  return SchemeFromText(
      profile.GetString(kSectionNetscape, kKeyServerScheme, kDefaultServerScheme, kServerTextBufferSize));
}

bool ReadVerifyServer(const Profile& profile) {
  // Read as text, not as a number: a word such as "yes" reads as the number 0, and must not turn
  // the checks off.
  const std::string value = profile.GetString(kSectionNetscape, kKeyVerifyServer, "1", kServerTextBufferSize);
  std::string_view text = value;
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text != "0";
}

std::vector<CounterDefinition> ReadCounterDefinitions(const Profile& profile) {
  int count = profile.GetInt(kSectionNetscape, kKeyCounters, 0);
  if (count <= 0) return {};
  if (count > kMaxCounters) count = kMaxCounters;
  std::vector<CounterDefinition> table(static_cast<std::size_t>(count));
  for (int index = 0; index < count; ++index) {
    CounterDefinition& definition = table[static_cast<std::size_t>(index)];
    std::memset(&definition, 0, sizeof definition);
    const std::string section = std::to_string(index);
    CopyToField(definition.counter, profile.GetString(section, kKeyCounter, "", kCounterTextBufferSize));
    CopyToField(definition.label, profile.GetString(section, kKeyLabel, "", kCounterTextBufferSize));
    CopyToField(definition.description, profile.GetString(section, kKeyDescription, "", kCounterTextBufferSize));
  }
  return table;
}

CounterIndex::CounterIndex(std::span<const CounterDefinition> definitions) {
  first_by_text_.reserve(definitions.size());
  for (std::size_t index = 0; index < definitions.size(); ++index) {
    first_by_text_.emplace(std::string_view(definitions[index].counter), static_cast<int>(index));
  }
}

int CounterIndex::Find(std::string_view counter_text) const {
  const auto found = first_by_text_.find(counter_text);
  return found == first_by_text_.end() ? -1 : found->second;
}

int FindCounterDefinition(std::span<const CounterDefinition> definitions, std::string_view counter_text) {
  return CounterIndex(definitions).Find(counter_text);
}
