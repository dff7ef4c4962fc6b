// Reading of INI profile files, with the rules the monitor's configuration relies on:
// - a missing file, section or key gives the caller's default;
// - section and key names compare without regard to ASCII case;
// - a text is cut to the caller's buffer size less one;
// - an integer is the decimal number at the start of the value (optional sign), 0 when the
//   value does not start with one, the default when the value is empty;
// - lines starting with ';' or '#' are comments, blank lines are skipped, white space around
//   names and values is dropped, and one pair of matching quotes around a value is removed;
// - of two sections (or two keys in one section) with the same name, the first one counts.
// A Profile is an immutable value once parsed; it may be read from any thread.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class Profile {
 public:
  // The profile of the file at `path`. A file that cannot be read gives an empty profile,
  // in which every key takes its default.
  static Profile Load(const std::string& path);

  // The profile held in `text`.
  static Profile Parse(std::string_view text);

  // The text of `key` in `section`, or `default_value`; either is cut to buffer_size - 1
  // characters (nothing for a buffer size below 1).
  std::string GetString(std::string_view section, std::string_view key, std::string_view default_value,
                        int buffer_size) const;

  // The integer at the start of the value of `key` in `section`, or `default_value` when the
  // key is missing or empty. Numbers beyond the 32-bit range are clamped to it.
  int GetInt(std::string_view section, std::string_view key, int default_value) const;

 private:
  using Entries = std::vector<std::pair<std::string, std::string>>;  // lower-cased key, value

  const std::string* Find(std::string_view section, std::string_view key) const;

  std::vector<Entries> sections_;
  std::unordered_map<std::string, std::size_t> section_index_;  // lower-cased name -> index
};

// One key of the file at `path`, the file read for this call alone.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view default_value, int buffer_size, const std::string& path);
int GetPrivateProfileInt(std::string_view section, std::string_view key, int default_value,
                         const std::string& path);
