// The monitor with a host on several threads: a reading never waits behind a dialog or a
// connection test running on another thread, and a monitor ended while a dialog shows answers
// the dialog's caller with 2.
#include "monitor/monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "monitor/testing/monitor_tree.h"
#include "ui/testing/fake_dialog.h"

namespace {

using namespace std::chrono_literals;

constexpr char kConfig[] =
    "[Netscape]\nCounters=1\ninfoURL=/.perf\nserverPort=80\n"
    "[0]\nCounter=KeepAliveHits\nLabel=Keep-alive hits\n";

// A client whose connection test hangs until the test lets it go; polling servers get a page.
class GatedHttpClient : public HttpClient {
 public:
  Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions& options,
                                             std::function<bool()> cancel_requested) override {
    if (options.target == "/gated") {
      std::unique_lock<std::mutex> hold(mutex_);
      entered_ = true;
      changed_.notify_all();
      changed_.wait(hold, [this] { return released_; });
      return Status::Failure(StatusCode::kInvalidAddress, "let go");
    }
    (void)cancel_requested;
    return Status::Failure(StatusCode::kInvalidAddress, "no network in this test");
  }

  // Waits until a connection test is inside Open; false after 20 s.
  bool WaitUntilEntered() {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, 20s, [this] { return entered_; });
  }
  void Release() {
    std::lock_guard<std::mutex> hold(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool entered_ = false;
  bool released_ = false;
};

class MonitorThreadsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tree_.path().empty());
    monitor_ = std::make_unique<Monitor>(http_);
    char message[512] = "";
    ASSERT_EQ(0, monitor_->Init(nullptr, message, sizeof message)) << message;
    ASSERT_EQ(0, monitor_->ActivateMeasurement("KeepAliveHits", "web1", "80|/.perf||", message, sizeof message))
        << message;
  }
  void TearDown() override { monitor_.reset(); }

  // Runs GetNewData on another thread; true when it answered within 20 s.
  bool ReadingAnswersFromAnotherThread() {
    auto answer = std::async(std::launch::async, [this] {
      char message[256];
      ReadingRecord reading{};
      return monitor_->GetNewData("KeepAliveHits", "web1", &reading, message, sizeof message);
    });
    return answer.wait_for(20s) == std::future_status::ready;
  }

  MonitorTree tree_{kConfig};
  GatedHttpClient http_;
  std::unique_ptr<Monitor> monitor_;
  FakeDialogToolkit toolkit_;
};

TEST_F(MonitorThreadsTest, AReadingNeverWaitsBehindADialog) {
  bool answered = false;
  toolkit_.user = [&](FakeDialogView& view) {
    answered = ReadingAnswersFromAnotherThread();
    view.PressCancel();
  };
  CounterDefinition* selection = nullptr;
  std::int32_t count = -1;
  char message[256];
  EXPECT_EQ(0, monitor_->BrowseMonitor("web1", &selection, &count, message, sizeof message, toolkit_));
  EXPECT_TRUE(answered);
  EXPECT_EQ(0, count);
}

TEST_F(MonitorThreadsTest, AReadingNeverWaitsBehindAConnectionTest) {
  auto test = std::async(std::launch::async, [this] {
    char message[256];
    return monitor_->TestMachine("web1", "80|/gated||", message, sizeof message);
  });
  const bool entered = http_.WaitUntilEntered();
  EXPECT_TRUE(entered);
  EXPECT_TRUE(entered && ReadingAnswersFromAnotherThread());
  http_.Release();
  EXPECT_EQ(1, test.get());
}

TEST_F(MonitorThreadsTest, AMonitorEndedWhileTheDialogShowsAnswersTwo) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.SelectAll();
    // The host's other thread ends the monitor while the user is choosing.
    std::thread([this] { monitor_->Terminate(); }).join();
    view.PressOk();
  };
  CounterDefinition* selection = reinterpret_cast<CounterDefinition*>(this);
  std::int32_t count = -1;
  char message[256] = "";
  EXPECT_EQ(2, monitor_->BrowseMonitor("web1", &selection, &count, message, sizeof message, toolkit_));
  EXPECT_EQ(nullptr, selection);
  EXPECT_EQ(-1, count);
  EXPECT_EQ("iPlanet/Netscape monitor is not yet initialized (entry point:BrowseMonitor).", std::string(message));
}

}  // namespace
