#include "monitor/trim_host.h"

#include <gtest/gtest.h>

#include "monitor/measurement_key.h"

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

TEST(MeasurementKeyTest, TheKeyJoinsIdentifierAndHostUnlessTheIdentifierHasABar) {
  MeasurementKey key;
  MakeMeasurementKey("KeepAliveHits", "web1:8080", &key);
  EXPECT_EQ("KeepAliveHits|web1", key.key);
  EXPECT_EQ("KeepAliveHits", key.counter_name);
  EXPECT_EQ("web1", key.host);
  EXPECT_EQ("KeepAliveHits|web1", key.working_text());

  MakeMeasurementKey("Latency:|custom|id", "web2", &key);
  EXPECT_EQ("Latency:|custom|id", key.key);
  EXPECT_EQ("Latency:", key.counter_name);
  EXPECT_EQ("Latency:", key.working_text());
  EXPECT_EQ("web2", key.host);

  MakeMeasurementKey(nullptr, nullptr, &key);
  EXPECT_EQ("|", key.key);

  MakeMeasurementKey(std::string(600, 'c').c_str(), "web1", &key);
  EXPECT_EQ(kMaxKeyLength, key.key.size());
  EXPECT_EQ(kMaxKeyLength, key.counter_name.size());
}

}  // namespace
