#include "config/counter_config.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "config/server_params.h"
#include "platform/process.h"

namespace {

TEST(CounterConfigTest, ReadsOneDefinitionPerCounterSection) {
  const Profile profile = Profile::Parse(
      "[Netscape]\nCounters=3\n"
      "[0]\nCounter=Total Sessions Created\nLabel=Sessions created\nDescription=Sessions since start.\n"
      "[2]\nCounter=KeepAliveHits\nLabel=Keep-alive hits\n");
  const std::vector<CounterDefinition> definitions = ReadCounterDefinitions(profile);
  ASSERT_EQ(3u, definitions.size());
  EXPECT_STREQ("Total Sessions Created", definitions[0].counter);
  EXPECT_STREQ("Sessions created", definitions[0].label);
  EXPECT_STREQ("Sessions since start.", definitions[0].description);
  // A missing section still counts as a counter, with empty texts.
  EXPECT_STREQ("", definitions[1].counter);
  EXPECT_STREQ("", definitions[1].label);
  EXPECT_STREQ("KeepAliveHits", definitions[2].counter);
  EXPECT_STREQ("", definitions[2].description);
  for (const CounterDefinition& definition : definitions) {
    EXPECT_EQ('\0', definition.host[0]);
    EXPECT_EQ('\0', definition.user_data[0]);
  }
}

TEST(CounterConfigTest, NoPositiveCountMeansNoCounters) {
  EXPECT_TRUE(ReadCounterDefinitions(Profile::Parse("")).empty());
  EXPECT_TRUE(ReadCounterDefinitions(Profile::Parse("[Netscape]\nCounters=0\n[0]\nCounter=x\n")).empty());
  EXPECT_TRUE(ReadCounterDefinitions(Profile::Parse("[Netscape]\nCounters=-2\n[0]\nCounter=x\n")).empty());
  EXPECT_EQ(static_cast<std::size_t>(kMaxCounters),
            ReadCounterDefinitions(Profile::Parse("[Netscape]\nCounters=2000000000\n")).size());
}

TEST(CounterConfigTest, LongTextsAreCutToTheirFields) {
  const std::string long_text(2000, 'L');
  const std::vector<CounterDefinition> definitions = ReadCounterDefinitions(
      Profile::Parse("[Netscape]\nCounters=1\n[0]\nCounter=" + long_text + "\nLabel=" + long_text +
                     "\nDescription=" + long_text + "\n"));
  ASSERT_EQ(1u, definitions.size());
  EXPECT_EQ(std::string(511, 'L'), definitions[0].counter);
  EXPECT_EQ(std::string(511, 'L'), definitions[0].label);
  EXPECT_EQ(std::string(511, 'L'), definitions[0].description);
}

TEST(CounterConfigTest, ATextEndsAtANulOfTheFileAndNothingFollowsItInTheRecord) {
  using namespace std::string_literals;
  const std::vector<CounterDefinition> definitions = ReadCounterDefinitions(
      Profile::Parse("[Netscape]\nCounters=1\n[0]\nCounter=Hits\0stale\nLabel=\0x\n"s));
  ASSERT_EQ(1u, definitions.size());
  EXPECT_STREQ("Hits", definitions[0].counter);
  EXPECT_STREQ("", definitions[0].label);
  // The host reads the whole field: every byte after the text is zero.
  for (std::size_t i = 4; i < sizeof definitions[0].counter; ++i) ASSERT_EQ('\0', definitions[0].counter[i]) << i;
  for (char c : definitions[0].label) ASSERT_EQ('\0', c);
}

TEST(CounterConfigTest, FindsTheFirstExactMatch) {
  const std::vector<CounterDefinition> definitions = ReadCounterDefinitions(Profile::Parse(
      "[Netscape]\nCounters=3\n[0]\nCounter=KeepAliveHits\nLabel=first\n[1]\nCounter=Latency:\n"
      "[2]\nCounter=KeepAliveHits\nLabel=second\n"));
  EXPECT_EQ(0, FindCounterDefinition(definitions, "KeepAliveHits"));
  EXPECT_EQ(1, FindCounterDefinition(definitions, "Latency:"));
  EXPECT_EQ(-1, FindCounterDefinition(definitions, "keepalivehits"));
  EXPECT_EQ(-1, FindCounterDefinition(definitions, "KeepAlive"));
  EXPECT_EQ(-1, FindCounterDefinition({}, "KeepAliveHits"));
}

TEST(CounterConfigTest, TheFileLiesBesideTheHostProgram) {
  TEST_SetExecutablePath("/opt/korvane/bin/controller");
  Result<std::string> path = LocateConfigFile();
  ASSERT_TRUE(path.ok());
  EXPECT_EQ("/opt/korvane/bin/../dat/monitors/Netscape.cfg", *path);

  TEST_SetExecutablePath("");
  path = LocateConfigFile();
  EXPECT_FALSE(path.ok());
  EXPECT_EQ(ENOENT, path.status().error_number());

  TEST_SetExecutablePath(std::nullopt);
  path = LocateConfigFile();
  ASSERT_TRUE(path.ok());
  EXPECT_NE(std::string::npos, path->find("/../dat/monitors/Netscape.cfg"));
}

TEST(CounterConfigTest, TheSchemeAndTheCertificateCheckOfHttpsSources) {
  const auto scheme = [](const std::string& netscape) {
    return ReadServerScheme(Profile::Parse("[Netscape]\n" + netscape));
  };
  EXPECT_EQ(HttpScheme::kHttp, scheme(""));
  EXPECT_EQ(HttpScheme::kHttp, scheme("serverScheme=http\n"));
  EXPECT_EQ(HttpScheme::kHttp, scheme("serverScheme=htps\n"));
  EXPECT_EQ(HttpScheme::kHttps, scheme("serverScheme=https\n"));
  EXPECT_EQ(HttpScheme::kHttps, scheme("ServerScheme = HTTPS\n"));

  const auto verify = [](const std::string& netscape) {
    return ReadVerifyServer(Profile::Parse("[Netscape]\n" + netscape));
  };
  EXPECT_TRUE(verify(""));
  EXPECT_TRUE(verify("verifyServer=1\n"));
  EXPECT_FALSE(verify("verifyServer=0\n"));
  EXPECT_FALSE(verify("verifyServer= 0 \n"));
  // Only a plain 0 turns the checks off; words that read as the number 0 do not.
  EXPECT_TRUE(verify("verifyServer=no\n"));
  EXPECT_TRUE(verify("verifyServer=yes\n"));
  EXPECT_TRUE(verify("verifyServer=\n"));
}

TEST(CounterConfigTest, HttpAndHttpsOfOneHostAndPortAreTwoSources) {
  ServerParams params;
  params.host = "web1";
  params.url = "/.perf";
  params.port = 8080;
  EXPECT_EQ("web1|/.perf|8080", MakeServerKey(params));
  params.scheme = HttpScheme::kHttps;
  EXPECT_EQ("web1|/.perf|8080|https", MakeServerKey(params));
}

}  // namespace
