#include "ui/netscape_dlg.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/help_engine.h"
#include "platform/plinth.h"
#include "platform/process.h"
#include "ui/help.h"
#include "ui/testing/fake_dialog.h"

namespace {

CounterDefinition Definition(const std::string& counter, const std::string& label, const std::string& description) {
  CounterDefinition definition;
  std::memset(&definition, 0, sizeof definition);
  CopyToField(definition.counter, counter);
  CopyToField(definition.label, label);
  CopyToField(definition.description, description);
  std::memset(definition.reserved1, 'r', sizeof definition.reserved1 - 1);
  return definition;
}

ServerParams Properties(int port, const std::string& url, const std::string& login, const std::string& password) {
  ServerParams params;
  params.port = port;
  params.url = url;
  params.login = login;
  params.password = password;
  return params;
}

class NetscapeDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    // Configuration order C, A, B; the list shows them as A, B, C.
    counters_ = {Definition("Counter C:", "Charlie", "About C"), Definition("Counter A:", "alpha", "About A"),
                 Definition("Counter B:", "Bravo", "About B")};
    selection_.assign(counters_.size(), Definition("stale", "stale", "stale"));
  }

  int Run(const ServerParams& params = Properties(80, "http://web1/.perf", "admin", "tovel")) {
    CNetscapeDlg dialog(toolkit_);
    const int result = dialog.RunAddMeasurements(counters_, selection_, params);
    port_ = dialog.port();
    url_ = dialog.url();
    login_ = dialog.login();
    password_ = dialog.password();
    selected_ = dialog.selected_count();
    return result;
  }

  FakeDialogToolkit toolkit_;
  std::vector<CounterDefinition> counters_;
  std::vector<CounterDefinition> selection_;
  std::int32_t port_ = 0;
  std::string url_, login_, password_;
  int selected_ = -1;
};

TEST_F(NetscapeDlgTest, ListsTheLabelsSortedWithEachItemTiedToItsDefinition) {
  toolkit_.user = [&](FakeDialogView& view) {
    ASSERT_EQ((std::vector<std::string>{"alpha", "Bravo", "Charlie"}), view.Labels());
    EXPECT_EQ(&counters_[1], view.items()[0].data);
    EXPECT_EQ(&counters_[2], view.items()[1].data);
    EXPECT_EQ(&counters_[0], view.items()[2].data);
    view.PressCancel();
  };
  EXPECT_EQ(kDialogCancel, Run());
  EXPECT_TRUE(toolkit_.focus_first) << "the focus goes to the first tab stop, the list";
  EXPECT_EQ("iPlanet/Netscape - Add Measurements", toolkit_.caption);
}

TEST_F(NetscapeDlgTest, TheEditsStartWithTheGivenPropertiesAndTheUrlIsLimited) {
  toolkit_.user = [&](FakeDialogView& view) {
    EXPECT_EQ("8080", view.Text(kIdPort));
    EXPECT_EQ("http://web1/.perf", view.Text(kIdUrl));
    EXPECT_EQ("root", view.Text(kIdLogin));
    EXPECT_EQ("secret", view.Text(kIdPassword));
    EXPECT_EQ("", view.Text(kIdDescription));
    EXPECT_EQ(1024, view.Limit(kIdUrl));
    view.PressCancel();
  };
  EXPECT_EQ(kDialogCancel, Run(Properties(8080, "http://web1/.perf", "root", "secret")));
  EXPECT_EQ(0, selected_);
}

TEST_F(NetscapeDlgTest, TheDescriptionShowsForExactlyOneSelectedItem) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Select({"Bravo"});
    EXPECT_EQ("About B", view.Text(kIdDescription));
    view.Select({"Bravo", "Charlie"});
    EXPECT_EQ("", view.Text(kIdDescription));
    view.Select({"Charlie"});
    EXPECT_EQ("About C", view.Text(kIdDescription));
    view.Select({});
    EXPECT_EQ("", view.Text(kIdDescription));
    view.PressCancel();
  };
  Run();
}

TEST_F(NetscapeDlgTest, TypedEntriesSurviveTheDescriptionsRefresh) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Type(kIdPort, "8081");
    view.Type(kIdLogin, "operator");
    view.Select({"alpha"});
    EXPECT_EQ("8081", view.Text(kIdPort));
    EXPECT_EQ("operator", view.Text(kIdLogin));
    EXPECT_EQ("About A", view.Text(kIdDescription));
    view.PressOk();
  };
  EXPECT_EQ(kDialogOk, Run());
  EXPECT_EQ(8081, port_);
  EXPECT_EQ("operator", login_);
}

TEST_F(NetscapeDlgTest, APortOfLettersIsRefusedAndTheDialogStaysOpen) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Select({"alpha"});
    view.Type(kIdPort, "http");
    ASSERT_EQ(1u, view.prompts().size()) << "leaving the port edit checks the entry";
    EXPECT_EQ(kIdPort, view.prompts()[0].first);
    EXPECT_EQ("Please enter an integer.", view.prompts()[0].second);

    view.PressOk();
    EXPECT_FALSE(view.ended()) << "OK with a refused port keeps the dialog open";
    ASSERT_EQ(2u, view.prompts().size());
    EXPECT_EQ(kIdPort, view.prompts()[1].first);

    view.Type(kIdPort, " -7 ");
    EXPECT_EQ(2u, view.prompts().size());
    view.PressOk();
  };
  EXPECT_EQ(kDialogOk, Run());
  EXPECT_EQ(-7, port_) << "negative numbers and zero pass: there is no range check";
  ASSERT_EQ(1, selected_);
  EXPECT_STREQ("-7|http://web1/.perf|admin|tovel", selection_[0].user_data);
}

TEST_F(NetscapeDlgTest, IntegerEntries) {
  EXPECT_EQ(42, ParseIntegerEntry("42"));
  EXPECT_EQ(42, ParseIntegerEntry("  42\t"));
  EXPECT_EQ(7, ParseIntegerEntry("+7"));
  EXPECT_EQ(0, ParseIntegerEntry("0"));
  EXPECT_EQ(-2147483647 - 1, ParseIntegerEntry("-2147483648"));
  EXPECT_EQ(2147483647, ParseIntegerEntry("2147483647"));
  for (const char* refused : {"", "  ", "abc", "12abc", "8 080", "2147483648", "+-5", "--5", "+", "-", "0x10", "1.5"}) {
    EXPECT_FALSE(ParseIntegerEntry(refused).has_value()) << "'" << refused << "'";
  }
}

TEST_F(NetscapeDlgTest, TheUrlTakesAtMost1024Characters) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Paste(kIdUrl, std::string(1025, 'u'));
    view.PressOk();
    EXPECT_FALSE(view.ended());
    ASSERT_EQ(1u, view.prompts().size());
    EXPECT_EQ(kIdUrl, view.prompts()[0].first);
    EXPECT_EQ("Please enter no more than 1024 characters.", view.prompts()[0].second);
    view.Paste(kIdUrl, std::string(1024, 'u'));
    view.PressOk();
  };
  EXPECT_EQ(kDialogOk, Run());
  EXPECT_EQ(std::string(1024, 'u'), url_);

  // Characters, not bytes: 1024 Chinese characters are a valid URL.
  std::string chinese;
  for (int i = 0; i < 1024; ++i) chinese += "网";
  EXPECT_EQ(1024u, CountCharacters(chinese));
}

TEST_F(NetscapeDlgTest, ALongerUrlGivenToTheDialogStaysWholeUntilTheUserShortensIt) {
  const std::string long_url = "http://web1/" + std::string(1100, 'p');
  toolkit_.user = [&](FakeDialogView& view) {
    EXPECT_EQ(long_url, view.Text(kIdUrl)) << "the limit holds back typing, not the text given";
    view.PressOk();
    EXPECT_FALSE(view.ended());
    view.Type(kIdUrl, "http://web1/.perf");
    view.PressOk();
  };
  EXPECT_EQ(kDialogOk, Run(Properties(80, long_url, "admin", "tovel")));
  EXPECT_EQ("http://web1/.perf", url_);
}

TEST_F(NetscapeDlgTest, OkCopiesTheSelectedDefinitionsInLabelOrderWithOneUserDataString) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Type(kIdPort, "8080");
    view.Type(kIdUrl, "/.perf");
    view.Type(kIdPassword, "pw");
    view.SelectAll();
    view.PressOk();
  };
  EXPECT_EQ(kDialogOk, Run());
  ASSERT_EQ(3, selected_);
  const CounterDefinition* expected[] = {&counters_[1], &counters_[2], &counters_[0]};
  for (int p = 0; p < 3; ++p) {
    CounterDefinition want = *expected[p];
    std::memset(want.user_data, 0, sizeof want.user_data);
    CopyToField(want.user_data, "8080|/.perf|admin|pw");
    EXPECT_EQ(0, std::memcmp(&want, &selection_[static_cast<std::size_t>(p)], sizeof want))
        << "record " << p << " is a full copy of its definition with the user-data string";
  }
}

TEST_F(NetscapeDlgTest, TheUserDataKeepsTheSchemeOfTheGivenProperties) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Select({"alpha"});
    view.PressOk();
  };
  ServerParams https = Properties(8443, "/https-admserv/.perf", "admin", "pw");
  https.scheme = HttpScheme::kHttps;
  EXPECT_EQ(kDialogOk, Run(https));
  ASSERT_EQ(1, selected_);
  EXPECT_STREQ("8443|/https-admserv/.perf|admin|pw|https", selection_[0].user_data);

  EXPECT_EQ(kDialogOk, Run(Properties(8080, "/.perf", "admin", "pw")));
  ASSERT_EQ(1, selected_);
  EXPECT_STREQ("8080|/.perf|admin|pw", selection_[0].user_data) << "plain HTTP keeps four fields";
}

TEST_F(NetscapeDlgTest, OkWithNothingSelectedReturnsNoRecordsButTheProperties) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Type(kIdPort, "9000");
    view.PressOk();
  };
  EXPECT_EQ(kDialogOk, Run());
  EXPECT_EQ(0, selected_);
  EXPECT_EQ(9000, port_);
  EXPECT_STREQ("stale", selection_[0].label) << "records beyond the count are left alone";
}

TEST_F(NetscapeDlgTest, CancelReturnsNoRecords) {
  toolkit_.user = [&](FakeDialogView& view) {
    view.Select({"alpha", "Bravo"});
    view.Type(kIdPort, "1234");
    view.PressCancel();
  };
  EXPECT_EQ(kDialogCancel, Run());
  EXPECT_EQ(0, selected_);
  EXPECT_STREQ("stale", selection_[0].label);
}

TEST_F(NetscapeDlgTest, WithoutCountersTheDialogEndsItselfUnseen) {
  counters_.clear();
  EXPECT_EQ(kDialogEndedItself, Run());
  EXPECT_EQ(0, toolkit_.shown);
  EXPECT_EQ(0, selected_);
}

TEST_F(NetscapeDlgTest, EverySelectedCounterIsReturnedEvenPast400) {
  counters_.clear();
  for (int i = 0; i < 450; ++i) {
    const std::string number = std::to_string(1000 + i);
    counters_.push_back(Definition("counter " + number, "label " + number, ""));
  }
  selection_.assign(counters_.size(), Definition("", "", ""));
  toolkit_.user = [&](FakeDialogView& view) {
    view.SelectAll();
    view.PressOk();
  };
  EXPECT_EQ(kDialogOk, Run());
  ASSERT_EQ(450, selected_);
  EXPECT_STREQ("label 1000", selection_[0].label);
  EXPECT_STREQ("label 1449", selection_[449].label);
}

TEST_F(NetscapeDlgTest, HelpAndF1AskForTheSameTopic) {
  RecordedHelp help;
  TEST_ResetHelpEngineBinding(RecordingHelpLoader(help));
  TEST_SetExecutablePath("/opt/korvane/bin/controller");
  unsetenv("QOR_RESMON_LIGHT");
  toolkit_.user = [&](FakeDialogView& view) {
    view.PressHelp();
    EXPECT_TRUE(view.PressF1()) << "the help key goes no further";
    EXPECT_FALSE(view.ended());
    view.PressCancel();
  };
  Run();
  TEST_SetExecutablePath(std::nullopt);
  TEST_ResetHelpEngineBinding(nullptr);

  ASSERT_EQ(2u, help.requests.size());
  EXPECT_EQ(1, help.loads) << "the engine is loaded once";
  for (const HelpRequest& request : help.requests) {
    EXPECT_EQ("/opt/korvane/bin/online.chm", request.help_file);
    EXPECT_EQ(kHelpCommandContext, request.command);
    EXPECT_EQ(1068, request.context);
    EXPECT_EQ("CL_NETSCAPE_MEASUREMENTS.htm", request.page);
  }
}

TEST_F(NetscapeDlgTest, TheChineseEditionShowsItsOwnTemplateAndPrompts) {
  setenv("LANG", "zh_CN.UTF-8", 1);
  toolkit_.user = [&](FakeDialogView& view) {
    EXPECT_EQ((std::vector<std::string>{"alpha", "Bravo", "Charlie"}), view.Labels());
    view.Type(kIdPort, "端口");
    ASSERT_EQ(1u, view.prompts().size());
    EXPECT_EQ("请输入一个整数。", view.prompts()[0].second);
    view.PressCancel();
  };
  Run();
  EXPECT_EQ("iPlanet/Netscape - 添加度量", toolkit_.caption);
  setenv("LANG", "en_US.UTF-8", 1);
}

}  // namespace
