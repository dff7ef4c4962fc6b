#include "tools/host/demo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/child_program.h"
#include "tools/host/commands.h"
#include "tools/host/exit_codes.h"
#include "tools/host/load_generator.h"
#include "tools/host/monitor_run.h"
#include "tools/host/table_view.h"

namespace sarvik_host {

namespace {

// The statistics server pushes a fresh page this often, well within the demo's interval.
constexpr int kPushIntervalMs = 250;
// How long the statistics server may live on its own: the demo's duration and this margin.
constexpr int kServerMarginSeconds = 60;
constexpr int kServerMaxSeconds = 7 * 24 * 3600;
constexpr int kStartSeconds = 15;

void PrintError(const std::string& text) { std::fprintf(stderr, "sarvik-host: demo: %s\n", text.c_str()); }

// A temporary directory for the port files, removed with what is in it.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    char pattern[] = "/tmp/sarvik-demo-XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

int ReadPort(const std::string& path) {
  std::ifstream file(path);
  int port = 0;
  if (!(file >> port)) return 0;
  return port > 0 && port <= 65535 ? port : 0;
}

}  // namespace

int RunDemo(const CommandLine& command_line, SignalWatch& signals) {
  const std::string server_program = ExecutableDirectory() + "/sarvik-statserver";
  if (access(server_program.c_str(), X_OK) != 0) {
    PrintError("cannot find " + server_program + " (the demo's statistics server is installed beside sarvik-host)");
    return kExitUsage;
  }

  // The plug-in first: a missing configuration needs no server to be found out.
  LoadedPlugin plugin;
  if (!OpenPlugin(command_line.plugin_path, &plugin)) return kExitUsage;
  PluginSession& session = *plugin.session;

  ScratchDirectory scratch;
  if (scratch.path().empty()) {
    PrintError("cannot create a temporary directory");
    return kExitUsage;
  }
  int server_seconds = kServerMaxSeconds;
  if (command_line.duration_seconds) {
    server_seconds = static_cast<int>(std::min<double>(std::ceil(*command_line.duration_seconds) + kServerMarginSeconds,
                                                       kServerMaxSeconds));
  }

  // Declared before the load so that the load stops first, then the servers.
  std::vector<std::unique_ptr<ChildProgram>> servers;
  for (int i = 0; i < command_line.servers; ++i) {
    const std::string port_file = scratch.path() + "/port-" + std::to_string(i + 1);
    std::string error;
    auto server = ChildProgram::Start(server_program,
                                      {"--port", "0", "--port-file", port_file, "--interval",
                                       std::to_string(kPushIntervalMs), "--duration", std::to_string(server_seconds)},
                                      signals.original_mask(), &error);
    if (!server) {
      PrintError(error);
      return kExitUsage;
    }
    servers.push_back(std::move(server));
  }

  std::vector<int> ports(servers.size(), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStartSeconds);
  while (std::count(ports.begin(), ports.end(), 0) > 0) {
    for (std::size_t i = 0; i < servers.size(); ++i) {
      if (ports[i] != 0) continue;
      ports[i] = ReadPort(scratch.path() + "/port-" + std::to_string(i + 1));
      if (ports[i] == 0 && !servers[i]->Running()) {
        PrintError("sarvik-statserver ended before it was listening");
        return kExitUsage;
      }
    }
    if (std::count(ports.begin(), ports.end(), 0) == 0) break;
    if (std::chrono::steady_clock::now() > deadline) {
      PrintError("sarvik-statserver did not start listening within " + std::to_string(kStartSeconds) + " s");
      return kExitUsage;
    }
    if (signals.Wait(std::chrono::milliseconds(20)) != 0) {
      session.Terminate();
      return ExitStatusOfSignal(signals.received());
    }
  }

  MonitorPlan plan;
  if (!ReadCounters(session, "127.0.0.1", &plan.counters)) return kExitUsage;
  std::vector<Target> targets;
  for (const int port : ports) targets.push_back({"127.0.0.1:" + std::to_string(port), std::nullopt});
  // The way an operator's command would: the port from HOST:PORT, the rest from the configuration.
  if (!PlanTargets(session, targets, ServerOptions{}, &plan.targets)) return kExitUsage;
  plan.interval_seconds = command_line.interval_seconds;
  plan.duration_seconds = command_line.duration_seconds;
  plan.format = command_line.format;
  plan.report_path = command_line.report_path;
  plan.listen = command_line.listen;

  for (std::size_t i = 0; i < servers.size(); ++i) {
    std::fprintf(stderr, "sarvik-host: demo: sarvik-statserver (pid %d) listening on 127.0.0.1:%d\n",
                 static_cast<int>(servers[i]->pid()), ports[i]);
  }
  std::fprintf(stderr, "sarvik-host: demo: sending 15 to 65 requests a second; watching %zu counters every %s s%s\n",
               plan.counters.size(), DisplayNumber(plan.interval_seconds).c_str(),
               plan.duration_seconds ? "" : " until Ctrl-C");

  int status = kExitSuccess;
  {
    LoadGenerator load(ports);
    status = RunMonitor(session, signals, plan);
    load.Stop();
    std::fprintf(stderr, "sarvik-host: demo: %ld requests answered\n", load.answered());
  }
  for (auto& server : servers) server->Stop();
  return status;
}

}  // namespace sarvik_host
