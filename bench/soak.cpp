// sarvik-soak: how the plug-in's footprint moves over a long session with many sources.
//
// One sarvik-statserver pushes its page every --interval-ms to --sources distinct statistics URLs
// (/s0/.perf, /s1/.perf, ...), each of them its own server in the plug-in (user data
// "PORT|/sK/.perf||"). The soak loads libsarvik.so with dlopen, activates five counters per
// source and then, once a second for --minutes, asks every active measurement for its reading
// while it churns activations: a few measurements are switched off and on again every round,
// and every ten rounds all counters of one source are switched off for three rounds, so that
// its server stops and a new one starts. It samples its own resident memory (VmRSS), open descriptors (/proc/self/fd) and
// threads after a warm-up of ten seconds, every minute, at the end, and after TerminateMonitor,
// and prints them as a table and one summary line with least-squares slopes per minute. It
// measures; it asserts nothing.
//
// The plug-in finds its configuration from the host program's directory (../dat/ beside bin/),
// so the soak copies itself, the plug-in and the statistics server into a temporary install
// tree, runs that copy, and removes the tree when the copy ends.
//
//   build/bench/sarvik-soak --sources 50 --minutes 10
//   build/bench/sarvik-soak --sources 5 --minutes 0.5 --interval-ms 100
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "interface/sarvik.h"
#include "tools/host/child_program.h"
#include "tools/host/plugin_library.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kTreeVariable[] = "SARVIK_SOAK_TREE";
// Counters of the default Netscape.cfg that every copy of the statistics page carries.
const char* const kCounters[] = {"Total Connections Queued", "KeepAliveCount", "Active Sessions",
                                 "Total number of requests:", "vs1 Requests"};
constexpr int kCountersPerSource = static_cast<int>(sizeof kCounters / sizeof kCounters[0]);
constexpr int kWarmUpSeconds = 10;
constexpr int kChurnPerRound = 3;
constexpr int kSourceRestartRounds = 10;
constexpr int kSourceRestRounds = 3;
// The round (of every ten) a source is switched off in: it is back, with a copy of the page, well
// before the footprint is sampled after the tenth.
constexpr int kSourceRestartPhase = 4;
constexpr int kServerStartSeconds = 10;
constexpr int kSettleSeconds = 3;

struct Options {
  int sources = 50;
  double minutes = 10;
  int interval_ms = 200;
  std::string plugin = std::string(SARVIK_STAGE_DIR) + "/bin/libsarvik.so";
};

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "Usage: sarvik-soak [OPTIONS]\n\n"
               "Watches many sources of one local sarvik-statserver through the plug-in for a while, churning\n"
               "activations, and reports how memory, descriptors and threads move. It asserts nothing.\n\n"
               "Options:\n"
               "  --sources N        statistics URLs watched, each its own source (default 50)\n"
               "  --minutes M        length of the run, fractions allowed (default 10)\n"
               "  --interval-ms MS   push interval of the statistics server (default 200)\n"
               "  --plugin PATH      the plug-in (default %s/bin/libsarvik.so)\n"
               "  --help             this text\n",
               SARVIK_STAGE_DIR);
}

// False with a message on standard error when the command line cannot be used.
bool ParseOptions(int argc, char** argv, Options* options, bool* help) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help") {
      *help = true;
      return true;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "sarvik-soak: %s needs a value (see --help)\n", word.c_str());
      return false;
    }
    const std::string value = argv[++i];
    char* end = nullptr;
    if (word == "--sources") {
      options->sources = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      if (*end != '\0' || options->sources < 1 || options->sources > 10000) end = nullptr;
    } else if (word == "--minutes") {
      options->minutes = std::strtod(value.c_str(), &end);
      if (*end != '\0' || !(options->minutes > 0) || options->minutes > 24 * 60) end = nullptr;
    } else if (word == "--interval-ms") {
      options->interval_ms = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      if (*end != '\0' || options->interval_ms < 1) end = nullptr;
    } else if (word == "--plugin") {
      options->plugin = value;
      end = argv[i] + value.size();
    } else {
      std::fprintf(stderr, "sarvik-soak: unknown option %s (see --help)\n", word.c_str());
      return false;
    }
    if (end == nullptr || value.empty()) {
      std::fprintf(stderr, "sarvik-soak: bad value for %s: '%s'\n", word.c_str(), value.c_str());
      return false;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// The temporary install tree.

bool CopyInto(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  std::filesystem::create_directories(to.parent_path(), error);
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  if (error) std::fprintf(stderr, "sarvik-soak: cannot copy %s: %s\n", from.c_str(), error.message().c_str());
  return !error;
}

// Builds the tree, runs this program again from its bin/, removes the tree; the copy's exit status.
int RunInsideNewTree(const Options& options, char** argv) {
  const std::filesystem::path plugin = options.plugin;
  const std::filesystem::path stage = SARVIK_STAGE_DIR;
  // The statistics server of the same build as the plug-in, else the staged one.
  std::filesystem::path statserver = plugin.parent_path() / "sarvik-statserver";
  if (access(statserver.c_str(), X_OK) != 0) statserver = stage / "bin" / "sarvik-statserver";

  char pattern[] = "/tmp/sarvik-soak-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::fprintf(stderr, "sarvik-soak: cannot create a temporary directory\n");
    return 2;
  }
  const std::filesystem::path tree = pattern;
  const std::filesystem::path program = tree / "bin" / "sarvik-soak";
  bool copied = CopyInto("/proc/self/exe", program) && CopyInto(plugin, tree / "bin" / "libsarvik.so") &&
                CopyInto(statserver, tree / "bin" / "sarvik-statserver");
  for (const char* file : {"dat/monitors/Netscape.cfg", "dat/tq_mon_http_msgs.e2"}) {
    copied = copied && CopyInto(stage / file, tree / file);
  }

  int status = 0;
  if (copied) {
    chmod(program.c_str(), 0755);
    // A Ctrl-C ends the copy (and with it the statistics server); this process stays to tidy up.
    signal(SIGINT, SIG_IGN);
    const pid_t child = fork();
    if (child == 0) {
      signal(SIGINT, SIG_DFL);
      setenv(kTreeVariable, tree.c_str(), 1);
      execv(program.c_str(), argv);
      std::perror("sarvik-soak: execv");
      _exit(127);
    }
    while (child > 0 && waitpid(child, &status, 0) < 0) {
    }
    if (child < 0) status = 2 << 8;
  }
  std::error_code ignored;
  std::filesystem::remove_all(tree, ignored);
  if (!copied) return 2;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// ---------------------------------------------------------------------------------------------
// What the process holds.

struct Sample {
  std::string label;
  double minute = 0;  // since the rounds began
  long rss_kb = 0;
  long fds = 0;
  long threads = 0;
  long readings = 0;
  long errors = 0;
  double slowest_round_ms = 0;  // the longest round since the previous sample
};

// VmRSS (kB) and Threads from /proc/self/status, open descriptors from /proc/self/fd.
void ReadFootprint(Sample* sample) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) sample->rss_kb = std::atol(line.c_str() + 6);
    if (line.rfind("Threads:", 0) == 0) sample->threads = std::atol(line.c_str() + 8);
  }
  long entries = 0;
  if (DIR* directory = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(directory)) {
      if (entry->d_name[0] != '.') ++entries;
    }
    closedir(directory);
    --entries;  // the listing's own descriptor
  }
  sample->fds = entries;
}

// The least-squares slope of `value` over the samples' minutes; 0 with fewer than two.
template <typename Value>
double SlopePerMinute(const std::vector<Sample>& samples, Value value) {
  const double n = static_cast<double>(samples.size());
  if (samples.size() < 2) return 0;
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Sample& sample : samples) {
    const double x = sample.minute;
    const double y = static_cast<double>(value(sample));
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  const double denominator = n * sxx - sx * sx;
  const double slope = denominator == 0 ? 0 : (n * sxy - sx * sy) / denominator;
  return std::fabs(slope) < 1e-9 ? 0 : slope;  // a flat series prints as 0, not -0
}

// ---------------------------------------------------------------------------------------------
// The session.

struct Measurement {
  std::string identifier;  // "<counter>|s<K>": one registry entry per counter and source
  std::string user_data;
  int source = 0;
  bool active = false;
};

class Soak {
 public:
  Soak(const sarvik_host::PluginExports& plugin, const Options& options, int port)
      : plugin_(plugin), host_("127.0.0.1:" + std::to_string(port)) {
    for (int source = 0; source < options.sources; ++source) {
      const std::string user_data = std::to_string(port) + "|/s" + std::to_string(source) + "/.perf||";
      for (const char* counter : kCounters) {
        measurements_.push_back({std::string(counter) + "|s" + std::to_string(source), user_data, source, false});
      }
    }
  }

  void ActivateAll() {
    for (Measurement& measurement : measurements_) Activate(measurement);
  }
  void DeactivateAll() {
    for (Measurement& measurement : measurements_) Deactivate(measurement);
  }

  // Brings back a source whose rest is over, reads every active measurement,
  // then churns activations. `round` counts from 0.
  void Round(long round) {
    if (resting_source_ >= 0 && round >= rest_ends_) {
      for (int i = 0; i < kCountersPerSource; ++i) Activate(measurements_[resting_source_ * kCountersPerSource + i]);
      resting_source_ = -1;
    }
    for (Measurement& measurement : measurements_) {
      if (measurement.active) Read(measurement);
    }
    std::uniform_int_distribution<std::size_t> pick(0, measurements_.size() - 1);
    for (int i = 0; i < kChurnPerRound; ++i) {
      Measurement& measurement = measurements_[pick(random_)];
      if (!measurement.active) continue;
      Deactivate(measurement);
      Activate(measurement);
    }
    // A whole source rests for a few rounds, longer than its server's thread takes to end (a
    // cycle pause of two seconds), so that the next activation starts a new server.
    if (round % kSourceRestartRounds == kSourceRestartPhase) {
      const int sources = static_cast<int>(measurements_.size()) / kCountersPerSource;
      resting_source_ = static_cast<int>(round / kSourceRestartRounds) % sources;
      for (int i = 0; i < kCountersPerSource; ++i) Deactivate(measurements_[resting_source_ * kCountersPerSource + i]);
      rest_ends_ = round + 1 + kSourceRestRounds;
      ++source_restarts_;
    }
  }

  long readings() const { return readings_; }
  long waits() const { return waits_; }
  long errors() const { return errors_; }
  long activations() const { return activations_; }
  long source_restarts() const { return source_restarts_; }
  // "call:code=count ..." for every failed call.
  std::string ErrorBreakdown() const {
    std::string text;
    for (const auto& [what, count] : error_codes_) text += (text.empty() ? "" : " ") + what + "=" + std::to_string(count);
    return text.empty() ? "none" : text;
  }
  // The first message of each kind of failure, to say what went wrong.
  const std::map<std::string, std::string>& first_messages() const { return first_messages_; }

 private:
  void Activate(Measurement& measurement) {
    if (measurement.active) return;
    char message[1024] = "";
    const int result = plugin_.ActivateMeasurement(measurement.identifier.c_str(), host_.c_str(),
                                                   measurement.user_data.c_str(), message, sizeof message);
    ++activations_;
    if (result == 0) {
      measurement.active = true;
    } else {
      Failed("activate", result, message);
    }
  }
  void Deactivate(Measurement& measurement) {
    if (!measurement.active) return;
    char message[1024] = "";
    const int result =
        plugin_.DeActivateMeasurement(measurement.identifier.c_str(), host_.c_str(), message, sizeof message);
    measurement.active = false;
    if (result != 0) Failed("deactivate", result, message);
  }
  void Read(const Measurement& measurement) {
    char message[1024] = "";
    ReadingRecord reading{};
    const int result =
        plugin_.GetNewData(measurement.identifier.c_str(), host_.c_str(), &reading, message, sizeof message);
    if (result == 0 && message[0] == '\0') {
      ++readings_;
    } else if (result == 0 || result == 1) {
      ++waits_;  // no copy of the page since the last reading, or none yet from a new server
    } else {
      Failed("read", result, message);
    }
  }
  void Failed(const std::string& call, int result, const char* message) {
    const std::string what = call + ":" + std::to_string(result);
    ++errors_;
    ++error_codes_[what];
    first_messages_.emplace(what, message);
  }

  const sarvik_host::PluginExports& plugin_;
  const std::string host_;
  std::vector<Measurement> measurements_;
  std::mt19937 random_{20240611};  // the same churn on every run
  long readings_ = 0;
  long waits_ = 0;
  long errors_ = 0;
  long activations_ = 0;
  long source_restarts_ = 0;
  int resting_source_ = -1;  // switched off until round rest_ends_
  long rest_ends_ = 0;
  std::map<std::string, long> error_codes_;
  std::map<std::string, std::string> first_messages_;
};

// Starts the statistics server of the tree; its port, or 0 with a message.
int StartStatisticsServer(const std::string& tree, const Options& options,
                          std::unique_ptr<sarvik_host::ChildProgram>* server) {
  const std::string port_file = tree + "/statserver.port";
  const long duration = std::lround(options.minutes * 60) + 60;
  sigset_t mask;
  sigprocmask(SIG_BLOCK, nullptr, &mask);
  std::string error;
  *server = sarvik_host::ChildProgram::Start(tree + "/bin/sarvik-statserver",
                                             {"--port", "0", "--port-file", port_file, "--interval",
                                              std::to_string(options.interval_ms), "--duration",
                                              std::to_string(duration)},
                                             mask, &error);
  if (!*server) {
    std::fprintf(stderr, "sarvik-soak: %s\n", error.c_str());
    return 0;
  }
  const auto deadline = Clock::now() + std::chrono::seconds(kServerStartSeconds);
  while (Clock::now() < deadline && (*server)->Running()) {
    std::ifstream file(port_file);
    int port = 0;
    if (file >> port && port > 0) return port;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::fprintf(stderr, "sarvik-soak: sarvik-statserver did not start listening\n");
  return 0;
}

void PrintTable(const std::vector<Sample>& samples) {
  std::printf("%-16s %8s %10s %6s %8s %10s %8s %10s\n", "sample", "minute", "rss_kb", "fds", "threads", "readings",
              "errors", "round_ms");
  for (const Sample& s : samples) {
    std::printf("%-16s %8.2f %10ld %6ld %8ld %10ld %8ld %10.1f\n", s.label.c_str(), s.minute, s.rss_kb, s.fds,
                s.threads, s.readings, s.errors, s.slowest_round_ms);
  }
}

int RunSoak(const Options& options) {
  const std::string tree = std::getenv(kTreeVariable);
  setenv("LANG", "en_US.UTF-8", 1);
  sarvik_host::PluginExports plugin;
  std::string error;
  if (!sarvik_host::LoadPlugin(tree + "/bin/libsarvik.so", &plugin, &error)) {
    std::fprintf(stderr, "sarvik-soak: %s\n", error.c_str());
    return 2;
  }
  std::unique_ptr<sarvik_host::ChildProgram> server;
  const int port = StartStatisticsServer(tree, options, &server);
  if (port == 0) return 2;

  char message[1024] = "";
  int32_t status = 0;
  if (plugin.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message) != 0) {
    std::fprintf(stderr, "sarvik-soak: InitMonitor: %s\n", message);
    return 2;
  }
  std::fprintf(stderr, "sarvik-soak: %d sources x %d counters on 127.0.0.1:%d (push every %d ms) for %g min\n",
               options.sources, kCountersPerSource, port, options.interval_ms, options.minutes);

  Soak soak(plugin, options, port);
  soak.ActivateAll();

  std::vector<Sample> running;  // start, every minute, end: the samples the slopes are fitted to
  std::vector<Sample> after;    // after deactivation and after TerminateMonitor
  double slowest_ms = 0;
  const auto take = [&](const std::string& label, double minute, std::vector<Sample>* into) {
    Sample sample;
    sample.label = label;
    sample.minute = minute;
    sample.readings = soak.readings();
    sample.errors = soak.errors();
    sample.slowest_round_ms = slowest_ms;
    ReadFootprint(&sample);
    into->push_back(sample);
    slowest_ms = 0;
    std::fprintf(stderr, "sarvik-soak: %-10s minute %6.2f rss_kb=%ld fds=%ld threads=%ld readings=%ld errors=%ld\n",
                 label.c_str(), minute, sample.rss_kb, sample.fds, sample.threads, sample.readings, sample.errors);
  };

  const long rounds = std::max(1L, std::lround(options.minutes * 60));
  const long warm_up = std::min<long>(kWarmUpSeconds, rounds);
  const auto begin = Clock::now();
  for (long round = 0; round < rounds; ++round) {
    std::this_thread::sleep_until(begin + std::chrono::seconds(round));
    const auto started = Clock::now();
    soak.Round(round);
    slowest_ms = std::max(slowest_ms, std::chrono::duration<double, std::milli>(Clock::now() - started).count());
    const long elapsed = round + 1;
    if (elapsed == warm_up) {
      take("start", elapsed / 60.0, &running);
    } else if (elapsed % 60 == 0 && elapsed < rounds) {
      take("minute " + std::to_string(elapsed / 60), elapsed / 60.0, &running);
    }
  }
  std::this_thread::sleep_until(begin + std::chrono::seconds(rounds));
  const double end_minute = std::chrono::duration<double>(Clock::now() - begin).count() / 60;
  take("end", end_minute, &running);

  soak.DeactivateAll();
  // The servers' threads end by themselves once their last measurement is gone.
  std::this_thread::sleep_for(std::chrono::seconds(kSettleSeconds));
  take("deactivated", end_minute, &after);
  plugin.TerminateMonitor();
  take("terminated", end_minute, &after);
  server->Stop();

  std::vector<Sample> table = running;
  table.insert(table.end(), after.begin(), after.end());
  PrintTable(table);
  std::printf("activations=%ld source_restarts=%ld no_new_reading=%ld failures: %s\n", soak.activations(),
              soak.source_restarts(), soak.waits(), soak.ErrorBreakdown().c_str());
  for (const auto& [what, text] : soak.first_messages()) std::printf("first %s: %s\n", what.c_str(), text.c_str());
  const Sample& first = running.front();
  const Sample& last = running.back();
  std::printf(
      "sources=%d minutes=%g readings=%ld errors=%ld rss_kb_start=%ld rss_kb_end=%ld rss_kb_per_min=%.1f "
      "fds_start=%ld fds_end=%ld fds_per_min=%.2f threads_start=%ld threads_end=%ld threads_after_terminate=%ld\n",
      options.sources, options.minutes, soak.readings(), soak.errors(), first.rss_kb, last.rss_kb,
      SlopePerMinute(running, [](const Sample& s) { return s.rss_kb; }), first.fds, last.fds,
      SlopePerMinute(running, [](const Sample& s) { return s.fds; }), first.threads, last.threads,
      after.back().threads);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool help = false;
  if (!ParseOptions(argc, argv, &options, &help)) return 2;
  if (help) {
    PrintUsage(stdout);
    return 0;
  }
  if (std::getenv(kTreeVariable) == nullptr) return RunInsideNewTree(options, argv);
  return RunSoak(options);
}
