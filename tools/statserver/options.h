// The command line of sarvik-statserver.
#ifndef SARVIK_TOOLS_STATSERVER_OPTIONS_H_
#define SARVIK_TOOLS_STATSERVER_OPTIONS_H_

#include <optional>
#include <string>
#include <vector>

namespace statserver {

inline constexpr char kProgramVersion[] = "0.1.0";

struct ServerOptions {
  std::string bind = "127.0.0.1";  // "127.0.0.1" or "::1": loopback only
  int port = 0;                    // 0: an ephemeral port
  std::string port_file;           // when set, the port is written there once listening
  int interval_ms = 1000;          // push interval of the statistics stream
  std::optional<int> duration_seconds;  // stop by itself after this long
  std::string auth;                // "user:password" required on the statistics URLs; empty: none
  std::string proxy_auth;          // "user:password" required as proxy credentials on every URL; empty: none
  std::string trace_file;          // when set, every connection and request head is appended there
  int max_connections = 512;
  int keepalive_timeout_seconds = 30;
  int keepalive_max = 256;
  int sources = 0;                 // numbered sources /s/1/.perf .. /s/N/.perf with formula pages; 0: none
  std::string tls_certificate;     // when set, every connection is served inside TLS with this PEM
  std::string tls_key;             // certificate chain and this PEM private key
};

struct CommandLine {
  enum class Action { kRun, kHelp, kVersion, kError };
  Action action = Action::kRun;
  ServerOptions options;
  std::string error;  // for kError: what is wrong, one line
};

// Parses the arguments after the program name. Accepts "--name value" and "--name=value".
[[nodiscard]] CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The --help text: every option and URL.
[[nodiscard]] std::string HelpText();

}  // namespace statserver

#endif  // SARVIK_TOOLS_STATSERVER_OPTIONS_H_
