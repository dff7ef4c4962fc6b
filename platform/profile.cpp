#include "platform/profile.h"

#include "platform/files.h"
#include "platform/text.h"

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value.remove_prefix(1);
    value.remove_suffix(1);
  }
  return value;
}

std::string CutToBuffer(std::string_view text, int buffer_size) {
  if (buffer_size < 1) return {};
  const std::size_t room = static_cast<std::size_t>(buffer_size) - 1;
  return std::string(text.substr(0, room));
}

}  // namespace

Profile Profile::Load(const std::string& path) {
  std::string contents;
  if (!ReadWholeFile(path, &contents).ok()) return Profile{};
  return Parse(contents);
}

Profile Profile::Parse(std::string_view text) {
  Profile profile;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  Entries* current = nullptr;  // null: before the first section, or inside a repeated one
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      std::string name = Lower(Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)));
      if (profile.section_index_.count(name) != 0) {
        current = nullptr;  // the first section of a name is the one that counts
        continue;
      }
      profile.section_index_.emplace(std::move(name), profile.sections_.size());
      profile.sections_.emplace_back();
      current = &profile.sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::string key = Lower(Trim(line.substr(0, equals)));
    if (key.empty()) continue;
    bool known = false;
    for (const auto& entry : *current) known = known || entry.first == key;
    if (known) continue;
    current->emplace_back(std::move(key), std::string(Unquote(Trim(line.substr(equals + 1)))));
  }
  return profile;
}

const std::string* Profile::Find(std::string_view section, std::string_view key) const {
  const auto found = section_index_.find(Lower(section));
  if (found == section_index_.end()) return nullptr;
  const std::string lowered_key = Lower(key);
  for (const auto& entry : sections_[found->second]) {
    if (entry.first == lowered_key) return &entry.second;
  }
  return nullptr;
}

std::string Profile::GetString(std::string_view section, std::string_view key, std::string_view default_value,
                               int buffer_size) const {
  const std::string* value = Find(section, key);
  return CutToBuffer(value != nullptr ? std::string_view(*value) : default_value, buffer_size);
}

int Profile::GetInt(std::string_view section, std::string_view key, int default_value) const {
  const std::string* value = Find(section, key);
  if (value == nullptr || value->empty()) return default_value;
  // No white space is skipped: the value is trimmed already, and a blank kept inside quotes
  // means the value does not start with a number.
  return ReadLeadingDecimal(*value).value;
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, int buffer_size, const std::string& path) {
  return Profile::Load(path).GetString(section, key, default_value, buffer_size);
}

int GetPrivateProfileInt(std::string_view section, std::string_view key, int default_value,
                         const std::string& path) {
  return Profile::Load(path).GetInt(section, key, default_value);
}
