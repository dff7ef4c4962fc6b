// How the host names a measurement: an identifier and a host text. The identifier is the
// counter text, optionally followed by '|' and more; the host text is cut at its first colon.
#pragma once

#include <string>
#include <string_view>

// The longest identifier part, counter name or host kept; longer ones are cut.
inline constexpr std::size_t kMaxKeyLength = 511;

struct MeasurementKey {
  // The registry key: the identifier itself when it holds a '|' (cut to kMaxKeyLength),
  // otherwise "identifier|host" with the identifier cut, never the host.
  std::string key;
  // The counter text looked up in the configuration: the identifier up to its first '|'.
  std::string counter_name;
  // The host name (the host text up to its first colon), cut to kMaxKeyLength: the measurement
  // and its server see the same name.
  std::string host;
  // What messages name the measurement by: the counter name for an identifier with a '|',
  // otherwise the key.
  const std::string& working_text() const { return has_bar ? counter_name : key; }
  bool has_bar = false;
};

// Fills `*out` for `identifier` and `host_text` (null texts count as empty), reusing its
// strings' storage.
void MakeMeasurementKey(const char* identifier, const char* host_text, MeasurementKey* out);
