#include "monitor/trim_host.h"

#include <gtest/gtest.h>

namespace {

TEST(TrimHostTest, CutsAtTheFirstColonOutsideBrackets) {
  EXPECT_EQ("web1", TrimHost("web1"));
  EXPECT_EQ("web1", TrimHost("web1:8080"));
  EXPECT_EQ("web1", TrimHost("web1:8080:extra"));
  EXPECT_EQ("", TrimHost(":8080"));
  EXPECT_EQ("", TrimHost(""));
  EXPECT_EQ("[::1]", TrimHost("[::1]:8080"));
  EXPECT_EQ("[fe80::1]", TrimHost("[fe80::1]"));
  EXPECT_EQ("[", TrimHost("[:1"));  // no closing bracket: the colon rule applies
}

}  // namespace
