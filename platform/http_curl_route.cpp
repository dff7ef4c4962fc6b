#include "platform/http_curl_route.h"

#include <arpa/inet.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The value of environment variable `name` when it is set and not empty, as libcurl reads it.
const char* NonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : nullptr;
}

// Whether `address` lies in `network`/`bits` (bits 0: the whole address), both of family
// `family`; false when either is no address of that family or bits is out of range.
bool InNetwork(int family, const std::string& address, const std::string& network, unsigned bits) {
  std::array<unsigned char, 16> host_bytes{};
  std::array<unsigned char, 16> network_bytes{};
  const unsigned width = family == AF_INET ? 32 : 128;
  if (bits > width) return false;
  if (inet_pton(family, address.c_str(), host_bytes.data()) != 1) return false;
  if (inet_pton(family, network.c_str(), network_bytes.data()) != 1) return false;
  if (bits == 0) bits = width;
  const unsigned whole_bytes = bits / 8;
  if (std::memcmp(host_bytes.data(), network_bytes.data(), whole_bytes) != 0) return false;
  const unsigned rest = bits % 8;
  if (rest == 0) return true;
  const auto mask = static_cast<unsigned char>(0xFF << (8 - rest));
  return ((host_bytes[whole_bytes] ^ network_bytes[whole_bytes]) & mask) == 0;
}

bool NameMatches(std::string_view name, std::string_view entry) {
  if (!entry.empty() && entry.back() == '.') entry.remove_suffix(1);
  if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
  if (entry.size() == name.size()) return EqualsIgnoringCase(entry, name);
  if (entry.size() < name.size()) {
    return name[name.size() - entry.size() - 1] == '.' &&
           EqualsIgnoringCase(entry, name.substr(name.size() - entry.size()));
  }
  return false;
}

bool AddressMatches(int family, std::string_view address, std::string_view entry) {
  std::string network(entry);
  unsigned bits = 0;
  const std::size_t slash = network.find('/');
  if (slash != std::string::npos) {
    // A nonsensical width is turned away by InNetwork, like any address it cannot read.
    const long parsed = std::strtol(network.c_str() + slash + 1, nullptr, 10);
    bits = (parsed < 0 || parsed > 128) ? 129 : static_cast<unsigned>(parsed);
    network.resize(slash);
  }
  return InNetwork(family, std::string(address), network, bits);
}

}  // namespace

bool HostFitsUrl(std::string_view host) {
  if (host.empty()) return false;
  if (host.front() == '[') {
    if (host.size() < 4 || host.back() != ']') return false;
    for (const char c : host.substr(1, host.size() - 2)) {
      const bool fits = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
                        c == '.';
      if (!fits) return false;
    }
    return true;
  }
  static constexpr std::string_view kDelimiters = " /?#@:[]\\%\"'<>^`{|}";
  for (const char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
    if (kDelimiters.find(c) != std::string_view::npos) return false;
  }
  return true;
}

bool TargetFitsRequestLine(std::string_view target) {
  return target.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsHttpProxy(std::string_view proxy) {
  const std::size_t scheme_end = proxy.find("://");
  if (scheme_end == std::string_view::npos) return true;
  const std::string_view scheme = proxy.substr(0, scheme_end);
  return EqualsIgnoringCase(scheme, "http") || EqualsIgnoringCase(scheme, "https");
}

bool NoProxyListsHost(std::string_view host, std::string_view no_proxy) {
  if (host.empty() || no_proxy.empty()) return false;
  if (no_proxy == "*") return true;

  int family = 0;  // 0: a name
  std::string_view name = host;
  if (name.front() == '[') {
    const std::size_t close = name.find(']');
    if (close == std::string_view::npos) return false;
    name = name.substr(1, close - 1);
    family = AF_INET6;
  } else {
    std::array<unsigned char, 4> bytes{};
    if (inet_pton(AF_INET, std::string(name).c_str(), bytes.data()) == 1) {
      family = AF_INET;
    } else if (name.back() == '.') {
      name.remove_suffix(1);
    }
  }

  std::size_t at = 0;
  while (at < no_proxy.size()) {
    while (at < no_proxy.size() && IsBlank(no_proxy[at])) ++at;
    const std::size_t start = at;
    while (at < no_proxy.size() && !IsBlank(no_proxy[at]) && no_proxy[at] != ',') ++at;
    const std::string_view entry = no_proxy.substr(start, at - start);
    if (!entry.empty()) {
      bool match = false;
      if (family == 0) {
        match = NameMatches(name, entry);
      } else {
        // libcurl has read an IPv6 literal both as a name and as an address over its versions;
        // either reading lists the host.
        match = AddressMatches(family, name, entry) || (family == AF_INET6 && EqualsIgnoringCase(name, entry));
      }
      if (match) return true;
    }
    while (at < no_proxy.size() && IsBlank(no_proxy[at])) ++at;
    // Only commas continue the list: libcurl stops at anything else.
    if (at >= no_proxy.size() || no_proxy[at] != ',') break;
    while (at < no_proxy.size() && no_proxy[at] == ',') ++at;
  }
  return false;
}

bool SystemProxyCarries(std::string_view host) {
  const char* no_proxy = NonEmptyEnvironment("no_proxy");
  if (no_proxy == nullptr) no_proxy = NonEmptyEnvironment("NO_PROXY");
  if (no_proxy != nullptr && NoProxyListsHost(host, no_proxy)) return false;
  const char* proxy = NonEmptyEnvironment("http_proxy");
  if (proxy == nullptr) proxy = NonEmptyEnvironment("all_proxy");
  if (proxy == nullptr) proxy = NonEmptyEnvironment("ALL_PROXY");
  return proxy != nullptr && IsHttpProxy(proxy);
}

std::string FirstHopTarget(const HttpRequestOptions& options, bool through_http_proxy) {
  if (options.target.empty()) {
    return through_http_proxy ? "http://" + options.host + ":" + std::to_string(options.port) + "/" : "/";
  }
  if (through_http_proxy && options.target.front() == '/') {
    return "http://" + options.host + ":" + std::to_string(options.port) + options.target;
  }
  return options.target;
}
