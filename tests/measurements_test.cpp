// Measurements from activation to readings, through the loaded plug-in and a live statistics
// server, as the host drives them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "config/counter_config.h"
#include "platform/profile.h"
#include "tests/child_process.h"
#include "tests/install_tree.h"

namespace {

using namespace std::chrono_literals;

// The result of an export, with what it wrote into the host's buffer.
struct Answer {
  int result;
  std::string message;
};

class MeasurementsTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QOR_NS_MON_FILE");
    unsetenv("QOR_MON_REPORT_ALWAYS");
    setenv("LANG", "en_US.UTF-8", 1);
    RestoreTreeFile("dat/monitors/Netscape.cfg");
    RestoreTreeFile("dat/tq_mon_http_msgs.e2");
    char message[1024] = "";
    int32_t status = 1;
    ASSERT_EQ(0, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
  }
  void TearDown() override {
    plugin_.TerminateMonitor();
    unsetenv("QOR_NS_MON_FILE");
    unsetenv("QOR_MON_REPORT_ALWAYS");
  }

  // A buffer pre-filled with a marker, so a test sees whether the plug-in wrote it.
  struct Buffer {
    Buffer() { std::memset(text, '#', sizeof text); }
    std::string Written() const { return text[0] == '#' ? "<untouched>" : std::string(text); }
    char text[2048];
  };

  Answer Activate(const std::string& id, const std::string& host, const std::string& user_data) {
    Buffer buffer;
    const int result = plugin_.ActivateMeasurement(id.c_str(), host.c_str(), user_data.c_str(), buffer.text,
                                                   sizeof buffer.text);
    return {result, buffer.Written()};
  }
  Answer Deactivate(const std::string& id, const std::string& host) {
    Buffer buffer;
    const int result = plugin_.DeActivateMeasurement(id.c_str(), host.c_str(), buffer.text, sizeof buffer.text);
    return {result, buffer.Written()};
  }
  Answer Read(const std::string& id, const std::string& host, ReadingRecord* reading) {
    Buffer buffer;
    const int result = plugin_.GetNewData(id.c_str(), host.c_str(), reading, buffer.text, sizeof buffer.text);
    return {result, buffer.Written()};
  }

  // Reads until a reading arrives (result 0) or `seconds` pass.
  Answer ReadUntilReading(const std::string& id, const std::string& host, ReadingRecord* reading, int seconds = 20) {
    Answer answer{-1, ""};
    WaitFor(
        [&] {
          answer = Read(id, host, reading);
          if (answer.result != 0 || answer.message != "<untouched>") std::this_thread::sleep_for(50ms);
          return answer.result == 0 && answer.message == "<untouched>";
        },
        seconds);
    return answer;
  }

  // Reads until a reading of a snapshot taken in a second after `second` arrives, or 20 s pass.
  Answer ReadUntilSnapshotAfter(const std::string& id, const std::string& host, std::int32_t second,
                                ReadingRecord* reading) {
    Answer answer{-1, ""};
    WaitFor([&] {
      answer = ReadUntilReading(id, host, reading);
      const SampleTime taken = reading->kind == 1 ? reading->second_time : reading->first_time;
      return answer.result == 0 && taken.seconds > second;
    });
    return answer;
  }

  static std::string UserData(int port, const std::string& url = "/.perf") {
    return std::to_string(port) + "|" + url + "||";
  }

  const Plugin& plugin_ = ThePlugin();
};

TEST_F(MeasurementsTest, EveryDefaultCounterFollowsALiveServer) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const Profile configuration = Profile::Load(TreeRoot() + "/dat/monitors/Netscape.cfg");
  const std::vector<CounterDefinition> counters = ReadCounterDefinitions(configuration);
  ASSERT_FALSE(counters.empty());
  const std::string host = "127.0.0.1:" + std::to_string(statistics.port());
  for (const CounterDefinition& counter : counters) {
    ASSERT_EQ(0, Activate(counter.counter, host, UserData(statistics.port())).result) << counter.counter;
  }

  // Every counter gives a reading; the totals give rates that follow the load the server sees.
  std::map<std::string, ReadingRecord> first;
  for (const CounterDefinition& counter : counters) {
    ReadingRecord reading{};
    const Answer answer = ReadUntilReading(counter.counter, host, &reading);
    ASSERT_EQ(0, answer.result) << counter.counter << ": " << answer.message;
    first[counter.counter] = reading;
  }
  for (int i = 0; i < 25; ++i) ASSERT_TRUE(SendLoadRequest(statistics.port()));
  const std::int32_t loaded_at = static_cast<std::int32_t>(std::time(nullptr));
  for (const CounterDefinition& counter : counters) {
    const bool rate = configuration.GetInt(std::to_string(&counter - counters.data()), kKeyKeepPrevValue, 0) != 0;
    ReadingRecord reading{};
    const Answer answer = ReadUntilSnapshotAfter(counter.counter, host, loaded_at, &reading);
    ASSERT_EQ(0, answer.result) << counter.counter << ": " << answer.message;
    EXPECT_EQ(rate ? 1 : 0, reading.kind) << counter.counter;
    EXPECT_GT(reading.first_time.seconds, first[counter.counter].first_time.seconds - (rate ? 1 : 0)) << counter.counter;
  }
  ReadingRecord requests{};
  ASSERT_EQ(0, ReadUntilReading("Total number of requests:", host, &requests).result);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(SendLoadRequest(statistics.port()));
  const std::int32_t loaded_again_at = static_cast<std::int32_t>(std::time(nullptr));
  ASSERT_EQ(0, ReadUntilSnapshotAfter("Total number of requests:", host, loaded_again_at, &requests).result);
  EXPECT_EQ(1, requests.kind);
  EXPECT_GT(requests.rate, 0) << "ten requests between two snapshots";
  EXPECT_GT(requests.second_time.seconds, requests.first_time.seconds);

  for (const CounterDefinition& counter : counters) {
    EXPECT_EQ(0, Deactivate(counter.counter, host).result) << counter.counter;
  }
}

TEST_F(MeasurementsTest, ReadingsBeforeTheFirstSnapshotAndWithinOneSnapshot) {
  StatisticsServer statistics({"--interval", "300"});
  ASSERT_TRUE(statistics.started());
  // A URL that never sends a page keeps the server without a snapshot.
  ASSERT_EQ(0, Activate("KeepAliveHits", "127.0.0.1", UserData(statistics.port(), "/fault/silent-after-headers")).result);
  ReadingRecord reading;
  std::memset(&reading, 0x5A, sizeof reading);
  const Answer before = Read("KeepAliveHits", "127.0.0.1", &reading);
  EXPECT_EQ(1, before.result);
  EXPECT_EQ("", before.message);
  EXPECT_EQ(0x5A5A5A5A, reading.kind) << "no reading is written";

  ASSERT_EQ(0, Activate("Active Sessions", "127.0.0.1", UserData(statistics.port())).result);
  ASSERT_EQ(0, ReadUntilReading("Active Sessions", "127.0.0.1", &reading).result);
  // The same snapshot again: the measurement's own code (never failed: 0), no text, no reading.
  std::memset(&reading, 0x5A, sizeof reading);
  const Answer again = Read("Active Sessions", "127.0.0.1", &reading);
  EXPECT_EQ(0, again.result);
  EXPECT_EQ("", again.message);
  EXPECT_EQ(0x5A5A5A5A, reading.kind);
}

TEST_F(MeasurementsTest, AFetchFailureReachesTheHostOnce) {
  const int port = UnusedPort();
  ASSERT_EQ(0, Activate("KeepAliveHits", "127.0.0.1", UserData(port)).result);
  ReadingRecord reading{};
  Answer failure{1, ""};
  ASSERT_TRUE(WaitFor([&] {
    failure = Read("KeepAliveHits", "127.0.0.1", &reading);
    return failure.result != 1;
  }));
  EXPECT_EQ(20, failure.result);
  EXPECT_NE(std::string::npos, failure.message.find(std::to_string(port))) << failure.message;
  EXPECT_EQ("", Read("KeepAliveHits", "127.0.0.1", &reading).message);
  EXPECT_EQ(20, Read("KeepAliveHits", "127.0.0.1", &reading).result);

  setenv("QOR_MON_REPORT_ALWAYS", "", 1);
  EXPECT_EQ(failure.message, Read("KeepAliveHits", "127.0.0.1", &reading).message);
  EXPECT_EQ(failure.message, Read("KeepAliveHits", "127.0.0.1", &reading).message);
}

// Every way a statistics source can fail: the host reads the failure's code, gets its message
// once, and a fresh activation on a working source reads again.
TEST_F(MeasurementsTest, EachFaultOfTheSourceIsReportedOnceAndAFreshActivationReadsAgain) {
  StatisticsServer statistics({"--interval", "100"});
  ASSERT_TRUE(statistics.started());
  struct Fault {
    std::string url;
    int port;
    int code;
  };
  const int port = statistics.port();
  const std::vector<Fault> faults = {
      {"/fault/401", port, 14},           {"/fault/404", port, 14},
      {"/fault/407", port, 14},           {"/fault/500", port, 14},
      {"/fault/reason?status=503", port, 14},
      {"/fault/status-line?line=HTTP/1.1%20abc%20Broken", port, 14},
      {"/fault/drop-mid-page", port, 13}, {"/fault/oversized", port, 13},
      {"/fault/hang-up", port, 13},       {"/fault/silent", port, 13},
      {"/.perf", UnusedPort(), 20},
  };
  const std::string host = "127.0.0.1";
  auto id = [](std::size_t i) { return "KeepAliveHits|fault " + std::to_string(i); };
  for (std::size_t i = 0; i < faults.size(); ++i) {
    ASSERT_EQ(0, Activate(id(i), host, UserData(faults[i].port, faults[i].url)).result) << faults[i].url;
  }
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const Fault& fault = faults[i];
    ReadingRecord reading{};
    Answer first{1, ""};
    // A silent server is given up after the 8 s bound on the status line.
    EXPECT_TRUE(WaitFor([&] {
      first = Read(id(i), host, &reading);
      return first.result != 1;
    }, 30)) << fault.url;
    EXPECT_EQ(fault.code, first.result) << fault.url << ": " << first.message;
    EXPECT_NE("", first.message) << fault.url;
    const Answer again = Read(id(i), host, &reading);
    EXPECT_EQ(fault.code, again.result) << fault.url;
    EXPECT_EQ("", again.message) << fault.url << ": the message is handed over once";
  }
  // Any activation purges the stopped servers; the failures above were all read before it.
  for (std::size_t i = 0; i < faults.size(); ++i) {
    const Fault& fault = faults[i];
    ReadingRecord reading{};
    EXPECT_EQ(0, Deactivate(id(i), host).result) << fault.url;
    ASSERT_EQ(0, Activate(id(i), host, UserData(port)).result) << fault.url;
    EXPECT_EQ(0, ReadUntilReading(id(i), host, &reading).result) << fault.url;
    EXPECT_EQ(0, Deactivate(id(i), host).result) << fault.url;
  }
}

TEST_F(MeasurementsTest, AnUnknownCounterIsSearchedForAndItsFailureNamed) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  ASSERT_EQ(0, Activate("No Such Counter", "127.0.0.1", UserData(statistics.port())).result);
  ReadingRecord reading{};
  Answer answer{0, ""};
  ASSERT_TRUE(WaitFor([&] {
    answer = Read("No Such Counter", "127.0.0.1", &reading);
    return answer.result == 17;
  }));
  EXPECT_NE(std::string::npos, answer.message.find("No Such Counter")) << answer.message;
  // Its label is the whole key.
  EXPECT_NE(std::string::npos, answer.message.find("No Such Counter|127.0.0.1")) << answer.message;
}

TEST_F(MeasurementsTest, KeysNameTheMeasurementWhateverThePortOrBar) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const std::string user_data = UserData(statistics.port());
  ASSERT_EQ(0, Activate("KeepAliveHits", "127.0.0.1:1234", user_data).result);
  ReadingRecord reading{};
  EXPECT_EQ(0, ReadUntilReading("KeepAliveHits", "127.0.0.1:9", &reading).result);
  EXPECT_EQ(8, Read("KeepAliveHits", "localhost", &reading).result);

  // An identifier with a bar is its own key; the counter is the text before the bar.
  ASSERT_EQ(0, Activate("Active Sessions|my own id", "127.0.0.1", user_data).result);
  EXPECT_EQ(0, ReadUntilReading("Active Sessions|my own id", "127.0.0.1", &reading).result);
  EXPECT_EQ(0, reading.kind);

  // Twice activated: one measurement; one deactivation removes it.
  ASSERT_EQ(0, Activate("Active Sessions|my own id", "127.0.0.1", user_data).result);
  EXPECT_EQ(0, Deactivate("Active Sessions|my own id", "127.0.0.1").result);
  const Answer gone = Deactivate("Active Sessions|my own id", "127.0.0.1");
  EXPECT_EQ(8, gone.result);
  EXPECT_NE(std::string::npos, gone.message.find("Active Sessions|my own id")) << gone.message;
  const Answer unknown = Read("Never activated", "web9", &reading);
  EXPECT_EQ(8, unknown.result);
  EXPECT_NE(std::string::npos, unknown.message.find("(host:web9)")) << unknown.message;
}

TEST_F(MeasurementsTest, ADumpFileStandsInForTheServer) {
  setenv("QOR_NS_MON_FILE", (std::string(SARVIK_SOURCE_DIR) + "/dat/samples/perfdump.txt").c_str(), 1);
  ASSERT_EQ(0, Activate("KeepAliveHits", "nowhere.invalid", "80|/.perf||").result);
  ReadingRecord reading{};
  ASSERT_EQ(0, ReadUntilReading("KeepAliveHits", "nowhere.invalid", &reading).result);
  EXPECT_EQ(1, reading.kind);  // a rate counter
  ASSERT_EQ(0, Activate("Total Sessions Created", "nowhere.invalid", "80|/.perf||").result);
  ASSERT_EQ(0, ReadUntilReading("Total Sessions Created", "nowhere.invalid", &reading).result);
}

TEST_F(MeasurementsTest, NothingWorksBeforeInitialisation) {
  plugin_.TerminateMonitor();
  const Answer activate = Activate("KeepAliveHits", "web1", "80|/.perf||");
  EXPECT_EQ(2, activate.result);
  EXPECT_EQ("iPlanet/Netscape monitor is not yet initialized (entry point:ActivateMeasurement).", activate.message);
  EXPECT_EQ(2, Deactivate("KeepAliveHits", "web1").result);
  ReadingRecord reading{};
  const Answer read = Read("KeepAliveHits", "web1", &reading);
  EXPECT_EQ(2, read.result);
  EXPECT_EQ("iPlanet/Netscape monitor is not yet initialized (entry point:GetNewData).", read.message);
}

TEST_F(MeasurementsTest, TheConnectionTestTellsWhatFailed) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  Buffer buffer;
  EXPECT_EQ(0, plugin_.TestMachine("127.0.0.1:80", UserData(statistics.port()).c_str(), buffer.text, sizeof buffer.text));
  EXPECT_EQ("<untouched>", buffer.Written());

  const int port = UnusedPort();
  EXPECT_EQ(1, plugin_.TestMachine("127.0.0.1", UserData(port).c_str(), buffer.text, sizeof buffer.text));
  EXPECT_NE(std::string::npos, std::string(buffer.text).find(std::to_string(port))) << buffer.text;

  char small[6];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(1, plugin_.TestMachine("127.0.0.1", UserData(statistics.port(), "/fault/404").c_str(), small, 5));
  EXPECT_EQ('\0', small[4]);
  EXPECT_EQ('#', small[5]);
}

TEST_F(MeasurementsTest, TheDescriptionDocumentsComeFromTheConfiguration) {
  char* document = nullptr;
  EXPECT_EQ(0, plugin_.GetMeasurementsCollection("web1:8080", nullptr, &document));
  ASSERT_NE(nullptr, document);
  const std::string text = document;
  plugin_.FreeMonitorStringAllocation(&document);
  EXPECT_EQ(nullptr, document);
  EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n<counter id=\"Current/Peak/Limit Queue Length\""));
  EXPECT_NE(std::string::npos,
            text.find("<prop name=\"port\"><value>80</value></prop><prop name=\"URL\"><value>/.perf</value></prop>"));

  HostMachineRecord machine;
  std::memset(&machine, 0, sizeof machine);
  std::strcpy(machine.host, "web1");
  std::strcpy(machine.login, "admin");
  char* user_data = nullptr;
  EXPECT_EQ(1, plugin_.GetUserDataStr(&machine, text.c_str(), &user_data));
  ASSERT_NE(nullptr, user_data);
  EXPECT_STREQ("80|/.perf|admin|", user_data);
  plugin_.FreeMonitorStringAllocation(&user_data);
  EXPECT_EQ(1, plugin_.GetUserDataStr(nullptr, nullptr, &user_data));
  EXPECT_STREQ("80|/.perf||", user_data);
  plugin_.FreeMonitorStringAllocation(&user_data);
}

TEST_F(MeasurementsTest, NullAndOversizedArgumentsNeverCrossTheBoundary) {
  char message[64];
  // Without a host there is nothing to poll: the activation is refused and nothing registered.
  EXPECT_EQ(8, plugin_.ActivateMeasurement(nullptr, nullptr, nullptr, message, sizeof message));
  EXPECT_EQ(std::string("The measurement \"|\" names no host: give the host name of the we"), message);
  EXPECT_EQ(8, plugin_.ActivateMeasurement("Active Sessions", ":8080", "8080|/.perf||", message, sizeof message));
  ReadingRecord reading{};
  EXPECT_EQ(8, plugin_.GetNewData(nullptr, nullptr, &reading, nullptr, 0));
  EXPECT_EQ(8, plugin_.GetNewData(nullptr, nullptr, nullptr, message, -5));
  EXPECT_EQ(8, plugin_.DeActivateMeasurement(nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(1, plugin_.TestMachine(nullptr, nullptr, message, sizeof message));
  EXPECT_EQ(0, plugin_.GetMeasurementsCollection(nullptr, nullptr, nullptr));
  EXPECT_EQ(1, plugin_.GetUserDataStr(nullptr, nullptr, nullptr));
  EXPECT_EQ(-1, plugin_.SetMonitorRate(nullptr));

  // Identifiers, hosts and user data far beyond their fields are cut, and the messages stay in
  // their buffers.
  const std::string huge(100000, 'x');
  std::memset(message, '#', sizeof message);
  EXPECT_EQ(0, plugin_.ActivateMeasurement(huge.c_str(), huge.c_str(), huge.c_str(), message, 16));
  EXPECT_EQ('#', message[0]);
  // The host is cut the same way for the measurement and its server, which is found: no 10.
  const int result = plugin_.GetNewData(huge.c_str(), huge.c_str(), &reading, message, 16);
  EXPECT_TRUE(result == 1 || result == 20) << result;
  EXPECT_EQ(8, plugin_.DeActivateMeasurement(("y" + huge).c_str(), "h", message, 16));
  EXPECT_EQ('\0', message[15]);
  EXPECT_EQ('#', message[16]);
  // The counter part of a key is cut, never its host: another host is another measurement.
  EXPECT_EQ(8, plugin_.DeActivateMeasurement((huge + "tail").c_str(), "other host", message, 16));
  EXPECT_EQ(0, plugin_.DeActivateMeasurement((huge + "tail").c_str(), (huge + "tail").c_str(), message, 16));
}


// The polling threads of the plug-in in this process, by the name they carry.
int PollingThreadCount() {
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    if (std::getline(comm, name) && name == "sarvik-poll") ++count;
  }
  return count;
}

// A controller whose sampling and UI threads do not take turns: eight threads activate, read
// and deactivate overlapping measurements while another ends and restarts the monitor. Every
// call answers with one of its own results and writes its message within the buffer, and no
// polling thread outlives the monitor.
TEST_F(MeasurementsTest, HostsOnSeveralThreadsGetDefinedAnswersAndLeaveNoThreadBehind) {
  StatisticsServer statistics({"--interval", "50"});
  ASSERT_TRUE(statistics.started());
  const std::vector<std::string> ids = {"KeepAliveHits", "Total number of requests:", "Active Sessions",
                                        "KeepAliveHits|second view"};
  const std::vector<std::string> hosts = {"127.0.0.1:" + std::to_string(statistics.port()), "localhost"};
  const std::string user_data = UserData(statistics.port());
  const std::set<int> activation_results = {0, 2, 9};
  const std::set<int> deactivation_results = {0, 2, 8};
  const std::set<int> reading_results = {0, 1, 2, 8, 10, 11, 12, 13, 14, 15, 16, 17, 20};

  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::mutex failures_mutex;
  std::vector<std::string> failures;
  auto fail = [&](const std::string& what) {
    std::lock_guard<std::mutex> hold(failures_mutex);
    if (failures.size() < 20) failures.push_back(what);
  };
  std::vector<std::thread> host_threads;
  for (int t = 0; t < 8; ++t) {
    host_threads.emplace_back([&, t] {
      char message[96];
      for (int i = 0; !stop.load(); ++i) {
        const std::string& id = ids[static_cast<std::size_t>(t + i) % ids.size()];
        const std::string& host = hosts[static_cast<std::size_t>(i / 3 + t) % hosts.size()];
        std::memset(message, '#', sizeof message);
        ReadingRecord reading{};
        int result = 0;
        const int call = (t + i) % 4;
        if (call == 0) {
          result = plugin_.ActivateMeasurement(id.c_str(), host.c_str(), user_data.c_str(), message, sizeof message);
          if (!activation_results.count(result)) fail("ActivateMeasurement " + std::to_string(result));
        } else if (call == 3) {
          result = plugin_.DeActivateMeasurement(id.c_str(), host.c_str(), message, sizeof message);
          if (!deactivation_results.count(result)) fail("DeActivateMeasurement " + std::to_string(result));
        } else {
          result = plugin_.GetNewData(id.c_str(), host.c_str(), &reading, message, sizeof message);
          if (!reading_results.count(result)) fail("GetNewData " + std::to_string(result));
        }
        if (result != 0 && std::memchr(message, '\0', sizeof message) == nullptr) fail("unterminated message");
        ++calls;
      }
    });
  }
  std::thread restarter([&] {
    for (int cycle = 0; cycle < 30; ++cycle) {
      const int before = calls.load();
      WaitFor([&] { return calls.load() > before + 200; }, 30);
      plugin_.TerminateMonitor();
      char message[256];
      std::int32_t status = 1;
      const int result = plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message);
      if (result != 0 && result != 2) fail("InitMonitor " + std::to_string(result));
    }
  });
  restarter.join();
  stop = true;
  for (std::thread& thread : host_threads) thread.join();
  EXPECT_TRUE(failures.empty()) << failures.front();
  EXPECT_GT(calls.load(), 6000);

  // After the end of the monitor every call says so, and every polling thread is gone.
  plugin_.TerminateMonitor();
  char message[256];
  ReadingRecord reading{};
  EXPECT_EQ(2, plugin_.GetNewData(ids[0].c_str(), hosts[0].c_str(), &reading, message, sizeof message));
  EXPECT_EQ(2, plugin_.ActivateMeasurement(ids[0].c_str(), hosts[0].c_str(), user_data.c_str(), message,
                                           sizeof message));
  EXPECT_TRUE(WaitFor([&] { return PollingThreadCount() == 0; })) << PollingThreadCount() << " polling threads left";
  std::int32_t status = 1;
  ASSERT_EQ(0, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
}

// A measurement activated twice holds two activations of its server; its deactivation gives
// both back, so the server's thread ends with it.
TEST_F(MeasurementsTest, ADeactivationGivesBackEveryActivationOfItsMeasurement) {
  StatisticsServer statistics({"--interval", "100"});
  ASSERT_TRUE(statistics.started());
  const std::string host = "127.0.0.1";
  ASSERT_EQ(0, Activate("KeepAliveHits", host, UserData(statistics.port())).result);
  ASSERT_EQ(0, Activate("KeepAliveHits", host, UserData(statistics.port())).result);
  EXPECT_TRUE(WaitFor([&] { return PollingThreadCount() == 1; })) << PollingThreadCount();
  EXPECT_EQ(0, Deactivate("KeepAliveHits", host).result);
  EXPECT_TRUE(WaitFor([&] { return PollingThreadCount() == 0; })) << "the server's thread still runs";
  EXPECT_EQ(8, Deactivate("KeepAliveHits", host).result);
}

}  // namespace
