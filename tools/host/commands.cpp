#include "tools/host/commands.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "tools/host/demo.h"
#include "tools/host/discover_command.h"
#include "tools/host/exit_codes.h"
#include "tools/host/monitor_run.h"
#include "tools/host/terminal.h"
#include "tools/host/watched_call.h"

namespace sarvik_host {

namespace {

// GetNewData's result when the copy of the page holds no value for the counter.
constexpr int kValueNotFoundResult = 17;

void PrintError(const std::string& text) { std::fprintf(stderr, "sarvik-host: %s\n", text.c_str()); }

bool ReadWholeFile(const std::string& path, std::string* contents) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::stringstream buffer;
  buffer << file.rdbuf();
  *contents = buffer.str();
  return !file.bad();
}

int RunCollection(const CommandLine& command_line) {
  LoadedPlugin plugin;
  if (!OpenPlugin(command_line.plugin_path, &plugin)) return kExitUsage;
  std::string document;
  plugin.session->GetMeasurementsCollection(command_line.targets[0], &document);
  plugin.session->Terminate();
  // A terminal gets the table; a pipe or a file gets the document, which scripts read. The
  // terminal stays open while the table is written, so that it draws what the table holds.
  const std::unique_ptr<Terminal> terminal = Terminal::Open();
  const bool table = command_line.format == OutputFormat::kTable ||
                     (command_line.format == OutputFormat::kAuto && terminal != nullptr);
  if (table) {
    const std::optional<TerminalSize> size = terminal != nullptr ? terminal->Size() : std::nullopt;
    document = RenderCounterTable(document, size ? size->columns : 120);
  }
  std::fwrite(document.data(), 1, document.size(), stdout);
  return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

int RunUserData(const CommandLine& command_line) {
  Target target;
  std::string error;
  if (!ParseTarget(command_line.targets[0], &target, &error) || target.user_data) {
    PrintError(target.user_data ? "userdata takes a HOST, not a target with its own user data" : error);
    return kExitUsage;
  }
  std::string document;
  if (!command_line.document_file.empty() && !ReadWholeFile(command_line.document_file, &document)) {
    PrintError("cannot read the document " + command_line.document_file);
    return kExitUsage;
  }
  LoadedPlugin plugin;
  if (!OpenPlugin(command_line.plugin_path, &plugin)) return kExitUsage;
  // Without a document of its own, the host holds the plug-in's collection document, with the
  // port of a HOST:PORT text, like the other commands.
  std::optional<int> port = command_line.server.port;
  if (command_line.document_file.empty()) {
    plugin.session->GetMeasurementsCollection(target.host, &document);
    if (!port) port = PortOfHostText(target.host);
  }
  if (port || command_line.server.url) document = WithServerProperties(document, port, command_line.server.url);
  std::string user_data;
  plugin.session->GetUserDataStr(target.host, command_line.server.login.value_or(""),
                                 command_line.server.password.value_or(""), document, &user_data);
  plugin.session->Terminate();
  std::printf("%s\n", MaskPassword(user_data).c_str());
  return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
}

// How long `test` waits for the plug-in's first copy of the page after a fetch that worked.
constexpr auto kSnapshotBound = std::chrono::seconds(30);

// What one copy of a statistics page holds of the configuration's counters.
struct PageCheck {
  std::size_t found = 0;    // counters the copy held
  std::size_t missing = 0;  // counters it did not hold (the plug-in found no value)
  std::size_t unread = 0;   // counters not read: no copy within the bound, or refused by the plug-in
  bool unreadable = false;  // the plug-in could read no copy of the page at all (`failure` says why)
  std::string failure;      // the last failure the plug-in gave for an unread counter
  int signal = 0;           // the stop signal that ended the check, or 0
};

// Activates every counter of `counters` on `host` and reads each once the way a monitoring
// session does (GetNewData until the plug-in has a copy of the page or a failed fetch of it),
// within kSnapshotBound; deactivates them again.
PageCheck CheckPage(PluginSession& session, SignalWatch& signals, const std::string& host, const std::string& user_data,
                    const std::vector<CounterInfo>& counters) {
  PageCheck check;
  std::vector<const CounterInfo*> pending;
  for (const CounterInfo& counter : counters) {
    const CallResult result = session.Activate(counter.counter, host, user_data);
    if (result.code == 0) {
      pending.push_back(&counter);
    } else {
      ++check.unread;
      if (!result.message.empty()) check.failure = result.message;
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + kSnapshotBound;
  while (!pending.empty()) {
    std::vector<const CounterInfo*> still;
    bool only_failures = true;  // every counter not read yet reports a failed fetch
    for (const CounterInfo* counter : pending) {
      ReadingRecord reading;
      bool written = false;
      const CallResult result = session.GetNewData(counter->counter, host, &reading, &written);
      if (result.code == 0) {
        ++check.found;
      } else if (result.code == kValueNotFoundResult) {
        ++check.missing;
      } else {
        // No copy yet (1), or a failed fetch of the page, which the plug-in tries again.
        if (result.code == 1) only_failures = false;
        if (!result.message.empty()) check.failure = result.message;
        still.push_back(counter);
      }
    }
    pending = std::move(still);
    if (pending.empty()) break;
    // The page was fetched a moment ago; a copy the plug-in cannot read is what the page is.
    if (only_failures && check.found == 0 && check.missing == 0) {
      check.unread += pending.size();
      check.unreadable = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      check.unread += pending.size();
      break;
    }
    check.signal = signals.Wait(std::chrono::milliseconds(200));
    if (check.signal != 0) break;
  }
  for (const auto& [id, active_host] : session.Active()) {
    const CallResult ignored = session.Deactivate(id, active_host);
    (void)ignored;
  }
  return check;
}

int RunTest(const CommandLine& command_line, SignalWatch& signals) {
  Target target;
  LoadedPlugin plugin;
  std::string user_data;
  if (!OpenFirstTarget(command_line, &target, &plugin, &user_data)) return kExitUsage;
  CallResult result;
  CallWatched(signals, [&] { result = plugin.session->TestMachine(target.host, user_data); });
  if (signals.received() != 0) {
    plugin.session->Terminate();
    return ExitStatusOfSignal(signals.received());
  }
  if (result.code != 0) {
    plugin.session->Terminate();
    std::printf("%s\n", result.message.empty() ? ("failed with result " + std::to_string(result.code)).c_str()
                                                : result.message.c_str());
    return kExitFailure;
  }
  if (!result.message.empty()) PrintPluginMessage("TestMachine", target.host, result.message);

  // The page could be fetched; whether it is a statistics page shows in what it holds.
  std::vector<CounterInfo> counters;
  if (!ReadCounters(*plugin.session, target.host, &counters)) {
    plugin.session->Terminate();
    return kExitUsage;
  }
  const PageCheck check = CheckPage(*plugin.session, signals, target.host, user_data, counters);
  plugin.session->Terminate();
  if (check.signal != 0) return ExitStatusOfSignal(check.signal);
  const std::string total = std::to_string(counters.size());
  if (check.found > 0) {
    std::printf("OK: %zu of %s counters found\n", check.found, total.c_str());
    if (check.unread > 0) {
      std::fprintf(stderr, "sarvik-host: %zu counters could not be read%s%s\n", check.unread,
                   check.failure.empty() ? "" : ": ", check.failure.c_str());
    }
    return kExitSuccess;
  }
  if ((check.missing > 0 && check.unread == 0) || check.unreadable) {
    if (check.unreadable && !check.failure.empty()) PrintPluginMessage("GetNewData", target.host, check.failure);
    std::printf("warning: the page holds none of the %s counters of the configuration \xE2\x80\x94 is this the "
                "statistics page?\n",
                total.c_str());
    return kExitNoStatistics;
  }
  std::printf("warning: the page was fetched, but no copy of it could be read within %lld s%s%s\n",
              static_cast<long long>(kSnapshotBound.count()), check.failure.empty() ? "" : ": ",
              check.failure.c_str());
  return kExitFailure;
}

int RunMonitorCommand(const CommandLine& command_line, SignalWatch& signals) {
  std::vector<Target> targets;
  std::string error;
  for (const std::string& text : command_line.targets) {
    Target target;
    if (!ParseTarget(text, &target, &error)) {
      PrintError(error);
      return kExitUsage;
    }
    targets.push_back(std::move(target));
  }
  if (!command_line.targets_file.empty()) {
    std::string contents;
    if (!ReadWholeFile(command_line.targets_file, &contents)) {
      PrintError("cannot read the targets file " + command_line.targets_file);
      return kExitUsage;
    }
    if (!ParseTargetList(contents, &targets, &error)) {
      PrintError(command_line.targets_file + ": " + error);
      return kExitUsage;
    }
  }
  if (targets.empty()) {
    PrintError("no target to monitor");
    return kExitUsage;
  }

  LoadedPlugin plugin;
  if (!OpenPlugin(command_line.plugin_path, &plugin)) return kExitUsage;
  PluginSession& session = *plugin.session;

  MonitorPlan plan;
  std::vector<CounterInfo> known;
  if (!ReadCounters(session, targets[0].host, &known)) return kExitUsage;
  if (command_line.all_counters) {
    plan.counters = known;
  } else {
    std::vector<std::pair<const CounterInfo*, std::string>> chosen;  // each counter and the name it was given by
    for (const std::string& text : command_line.counters) {
      const CounterMatch match = MatchCounter(known, text);
      if (match.counter == nullptr) {
        PrintError(DescribeCounterMiss(text, match));
        return kExitUsage;
      }
      for (const auto& [counter, given] : chosen) {
        if (counter == match.counter) {
          PrintError("--counter '" + given + "' and --counter '" + text + "' name the same counter '" +
                     counter->counter + "'");
          return kExitUsage;
        }
      }
      chosen.emplace_back(match.counter, text);
      plan.counters.push_back(*match.counter);
    }
  }

  if (!PlanTargets(session, targets, command_line.server, &plan.targets)) return kExitUsage;
  plan.interval_seconds = command_line.interval_seconds;
  plan.duration_seconds = command_line.duration_seconds;
  plan.format = command_line.format;
  plan.report_path = command_line.report_path;
  plan.listen = command_line.listen;
  plan.test_first = command_line.test_first;
  return RunMonitor(session, signals, plan);
}

// Shows the dialog, prints the chosen records and, with --monitor, watches them.
int RunBrowse(const CommandLine& command_line, SignalWatch& signals) {
  const std::string& host = command_line.targets[0];
  LoadedPlugin plugin;
  if (!OpenPlugin(command_line.plugin_path, &plugin)) return kExitUsage;
  PluginSession& session = *plugin.session;

  // The dialog starts from the server properties of a server the plug-in already watches for the
  // host. A port in HOST:PORT, or a login, is offered that way: one measurement on the host with
  // those properties, for as long as the dialog shows.
  std::string seed_id;
  Target seed;
  std::string error;
  const ServerOptions& server = command_line.server;
  if ((PortOfHostText(host) || server.login || server.password) && ParseTarget(host, &seed, &error) &&
      !seed.user_data) {
    std::vector<CounterInfo> known;
    std::string user_data;
    if (ReadCounters(session, seed.host, &known) && ResolveUserData(session, seed, server, &user_data)) {
      seed_id = known.front().counter + "|browse";
      if (session.Activate(seed_id, seed.host, user_data).code != 0) seed_id.clear();
    }
  }
  std::vector<CounterDefinition> records;
  const CallResult chosen = session.Browse(host, &records);
  if (!seed_id.empty()) {
    const CallResult ignored = session.Deactivate(seed_id, seed.host);
    (void)ignored;
  }
  if (chosen.code != 0) {
    PrintPluginMessage("BrowseMonitor", host, chosen.message);
    return kExitUsage;
  }
  for (const CounterDefinition& record : records) {
    std::printf("%s\t%s\t%s\t%s\n", record.label, record.counter, record.host,
                MaskPassword(record.user_data).c_str());
  }
  std::fflush(stdout);
  if (records.empty()) std::fprintf(stderr, "sarvik-host: no counter was chosen\n");
  if (!command_line.monitor_selection || records.empty()) return kExitSuccess;

  // Every record of one dialog carries the same host and server properties.
  std::vector<CounterInfo> known;
  if (!ReadCounters(session, records[0].host, &known)) return kExitUsage;
  MonitorPlan plan;
  for (const CounterDefinition& record : records) {
    const CounterInfo* counter = FindCounter(known, record.counter);
    plan.counters.push_back(counter != nullptr ? *counter
                                               : CounterInfo{record.counter, record.label, record.description, ""});
  }
  MonitoredTarget target;
  target.host = records[0].host;
  target.user_data = records[0].user_data;
  target.display = NameTargets({Target{target.host, target.user_data}}, {target.user_data})[0].display;
  plan.targets.push_back(std::move(target));
  plan.interval_seconds = command_line.interval_seconds;
  plan.duration_seconds = command_line.duration_seconds;
  plan.format = command_line.format;
  plan.report_path = command_line.report_path;
  plan.listen = command_line.listen;
  return RunMonitor(session, signals, plan);
}

}  // namespace

bool OpenPlugin(const std::string& path, LoadedPlugin* plugin) {
  const std::string library = path.empty() ? DefaultPluginPath() : path;
  std::string error;
  if (!LoadPlugin(library, &plugin->exports, &error)) {
    PrintError(error);
    return false;
  }
  plugin->session = std::make_unique<PluginSession>(plugin->exports);
  const CallResult result = plugin->session->Init();
  if (result.code != 0) {
    PrintPluginMessage("InitMonitor", library, result.message.empty() ? "failed" : result.message);
    PrintError("the monitor could not be initialised (result " + std::to_string(result.code) +
               "); it reads " + ExecutableDirectory() + "/../dat/monitors/Netscape.cfg and " +
               ExecutableDirectory() + "/../dat/tq_mon_http_msgs.e2");
    return false;
  }
  if (!result.message.empty()) PrintPluginMessage("InitMonitor", library, result.message);
  return true;
}

bool ReadCounters(PluginSession& session, const std::string& host, std::vector<CounterInfo>* counters) {
  std::string document;
  session.GetMeasurementsCollection(host, &document);
  *counters = ReadCollectionCounters(document);
  if (counters->empty()) {
    PrintError("the plug-in's measurements collection document lists no counter");
    return false;
  }
  return true;
}

bool PlanTargets(PluginSession& session, const std::vector<Target>& targets, const ServerOptions& server,
                 std::vector<MonitoredTarget>* planned) {
  std::vector<std::string> user_data(targets.size());
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (!ResolveUserData(session, targets[i], server, &user_data[i])) return false;
  }
  std::string error;
  if (FindRepeatedTarget(targets, user_data, &error) < targets.size()) {
    PrintError(error);
    return false;
  }
  const std::vector<TargetName> names = NameTargets(targets, user_data);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    MonitoredTarget monitored;
    monitored.display = names[i].display;
    monitored.id_suffix = names[i].id_suffix;
    monitored.host = targets[i].host;
    monitored.user_data = std::move(user_data[i]);
    planned->push_back(std::move(monitored));
  }
  return true;
}

namespace {

// Sets the scheme a target was written with (https://HOST:PORT) in its user data.
bool ApplyTargetScheme(const Target& target, std::string* user_data) {
  std::string error;
  if (!target.scheme || SetUserDataScheme(*target.scheme, user_data, &error)) return true;
  PrintError(target.host + ": " + error);
  return false;
}

}  // namespace

bool OpenFirstTarget(const CommandLine& command_line, Target* target, LoadedPlugin* plugin, std::string* user_data) {
  std::string error;
  if (!ParseTarget(command_line.targets[0], target, &error)) {
    PrintError(error);
    return false;
  }
  return OpenPlugin(command_line.plugin_path, plugin) &&
         ResolveUserData(*plugin->session, *target, command_line.server, user_data);
}

bool ResolveUserData(PluginSession& session, const Target& target, const ServerOptions& server,
                     std::string* user_data) {
  std::string error;
  if (target.user_data) {
    *user_data = *target.user_data;
    return ApplyTargetScheme(target, user_data);
  }
  if (server.user_data) {
    *user_data = *server.user_data;
    return ApplyTargetScheme(target, user_data);
  }
  std::optional<int> port = server.port;
  if (!port) port = PortOfHostText(target.host);
  std::string document;
  session.GetMeasurementsCollection(target.host, &document);
  if (port || server.url) document = WithServerProperties(document, port, server.url);
  session.GetUserDataStr(target.host, server.login.value_or(""), server.password.value_or(""), document, user_data);
  if (!CheckUserData(*user_data, &error)) {
    PrintError(target.host + ": GetUserDataStr composed a string that cannot be used: " + error +
               " (check serverPort and infoURL in the configuration, or give --port and --url)");
    return false;
  }
  return ApplyTargetScheme(target, user_data);
}

int RunCommand(const CommandLine& command_line, SignalWatch& signals) {
  int status = kExitUsage;
  switch (command_line.command) {
    case Command::kCollection: status = RunCollection(command_line); break;
    case Command::kUserData: status = RunUserData(command_line); break;
    case Command::kTest: status = RunTest(command_line, signals); break;
    case Command::kMonitor: status = RunMonitorCommand(command_line, signals); break;
    case Command::kDemo: status = RunDemo(command_line, signals); break;
    case Command::kBrowse: status = RunBrowse(command_line, signals); break;
    case Command::kDiscover: status = RunDiscover(command_line, signals); break;
    case Command::kNone:
    default: PrintError("no command given (see sarvik-host --help)"); break;
  }
  // A stop signal that came while a short command ran still ends it as interrupted.
  return signals.Poll() != 0 ? ExitStatusOfSignal(signals.received()) : status;
}

}  // namespace sarvik_host
