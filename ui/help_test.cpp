#include "ui/help.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/help_engine.h"
#include "platform/process.h"
#include "ui/testing/fake_dialog.h"

namespace {

class HelpTest : public testing::Test {
 protected:
  void SetUp() override {
    unsetenv("QOR_RESMON_LIGHT");
    TEST_ResetHelpEngineBinding(RecordingHelpLoader(help_));
    TEST_SetExecutablePath("/opt/korvane/bin/controller");
  }
  void TearDown() override {
    unsetenv("QOR_RESMON_LIGHT");
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

  ASSERT_EQ(4u, help_.requests.size());
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
  OpenHelpTopic(kAddMeasurementsHelpContext);
  EXPECT_TRUE(help_.requests.empty());
  EXPECT_EQ(0, help_.loads) << "the engine is not even looked for";
}

TEST_F(HelpTest, AFailedEngineIsNeverLoadedAgainAndFailsSilently) {
  RecordedHelp failing;
  TEST_ResetHelpEngineBinding(RecordingHelpLoader(failing, /*loads=*/false));
  OpenHelpTopic(kAddMeasurementsHelpContext);
  OpenHelpTopic(kAddMeasurementsHelpContext);
  OpenHelpTopic(1);
  EXPECT_EQ(1, failing.loads);
  EXPECT_TRUE(TheHelpEngineBinding().failed());
  EXPECT_TRUE(failing.requests.empty());
}

TEST(HelpFilePathTest, BesideTheHostProgramOrInTheHelpDirectory) {
  EXPECT_EQ("/a/b/online.chm", HelpFilePath("/a/b/host", false));
  EXPECT_EQ("/a/b/../help/Help.chm", HelpFilePath("/a/b/host", true));
  EXPECT_EQ("./online.chm", HelpFilePath("host", false));
}

}  // namespace
