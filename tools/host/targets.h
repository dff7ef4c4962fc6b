// The servers a host session watches. A target is written "HOST" or
// "HOST=PORT|URL|LOGIN|PASSWORD" (the target's own user-data string); HOST may carry a port
// ("web1:8080"), which the plug-in cuts off its host name. HOST may also be written as an URL
// without a path, "https://HOST:PORT" or "http://HOST:PORT", which sets the scheme of the
// target's user data (an https:// target without a port is on port 443).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik_host {

struct Target {
  std::string host;                       // the host text, without a scheme
  std::optional<std::string> user_data;   // its own user-data string, when it has one
  std::optional<std::string> scheme{};    // "http" or "https" when the target was written as an URL
};

// Parses one target. False with `*error` when the host is missing or not a host name, or the
// user-data string is malformed.
[[nodiscard]] bool ParseTarget(std::string_view text, Target* target, std::string* error);

// Parses a targets file: one target a line; blank lines and lines starting with '#' are
// skipped, white space around a target is ignored, and a '#' after white space starts a comment
// that runs to the end of the line ("web1:8080   # the second node"). False with `*error` naming
// the first bad line ("line 3: ...").
[[nodiscard]] bool ParseTargetList(std::string_view text, std::vector<Target>* targets, std::string* error);

// Checks a user-data string "PORT|URL|LOGIN|PASSWORD" or "PORT|URL|LOGIN|PASSWORD|SCHEME": four
// fields, or five whose last is "http" or "https" (in any case); a port from 1 to 65535 in
// decimal digits, a URL that starts with '/' or "http://" or "https://" and holds no white space
// or control character, at most 1023 characters in all. False with `*error`.
[[nodiscard]] bool CheckUserData(std::string_view user_data, std::string* error);

// `user_data` (checked by CheckUserData) for `scheme`: "https" makes its fifth field "https",
// "http" leaves its first four fields alone, as a plain HTTP source's user data is. False with
// `*error` when the result would be longer than 1023 characters.
[[nodiscard]] bool SetUserDataScheme(std::string_view scheme, std::string* user_data, std::string* error);

// The host name the plug-in keys a host text by: the text before its first ':', or a bracketed
// IPv6 literal up to its closing bracket.
std::string_view TrimHost(std::string_view host_text);

// The port a host text names after its host name ("web1:8080" gives 8080), if any.
std::optional<int> PortOfHostText(std::string_view host_text);

// How a session names the measurements of each target. The display name is the host name and
// the port the target is read from ("127.0.0.1:18081", "[::1]:8080"), after "https://" when
// the statistics page is served over TLS or the scheme the target was written with; targets
// that still share a name get "#2", "#3", ... on the repeats. Targets that share a host name
// (the plug-in's key ignores the port) get their own measurement identifiers: the counter
// text, a '|' and the display name; the others use the counter text alone.
struct TargetName {
  std::string display;
  std::string id_suffix;  // empty, or "|" + display
};
// `user_data[i]` is the user-data string `targets[i]` is read with (checked by CheckUserData);
// the two have the same length.
std::vector<TargetName> NameTargets(const std::vector<Target>& targets, const std::vector<std::string>& user_data);

// The first target of `targets` that repeats an earlier one: the same host name (in any case)
// read with the same user data (the same port, URL, login, password and scheme; the port as a
// number, "http" in a fifth field the same as none). Returns its index and sets `*error` to a
// line that names both, or returns targets.size() when every target is its own.
std::size_t FindRepeatedTarget(const std::vector<Target>& targets, const std::vector<std::string>& user_data,
                               std::string* error);

// `user_data` with a password (its fourth field, when not empty) shown as "<password>", for
// every text the host prints; a text that is not a user-data string comes back as it is.
std::string MaskPassword(std::string_view user_data);

// Reads a number of seconds ("2", "0.5"): finite, within [minimum, maximum]. False otherwise.
[[nodiscard]] bool ParseSeconds(std::string_view text, double minimum, double maximum, double* seconds);

// Reads a decimal integer within [minimum, maximum], digits only. False otherwise.
[[nodiscard]] bool ParseInteger(std::string_view text, long minimum, long maximum, long* value);

}  // namespace sarvik_host
