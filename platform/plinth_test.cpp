#include "platform/plinth.h"

#include <gtest/gtest.h>

#include <cstring>

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
  EXPECT_STREQ("/x", os_strrchr("/a/x", '/'));
  EXPECT_EQ(nullptr, os_strrchr("ax", '/'));
}

}  // namespace
