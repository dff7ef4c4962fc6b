// The shipped configuration against the shipped sample page: every counter must be findable.
#include <gtest/gtest.h>

#include <string>

#include "config/counter_config.h"
#include "platform/files.h"

namespace {

TEST(DefaultConfigTest, EveryCounterIsFoundInTheSamplePage) {
  const Profile profile = Profile::Load(std::string(SARVIK_SOURCE_DIR) + "/dat/monitors/Netscape.cfg");
  std::string page;
  ASSERT_TRUE(ReadWholeFile(std::string(SARVIK_SOURCE_DIR) + "/dat/samples/perfdump.txt", &page).ok());

  const std::vector<CounterDefinition> definitions = ReadCounterDefinitions(profile);
  ASSERT_GE(definitions.size(), 20u);
  int table_counters = 0;
  for (std::size_t i = 0; i < definitions.size(); ++i) {
    const CounterDefinition& definition = definitions[i];
    EXPECT_STRNE("", definition.counter) << "counter " << i;
    EXPECT_STRNE("", definition.label) << "counter " << i;
    EXPECT_STRNE("", definition.description) << "counter " << i;
    EXPECT_EQ(std::string::npos, std::string(definition.counter).find('|')) << definition.counter;
    EXPECT_EQ(i, static_cast<std::size_t>(FindCounterDefinition(definitions, definition.counter)))
        << "two counters share the text " << definition.counter;
    const std::string table = profile.GetString(std::to_string(i), kKeyTableName, "", kCounterTextBufferSize);
    const std::string searched = table.empty() ? definition.counter : table;
    table_counters += !table.empty();
    EXPECT_NE(std::string::npos, page.find(searched)) << "counter " << i << " looks for " << searched;
  }
  EXPECT_GE(table_counters, 2);
  EXPECT_EQ("/.perf", profile.GetString(kSectionNetscape, kKeyInfoUrl, "", kServerTextBufferSize));
  EXPECT_EQ(0, profile.GetInt(kSectionProxySettings, "useProxy", 1));
  // The shipped configuration fetches plain HTTP, and would check the certificates of HTTPS.
  EXPECT_EQ(HttpScheme::kHttp, ReadServerScheme(profile));
  EXPECT_TRUE(ReadVerifyServer(profile));
}

}  // namespace
