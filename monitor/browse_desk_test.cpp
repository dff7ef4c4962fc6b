// BrowseMonitor from the monitor's side: what the host gets back and what the dialog remembers
// between calls, with the dialog driven by a scripted user.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "monitor/monitor.h"
#include "monitor/testing/monitor_tree.h"
#include "polling/testing/fake_http.h"
#include "ui/browse.h"
#include "ui/testing/fake_dialog.h"

namespace {

using namespace std::chrono_literals;

constexpr char kConfig[] =
    "[Netscape]\nCounters=3\ninfoURL=http://%s/https-admserv/.perf\nserverPort=81\nserverLogin=admin\n"
    "serverPassword=tovel\n"
    "[0]\nCounter=Total number of requests:\nLabel=Requests\nDescription=Requests served\n"
    "[1]\nCounter=Active Sessions\nLabel=Active sessions\nDescription=Sessions now\n"
    "[2]\nCounter=Bytes transferred:\nLabel=Bytes\nDescription=Bytes sent\n";

class BrowseMonitorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tree_.path().empty());
    FakeScript script;
    script.wait_after_body = true;
    http_.SetScript(script);
    monitor_ = std::make_unique<Monitor>(http_);
  }
  void TearDown() override { monitor_.reset(); }

  void Init() {
    char message[1024] = "";
    ASSERT_EQ(0, monitor_->Init(nullptr, message, sizeof message)) << message;
  }

  // The result of one BrowseMonitor call as the host sees it.
  struct Browse {
    int result = -1;
    CounterDefinition* selection = nullptr;
    std::int32_t count = -99;
    std::string message;
  };
  Browse Call(const char* host_text) {
    Browse browse;
    browse.selection = reinterpret_cast<CounterDefinition*>(&browse);  // the call must overwrite it
    char message[512];
    std::memset(message, '#', sizeof message);
    browse.result = monitor_->BrowseMonitor(host_text, &browse.selection, &browse.count, message, sizeof message,
                                            toolkit_);
    browse.message = message;
    return browse;
  }

  MonitorTree tree_{kConfig};
  FakeHttpClient http_;
  std::unique_ptr<Monitor> monitor_;
  FakeDialogToolkit toolkit_;
};

TEST_F(BrowseMonitorTest, AnUninitialisedMonitorShowsNoDialog) {
  const Browse browse = Call("web1");
  EXPECT_EQ(2, browse.result);
  EXPECT_EQ("iPlanet/Netscape monitor is not yet initialized (entry point:BrowseMonitor).", browse.message);
  EXPECT_EQ(nullptr, browse.selection);
  EXPECT_EQ(-99, browse.count) << "the count is not written";
  EXPECT_EQ(0, toolkit_.shown);
}

TEST_F(BrowseMonitorTest, WithoutADisplayTheHostGetsAMessageAndNothingSelected) {
  Init();
  toolkit_.can_show = false;
  const Browse browse = Call("web1");
  EXPECT_EQ(2, browse.result);
  EXPECT_EQ("The Add Measurements dialog cannot be shown: no display can be opened (xcb: DISPLAY is not set)",
            browse.message);
  EXPECT_EQ(nullptr, browse.selection);
  EXPECT_EQ(0, browse.count);
  EXPECT_EQ(0, toolkit_.shown);
}

TEST_F(BrowseMonitorTest, AHostWithAPortGetsTheUrlAndRecordsOfItsNameAlone) {
  Init();
  toolkit_.user = [](FakeDialogView& view) {
    view.Select({"Active sessions", "Requests"});
    view.PressOk();
  };
  const Browse browse = Call("web1:8080");
  EXPECT_EQ(0, browse.result);
  EXPECT_EQ("http://web1/https-admserv/.perf", toolkit_.texts[kIdUrl]);
  EXPECT_EQ("81", toolkit_.texts[kIdPort]);
  EXPECT_EQ("admin", toolkit_.texts[kIdLogin]);
  EXPECT_EQ("tovel", toolkit_.texts[kIdPassword]);
  ASSERT_EQ(2, browse.count);
  EXPECT_EQ(monitor_->TEST_definitions().size(), 3u);
  EXPECT_STREQ("Active sessions", browse.selection[0].label);
  EXPECT_STREQ("Requests", browse.selection[1].label);
  for (int i = 0; i < 2; ++i) {
    EXPECT_STREQ("web1", browse.selection[i].host);
    EXPECT_STREQ("81|http://web1/https-admserv/.perf|admin|tovel", browse.selection[i].user_data);
  }
  EXPECT_STREQ("Active Sessions", browse.selection[0].counter);
  EXPECT_STREQ("Sessions now", browse.selection[0].description);
}

TEST_F(BrowseMonitorTest, CancelAndOkWithNothingSelectedReturnTheArrayWithNoRecords) {
  Init();
  toolkit_.user = [](FakeDialogView& view) {
    view.Select({"Requests"});
    view.Type(kIdPort, "8080");
    view.PressCancel();
  };
  Browse browse = Call("web1");
  EXPECT_EQ(0, browse.result);
  EXPECT_EQ(0, browse.count);
  ASSERT_NE(nullptr, browse.selection) << "the slot still receives the array";
  CounterDefinition* const array = browse.selection;

  // Cancel kept nothing of what was typed.
  toolkit_.user = [](FakeDialogView& view) {
    EXPECT_EQ("81", view.Text(kIdPort));
    view.Type(kIdPort, "8080");
    view.Type(kIdLogin, "root");
    view.PressOk();
  };
  browse = Call("web1");
  EXPECT_EQ(0, browse.result);
  EXPECT_EQ(0, browse.count);
  EXPECT_EQ(array, browse.selection);

  // OK with nothing selected still confirmed the properties.
  toolkit_.user = [](FakeDialogView& view) { view.PressCancel(); };
  Call("web1");
  EXPECT_EQ("8080", toolkit_.texts[kIdPort]);
  EXPECT_EQ("root", toolkit_.texts[kIdLogin]);
}

TEST_F(BrowseMonitorTest, ConfirmedPropertiesComeBackForTheSameHostAndOutliveTheMonitor) {
  Init();
  toolkit_.user = [](FakeDialogView& view) {
    view.Type(kIdPort, "8080");
    view.Type(kIdUrl, "http://web1:8080/stats");
    view.Type(kIdLogin, "root");
    view.Type(kIdPassword, "pw");
    view.Select({"Bytes"});
    view.PressOk();
  };
  Browse browse = Call("web1");
  ASSERT_EQ(1, browse.count);
  EXPECT_STREQ("8080|http://web1:8080/stats|root|pw", browse.selection[0].user_data);

  monitor_->Terminate();
  Init();
  toolkit_.user = [](FakeDialogView& view) { view.PressCancel(); };
  Call("web1");
  EXPECT_EQ("8080", toolkit_.texts[kIdPort]);
  EXPECT_EQ("http://web1:8080/stats", toolkit_.texts[kIdUrl]);
  EXPECT_EQ("root", toolkit_.texts[kIdLogin]);
  EXPECT_EQ("pw", toolkit_.texts[kIdPassword]);

  // A host whose name the remembered URL contains (web1 in web10) sees the remembered values too.
  toolkit_.user = [](FakeDialogView& view) {
    view.Type(kIdPort, "9999");
    view.Type(kIdUrl, "http://web10/stats");
    view.PressOk();
  };
  Call("web10");
  toolkit_.user = [](FakeDialogView& view) { view.PressCancel(); };
  Call("web1");
  EXPECT_EQ("http://web10/stats", toolkit_.texts[kIdUrl]);
  EXPECT_EQ("9999", toolkit_.texts[kIdPort]);
}

TEST_F(BrowseMonitorTest, AnotherHostReloadsEveryPropertyFromTheConfiguration) {
  Init();
  toolkit_.user = [](FakeDialogView& view) {
    view.Type(kIdPort, "8080");
    view.Type(kIdLogin, "root");
    view.Type(kIdPassword, "pw");
    view.PressOk();
  };
  Call("web1");
  toolkit_.user = [](FakeDialogView& view) { view.PressCancel(); };
  Call("db7");
  EXPECT_EQ("81", toolkit_.texts[kIdPort]);
  EXPECT_EQ("http://db7/https-admserv/.perf", toolkit_.texts[kIdUrl]);
  EXPECT_EQ("admin", toolkit_.texts[kIdLogin]);
  EXPECT_EQ("tovel", toolkit_.texts[kIdPassword]);
  // The values for the first host are gone.
  Call("web1");
  EXPECT_EQ("81", toolkit_.texts[kIdPort]);
  EXPECT_EQ("admin", toolkit_.texts[kIdLogin]);
}

TEST_F(BrowseMonitorTest, TheRunningServerOfTheHostFillsTheDialogAndNoOtherHostsServer) {
  Init();
  toolkit_.user = [](FakeDialogView& view) {
    view.Type(kIdUrl, "http://web12/mine");
    view.PressOk();
  };
  Call("web12");

  char message[256] = "";
  ASSERT_EQ(0, monitor_->ActivateMeasurement("Active Sessions", "web1", "9090|/server-stats|operator|secret", message,
                                             sizeof message))
      << message;
  // "web1" is a prefix of "web12" but another host: the remembered properties stay.
  toolkit_.user = [](FakeDialogView& view) { view.PressCancel(); };
  Call("web12");
  EXPECT_EQ("http://web12/mine", toolkit_.texts[kIdUrl]);

  Call("web1:8080");
  EXPECT_EQ("9090", toolkit_.texts[kIdPort]);
  EXPECT_EQ("/server-stats", toolkit_.texts[kIdUrl]);
  EXPECT_EQ("operator", toolkit_.texts[kIdLogin]);
  EXPECT_EQ("secret", toolkit_.texts[kIdPassword]);
  EXPECT_EQ("web1", RememberedProperties().host) << "all five fields come from the server";
}

TEST_F(BrowseMonitorTest, NullPointersFromTheHostAreSkipped) {
  Init();
  toolkit_.user = [](FakeDialogView& view) {
    view.SelectAll();
    view.PressOk();
  };
  EXPECT_EQ(0, monitor_->BrowseMonitor(nullptr, nullptr, nullptr, nullptr, 0, toolkit_));
  EXPECT_EQ(1, toolkit_.shown);
}

}  // namespace
