#include "config/counter_config.h"

#include <cstring>

#include "platform/plinth.h"
#include "platform/process.h"

Result<std::string> LocateConfigFile() {
  Result<std::string> executable = GetExecutablePath();
  if (!executable.ok()) return executable.status();
  const std::size_t slash = executable->rfind('/');
  executable->resize(slash == std::string::npos ? 0 : slash + 1);
  return *executable + kConfigRelativePath;
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
