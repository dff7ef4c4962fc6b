// The user-data string as the host hands it back: arbitrary text parsed into server
// properties, and the properties formatted and parsed again.
//
// Checks: the port is the leading integer of the first 1023 characters; no field holds a '|'
// or more than the string had; a formatted string is at most 1023 characters; the parsed fields
// of any string format to a string that parses back to the same fields when it was not cut.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "documents/user_data.h"
#include "fuzz/fuzz_check.h"
#include "platform/text.h"

namespace {

bool SameFields(const ServerParams& a, const ServerParams& b) {
  return a.port == b.port && a.url == b.url && a.login == b.login && a.password == b.password;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ServerParams parsed;
  parsed.host = "web1";
  parsed.url = "stale";
  ParseUserData(text, &parsed);
  FUZZ_CHECK(parsed.host == "web1");
  const std::string_view read = text.substr(0, kUserDataCapacity - 1);
  FUZZ_CHECK(parsed.port == ParseLeadingInteger(read));
  for (const std::string* field : {&parsed.url, &parsed.login, &parsed.password}) {
    FUZZ_CHECK(field->find('|') == std::string::npos);
    FUZZ_CHECK(field->size() < kUserDataCapacity);
  }
  FUZZ_CHECK(parsed.url.size() + parsed.login.size() + parsed.password.size() <= read.size());

  const std::string formatted = FormatUserData(parsed.port, parsed.url, parsed.login, parsed.password);
  FUZZ_CHECK(formatted.size() <= kUserDataCapacity - 1);
  const std::size_t full_size = std::to_string(parsed.port).size() + 3 + parsed.url.size() + parsed.login.size() +
                                parsed.password.size();
  ServerParams again;
  ParseUserData(formatted, &again);
  if (full_size <= kUserDataCapacity - 1) {
    FUZZ_CHECK(formatted.size() == full_size);
    FUZZ_CHECK(SameFields(parsed, again));
    // And the text once more: formatting is a fixed point.
    FUZZ_CHECK(FormatUserData(again.port, again.url, again.login, again.password) == formatted);
  } else {
    FUZZ_CHECK(formatted.size() == kUserDataCapacity - 1);
    FUZZ_CHECK(again.port == parsed.port);
  }
  return 0;
}
