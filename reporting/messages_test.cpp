#include "reporting/messages.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/plinth.h"
#include "resources/string_table.h"

namespace {

// Sets LC_ALL for the duration of a test and restores what was there.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* value) {
    if (const char* old = std::getenv("LC_ALL")) old_ = old;
    setenv("LC_ALL", value, 1);
  }
  ~ScopedLocale() {
    if (old_.empty()) unsetenv("LC_ALL");
    else setenv("LC_ALL", old_.c_str(), 1);
  }

 private:
  std::string old_;
};

TEST(StringTableTest, FormatsTheNamedEntryPointDirectlyAfterTheColon) {
  ScopedLocale locale("en_US.UTF-8");
  std::string target;
  ASSERT_TRUE(FormatTableMessage(&target, kMsgNotInitialized, {"GetNewData"}));
  EXPECT_EQ("iPlanet/Netscape monitor is not yet initialized (entry point:GetNewData).", target);

  ASSERT_TRUE(FormatTableMessage(&target, kMsgConfigFileName, {CStringParam(2, 10)}));
  EXPECT_EQ("Could get configuration file name(code:2).", target);

  ASSERT_TRUE(FormatTableMessage(&target, kMsgNoCounters));
  EXPECT_EQ(
      "Could not get information regarding server counters from configuration file.\nHint: Check that the file "
      "'<Korvane>\\dat\\monitors\\Netscape.cfg' exists and has read permissions.",
      target);

  ASSERT_TRUE(FormatTableMessage(&target, kMsgCannotCreateMeasurement, {"Total", "web1"}));
  EXPECT_EQ(
      "iPlanet/Netscape monitor could not create the Total measurement on host web1.\n (Possible cause: - memory "
      "allocation.) Check that you computer has enough free memory. ",
      target);
}

TEST(StringTableTest, EveryMessageExistsInBothEditions) {
  for (int id = kMsgConfigFileName; id <= kMsgCannotDeleteMeasurement; ++id) {
    EXPECT_TRUE(LoadTableString(id, Edition::kEnglish)) << id;
    EXPECT_TRUE(LoadTableString(id, Edition::kSimplifiedChinese)) << id;
  }
  EXPECT_EQ("iPlanet/Netscape 监控器尚未初始化 (入口点: %1)。", *LoadTableString(kMsgNotInitialized, Edition::kSimplifiedChinese));
  EXPECT_EQ(
      "iPlanet/Netscape 监控器无法建立到主机 %1 的连接 (入口点 %2)。\n服务器可能已停机。\n使用在“添加度量”对话框中指定的 URL "
      "检查服务器连接。",
      *LoadTableString(kMsgCannotConnect, Edition::kSimplifiedChinese));
}

TEST(StringTableTest, TheProcessLocaleChoosesTheEdition) {
  std::string target;
  {
    ScopedLocale locale("zh_CN.UTF-8");
    ASSERT_TRUE(FormatTableMessage(&target, kMsgNotInitialized, {"BrowseMonitor"}));
    EXPECT_EQ("iPlanet/Netscape 监控器尚未初始化 (入口点: BrowseMonitor)。", target);
  }
  {
    ScopedLocale locale("zh_TW.UTF-8");
    ASSERT_TRUE(FormatTableMessage(&target, kMsgNotInitialized, {"BrowseMonitor"}));
    EXPECT_EQ("iPlanet/Netscape monitor is not yet initialized (entry point:BrowseMonitor).", target);
  }
}

TEST(StringTableTest, LongMessagesAreCutAndUnknownOnesLeaveTheTargetAlone) {
  std::string target = "previous message";
  EXPECT_FALSE(FormatTableMessage(&target, 10009, {"x"}));
  EXPECT_EQ("previous message", target);

  const std::string long_name(5000, 'x');
  ASSERT_TRUE(FormatTableMessage(&target, kMsgNotInitialized, {long_name}));
  EXPECT_EQ(1023u, target.size());
  EXPECT_EQ(0u, target.find("iPlanet/Netscape monitor is not yet initialized (entry point:xxx"));
}

TEST(StringParamTest, RendersIntegersInTheirRadix) {
  EXPECT_EQ("1234", CStringParam(1234, 10).Text());
  EXPECT_EQ("-42", CStringParam(-42, 10).Text());
  EXPECT_EQ("0", CStringParam(0, 10).Text());
  EXPECT_EQ("-2147483648", CStringParam(INT_MIN, 10).Text());
  EXPECT_EQ("ff", CStringParam(255, 16).Text());
  EXPECT_EQ("-101", CStringParam(-5, 2).Text());
  EXPECT_EQ("", CStringParam(static_cast<const char*>(nullptr)).Text());
}

TEST(HostBufferTest, CopiesAreCutAndAlwaysTerminated) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  os_strncpy(buffer, "abcdefghijk", 8);
  EXPECT_STREQ("abcdefg", buffer);

  std::memset(buffer, '#', sizeof buffer);
  os_strncpy(buffer, "abc", 1);
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ('#', buffer[1]);

  std::memset(buffer, '#', sizeof buffer);
  os_strncpy(buffer, "abc", 0);
  os_strncpy(buffer, "abc", -3);
  EXPECT_EQ('#', buffer[0]);

  os_strncpy(buffer, nullptr, 8);
  EXPECT_STREQ("", buffer);

  std::memset(buffer, '#', sizeof buffer);
  CopyCatalogueMessage(buffer, 1, -47486, {"key"});
  EXPECT_EQ('\0', buffer[0]);
  EXPECT_EQ('#', buffer[1]);
  CopyCatalogueMessage(buffer, 0, -47486, {"key"});
  EXPECT_EQ('\0', buffer[0]);
}

TEST(HostBufferTest, AMessageWithoutCatalogueTextStillNamesItsArguments) {
  char buffer[256];
  CopyCatalogueMessage(buffer, sizeof buffer, -47486, {"Total|web1", "(Id of the measurement)", std::int32_t{7}});
  EXPECT_STREQ("Message -47486 (no text in the message catalogue): [Total|web1] [(Id of the measurement)] [7]", buffer);
}

TEST(HostBufferTest, ParameterizedFormattingStopsAtTheBufferEnd) {
  char buffer[12];
  FormatParameters parameters{"web1", "GetNewData"};
  EXPECT_EQ(11, os_FormatParameterizedString("%1 failed in %2", buffer, sizeof buffer, parameters));
  EXPECT_STREQ("web1 failed", buffer);
  // A '%' without a digit after it stays; a missing parameter is empty.
  EXPECT_EQ(3, os_FormatParameterizedString("%3%%9%x", buffer, sizeof buffer, parameters));
  EXPECT_STREQ("%%x", buffer);
}

}  // namespace
