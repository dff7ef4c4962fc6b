#include "tools/host/targets.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <map>
#include <vector>

namespace sarvik_host {

namespace {

constexpr std::size_t kMaxUserDataLength = 1023;
constexpr std::size_t kMaxHostLength = 128;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lowered;
}

// The fields of a user-data string, split at every bar.
std::vector<std::string_view> UserDataFields(std::string_view user_data) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t bar = user_data.find('|', start);
    fields.push_back(user_data.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return fields;
}

bool HasControlOrBlank(std::string_view text) {
  for (const char c : text) {
    if (IsBlank(c) || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

bool CheckHost(std::string_view host, std::string* error) {
  if (host.empty()) {
    *error = "a target needs a host name";
    return false;
  }
  if (host.find("://") != std::string_view::npos || host.find('/') != std::string_view::npos) {
    *error = "'" + std::string(host) + "' is not a host name (give the statistics URL with --url or in the user data)";
    return false;
  }
  if (HasControlOrBlank(host) || host.find('|') != std::string_view::npos) {
    *error = "'" + std::string(host) + "' is not a host name";
    return false;
  }
  if (host.size() > kMaxHostLength) {
    *error = "the host name '" + std::string(host.substr(0, 40)) + "...' is longer than 128 characters";
    return false;
  }
  if (TrimHost(host).empty()) {
    *error = "'" + std::string(host) + "' has no host name before its port";
    return false;
  }
  const std::string_view name = TrimHost(host);
  if (name.size() < host.size() && (host[name.size()] != ':' || !PortOfHostText(host))) {
    *error = "'" + std::string(host) + "' has no port from 1 to 65535 after its host name";
    return false;
  }
  return true;
}

}  // namespace

bool ParseInteger(std::string_view text, long minimum, long maximum, long* value) {
  if (text.empty() || text.size() > 18) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  long parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  if (parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

bool ParseSeconds(std::string_view text, double minimum, double maximum, double* seconds) {
  if (text.empty() || text.size() > 32) return false;
  for (const char c : text) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  double parsed = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(parsed)) return false;
  if (parsed < minimum || parsed > maximum) return false;
  *seconds = parsed;
  return true;
}

std::string_view TrimHost(std::string_view host_text) {
  if (!host_text.empty() && host_text.front() == '[') {
    const std::size_t close = host_text.find(']');
    if (close != std::string_view::npos) return host_text.substr(0, close + 1);
  }
  return host_text.substr(0, host_text.find(':'));
}

std::optional<int> PortOfHostText(std::string_view host_text) {
  const std::string_view name = TrimHost(host_text);
  if (name.size() >= host_text.size() || host_text[name.size()] != ':') return std::nullopt;
  long port = 0;
  if (!ParseInteger(host_text.substr(name.size() + 1), 1, 65535, &port)) return std::nullopt;
  return static_cast<int>(port);
}

bool CheckUserData(std::string_view user_data, std::string* error) {
  const std::string masked = MaskPassword(user_data);
  const std::string shown = "'" + masked.substr(0, 80) + (masked.size() > 80 ? "...'" : "'");
  if (user_data.size() > kMaxUserDataLength) {
    *error = "the user data " + shown + " is longer than 1023 characters";
    return false;
  }
  const std::vector<std::string_view> fields = UserDataFields(user_data);
  if (fields.size() != 4 && fields.size() != 5) {
    *error = "the user data " + shown + " has " + std::to_string(fields.size()) +
             (fields.size() == 1 ? " field" : " fields") +
             "; it must be PORT|URL|LOGIN|PASSWORD (four fields), or PORT|URL|LOGIN|PASSWORD|https";
    return false;
  }
  if (fields.size() == 5 && Lower(fields[4]) != "http" && Lower(fields[4]) != "https") {
    *error = "the user data " + shown + " names the scheme '" + std::string(fields[4].substr(0, 20)) +
             "' in its fifth field; it must be http or https";
    return false;
  }
  long port = 0;
  if (!ParseInteger(fields[0], 1, 65535, &port)) {
    *error = "the user data " + shown + " has no port from 1 to 65535 before its first '|'";
    return false;
  }
  const std::string_view url = fields[1];
  if (url.empty() || HasControlOrBlank(url) ||
      !(url.front() == '/' || url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0)) {
    *error = "the user data " + shown + " has no statistics URL (a path such as /.perf) in its second field";
    return false;
  }
  for (const std::string_view field : {fields[2], fields[3]}) {
    for (const char c : field) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        *error = "the user data " + shown + " holds a control character";
        return false;
      }
    }
  }
  return true;
}

bool SetUserDataScheme(std::string_view scheme, std::string* user_data, std::string* error) {
  // The first four fields stay; a fifth, if any, is replaced.
  std::size_t fourth_bar = 0;
  for (int bar = 0; bar < 4 && fourth_bar != std::string::npos; ++bar) {
    fourth_bar = user_data->find('|', bar == 0 ? 0 : fourth_bar + 1);
  }
  std::string updated = user_data->substr(0, fourth_bar);
  if (Lower(scheme) == "https") updated += "|https";
  if (updated.size() > kMaxUserDataLength) {
    *error = "the user data '" + MaskPassword(updated).substr(0, 80) +
             "...' with its scheme is longer than 1023 characters";
    return false;
  }
  *user_data = std::move(updated);
  return true;
}

bool ParseTarget(std::string_view text, Target* target, std::string* error) {
  text = Trim(text);
  const std::size_t equals = text.find('=');
  std::string_view host = text.substr(0, equals);
  Target parsed;
  // An URL without a path names the scheme of the target.
  for (const std::string_view scheme : {"https", "http"}) {
    const std::size_t prefix = scheme.size() + 3;
    if (host.size() >= prefix && Lower(host.substr(0, prefix)) == std::string(scheme) + "://") {
      parsed.scheme = std::string(scheme);
      host.remove_prefix(prefix);
      if (!host.empty() && host.back() == '/') host.remove_suffix(1);
      break;
    }
  }
  if (!CheckHost(host, error)) return false;
  parsed.host = std::string(host);
  if (parsed.scheme == "https" && !PortOfHostText(parsed.host)) parsed.host += ":443";
  if (equals != std::string_view::npos) {
    const std::string_view user_data = text.substr(equals + 1);
    if (!CheckUserData(user_data, error)) {
      *error = parsed.host + ": " + *error;
      return false;
    }
    const std::vector<std::string_view> fields = UserDataFields(user_data);
    if (parsed.scheme && fields.size() == 5 && Lower(fields[4]) != *parsed.scheme) {
      *error = parsed.host + ": the target is written " + *parsed.scheme + ":// but its user data names " +
               Lower(fields[4]);
      return false;
    }
    parsed.user_data = std::string(user_data);
  }
  *target = std::move(parsed);
  return true;
}

bool ParseTargetList(std::string_view text, std::vector<Target>* targets, std::string* error) {
  std::size_t line_number = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    for (std::size_t hash = line.find('#'); hash != std::string_view::npos; hash = line.find('#', hash + 1)) {
      if (hash == 0 || IsBlank(line[hash - 1])) {
        line = line.substr(0, hash);
        break;
      }
    }
    line = Trim(line);
    ++line_number;
    if (!line.empty()) {
      Target target;
      if (!ParseTarget(line, &target, error)) {
        *error = "line " + std::to_string(line_number) + ": " + *error;
        return false;
      }
      targets->push_back(std::move(target));
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return true;
}

namespace {

// The port, URL, login, password and scheme of a checked user-data string, in one form:
// the port as a number, the scheme "https" or nothing.
std::string NormalisedUserData(std::string_view user_data) {
  const std::vector<std::string_view> fields = UserDataFields(user_data);
  if (fields.size() < 4) return std::string(user_data);
  long port = 0;
  std::string normalised = ParseInteger(fields[0], 0, 65535, &port) ? std::to_string(port) : std::string(fields[0]);
  for (std::size_t i = 1; i < 4; ++i) normalised += "|" + std::string(fields[i]);
  if (fields.size() == 5 && Lower(fields[4]) == "https") normalised += "|https";
  return normalised;
}

bool ReadOverTls(std::string_view user_data) {
  const std::vector<std::string_view> fields = UserDataFields(user_data);
  return fields.size() == 5 && Lower(fields[4]) == "https";
}

}  // namespace

std::vector<TargetName> NameTargets(const std::vector<Target>& targets, const std::vector<std::string>& user_data) {
  std::map<std::string, int> name_seen;
  std::map<std::string, int> host_count;
  for (const Target& target : targets) ++host_count[std::string(TrimHost(target.host))];
  std::vector<TargetName> names;
  names.reserve(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const Target& target = targets[i];
    const std::string_view data = i < user_data.size() ? std::string_view(user_data[i]) : std::string_view();
    std::string written;
    if (target.scheme) {
      written = *target.scheme + "://";
    } else if (ReadOverTls(data)) {
      written = "https://";
    }
    long port = 0;
    const std::string_view port_field = data.substr(0, data.find('|'));
    if (!data.empty() && ParseInteger(port_field, 1, 65535, &port)) {
      written += std::string(TrimHost(target.host)) + ":" + std::to_string(port);
    } else {
      written += target.host;
    }
    TargetName name;
    const int repeat = ++name_seen[written];
    name.display = repeat == 1 ? written : written + "#" + std::to_string(repeat);
    if (host_count[std::string(TrimHost(target.host))] > 1) name.id_suffix = "|" + name.display;
    names.push_back(std::move(name));
  }
  return names;
}

std::size_t FindRepeatedTarget(const std::vector<Target>& targets, const std::vector<std::string>& user_data,
                               std::string* error) {
  std::map<std::string, std::size_t> first_of;
  for (std::size_t i = 0; i < targets.size() && i < user_data.size(); ++i) {
    const std::string key = Lower(TrimHost(targets[i].host)) + "|" + NormalisedUserData(user_data[i]);
    const auto [earlier, added] = first_of.emplace(key, i);
    if (added) continue;
    const auto describe = [&](std::size_t at) {
      const Target& target = targets[at];
      std::string text = target.scheme ? *target.scheme + "://" + target.host : target.host;
      if (target.user_data) text += "=" + MaskPassword(*target.user_data);
      return "'" + text + "'";
    };
    *error = "the target " + describe(i) + " is given twice: it reads the same statistics page (" +
             std::string(TrimHost(targets[i].host)) + ", user data '" + MaskPassword(user_data[i]) + "') as " +
             describe(earlier->second);
    return i;
  }
  return targets.size();
}

std::string MaskPassword(std::string_view user_data) {
  const std::vector<std::string_view> fields = UserDataFields(user_data);
  if (fields.size() < 4 || fields[3].empty()) return std::string(user_data);
  std::string masked;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) masked += '|';
    masked += i == 3 ? std::string_view("<password>") : fields[i];
  }
  return masked;
}

}  // namespace sarvik_host
