// HTTPS sources through the loaded plug-in and sarvik-host, as an operator configures them:
// serverScheme and verifyServer in the install tree's Netscape.cfg, sarvik-statserver --tls as
// the web server.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/certificates.h"
#include "tests/child_process.h"
#include "tests/install_tree.h"
#include "tests/test_files.h"

namespace {

using namespace std::chrono_literals;

constexpr char kConfig[] = "dat/monitors/Netscape.cfg";

// The staged configuration with `key`=`value` in place of the shipped line of that key.
std::string ConfigurationWith(std::string text, const std::string& key, const std::string& value) {
  const std::size_t line = text.find("\n" + key + "=");
  EXPECT_NE(std::string::npos, line) << "the shipped configuration has no " << key;
  if (line == std::string::npos) return text;
  const std::size_t end = text.find('\n', line + 1);
  return text.replace(line + 1, end - line - 1, key + "=" + value);
}

class HttpsMeasurementsTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QOR_NS_MON_FILE");
    unsetenv("QOR_MON_REPORT_ALWAYS");
    setenv("LANG", "en_US.UTF-8", 1);
    RestoreTreeFile(kConfig);
    RestoreTreeFile("dat/tq_mon_http_msgs.e2");
    const std::optional<CertificatePair> pair = MakeSelfSignedPair(directory_.path(), "loopback", "IP:127.0.0.1");
    ASSERT_TRUE(pair) << "openssl could not make a certificate in " << directory_.path();
    pair_ = *pair;
  }
  void TearDown() override {
    if (initialised_) plugin_.TerminateMonitor();
    RestoreTreeFile(kConfig);
  }

  // Writes the configuration with `scheme` and `verify`, then starts the monitor over it.
  void Init(const std::string& scheme, const std::string& verify) {
    std::string text = ReadText(std::string(SARVIK_STAGE_DIR) + "/" + kConfig);
    text = ConfigurationWith(text, "serverScheme", scheme);
    text = ConfigurationWith(text, "verifyServer", verify);
    WriteTreeFile(kConfig, text);
    char message[1024] = "";
    std::int32_t status = 1;
    ASSERT_EQ(0, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
    initialised_ = true;
  }

  std::string Collection(const std::string& host) {
    char* document = nullptr;
    EXPECT_EQ(0, plugin_.GetMeasurementsCollection(host.c_str(), nullptr, &document));
    const std::string text = document == nullptr ? "" : document;
    plugin_.FreeMonitorStringAllocation(&document);
    return text;
  }

  std::string UserDataFor(const std::string& host, const std::string& document) {
    HostMachineRecord machine;
    std::memset(&machine, 0, sizeof machine);
    std::strcpy(machine.host, host.c_str());
    std::strcpy(machine.login, "admin");
    char* user_data = nullptr;
    EXPECT_EQ(1, plugin_.GetUserDataStr(&machine, document.c_str(), &user_data));
    const std::string text = user_data == nullptr ? "" : user_data;
    plugin_.FreeMonitorStringAllocation(&user_data);
    return text;
  }

  // What GetNewData answered.
  struct Answer {
    int result;
    std::string message;
  };
  Answer Read(const std::string& id, const std::string& host) {
    ReadingRecord reading{};
    char message[2048] = "";
    const int result = plugin_.GetNewData(id.c_str(), host.c_str(), &reading, message, sizeof message);
    return {result, message};
  }

  const Plugin& plugin_ = ThePlugin();
  bool initialised_ = false;
  TemporaryDirectory directory_;
  CertificatePair pair_;
};

TEST_F(HttpsMeasurementsTest, TheSchemeTravelsInTheUserDataAndTheCollectionStaysAsItWas) {
  Init("http", "1");
  const std::string http_collection = Collection("web1");
  const std::string http_user_data = UserDataFor("web1", http_collection);
  EXPECT_EQ("80|/.perf|admin|", http_user_data) << "plain HTTP keeps the four fields";
  plugin_.TerminateMonitor();
  initialised_ = false;

  Init("https", "1");
  EXPECT_EQ(http_collection, Collection("web1")) << "the collection document does not change";
  EXPECT_EQ("80|/.perf|admin||https", UserDataFor("web1", http_collection));
}

TEST_F(HttpsMeasurementsTest, AnUncheckedCertificateGivesReadingsAndIsNamedOnce) {
  Init("https", "0");
  StatisticsServer statistics({"--interval", "100", "--tls", pair_.certificate, pair_.key});
  ASSERT_TRUE(statistics.started());
  const std::string user_data = std::to_string(statistics.port()) + "|/.perf|||https";
  char message[1024] = "";
  EXPECT_EQ(0, plugin_.TestMachine("127.0.0.1", user_data.c_str(), message, sizeof message)) << message;

  const std::vector<std::string> counters = {"Total number of requests:", "Active Sessions"};
  for (const std::string& counter : counters) {
    char activated[1024] = "";
    ASSERT_EQ(0, plugin_.ActivateMeasurement(counter.c_str(), "127.0.0.1", user_data.c_str(), activated,
                                             sizeof activated))
        << activated;
  }
  // Every counter reads; the notice comes with the first answer about the server, and only then.
  std::string messages;
  std::vector<Answer> first_answers;
  for (const std::string& counter : counters) {
    Answer answer{-1, ""};
    ASSERT_TRUE(WaitFor([&] {
      answer = Read(counter, "127.0.0.1");
      first_answers.push_back(answer);
      messages += answer.message + "\n";
      if (answer.result != 0) std::this_thread::sleep_for(20ms);
      return answer.result == 0;
    })) << counter << ": " << answer.result << " " << answer.message;
  }
  for (int i = 0; i < 5; ++i) {
    for (const std::string& counter : counters) messages += Read(counter, "127.0.0.1").message + "\n";
  }
  EXPECT_EQ(1u, Count(messages, "verifyServer=0")) << messages;
  const std::string source = "https://127.0.0.1:" + std::to_string(statistics.port());
  EXPECT_NE(std::string::npos, first_answers.front().message.find(source)) << first_answers.front().message;
}

TEST_F(HttpsMeasurementsTest, AnUntrustedCertificateIsAConnectionFailureWithLibcurlsReason) {
  Init("https", "1");
  StatisticsServer statistics({"--interval", "100", "--tls", pair_.certificate, pair_.key});
  ASSERT_TRUE(statistics.started());
  const std::string user_data = std::to_string(statistics.port()) + "|/.perf|||https";

  char message[1024] = "";
  EXPECT_EQ(1, plugin_.TestMachine("127.0.0.1", user_data.c_str(), message, sizeof message));
  EXPECT_NE(std::string::npos, std::string(message).find("self-signed certificate")) << message;

  ASSERT_EQ(0, plugin_.ActivateMeasurement("Active Sessions", "127.0.0.1", user_data.c_str(), message, sizeof message))
      << message;
  Answer answer{-1, ""};
  ASSERT_TRUE(WaitFor([&] {
    answer = Read("Active Sessions", "127.0.0.1");
    if (answer.result == 1) std::this_thread::sleep_for(20ms);
    return answer.result != 1;
  }));
  EXPECT_EQ(20, answer.result) << answer.message;
  EXPECT_NE(std::string::npos, answer.message.find("self-signed certificate")) << answer.message;
  EXPECT_NE(std::string::npos, answer.message.find(std::to_string(statistics.port()))) << answer.message;
  EXPECT_EQ(std::string::npos, answer.message.find("verifyServer")) << answer.message;
}

TEST_F(HttpsMeasurementsTest, SarvikHostWatchesAnHttpsTarget) {
  // sarvik-host runs from the install tree, beside the plug-in, over the tree's configuration.
  const std::string host_program = TreeRoot() + "/bin/sarvik-host";
  std::filesystem::copy_file(std::string(SARVIK_STAGE_DIR) + "/bin/sarvik-host", host_program,
                             std::filesystem::copy_options::overwrite_existing);
  std::string text = ReadText(std::string(SARVIK_STAGE_DIR) + "/" + kConfig);
  WriteTreeFile(kConfig, ConfigurationWith(text, "verifyServer", "1"));
  StatisticsServer statistics({"--interval", "200", "--tls", pair_.certificate, pair_.key});
  ASSERT_TRUE(statistics.started());
  const std::string target = "https://127.0.0.1:" + std::to_string(statistics.port());

  // Checked, the self-signed certificate is refused with libcurl's reason.
  {
    ChildProcess test(host_program, {"test", target}, directory_.path() + "/test.out", directory_.path() + "/test.err");
    ASSERT_TRUE(test.WaitForExit(60));
    EXPECT_EQ(1, test.exit_status()) << ReadText(directory_.path() + "/test.out");
    const std::string said = ReadText(directory_.path() + "/test.out") + ReadText(directory_.path() + "/test.err");
    EXPECT_NE(std::string::npos, said.find("self-signed certificate")) << said;
  }

  // Unchecked, the target is read over TLS; the notice is written once.
  WriteTreeFile(kConfig, ConfigurationWith(text, "verifyServer", "0"));
  ChildProcess monitor(host_program,
                       {"monitor", target, "--counter", "Total number of requests:", "--interval", "0.5", "--duration",
                        "3", "--format", "csv"},
                       directory_.path() + "/monitor.out", directory_.path() + "/monitor.err");
  ASSERT_TRUE(monitor.WaitForExit(60));
  const std::string out = ReadText(directory_.path() + "/monitor.out");
  const std::string err = ReadText(directory_.path() + "/monitor.err");
  EXPECT_EQ(0, monitor.exit_status()) << out << err;
  EXPECT_GE(Count(out, "Total number of requests:"), 3u) << out;
  EXPECT_EQ(1u, Count(err, "verifyServer=0")) << err;
}

}  // namespace
