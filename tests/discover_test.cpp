// sarvik-host discover end to end: the host program in the install tree proposes counters for a
// live sarvik-statserver, writes them as sections, and every counter it proposed reads, through
// the loaded plug-in over a configuration with those sections added, the value it printed.
// Credentials, a proxy that asks for its own, and HTTPS go the same way as the plug-in's fetches.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/certificates.h"
#include "tests/child_process.h"
#include "tests/csv_text.h"
#include "tests/install_tree.h"
#include "tests/test_files.h"

namespace {

using namespace std::chrono_literals;

constexpr char kConfig[] = "dat/monitors/Netscape.cfg";

// One counter as discover printed it.
struct Printed {
  std::string state;  // "configured" or "new"
  int section = -1;
  std::string counter;  // the text the plug-in knows it by
  bool keep_previous = false;
  double value = 0;
};

std::vector<Printed> ReadPrinted(const std::string& csv) {
  const std::vector<std::vector<std::string>> rows = ParseCsv(csv);
  std::vector<Printed> printed;
  if (rows.empty()) return printed;
  std::map<std::string, std::size_t> column;
  for (std::size_t c = 0; c < rows[0].size(); ++c) column[rows[0][c]] = c;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const std::vector<std::string>& row = rows[r];
    if (row.size() != rows[0].size()) {
      ADD_FAILURE() << "row " << r << " has " << row.size() << " fields";
      continue;
    }
    Printed counter;
    counter.state = row[column.at("state")];
    counter.section = std::atoi(row[column.at("section")].c_str());
    counter.counter = counter.state == "configured" ? row[column.at("configured_counter")] : row[column.at("counter")];
    counter.keep_previous = row[column.at("keep_prev_value")] == "1";
    counter.value = std::strtod(row[column.at("value")].c_str(), nullptr);
    printed.push_back(counter);
  }
  return printed;
}

// `configuration` with the sections of a discover --write file added: its Counters line in
// place of the configuration's, its numbered sections appended.
std::string WithSectionsAdded(std::string configuration, const std::string& written) {
  const std::size_t counters = written.find("\nCounters=");
  const std::size_t counters_end = written.find('\n', counters + 1);
  const std::string line = written.substr(counters + 1, counters_end - counters - 1);
  const std::size_t old_line = configuration.find("\nCounters=");
  configuration.replace(old_line + 1, configuration.find('\n', old_line + 1) - old_line - 1, line);
  return configuration + "\n" + written.substr(counters_end + 1);
}

// Whether a value the plug-in read later agrees with the one discover printed: a total is not
// smaller; another value is equal, within 1, or of the same order of magnitude.
bool Agrees(double printed, double read, bool total) {
  if (total) return read >= printed;
  if (std::fabs(read - printed) <= 1) return true;
  if (printed <= 0 || read <= 0) return false;
  return std::max(read, printed) / std::min(read, printed) < 10;
}

class DiscoverTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QOR_NS_MON_FILE");
    unsetenv("http_proxy");
    unsetenv("all_proxy");
    unsetenv("ALL_PROXY");
    setenv("LANG", "en_US.UTF-8", 1);
    RestoreTreeFile(kConfig);
    host_program_ = TreeRoot() + "/bin/sarvik-host";
    std::filesystem::copy_file(std::string(SARVIK_STAGE_DIR) + "/bin/sarvik-host", host_program_,
                               std::filesystem::copy_options::overwrite_existing);
    shipped_ = ReadText(std::string(SARVIK_STAGE_DIR) + "/" + kConfig);
  }
  void TearDown() override {
    if (initialised_) plugin_.TerminateMonitor();
    RestoreTreeFile(kConfig);
  }

  struct Run {
    int status;
    std::string out;
    std::string err;
  };
  // sarvik-host from the install tree with `arguments`, bounded to 90 s.
  Run RunHost(const std::vector<std::string>& arguments) {
    const std::string out = directory_.path() + "/host.out";
    const std::string err = directory_.path() + "/host.err";
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    ChildProcess host(host_program_, arguments, out, err);
    if (!host.WaitForExit(90)) return {-1, ReadText(out), ReadText(err) + "\n(test: the host did not end in 90 s)"};
    return {host.exit_status(), ReadText(out), ReadText(err)};
  }

  // The configuration `text` in the tree, and the monitor started over it.
  void Init(const std::string& text) {
    if (initialised_) plugin_.TerminateMonitor();
    initialised_ = false;
    WriteTreeFile(kConfig, text);
    char message[1024] = "";
    std::int32_t status = 1;
    ASSERT_EQ(0, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
    initialised_ = true;
  }

  // Activates `counter` on 127.0.0.1 and waits for its first reading.
  ReadingRecord FirstReading(const std::string& counter, const std::string& user_data) {
    char message[2048] = "";
    EXPECT_EQ(0, plugin_.ActivateMeasurement(counter.c_str(), "127.0.0.1", user_data.c_str(), message, sizeof message))
        << counter << ": " << message;
    ReadingRecord reading{};
    int result = -1;
    const bool read = WaitFor([&] {
      reading = ReadingRecord{};
      result = plugin_.GetNewData(counter.c_str(), "127.0.0.1", &reading, message, sizeof message);
      if (result != 0) std::this_thread::sleep_for(20ms);
      return result == 0;
    }, 30);
    EXPECT_TRUE(read) << counter << ": result " << result << " " << message;
    plugin_.DeActivateMeasurement(counter.c_str(), "127.0.0.1", message, sizeof message);
    return reading;
  }

  const Plugin& plugin_ = ThePlugin();
  bool initialised_ = false;
  TemporaryDirectory directory_;
  std::string host_program_;
  std::string shipped_;
};

TEST_F(DiscoverTest, EveryProposedCounterReadsItsValueBackThroughThePlugIn) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  // Requests before discovery, so that totals are not all zero.
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(SendLoadRequest(statistics.port()));
  const std::string port = std::to_string(statistics.port());
  const std::string written_path = directory_.path() + "/new-sections.cfg";
  const Run run = RunHost({"discover", "127.0.0.1", "--port", port, "--format", "csv", "--write", written_path});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  const std::vector<Printed> printed = ReadPrinted(run.out);
  const std::string written = ReadText(written_path);

  // sarvik-statserver's page: every counter of the shipped configuration, and the numbers it
  // does not read (the pid, the acceptor threads, the keep-alive time-out, the cache's maximum
  // age, two cells of the virtual-server table).
  std::size_t configured = 0;
  for (const Printed& counter : printed) configured += counter.state == "configured" ? 1 : 0;
  EXPECT_EQ(29u, configured) << run.out;
  EXPECT_EQ(35u, printed.size()) << run.out;
  EXPECT_NE(std::string::npos, run.err.find("35 counters on http://127.0.0.1:" + port + "/.perf: 29 in the "
                                            "configuration, 6 new"))
      << run.err;
  EXPECT_NE(std::string::npos, written.find("\nCounters=35\n")) << written;
  for (int section = 29; section < 35; ++section) {
    EXPECT_NE(std::string::npos, written.find("\n[" + std::to_string(section) + "]\n")) << written;
  }
  EXPECT_NE(std::string::npos, written.find("Counter=\"KeepAliveTimeout \"\n")) << written;
  EXPECT_NE(std::string::npos, written.find("TblName=Virtual Server Statistics\nTblRow=3\nTblColumn=4\n")) << written;

  // The values, as the plug-in reads them over the configuration with the sections added (every
  // counter as a value, so that it can be compared).
  const std::string added = WithSectionsAdded(shipped_, written);
  std::string as_values = added;
  for (std::size_t at = as_values.find("KeepPrevValue=1"); at != std::string::npos;
       at = as_values.find("KeepPrevValue=1", at)) {
    as_values.replace(at, 15, "KeepPrevValue=0");
  }
  Init(as_values);
  const std::string user_data = port + "|/.perf||";
  std::size_t read_back = 0;
  for (const Printed& counter : printed) {
    const ReadingRecord reading = FirstReading(counter.counter, user_data);
    EXPECT_EQ(0, reading.kind) << counter.counter;
    EXPECT_TRUE(Agrees(counter.value, reading.value, counter.keep_previous))
        << counter.counter << ": discover printed " << counter.value << ", the plug-in read " << reading.value;
    read_back += reading.kind == 0 && Agrees(counter.value, reading.value, counter.keep_previous) ? 1 : 0;
  }
  EXPECT_EQ(printed.size(), read_back);

  // As written, the totals are rates and the rest values.
  Init(added);
  for (const Printed& counter : printed) {
    if (counter.state != "new") continue;
    const ReadingRecord reading = FirstReading(counter.counter, user_data);
    EXPECT_EQ(counter.keep_previous ? 1 : 0, reading.kind) << counter.counter;
  }
}

TEST_F(DiscoverTest, TheServersCredentialsAreSentAndARefusalIsNamed) {
  StatisticsServer statistics({"--interval", "200", "--auth", "ops:secret"});
  ASSERT_TRUE(statistics.started());
  const std::string port = std::to_string(statistics.port());
  const Run refused = RunHost({"discover", "127.0.0.1", "--port", port, "--login", "ops", "--password", "wrong"});
  EXPECT_EQ(1, refused.status) << refused.out << refused.err;
  EXPECT_NE(std::string::npos, refused.err.find("answered 401")) << refused.err;

  const Run run = RunHost({"discover", "127.0.0.1", "--port", port, "--login", "ops", "--password", "secret",
                           "--format", "csv"});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ(35u, ReadPrinted(run.out).size()) << run.out;
}

TEST_F(DiscoverTest, TheConfiguredProxyCarriesTheRequestWithItsCredentials) {
  AuthenticatingProxy proxy;
  ASSERT_TRUE(proxy.started()) << "squid did not start";
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  auto with_proxy = [this, &proxy](const std::string& password) {
    std::string text = shipped_;
    const std::string proxy_section = "[ProxySettings]\nuseProxy=1\nproxyDomain=\nproxyUsername=user\nproxyPassword=" +
                                      password + "\nhttpProxy=127.0.0.1:" + std::to_string(proxy.port()) + "\n";
    return text.substr(0, text.find("[ProxySettings]")) + proxy_section;
  };
  const std::string port = std::to_string(statistics.port());

  WriteTreeFile(kConfig, with_proxy("wrong"));
  const Run refused = RunHost({"discover", "127.0.0.1", "--port", port});
  EXPECT_EQ(1, refused.status) << refused.out << refused.err;
  EXPECT_NE(std::string::npos, refused.err.find("407")) << refused.err;

  WriteTreeFile(kConfig, with_proxy("pw"));
  const Run run = RunHost({"discover", "127.0.0.1", "--port", port, "--format", "csv"});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ(35u, ReadPrinted(run.out).size()) << run.out;
  bool seen_with_user = false;
  ASSERT_TRUE(WaitFor([&] {
    for (const std::string& line : proxy.AccessLog()) {
      // "time client status method URL user"
      const bool by_user = line.size() > 5 && line.substr(line.size() - 5) == " user";
      seen_with_user = seen_with_user || (by_user && line.find(" GET http://127.0.0.1:" + port + "/.perf ") !=
                                                         std::string::npos && line.find("/200 ") != std::string::npos);
    }
    return seen_with_user;
  })) << "the proxy's log names no request of user 'user' for port " << port;
}

TEST_F(DiscoverTest, HttpsSourcesAreReadWithTheConfiguredCertificateCheck) {
  const std::optional<CertificatePair> pair = MakeSelfSignedPair(directory_.path(), "loopback", "IP:127.0.0.1");
  ASSERT_TRUE(pair) << "openssl could not make a certificate in " << directory_.path();
  StatisticsServer statistics({"--interval", "200", "--tls", pair->certificate, pair->key});
  ASSERT_TRUE(statistics.started());
  const std::string target = "https://127.0.0.1:" + std::to_string(statistics.port());
  auto with_verify = [this](const std::string& verify) {
    std::string text = shipped_;
    const std::size_t line = text.find("\nverifyServer=");
    return text.replace(line + 1, text.find('\n', line + 1) - line - 1, "verifyServer=" + verify);
  };

  WriteTreeFile(kConfig, with_verify("1"));
  const Run refused = RunHost({"discover", target});
  EXPECT_EQ(1, refused.status) << refused.out << refused.err;
  EXPECT_NE(std::string::npos, refused.err.find("self-signed certificate")) << refused.err;

  WriteTreeFile(kConfig, with_verify("0"));
  const Run run = RunHost({"discover", target, "--format", "csv"});
  ASSERT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ(35u, ReadPrinted(run.out).size()) << run.out;
  EXPECT_NE(std::string::npos, run.err.find("on " + target + "/.perf")) << run.err;
}

TEST_F(DiscoverTest, APageWithoutCopiesIsRefusedClearly) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const Run run = RunHost({"discover", "127.0.0.1", "--port", std::to_string(statistics.port()), "--url", "/perf-once"});
  EXPECT_EQ(1, run.status) << run.out << run.err;
  EXPECT_NE(std::string::npos, run.err.find("without a complete copy of the page")) << run.err;
  EXPECT_EQ("", run.out);
}

TEST_F(DiscoverTest, SigintEndsTheWaitForASilentServer) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const std::string out = directory_.path() + "/silent.out";
  ChildProcess host(host_program_,
                    {"discover", "127.0.0.1", "--port", std::to_string(statistics.port()), "--url", "/fault/silent"}, out);
  // Whether the signal comes while the host waits for the page or earlier, it ends with 130.
  std::this_thread::sleep_for(1s);
  ASSERT_TRUE(host.running()) << ReadText(out);
  host.Signal(SIGINT);
  ASSERT_TRUE(host.WaitForExit(20)) << "discover did not end on SIGINT";
  EXPECT_EQ(130, host.exit_status()) << ReadText(out);
}

}  // namespace
