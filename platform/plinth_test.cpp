#include "platform/plinth.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

namespace {

TEST(PlinthTest, SplitsIntoTheNonEmptyPieces) {
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), SplitNonEmpty("a::b:", ':'));
  EXPECT_EQ((std::vector<std::string>{"/usr/bin"}), SplitNonEmpty("/usr/bin", ':'));
  EXPECT_TRUE(SplitNonEmpty("", ':').empty());
  EXPECT_TRUE(SplitNonEmpty(":::", ':').empty());
}

TEST(PlinthTest, TheDirectoryOfAPathFitsItsBuffer) {
  char directory[16];
  ASSERT_TRUE(os_get_dir_name("/opt/k/bin/host", directory, sizeof directory));
  EXPECT_STREQ("/opt/k/bin", directory);
  ASSERT_TRUE(os_get_dir_name("host", directory, sizeof directory));
  EXPECT_STREQ(".", directory);
  EXPECT_FALSE(os_get_dir_name("/a/very/long/directory/name/host", directory, sizeof directory));
  EXPECT_STREQ("", directory);

  char text[8];
  CopyToField(text, "abcdefghij");
  EXPECT_STREQ("abcdefg", text);
  CopyToField(text, "ab");
  EXPECT_EQ(0, std::memcmp(text, "ab\0\0\0\0\0\0", 8)) << "no stale bytes stay behind";
  std::memset(text, 'x', sizeof text);
  CopyToField(text, std::string_view("ab\0cd", 5));
  EXPECT_EQ(0, std::memcmp(text, "ab\0\0\0\0\0\0", 8)) << "nothing after a NUL of the text is copied";
  EXPECT_STREQ("/x", os_strrchr("/a/x", '/'));
  EXPECT_EQ(nullptr, os_strrchr("ax", '/'));
}

}  // namespace

namespace {

TEST(PlinthTest, TheTimeOfDayFillsTheWholeStampAndNothingBeyondIt) {
  struct {
    SampleTime time;
    std::int32_t after;
  } guarded{{-1, -1}, 12345};
  const std::time_t before = std::time(nullptr);
  EXPECT_EQ(0, os_gettimeofday(&guarded.time));
  EXPECT_GE(guarded.time.seconds, before);
  EXPECT_LE(guarded.time.seconds, std::time(nullptr));
  EXPECT_GE(guarded.time.microseconds, 0);
  EXPECT_LT(guarded.time.microseconds, 1000000);
  EXPECT_EQ(12345, guarded.after);
  EXPECT_EQ(0, os_gettimeofday(nullptr));
}

}  // namespace
