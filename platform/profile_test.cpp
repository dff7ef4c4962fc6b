#include "platform/profile.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ProfileTest, MissingSectionKeyOrFileGivesTheDefault) {
  const Profile profile = Profile::Parse("[Netscape]\nCounters=3\n");
  EXPECT_EQ("fallback", profile.GetString("Nowhere", "Counters", "fallback", 512));
  EXPECT_EQ("fallback", profile.GetString("Netscape", "Missing", "fallback", 512));
  EXPECT_EQ(80, profile.GetInt("Netscape", "serverPort", 80));
  EXPECT_EQ(7, Profile::Load("/nonexistent/dir/Netscape.cfg").GetInt("Netscape", "Counters", 7));
}

TEST(ProfileTest, NamesCompareWithoutCase) {
  const Profile profile = Profile::Parse("[NETSCAPE]\ninfourl=/.perf\n[ProxySettings]\nUSEPROXY=0\n");
  EXPECT_EQ("/.perf", profile.GetString("Netscape", "infoURL", "", 1024));
  EXPECT_EQ(0, profile.GetInt("proxysettings", "useProxy", 1));
}

TEST(ProfileTest, TextsAreCutToTheBufferSizeLessOne) {
  const Profile profile = Profile::Parse("[0]\nLabel=abcdefgh\n");
  EXPECT_EQ("abcdefgh", profile.GetString("0", "Label", "", 9));
  EXPECT_EQ("abcdefg", profile.GetString("0", "Label", "", 8));
  EXPECT_EQ("", profile.GetString("0", "Label", "", 1));
  EXPECT_EQ("", profile.GetString("0", "Label", "", 0));
  EXPECT_EQ("de", profile.GetString("0", "Missing", "default", 3));
}

TEST(ProfileTest, IntegersAreTheNumberAtTheStartOfTheValue) {
  const Profile profile = Profile::Parse(
      "[s]\nplain=42\ntrailing=1500ms\nletters=abc\nempty=\nnegative=-7\nplus=+3\nspaced=   12\n"
      "huge=99999999999999\nhuge_negative=-99999999999999\n");
  EXPECT_EQ(42, profile.GetInt("s", "plain", 0));
  EXPECT_EQ(1500, profile.GetInt("s", "trailing", 0));
  EXPECT_EQ(0, profile.GetInt("s", "letters", 5));
  EXPECT_EQ(5, profile.GetInt("s", "empty", 5));
  EXPECT_EQ(-7, profile.GetInt("s", "negative", 0));
  EXPECT_EQ(3, profile.GetInt("s", "plus", 0));
  EXPECT_EQ(12, profile.GetInt("s", "spaced", 0));
  EXPECT_EQ(INT_MAX, profile.GetInt("s", "huge", 0));
  EXPECT_EQ(INT_MIN, profile.GetInt("s", "huge_negative", 0));
}

TEST(ProfileTest, FollowsTheCommonIniConventions) {
  const Profile profile = Profile::Parse(
      "\xEF\xBB\xBF; a comment\r\n"
      "orphan=before any section\r\n"
      "# another comment\r\n"
      "\r\n"
      "  [ 0 ]  \r\n"
      "  Counter  =  Total Sessions Created  \r\n"
      "Quoted=\"  spaced  \"\r\n"
      "Single='x'\r\n"
      "Mismatched=\"x'\r\n"
      "Semicolon=a;b\r\n"
      "no equals sign here\r\n"
      "Counter=second definition is ignored\r\n"
      "[0]\r\n"
      "Label=a repeated section is ignored\r\n");
  EXPECT_EQ("Total Sessions Created", profile.GetString("0", "Counter", "", 512));
  EXPECT_EQ("  spaced  ", profile.GetString("0", "Quoted", "", 512));
  EXPECT_EQ("x", profile.GetString("0", "Single", "", 512));
  EXPECT_EQ("\"x'", profile.GetString("0", "Mismatched", "", 512));
  EXPECT_EQ("a;b", profile.GetString("0", "Semicolon", "", 512));
  EXPECT_EQ("none", profile.GetString("0", "Label", "none", 512));
  EXPECT_EQ("none", profile.GetString("", "orphan", "none", 512));
}

}  // namespace
