#include "ui/help.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/help_engine.h"
#include "platform/process.h"
#include "ui/testing/fake_dialog.h"

namespace {

class HelpTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QOR_RESMON_LIGHT");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    TEST_ResetHelpEngineBinding(RecordingHelpLoader(help_));
    TEST_SetExecutablePath("/opt/korvane/bin/controller");
  }
  void TearDown() override {
    unsetenv("QOR_RESMON_LIGHT");
    unsetenv("LANG");
    TEST_SetExecutablePath(std::nullopt);
    TEST_ResetHelpEngineBinding(nullptr);
  }

  RecordedHelp help_;
};

TEST_F(HelpTest, TheHelpFileIsChosenByTheLightEditionVariableAtEachRequest) {
  OpenHelpTopic(kAddMeasurementsHelpContext);
  setenv("QOR_RESMON_LIGHT", "", 1);  // set, even empty
  OpenHelpTopic(kAddMeasurementsHelpContext);
  setenv("QOR_RESMON_LIGHT", "1", 1);
  OpenHelpTopic(kAddMeasurementsHelpContext);
  unsetenv("QOR_RESMON_LIGHT");
  OpenHelpTopic(kAddMeasurementsHelpContext);

  EXPECT_EQ(HelpOutcome::kRequested, OpenHelpTopic(kAddMeasurementsHelpContext));
  ASSERT_EQ(5u, help_.requests.size());
  EXPECT_EQ("/opt/korvane/bin/online.chm", help_.requests[0].help_file);
  EXPECT_EQ("/opt/korvane/bin/../help/Help.chm", help_.requests[1].help_file) << "the path is not normalised";
  EXPECT_EQ("/opt/korvane/bin/../help/Help.chm", help_.requests[2].help_file);
  EXPECT_EQ("/opt/korvane/bin/online.chm", help_.requests[3].help_file);
  for (const HelpRequest& request : help_.requests) {
    EXPECT_EQ(15, request.command);
    EXPECT_EQ(1068, request.context);
  }
  EXPECT_EQ(1, help_.loads);
}

TEST_F(HelpTest, WithoutTheHostProgramsPathNothingHappens) {
  TEST_SetExecutablePath("");
  EXPECT_EQ(HelpOutcome::kNotShown, OpenHelpTopic(kAddMeasurementsHelpContext));
  EXPECT_TRUE(help_.requests.empty());
  EXPECT_EQ(0, help_.loads) << "the engine is not even looked for";
}

TEST_F(HelpTest, AFailedEngineIsNeverLoadedAgainAndIsReportedOnce) {
  RecordedHelp failing;
  TEST_ResetHelpEngineBinding(RecordingHelpLoader(failing, /*loads=*/false));
  EXPECT_EQ(HelpOutcome::kNoHelpEngine, OpenHelpTopic(kAddMeasurementsHelpContext));
  EXPECT_EQ(HelpOutcome::kNotShown, OpenHelpTopic(kAddMeasurementsHelpContext));
  EXPECT_EQ(HelpOutcome::kNotShown, OpenHelpTopic(1));
  EXPECT_EQ(1, failing.loads);
  EXPECT_TRUE(TheHelpEngineBinding().failed());
  EXPECT_TRUE(failing.requests.empty());
}

TEST(HelpFilePathTest, BesideTheHostProgramOrInTheHelpDirectory) {
  EXPECT_EQ("/a/b/online.chm", HelpFilePath("/a/b/host", false));
  EXPECT_EQ("/a/b/../help/Help.chm", HelpFilePath("/a/b/host", true));
  EXPECT_EQ("./online.chm", HelpFilePath("host", false));
}

TEST(HelpFilePathTest, TheChineseHelpIsInAFolderOfItsOwn) {
  EXPECT_EQ("/a/b/zh_CN/online.chm", HelpFilePath("/a/b/host", false, Edition::kSimplifiedChinese));
  EXPECT_EQ("/a/b/../help/zh_CN/Help.chm", HelpFilePath("/a/b/host", true, Edition::kSimplifiedChinese));
  EXPECT_EQ("/a/b/online.chm", HelpFilePath("/a/b/host", false, Edition::kEnglish));
}

TEST_F(HelpTest, TheChineseEditionOpensItsOwnHelpAndTheEnglishOneWhenItsOwnIsMissing) {
  char pattern[] = "/tmp/sarvik-help-ui-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string root = pattern;
  std::filesystem::create_directories(root + "/bin/zh_CN");
  std::filesystem::create_directories(root + "/help");
  std::ofstream(root + "/bin/zh_CN/online.chm") << "chm";
  TEST_SetExecutablePath(root + "/bin/controller");
  setenv("LANG", "zh_CN.UTF-8", 1);

  OpenHelpTopic(kAddMeasurementsHelpContext);
  setenv("QOR_RESMON_LIGHT", "", 1);  // the light installation has no Chinese help here
  OpenHelpTopic(kAddMeasurementsHelpContext);
  std::filesystem::create_directories(root + "/help/zh_CN");
  std::ofstream(root + "/help/zh_CN/Help.chm") << "chm";
  OpenHelpTopic(kAddMeasurementsHelpContext);
  setenv("LANG", "zh_TW.UTF-8", 1);  // not the Simplified Chinese edition
  OpenHelpTopic(kAddMeasurementsHelpContext);
  std::filesystem::remove_all(root);

  ASSERT_EQ(4u, help_.requests.size());
  EXPECT_EQ(root + "/bin/zh_CN/online.chm", help_.requests[0].help_file);
  EXPECT_EQ(root + "/bin/../help/Help.chm", help_.requests[1].help_file);
  EXPECT_EQ(root + "/bin/../help/zh_CN/Help.chm", help_.requests[2].help_file);
  EXPECT_EQ(root + "/bin/../help/Help.chm", help_.requests[3].help_file);
  for (const HelpRequest& request : help_.requests) EXPECT_EQ(1068, request.context);
}

}  // namespace
