#include "documents/user_data.h"

#include <gtest/gtest.h>

namespace {

ServerParams Parse(std::string_view text) {
  ServerParams params;
  params.host = "kept";
  params.url = params.login = params.password = "stale";
  ParseUserData(text, &params);
  EXPECT_EQ("kept", params.host);
  return params;
}

TEST(UserDataTest, SplitsPortUrlLoginAndPassword) {
  ServerParams params = Parse("8080|/.perf|admin|");
  EXPECT_EQ(8080, params.port);
  EXPECT_EQ("/.perf", params.url);
  EXPECT_EQ("admin", params.login);
  EXPECT_EQ("", params.password);

  params = Parse("80|http://web1/.perf||secret");
  EXPECT_EQ("", params.login);
  EXPECT_EQ("secret", params.password);

  params = Parse("80|/a|b|c|ignored|too");
  EXPECT_EQ("c", params.password);
}

TEST(UserDataTest, MissingFieldsAreEmptyAndThePortFollowsAtoi) {
  ServerParams params = Parse("");
  EXPECT_EQ(0, params.port);
  EXPECT_EQ("", params.url);
  EXPECT_EQ("", params.login);
  EXPECT_EQ("", params.password);

  EXPECT_EQ(80, Parse("80").port);
  EXPECT_EQ("", Parse("80").url);
  EXPECT_EQ(-5, Parse(" -5|x").port);
  EXPECT_EQ(0, Parse("port|x").port);
  EXPECT_EQ(12, Parse("12abc|x").port);
  EXPECT_EQ(2147483647, Parse("99999999999|x").port);
}

TEST(UserDataTest, FormattingRoundTripsAndNeverExceedsItsHolder) {
  const std::string text = FormatUserData(8080, "/.perf", "admin", "");
  EXPECT_EQ("8080|/.perf|admin|", text);
  const ServerParams params = Parse(text);
  EXPECT_EQ(8080, params.port);
  EXPECT_EQ("/.perf", params.url);

  const std::string huge = FormatUserData(80, std::string(5000, 'u'), "l", "p");
  EXPECT_EQ(kUserDataCapacity - 1, huge.size());
  EXPECT_EQ(std::string(1020, 'u'), Parse(huge).url);  // "80|" and 1020 characters
}

}  // namespace
