// The configuration file as the monitor reads it: an arbitrary text parsed as a profile, the
// counter definitions and the proxy settings read from it.
//
// Checks: every text read is cut to its buffer; every field of every counter definition is
// terminated within its bytes and zero after its text; the number of definitions follows the
// Counters key within its bounds; a named proxy is exactly a non-empty httpProxy.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "config/counter_config.h"
#include "fuzz/fuzz_check.h"
#include "platform/profile.h"
#include "polling/proxy_settings.h"

namespace {

template <std::size_t N>
void CheckField(const char (&field)[N]) {
  const std::size_t length = strnlen(field, N);
  FUZZ_CHECK(length < N);
  for (std::size_t i = length; i < N; ++i) FUZZ_CHECK(field[i] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Profile profile = Profile::Parse(text);

  const int count = profile.GetInt(kSectionNetscape, kKeyCounters, 0);
  const std::vector<CounterDefinition> definitions = ReadCounterDefinitions(profile);
  const std::size_t expected = count <= 0 ? 0 : static_cast<std::size_t>(count < kMaxCounters ? count : kMaxCounters);
  FUZZ_CHECK(definitions.size() == expected);
  for (const CounterDefinition& definition : definitions) {
    CheckField(definition.counter);
    CheckField(definition.label);
    CheckField(definition.description);
    CheckField(definition.reserved1);
    CheckField(definition.host);
    CheckField(definition.user_data);
  }
  if (!definitions.empty()) {
    const int found = FindCounterDefinition(definitions, definitions.back().counter);
    FUZZ_CHECK(found >= 0 && static_cast<std::size_t>(found) < definitions.size());
    FUZZ_CHECK(std::strcmp(definitions[static_cast<std::size_t>(found)].counter, definitions.back().counter) == 0);
  }

  for (int buffer_size : {-1, 0, 1, 2, kCounterTextBufferSize, kServerTextBufferSize}) {
    const std::string value = profile.GetString(kSectionNetscape, kKeyInfoUrl, "default", buffer_size);
    FUZZ_CHECK(value.size() <= static_cast<std::size_t>(buffer_size < 1 ? 0 : buffer_size - 1));
  }
  (void)profile.GetInt(kSectionNetscape, kKeyServerPort, kDefaultServerPort);
  (void)profile.GetInt(kSectionNetscape, kKeySamplingRate, 0);

  const ProxySettings proxy = ProxySettings::Read(profile);
  if (profile.GetInt(kSectionProxySettings, "useProxy", 1) != 1) {
    FUZZ_CHECK(proxy.access_type == ProxyMode::kDirect);
    FUZZ_CHECK(proxy.proxy_server.empty() && proxy.user_name.empty() && proxy.password.empty());
  } else {
    FUZZ_CHECK(proxy.access_type == (proxy.proxy_server.empty() ? ProxyMode::kSystem : ProxyMode::kNamed));
    FUZZ_CHECK(proxy.proxy_server.size() < static_cast<std::size_t>(kServerTextBufferSize));
    FUZZ_CHECK(proxy.password.size() < static_cast<std::size_t>(kServerTextBufferSize));
  }
  return 0;
}
