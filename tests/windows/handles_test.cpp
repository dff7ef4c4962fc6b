// The plug-in gives back every handle it takes: the whole life of a host, from InitMonitor over a
// connection test and a measurement read from the statistics server to TerminateMonitor, repeated
// a thousand times, leaves the process's handle count where the first rounds left it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/child_process.h"
#include "tests/install_tree.h"

namespace {

// The process's handles as Windows counts them. Wine does not count them (it answers 0); there
// the process's Unix file descriptors stand in, where every socket and file of the plug-in shows
// (its events and threads live in Wine's server and are not seen).
std::size_t HandleCount() {
  DWORD count = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
  std::size_t descriptors = 0;
  std::error_code error;
  for (auto entry = std::filesystem::directory_iterator("Z:/proc/self/fd", error);
       !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    ++descriptors;
  }
  return descriptors;
}

TEST(WindowsHandlesTest, AThousandLivesOfTheMonitorLeaveNoHandleBehind) {
  StatisticsServer statistics({"--interval", "100"});
  ASSERT_TRUE(statistics.started());
  const Plugin& plugin = ThePlugin();
  const std::string user_data = std::to_string(statistics.port()) + "|/.perf||";
  char message[1024];

  const auto live = [&](bool measure) {
    std::int32_t status = 1;
    ASSERT_EQ(0, plugin.InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message)) << message;
    ASSERT_EQ(0, plugin.TestMachine("127.0.0.1", user_data.c_str(), message, sizeof message)) << message;
    if (measure) {
      ASSERT_EQ(0, plugin.ActivateMeasurement("KeepAliveHits", "127.0.0.1", user_data.c_str(), message,
                                               sizeof message))
          << message;
      ReadingRecord reading{};
      int result = 1;
      EXPECT_TRUE(WaitFor([&] {
        result = plugin.GetNewData("KeepAliveHits", "127.0.0.1", &reading, message, sizeof message);
        return result != 1;
      }, 30));
      EXPECT_EQ(0, result) << message;
      EXPECT_EQ(0, plugin.DeActivateMeasurement("KeepAliveHits", "127.0.0.1", message, sizeof message)) << message;
    }
    plugin.TerminateMonitor();
  };

  // The first rounds bring up what a process keeps once it has it (Winsock, WinINet, COM).
  for (int i = 0; i < 5; ++i) live(true);
  const std::size_t before = HandleCount();
  ASSERT_GT(before, 0u) << "the handle count cannot be read";
  for (int i = 0; i < 1000; ++i) {
    live(i % 100 == 0);
    if (HasFatalFailure()) return;
  }
  const std::size_t after = HandleCount();
  // A handle lost per round would show a thousand; the slack is for the runtime's own caches.
  EXPECT_LE(after, before + 16) << before << " handles before, " << after << " after";
}

}  // namespace
