// Programs the tests start: the statistics server, a proxy, the host program. Each is bounded in
// time by its own options, stopped (SIGTERM, then SIGKILL) when its holder goes out of scope, and
// waited for; none outlives its test.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts `program` with `arguments`, its standard output appended to `output_path` and its
  // standard error to `errors_path` (empty: to `output_path` as well); standard input is empty.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& output_path,
               const std::string& errors_path = "");
  ~ChildProcess() { Stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Whether the program was started and has not been waited for yet.
  bool running() const { return pid_ > 0 && status_ < 0; }
  pid_t pid() const { return pid_; }
  // Sends `signal` to the program if it has not been waited for yet.
  void Signal(int signal) const;
  // Waits up to `seconds` for the program to end by itself; true when it did (at once if it
  // already had).
  bool WaitForExit(int seconds);
  // After the program ended: its exit code, or 128 + the signal that ended it; -1 before.
  int exit_status() const { return status_; }
  // Stops the program and waits for it; safe to call twice, and after it ended by itself.
  void Stop();

 private:
  // Reaps the program if it has ended; true when it has (now or before).
  bool Reap();

  pid_t pid_ = -1;
  int status_ = -1;
};

// A fresh temporary directory, removed with everything in it when the holder goes.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// sarvik-statserver on loopback, for at most five minutes: on an ephemeral port, or on `port` (to
// bring a killed server back where it was).
class StatisticsServer {
 public:
  // `extra_arguments` are passed on (for example {"--interval", "100"}).
  explicit StatisticsServer(const std::vector<std::string>& extra_arguments = {}, int port = 0);
  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  // Ends the server at once (SIGKILL), as a crash would, and waits for it.
  void Kill();

 private:
  TemporaryDirectory directory_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

// squid on an ephemeral loopback port, asking every client for basic proxy credentials (user
// "user", password "pw"). Its access log names the user each request presented ("-" for none).
class AuthenticatingProxy {
 public:
  AuthenticatingProxy();
  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  // The access log's lines so far.
  std::vector<std::string> AccessLog() const;
  // The log lines of the GET requests (not the start-up probe) from the `first` on, once one of
  // them presented the user. squid writes a line when its request is over, so the request with
  // credentials that ends an exchange comes after the refused ones before it (and a stream it let
  // through, once the client has closed it). Waits up to 20 s, then returns what there is.
  std::vector<std::string> RequestsOfExchange(std::size_t first) const;
  // Whether the request of a log line presented the user "user".
  static bool PresentedTheUser(const std::string& line) {
    return line.size() > 5 && line.compare(line.size() - 5, 5, " user") == 0;
  }

 private:
  TemporaryDirectory directory_;
  std::unique_ptr<ChildProcess> process_;
  int port_ = 0;
};

// An X server of the test's own (Xvfb) on a display number it picks itself, stopped when the holder
// goes.
class VirtualDisplay {
 public:
  VirtualDisplay();
  // ":N", or empty when no X server could be started.
  const std::string& name() const { return name_; }
  // Runs xdotool on this display with `arguments` (bounded to 30 s); returns what it printed.
  std::string Xdotool(const std::string& arguments) const;

 private:
  TemporaryDirectory directory_;
  std::unique_ptr<ChildProcess> server_;
  std::string name_;
};

// Sends one plain GET for `path` to 127.0.0.1:`port` and reads the answer to its end; true
// when an answer came.
bool SendLoadRequest(int port, const std::string& path = "/index.html");

// A loopback TCP port that nothing listens on.
int UnusedPort();

// Waits up to `seconds` for `condition`, asking every 10 ms.
bool WaitFor(const std::function<bool()>& condition, int seconds = 20);

inline std::vector<std::string> AuthenticatingProxy::RequestsOfExchange(std::size_t first) const {
  std::vector<std::string> requests;
  WaitFor([&] {
    requests.clear();
    for (const std::string& line : AccessLog()) {
      if (line.find(" GET ") != std::string::npos) requests.push_back(line);
    }
    for (std::size_t i = first; i < requests.size(); ++i) {
      if (PresentedTheUser(requests[i])) return true;
    }
    return false;
  });
  if (first >= requests.size()) return {};
  return std::vector<std::string>(requests.begin() + static_cast<std::ptrdiff_t>(first), requests.end());
}
