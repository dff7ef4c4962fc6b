// The monitor's start, end and tuning, through the loaded plug-in as the host drives it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/install_tree.h"

namespace {

const char kConfig[] = "dat/monitors/Netscape.cfg";
const char kCatalogue[] = "dat/tq_mon_http_msgs.e2";
const char kSmallConfig[] =
    "[Netscape]\nCounters=2\ninfoURL=/.perf\n"
    "[0]\nCounter=Total number of requests:\nLabel=Requests\nKeepPrevValue=1\n"
    "[1]\nCounter=Active Sessions\nLabel=Active sessions\n";

class FrameTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("LC_ALL");
    setenv("LANG", "en_US.UTF-8", 1);
    WriteTreeFile(kConfig, kSmallConfig);
    RestoreTreeFile(kCatalogue);
  }
  void TearDown() override {
    plugin_.TerminateMonitor();
    RestoreTreeFile(kConfig);
    RestoreTreeFile(kCatalogue);
  }

  // Calls InitMonitor with a fresh buffer; returns the result and the message.
  std::pair<int, std::string> Init() {
    char message[4096];
    std::memset(message, '#', sizeof message);
    message[sizeof message - 1] = '\0';
    int32_t status = 77;
    const int result = plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message);
    if (result == 0) {
      EXPECT_EQ(0, status);
      EXPECT_EQ('#', message[0]) << "a successful InitMonitor writes no message";
      message[0] = '\0';
    }
    return {result, message};
  }

  const Plugin& plugin_ = ThePlugin();
};

TEST_F(FrameTest, InitialisesOnceUntilTerminated) {
  EXPECT_EQ(0, Init().first);
  const auto [result, message] = Init();
  EXPECT_EQ(2, result);
  EXPECT_EQ(
      "Warning: iPlanet/Netscape monitor is already initialized and there's an attempt to initialize it again.\n"
      "Hint: You could continue to work. Please notify your Customer Support about this kind of error.",
      message);
  plugin_.TerminateMonitor();
  EXPECT_EQ(0, Init().first);
}

TEST_F(FrameTest, AConfigurationWithoutCountersLeavesTheMonitorUninitialised) {
  WriteTreeFile(kConfig, "[Netscape]\nCounters=0\n");
  const auto [result, message] = Init();
  EXPECT_EQ(2, result);
  EXPECT_EQ(0u, message.find("Could not get information regarding server counters from configuration file.\n"));
  uint32_t rate = 5000;
  EXPECT_EQ(-2, plugin_.SetMonitorRate(&rate));

  // A later InitMonitor tries again from the start.
  WriteTreeFile(kConfig, kSmallConfig);
  EXPECT_EQ(0, Init().first);
}

TEST_F(FrameTest, AMissingConfigurationIsReportedLikeAnEmptyOne) {
  std::remove((TreeRoot() + "/" + kConfig).c_str());
  const auto [result, message] = Init();
  EXPECT_EQ(2, result);
  EXPECT_NE(std::string::npos, message.find("Netscape.cfg' exists and has read permissions."));
}

TEST_F(FrameTest, AMissingCatalogueLeavesTheMonitorHalfInitialised) {
  std::remove((TreeRoot() + "/" + kCatalogue).c_str());
  const auto [result, message] = Init();
  EXPECT_EQ(2, result);
  EXPECT_EQ("Error can not open resource file " + TreeRoot() + "/bin/../dat/tq_mon_http_msgs.e2.", message);

  // Initialised all the same.
  EXPECT_NE(std::string::npos, Init().second.find("already initialized"));
  uint32_t rate = 5000;
  EXPECT_EQ(-1, plugin_.SetMonitorRate(&rate));
}

TEST_F(FrameTest, OnlyAConfiguredRateAbove1000ReplacesTheHosts) {
  const std::string counters = "Counters=1\n[0]\nCounter=KeepAliveHits\n";
  struct Case {
    const char* setting;
    int result;
    uint32_t rate;
  } cases[] = {{"", -1, 5000},
               {"SamplingRate=1000\n", -1, 5000},
               {"SamplingRate=1001\n", 0, 1001},
               {"SamplingRate=60000\n", 0, 60000},
               {"SamplingRate=-5\n", -1, 5000},
               {"SamplingRate=fast\n", -1, 5000}};
  ASSERT_EQ(0, Init().first);
  for (const Case& c : cases) {
    // The key is read at every call, so edits count at once.
    WriteTreeFile(kConfig, "[Netscape]\n" + std::string(c.setting) + counters);
    uint32_t rate = 5000;
    EXPECT_EQ(c.result, plugin_.SetMonitorRate(&rate)) << c.setting;
    EXPECT_EQ(c.rate, rate) << c.setting;
  }
  EXPECT_EQ(-1, plugin_.SetMonitorRate(nullptr));
  plugin_.TerminateMonitor();
  uint32_t rate = 5000;
  EXPECT_EQ(-2, plugin_.SetMonitorRate(&rate));
}

TEST_F(FrameTest, MessagesAreCutToTheHostsBuffer) {
  ASSERT_EQ(0, Init().first);
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  int32_t status = 0;
  EXPECT_EQ(2, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, buffer, 10));
  EXPECT_STREQ("Warning: ", buffer);
  EXPECT_EQ('#', buffer[10]);

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(2, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, buffer, 1));
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ('#', buffer[1]);

  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(2, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, buffer, 0));
  EXPECT_EQ(2, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, buffer, -1));
  EXPECT_EQ('#', buffer[0]);
  EXPECT_EQ(2, plugin_.InitMonitor(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 100));
}

TEST_F(FrameTest, TheSimplifiedChineseEditionFollowsTheLocale) {
  ASSERT_EQ(0, Init().first);
  setenv("LC_ALL", "zh_CN.UTF-8", 1);
  const auto [result, message] = Init();
  unsetenv("LC_ALL");
  EXPECT_EQ(2, result);
  EXPECT_EQ(
      "警告: iPlanet/Netscape 监控器已初始化，存在要再次对其进行初始化的尝试。\n"
      "提示: 您可以继续工作。请向您的客户支持通知此类错误。",
      message);
}

TEST_F(FrameTest, TerminateWithoutInitAndFreeingNothingAreHarmless) {
  plugin_.TerminateMonitor();
  plugin_.TerminateMonitor();
  char* nothing = nullptr;
  plugin_.FreeMonitorStringAllocation(&nothing);
  EXPECT_EQ(nullptr, nothing);
  plugin_.FreeMonitorStringAllocation(nullptr);
  EXPECT_EQ(0, Init().first);
}

}  // namespace
