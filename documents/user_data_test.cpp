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

TEST(UserDataTest, AFifthFieldNamesTheScheme) {
  EXPECT_EQ(HttpScheme::kHttp, Parse("8080|/.perf|admin|pw").scheme);
  EXPECT_EQ(HttpScheme::kHttp, Parse("8080|/.perf|admin|pw|").scheme);
  EXPECT_EQ(HttpScheme::kHttp, Parse("8080|/.perf|admin|pw|http").scheme);
  EXPECT_EQ(HttpScheme::kHttp, Parse("8080|/.perf|admin|pw|ftp").scheme);
  EXPECT_EQ(HttpScheme::kHttp, Parse("8080|/.perf|admin|pw|httpsx").scheme);
  EXPECT_EQ(HttpScheme::kHttps, Parse("8080|/.perf|admin|pw|HTTPS").scheme);

  // The four fields read as before, whatever follows them.
  ServerParams params = Parse("8443|/https-admserv/.perf|admin|pw|https|later");
  EXPECT_EQ(8443, params.port);
  EXPECT_EQ("/https-admserv/.perf", params.url);
  EXPECT_EQ("admin", params.login);
  EXPECT_EQ("pw", params.password);
  EXPECT_EQ(HttpScheme::kHttps, params.scheme);

  // A parse starts afresh: an earlier scheme does not stay.
  params.scheme = HttpScheme::kHttps;
  ParseUserData("80|/.perf||", &params);
  EXPECT_EQ(HttpScheme::kHttp, params.scheme);
}

TEST(UserDataTest, OnlyAnHttpsSourceWritesTheFifthField) {
  EXPECT_EQ("8080|/.perf|admin|pw", FormatUserData(8080, "/.perf", "admin", "pw", HttpScheme::kHttp));
  EXPECT_EQ("8443|/.perf|admin|pw|https", FormatUserData(8443, "/.perf", "admin", "pw", HttpScheme::kHttps));
  EXPECT_EQ("443|/.perf|||https", FormatUserData(443, "/.perf", "", "", HttpScheme::kHttps));
  const ServerParams params = Parse(FormatUserData(8443, "/.perf", "admin", "pw", HttpScheme::kHttps));
  EXPECT_EQ(HttpScheme::kHttps, params.scheme);
  EXPECT_EQ("pw", params.password);
}

TEST(UserDataTest, ACutNeverDropsTheScheme) {
  // Too long: the fields give up their ends, the password first, and the scheme stays fifth.
  const std::string cut =
      FormatUserData(8443, std::string(1000, 'u'), "login", std::string(100, 'p'), HttpScheme::kHttps);
  EXPECT_EQ(kUserDataCapacity - 1, cut.size());
  ServerParams params = Parse(cut);
  EXPECT_EQ(HttpScheme::kHttps, params.scheme) << cut;
  EXPECT_EQ(std::string(1000, 'u'), params.url);
  EXPECT_EQ("login", params.login);
  EXPECT_EQ(std::string(1023 - 6 - 3 - 4 - 1000 - 5, 'p'), params.password);

  const std::string huge = FormatUserData(80, std::string(5000, 'u'), "l", "p", HttpScheme::kHttps);
  EXPECT_EQ(kUserDataCapacity - 1, huge.size());
  params = Parse(huge);
  EXPECT_EQ(HttpScheme::kHttps, params.scheme);
  EXPECT_EQ(std::string(1023 - 6 - 3 - 2, 'u'), params.url);
  EXPECT_EQ("", params.login);
  EXPECT_EQ("", params.password);
}

}  // namespace
