// sarvik-host end to end: the staged host program run as a process, as an operator runs it,
// against sarvik-statserver on 127.0.0.1. Its output is captured to files and read back.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/child_process.h"
#include "tests/csv_text.h"
#include "tests/test_files.h"

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// sarvik-host running as a child process, its output and errors captured to files. It is stopped
// and reaped when the holder goes, if it has not ended by then.
class HostProcess {
 public:
  explicit HostProcess(const std::vector<std::string>& arguments, const std::string& program = Staged("bin/sarvik-host"))
      : process_(program, arguments, directory_.path() + "/out", directory_.path() + "/err") {}

  pid_t pid() const { return process_.pid(); }
  void Signal(int signal) const { process_.Signal(signal); }
  // Waits up to `seconds` for the host to end; true when it did.
  bool Wait(int seconds = 60) { return process_.WaitForExit(seconds); }
  // The exit status after Wait: the exit code, or 128 + the signal that ended it.
  int status() const { return process_.exit_status(); }
  std::string Output() const { return ReadText(directory_.path() + "/out"); }
  std::string Errors() const { return ReadText(directory_.path() + "/err"); }

 private:
  TemporaryDirectory directory_;
  ChildProcess process_;
};

struct Finished {
  int status;
  std::string out;
  std::string err;
};

Finished RunHost(const std::vector<std::string>& arguments, const std::string& program = Staged("bin/sarvik-host")) {
  HostProcess host(arguments, program);
  if (!host.Wait()) return {-1, host.Output(), host.Errors() + "\n(test: the host did not end within 60 s)"};
  return {host.status(), host.Output(), host.Errors()};
}

// A field of a one-line JSON object that holds strings without escapes, numbers and nulls.
std::string JsonField(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  const std::size_t at = line.find(marker);
  if (at == std::string::npos) return "<missing>";
  std::size_t start = at + marker.size();
  if (line[start] == '"') {
    const std::size_t end = line.find('"', start + 1);
    return line.substr(start + 1, end - start - 1);
  }
  const std::size_t end = line.find_first_of(",}", start);
  return line.substr(start, end - start);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// Seconds since the epoch of an ISO-8601 UTC time ("2024-05-01T12:00:03.250000Z"), whole seconds.
long long EpochSeconds(const std::string& iso) {
  std::tm parts{};
  if (strptime(iso.c_str(), "%Y-%m-%dT%H:%M:%S", &parts) == nullptr) return -1;
  return static_cast<long long>(timegm(&parts));
}

// The same with the fraction of a second that follows the seconds ("...:27.112704Z").
double EpochTime(const std::string& iso) {
  const std::size_t point = iso.find('.');
  const double fraction = point == std::string::npos ? 0.0 : std::strtod(iso.c_str() + point, nullptr);
  return static_cast<double>(EpochSeconds(iso)) + fraction;
}

// The processes whose parent is `parent`.
std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::vector<pid_t> children;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    const std::string stat = ReadText("/proc/" + std::string(entry->d_name) + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent) {
      children.push_back(pid);
    }
  }
  closedir(proc);
  return children;
}

bool ProcessExists(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

// The default configuration's counter texts, as `collection` prints them.
std::set<std::string> DefaultCounters() {
  const Finished collection = RunHost({"collection", "127.0.0.1"});
  std::set<std::string> counters;
  const std::string marker = "<counter id=\"";
  for (std::size_t at = collection.out.find(marker); at != std::string::npos;
       at = collection.out.find(marker, at + 1)) {
    const std::size_t start = at + marker.size();
    counters.insert(collection.out.substr(start, collection.out.find('"', start) - start));
  }
  return counters;
}

TEST(HostTest, CollectionPrintsEveryCounterAndTheServerDefaults) {
  const Finished run = RunHost({"collection", "web1"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(0u, run.out.find("<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n"));
  EXPECT_EQ(29u, Count(run.out, "<counter id=\""));
  EXPECT_NE(std::string::npos, run.out.find("<counter id=\"KeepAliveHits\" name=\"Keep-Alive Hits per Second\""));
  EXPECT_NE(std::string::npos, run.out.find("<prop name=\"port\"><value>80</value></prop>"));
  EXPECT_NE(std::string::npos, run.out.find("<prop name=\"URL\"><value>/.perf</value></prop>"));
  EXPECT_EQ("", run.err);

  // Asked for, the table: a header, a line a counter and the server defaults.
  const Finished table = RunHost({"collection", "web1", "--format", "table"});
  ASSERT_EQ(0, table.status) << table.err;
  const std::vector<std::string> lines = Lines(table.out);
  ASSERT_EQ(31u, lines.size()) << table.out;
  EXPECT_EQ(0u, lines[0].find("Label ")) << lines[0];
  EXPECT_NE(std::string::npos, lines[0].find("Counter")) << lines[0];
  EXPECT_EQ(0u, table.out.find("Label")) << "no XML";
  EXPECT_NE(std::string::npos, table.out.find("\nKeep-Alive Hits per Second ")) << table.out;
  EXPECT_NE(std::string::npos, table.out.find(" KeepAliveHits ")) << table.out;
  EXPECT_EQ("29 counters; server defaults: port 80, URL /.perf", lines[30]);

  const Finished help = RunHost({"collection", "--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_EQ(0u, help.out.find("Usage: sarvik-host collection HOST"));
  const Finished version = RunHost({"--version"});
  EXPECT_EQ(0, version.status);
  EXPECT_EQ("sarvik-host 0.1.0\n", version.out);
}

TEST(HostTest, UserDataIsComposedByThePlugIn) {
  Finished run = RunHost({"userdata", "web1", "--login", "admin", "--password", "secret"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("80|/.perf|admin|<password>\n", run.out) << "port and URL from the configuration, no password shown";

  run = RunHost({"userdata", "web1:8080"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("8080|/.perf||\n", run.out) << "the port of HOST:PORT";

  TemporaryDirectory directory;
  const std::string document = directory.path() + "/machine.xml";
  WriteText(document,
            "<PerformanceMonitor><monitorData><prop name=\"port\"><value>8443</value></prop>"
            "<prop name=\"URL\"><value>/https-web1/.perf</value></prop></monitorData></PerformanceMonitor>");
  run = RunHost({"userdata", "web1", "--document", document, "--login", "ops"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("8443|/https-web1/.perf|ops|\n", run.out);

  run = RunHost({"userdata", "web1", "--document", directory.path() + "/missing.xml"});
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos, run.err.find("cannot read the document")) << run.err;
}

TEST(HostTest, TestMachineSucceedsOrNamesTheFailure) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const std::string port = std::to_string(statistics.port());

  // After the fetch, one copy of the page read through the plug-in: the statistics server
  // shows every counter of the configuration.
  Finished run = RunHost({"test", "127.0.0.1:" + port});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ("OK: 29 of 29 counters found\n", run.out) << run.err;

  run = RunHost({"test", "127.0.0.1", "--user-data", port + "|/.perf||"});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ("OK: 29 of 29 counters found\n", run.out) << run.err;

  const std::string refused = std::to_string(UnusedPort());
  run = RunHost({"test", "127.0.0.1", "--port", refused});
  EXPECT_EQ(1, run.status) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.out.find(refused)) << "the failure names the port: " << run.out;
  EXPECT_NE("OK\n", run.out);
}

TEST(HostTest, TestWarnsOfAPageWithoutStatistics) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  // Any other URL gets a plain page: it can be fetched, but holds no counter.
  const Finished run = RunHost({"test", "127.0.0.1:" + std::to_string(statistics.port()), "--url", "/nothing-here"});
  EXPECT_EQ(3, run.status) << run.out << run.err;
  EXPECT_EQ(
      "warning: the page holds none of the 29 counters of the configuration \xE2\x80\x94 is this the statistics page?\n",
      run.out)
      << run.err;
  EXPECT_EQ(std::string::npos, run.out.find("OK")) << run.out;

  const Finished help = RunHost({"test", "--help"});
  EXPECT_NE(std::string::npos, help.out.find("and exits 3 when the")) << help.out;
  const Finished usage = RunHost({"--help"});
  EXPECT_NE(std::string::npos, usage.out.find("143 by SIGTERM")) << usage.out;
}

TEST(HostTest, MonitorCsvFollowsTheServer) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const int port = statistics.port();
  // A counter by a part of its text in another case, and one by its exact text.
  HostProcess host({"monitor", "127.0.0.1:" + std::to_string(port), "--counter", "total number of requests",
                    "--counter", "File Cache Entries", "--interval", "1", "--duration", "5", "--format", "csv"});

  // Load arrives once the host reads: twenty requests for twenty files.
  ASSERT_TRUE(WaitFor([&] { return host.Output().find(",new,") != std::string::npos; }, 60)) << host.Errors();
  constexpr int kRequests = 20;
  for (int i = 0; i < kRequests; ++i) ASSERT_TRUE(SendLoadRequest(port, "/files/page-" + std::to_string(i) + ".html"));
  ASSERT_TRUE(host.Wait());
  EXPECT_EQ(0, host.status()) << host.Errors();
  EXPECT_NE(std::string::npos, host.Errors().find("2 measurements deactivated")) << host.Errors();

  const std::string output = host.Output();
  ASSERT_EQ(0u, output.find("polled,time,since,host,counter,label,kind,value,unit,status,result,message\n"));
  const auto records = CsvRecords(output);
  double requests_seen = 0;  // the sum of rate x seconds over consecutive readings
  std::string last_entries;
  int rate_readings = 0;
  for (const auto& record : records) {
    EXPECT_EQ("127.0.0.1:" + std::to_string(port), record.at("host"));
    EXPECT_NE("error", record.at("status")) << record.at("message");
    if (record.at("status") != "new") continue;
    if (record.at("counter") == "Total number of requests:") {
      EXPECT_EQ("rate", record.at("kind"));
      EXPECT_EQ("Requests per Second", record.at("label"));
      EXPECT_EQ("/s", record.at("unit"));
      const long long since = EpochSeconds(record.at("since"));
      if (since == 0) continue;  // the first rate has no earlier sample
      ++rate_readings;
      requests_seen +=
          std::strtod(record.at("value").c_str(), nullptr) * (EpochTime(record.at("time")) - EpochTime(record.at("since")));
    } else {
      EXPECT_EQ("File Cache Entries", record.at("counter"));
      EXPECT_EQ("value", record.at("kind"));
      last_entries = record.at("value");
    }
  }
  EXPECT_GE(rate_readings, 2);
  EXPECT_NEAR(kRequests, requests_seen, 1e-3) << "the rates add up to the requests the server counted\n" << output;

  // The server's file cache started empty and holds the twenty files now.
  EXPECT_EQ(std::to_string(kRequests), last_entries) << output;
}

TEST(HostTest, OneProcessWatchesThreeServersAndWritesTheReport) {
  StatisticsServer first({"--interval", "200"});
  StatisticsServer second({"--interval", "200"});
  StatisticsServer third({"--interval", "200"});
  ASSERT_TRUE(first.started() && second.started() && third.started());
  TemporaryDirectory directory;
  const std::string targets_file = directory.path() + "/farm.txt";
  const std::string report = directory.path() + "/session.html";
  const auto target = [](int port) { return "127.0.0.1:" + std::to_string(port); };
  WriteText(targets_file, "# the rest of the farm\n" + target(second.port()) + "   # the loaded one\n\n127.0.0.1=" +
                              std::to_string(third.port()) + "|/.perf|ops|s3cret\t# its own user data\n");
  HostProcess host({"monitor", target(first.port()), "--targets", targets_file, "--counter",
                    "Total number of requests:", "--counter", "Active Sessions", "--interval", "1", "--duration", "5",
                    "--format", "jsonl", "--report", report});

  // Only the second server gets load: the readings of the three must stay apart.
  ASSERT_TRUE(WaitFor([&] { return Count(host.Output(), "\"status\":\"new\"") >= 6; }, 60)) << host.Errors();
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(SendLoadRequest(second.port()));
  ASSERT_TRUE(host.Wait());
  EXPECT_EQ(0, host.status()) << host.Errors();

  std::map<std::string, int> new_readings;
  std::map<std::string, double> highest_rate;
  for (const std::string& line : Lines(host.Output())) {
    const std::string name = JsonField(line, "host");
    EXPECT_EQ("0", JsonField(line, "result")) << line;
    if (JsonField(line, "status") != "new") continue;
    ++new_readings[name + " " + JsonField(line, "counter")];
    if (JsonField(line, "kind") == "rate") {
      highest_rate[name] = std::max(highest_rate[name], std::strtod(JsonField(line, "value").c_str(), nullptr));
    }
  }
  // Three targets on one host name, each named with the port it is read from.
  const std::string names[] = {target(first.port()), target(second.port()), target(third.port())};
  for (const std::string& name : names) {
    EXPECT_GE(new_readings[name + " Total number of requests:"], 2) << name;
    EXPECT_GE(new_readings[name + " Active Sessions"], 2) << name;
  }
  EXPECT_GE(highest_rate[names[1]], 1.0) << "the loaded server";
  EXPECT_LT(highest_rate[names[0]], 1e-6) << "no load";
  EXPECT_LT(highest_rate[names[2]], 1e-6) << "no load";

  // The report: a chart per counter with a line per server, a statistics row for each counter of
  // each server, nothing loaded from elsewhere.
  const std::string html = ReadText(report);
  ASSERT_EQ(0u, html.find("<!DOCTYPE html>")) << html.substr(0, 200);
  EXPECT_EQ(2u, Count(html, "<figure class=\"chart\""));
  EXPECT_EQ(6u, Count(html, "{\"target\":")) << "the charts' data: a line per server in each";
  EXPECT_EQ(6u, Count(html, "<tr class=\"series\""));
  for (const std::string& name : names) {
    for (const std::string counter : {"Total number of requests:", "Active Sessions"}) {
      const std::string attributes = "data-target=\"" + name + "\" data-counter=\"" + counter + "\"";
      EXPECT_EQ(1u, Count(html, attributes)) << attributes;  // its statistics row
    }
  }
  EXPECT_NE(std::string::npos, html.find("<th>First</th><th>Last</th><th>Minimum</th><th>Mean</th><th>Maximum</th>"));
  EXPECT_EQ(std::string::npos, html.find("<link"));
  EXPECT_EQ(std::string::npos, html.find(" src="));
  EXPECT_EQ(std::string::npos, (host.Output() + host.Errors() + html).find("s3cret")) << "no password shown";
}

TEST(HostTest, AServerThatGoesAwayIsWatchedAgainWhenItComesBack) {
  auto statistics = std::make_unique<StatisticsServer>(std::vector<std::string>{"--interval", "200"});
  ASSERT_TRUE(statistics->started());
  const int port = statistics->port();
  const std::string name = "127.0.0.1:" + std::to_string(port);
  HostProcess host({"monitor", name, "--counter", "Total number of requests:", "--counter", "File Cache Entries",
                    "--interval", "1", "--format", "csv"});
  const auto rows = [&] { return CsvRecords(host.Output()); };
  const auto has_row = [&](const std::string& counter, const std::string& status, const std::function<bool(double)>& value) {
    for (const auto& record : rows()) {
      if (record.at("counter") == counter && record.at("status") == status &&
          value(std::strtod(record.at("value").c_str(), nullptr))) {
        return true;
      }
    }
    return false;
  };
  const auto any = [](double) { return true; };
  const auto positive = [](double rate) { return rate > 0; };

  // Load before the outage, so that the server's total falls when it starts again.
  ASSERT_TRUE(WaitFor([&] { return has_row("File Cache Entries", "new", any); }, 60)) << host.Errors();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(SendLoadRequest(port));
  ASSERT_TRUE(WaitFor([&] { return has_row("Total number of requests:", "new", positive); }, 60)) << host.Output();

  statistics.reset();
  ASSERT_TRUE(WaitFor([&] { return host.Errors().find(name + " unreachable since ") != std::string::npos; }, 60))
      << host.Errors();
  std::this_thread::sleep_for(std::chrono::seconds(15));  // the outage
  statistics = std::make_unique<StatisticsServer>(std::vector<std::string>{"--interval", "200", "--port",
                                                                           std::to_string(port)});
  ASSERT_TRUE(statistics->started());
  // The host activates the measurements again with a back-off of at most 30 s.
  ASSERT_TRUE(WaitFor([&] { return host.Errors().find(name + " back after ") != std::string::npos; }, 90))
      << host.Errors();
  ASSERT_TRUE(WaitFor([&] { return has_row("Total number of requests:", "reset", any); }, 60)) << host.Output();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(SendLoadRequest(port));
  ASSERT_TRUE(WaitFor([&] {
    bool after_reset = false;
    for (const auto& record : rows()) {
      if (record.at("counter") != "Total number of requests:") continue;
      if (record.at("status") == "reset") after_reset = true;
      if (after_reset && record.at("status") == "new" && std::strtod(record.at("value").c_str(), nullptr) > 0) {
        return true;
      }
    }
    return false;
  }, 60)) << "the rates after a reset start from the new total\n" << host.Output();
  host.Signal(SIGTERM);
  ASSERT_TRUE(host.Wait(30));

  const std::string errors = host.Errors();
  EXPECT_EQ(1u, Count(errors, name + " unreachable since ")) << errors;
  EXPECT_EQ(1u, Count(errors, name + " back after ")) << errors;
  EXPECT_NE(std::string::npos, errors.find("); retrying")) << errors;

  const auto records = rows();
  ASSERT_FALSE(records.empty());
  bool first_seen = false;
  int retrying = 0;
  for (const auto& record : records) {
    const std::string& status = record.at("status");
    const std::string& value = record.at("value");
    if (!value.empty()) {
      EXPECT_GE(std::strtod(value.c_str(), nullptr), 0) << "no negative rate";
    }
    if (status == "first" || status == "reset" || status == "retrying") {
      EXPECT_EQ("", value) << status;
    }
    if (status == "first") {
      EXPECT_EQ("", record.at("since"));
      EXPECT_EQ("rate", record.at("kind"));
    }
    if (record.at("counter") == "Total number of requests:" && !first_seen) {
      if (status == "new") ADD_FAILURE() << "a rate before its first sample";
      first_seen = status == "first";
    }
    if (status == "retrying") {
      ++retrying;
      EXPECT_NE("0", record.at("result"));
    }
  }
  EXPECT_TRUE(first_seen);
  EXPECT_GE(retrying, 2) << "the rows of a failing source show its state";
  // The outputs carry the announcements too.
  EXPECT_EQ(1u, Count(host.Output(), name + " unreachable since "));
  EXPECT_EQ(1u, Count(host.Output(), name + " back after "));
}

TEST(HostTest, AServerThatStopsPushingIsStaleThenFresh) {
  StatisticsServer statistics;
  ASSERT_TRUE(statistics.started());
  const std::string name = "127.0.0.1:" + std::to_string(statistics.port());
  HostProcess host({"monitor", name, "--url", "/.perf?interval=200&stall_after=5&stall=9000", "--counter",
                    "File Cache Entries", "--interval", "1", "--no-test", "--format", "jsonl"});
  ASSERT_TRUE(WaitFor([&] { return host.Errors().find(name + " fresh: new copies again after ") != std::string::npos; },
                      60))
      << host.Errors();
  host.Signal(SIGTERM);
  ASSERT_TRUE(host.Wait(30));
  const std::string errors = host.Errors();
  EXPECT_EQ(1u, Count(errors, name + " stale: no new copy for ")) << errors;
  EXPECT_LT(errors.find(" stale: "), errors.find(" fresh: ")) << errors;
  int stale_rows = 0;
  for (const std::string& line : Lines(host.Output())) {
    if (JsonField(line, "status") == "stale") ++stale_rows;
  }
  EXPECT_GE(stale_rows, 1) << host.Output();
}

TEST(HostTest, SigintStopsTheDemoAndEverythingItStarted) {
  HostProcess host({"demo", "--format", "jsonl"});
  std::vector<pid_t> children;
  ASSERT_TRUE(WaitFor([&] { return Count(host.Output(), "\"status\":\"new\"") >= 29; }, 60)) << host.Errors();
  children = ChildrenOf(host.pid());
  ASSERT_EQ(1u, children.size()) << "the statistics server";

  host.Signal(SIGINT);
  ASSERT_TRUE(host.Wait(30));
  EXPECT_EQ(130, host.status()) << host.Errors();
  for (const pid_t child : children) EXPECT_FALSE(ProcessExists(child)) << "process " << child << " is left behind";
  const std::string errors = host.Errors();
  EXPECT_NE(std::string::npos, errors.find("interrupted by SIGINT")) << errors;
  EXPECT_NE(std::string::npos, errors.find("29 measurements deactivated")) << errors;
}

TEST(HostTest, EachStopSignalEndsAMonitorWithItsOwnStatus) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const struct {
    int signal;
    const char* name;
    int status;  // 128 + the signal's number
  } stops[] = {{SIGTERM, "SIGTERM", 143}, {SIGHUP, "SIGHUP", 129}, {SIGINT, "SIGINT", 130}};
  for (const auto& stop : stops) {
    HostProcess host({"monitor", "127.0.0.1:" + std::to_string(statistics.port()), "--all", "--interval", "1",
                      "--format", "csv"});
    ASSERT_TRUE(WaitFor([&] { return host.Output().find(",new,") != std::string::npos; }, 60)) << host.Errors();
    host.Signal(stop.signal);
    ASSERT_TRUE(host.Wait(30)) << stop.name;
    EXPECT_EQ(stop.status, host.status()) << stop.name << "\n" << host.Errors();
    EXPECT_NE(std::string::npos, host.Errors().find(std::string("interrupted by ") + stop.name)) << host.Errors();
    EXPECT_NE(std::string::npos, host.Errors().find("29 measurements deactivated")) << host.Errors();
  }
}

TEST(HostTest, BadInputIsRefusedClearly) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const std::string live = "127.0.0.1:" + std::to_string(statistics.port());
  const std::string refused = "127.0.0.1:" + std::to_string(UnusedPort());
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string expected;
  } cases[] = {
      {{"monitor", live, "--counter", "No Such Counter"}, 2, "unknown counter 'No Such Counter'"},
      {{"monitor", live, "--counter", "keepalivehist"}, 2, "did you mean 'KeepAliveHits' (Keep-Alive Hits per Second)"},
      {{"monitor", live, "--counter", "keepalive"}, 2, "counter 'keepalive' is ambiguous: it fits 'KeepAliveCount'"},
      {{"monitor", live, "--counter", "keepalivehits", "--counter", "Keep-Alive Hits per Second"}, 2,
       "name the same counter 'KeepAliveHits'"},
      {{"monitor", refused, "--all", "--duration", "30"}, 1, "no target answered its connection test"},
      {{"monitor", "web1=80|/.perf", "--all"}, 2, "PORT|URL|LOGIN|PASSWORD"},
      {{"monitor", live, "127.0.0.1=" + live.substr(10) + "|/.perf||", "--all"}, 2,
       "the target '127.0.0.1=" + live.substr(10) + "|/.perf||' is given twice"},
      {{"monitor", "web1", "--all", "--user-data", "http|/.perf|ops|s3cret"}, 2, "'http|/.perf|ops|<password>'"},
      {{"monitor", live, "--all", "--user-data", "http|/.perf||"}, 2, "no port from 1 to 65535"},
      {{"monitor", live, "--all", "--interval", "0"}, 2, "--interval needs a number of seconds"},
      {{"monitor", live, "--all", "--interval", "often"}, 2, "not 'often'"},
      {{"monitor", live, "--all", "--report", "/nonexistent-dir/r.html"}, 2, "cannot write /nonexistent-dir/r.html"},
      {{"test"}, 2, "test needs exactly one HOST"},
      {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
      {{"monitor", live, "--all", "--plugin", Staged("bin/sarvik-statserver")}, 2, "cannot load the plug-in"},
      {{"collection", "web1", "--plugin", SARVIK_OLDER_PLUGIN}, 2, "does not export SetMonitorRate, TestMachine"},
      {{"collection", "web1", "--plugin", "/nonexistent/libsarvik.so"}, 2, "cannot find the plug-in"},
  };
  for (const auto& bad : cases) {
    const Finished run = RunHost(bad.arguments);
    std::string command;
    for (const std::string& word : bad.arguments) command += word + " ";
    EXPECT_EQ(bad.status, run.status) << command << "\n" << run.err;
    EXPECT_NE(std::string::npos, run.err.find(bad.expected)) << command << "\n" << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("AddressSanitizer")) << run.err;
  }
}

TEST(HostTest, AnInstallTreeWithoutItsConfigurationIsRefused) {
  TemporaryDirectory tree;
  std::filesystem::create_directories(tree.path() + "/bin");
  for (const char* file : {"bin/sarvik-host", "bin/libsarvik.so"}) {
    std::filesystem::copy_file(Staged(file), tree.path() + "/" + file);
  }
  const Finished run = RunHost({"collection", "web1"}, tree.path() + "/bin/sarvik-host");
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("InitMonitor(")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find(tree.path() + "/bin/../dat/monitors/Netscape.cfg")) << run.err;
  EXPECT_EQ("", run.out);

  // A file that is not a library at all, where the plug-in should be.
  WriteText(tree.path() + "/bin/libsarvik.so", "not a library\n");
  const Finished broken = RunHost({"collection", "web1"}, tree.path() + "/bin/sarvik-host");
  EXPECT_EQ(2, broken.status) << broken.err;
  EXPECT_NE(std::string::npos, broken.err.find("cannot load the plug-in " + tree.path() + "/bin/libsarvik.so"))
      << broken.err;
}

TEST(HostTest, DemoPrintsEveryCounterWithMovingRates) {
  const std::set<std::string> counters = DefaultCounters();
  ASSERT_EQ(29u, counters.size());
  HostProcess host({"demo", "--duration", "6", "--format", "csv"});
  ASSERT_TRUE(host.Wait(120));
  EXPECT_EQ(0, host.status()) << host.Errors();

  const auto records = CsvRecords(host.Output());
  std::map<std::string, int> rows;
  std::set<std::string> request_rates;
  for (const auto& record : records) {
    ++rows[record.at("counter")];
    const std::string& status = record.at("status");
    EXPECT_TRUE(status == "new" || status == "unchanged" || status == "waiting" || status == "first")
        << record.at("counter") << ": " << status << " " << record.at("message");
    if (record.at("counter") == "Total number of requests:" && status == "new") {
      EXPECT_GT(EpochSeconds(record.at("since")), 0) << "a rate has an earlier sample";
      request_rates.insert(record.at("value"));
    }
  }
  for (const std::string& counter : counters) EXPECT_GE(rows[counter], 5) << counter;
  EXPECT_EQ(counters.size(), rows.size());
  EXPECT_GE(request_rates.size(), 2u) << "the request rate moves";
  for (const std::string& rate : request_rates) EXPECT_GT(std::strtod(rate.c_str(), nullptr), 0) << rate;

  // The statistics server it started is gone.
  const std::string errors = host.Errors();
  const std::size_t pid_at = errors.find("sarvik-statserver (pid ");
  ASSERT_NE(std::string::npos, pid_at) << errors;
  const pid_t server = static_cast<pid_t>(std::atoi(errors.c_str() + pid_at + 23));
  ASSERT_GT(server, 0);
  EXPECT_FALSE(ProcessExists(server));
}

// Sets an environment variable for the duration of a test (the hosts it starts inherit it).
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value == nullptr) unsetenv(name);
    else setenv(name, value, 1);
  }
  ~ScopedEnvironment() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(HostTest, BrowseWithoutADisplaySaysWhy) {
  ScopedEnvironment no_x("DISPLAY", nullptr);
  ScopedEnvironment no_wayland("WAYLAND_DISPLAY", nullptr);
  ScopedEnvironment no_platform("QT_QPA_PLATFORM", nullptr);
  const Finished run = RunHost({"browse", "web1"});
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos, run.err.find("BrowseMonitor(web1): The Add Measurements dialog cannot be shown"))
      << run.err;
  EXPECT_EQ("", run.out);
  const Finished misuse = RunHost({"browse", "web1", "--duration", "3"});
  EXPECT_EQ(2, misuse.status);
  EXPECT_NE(std::string::npos, misuse.err.find("go with browse --monitor")) << misuse.err;
}

TEST(HostTest, BrowseOnARealDisplayReturnsTheChoiceAndMonitorsIt) {
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  ScopedEnvironment x("DISPLAY", display.name().c_str());
  ScopedEnvironment no_platform("QT_QPA_PLATFORM", nullptr);

  // The dialog offers the port of HOST:PORT and the login given; the operator only picks counters.
  HostProcess host({"browse", "127.0.0.1:" + std::to_string(statistics.port()), "--login", "admin", "--password",
                    "admin", "--monitor", "--duration", "3", "--format", "csv"});
  const std::string window = display.Xdotool("search --sync --name 'Add Measurements'");
  ASSERT_FALSE(window.empty()) << host.Errors();
  const std::string id = window.substr(0, window.find('\n'));
  display.Xdotool("windowactivate --sync " + id);
  // The first two counters of the sorted list, then OK.
  display.Xdotool("key --window " + id + " Home shift+Down");
  display.Xdotool("key --window " + id + " Return");
  ASSERT_TRUE(host.Wait(60));
  EXPECT_EQ(0, host.status()) << host.Errors();

  const std::string out = host.Output();
  const std::string user_data = std::to_string(statistics.port()) + "|/.perf|admin|<password>";
  EXPECT_EQ(0u, out.find("Active Sessions\tActive Sessions\t127.0.0.1\t" + user_data + "\n"
                         "Average Queue Length (1 Minute)\tAverage Queue Length (1, 5, 15 minutes)\t127.0.0.1\t" +
                         user_data + "\n"))
      << out;
  // The chosen counters were then read from the statistics server.
  EXPECT_NE(std::string::npos,
            out.find(",127.0.0.1:" + std::to_string(statistics.port()) + ",Active Sessions,Active Sessions,value,"))
      << out;
  EXPECT_EQ(std::string::npos, (out + host.Errors()).find("admin|admin")) << "no password shown";
  EXPECT_NE(std::string::npos, out.find("Average Queue Length (1 Minute),value,")) << out;
}

}  // namespace
