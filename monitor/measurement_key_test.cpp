#include "monitor/measurement_key.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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

  // A long identifier loses the end of its counter text, never the host: the same counter on two
  // hosts stays two measurements.
  MakeMeasurementKey(std::string(600, 'c').c_str(), "web1", &key);
  EXPECT_EQ(std::string(kMaxKeyLength, 'c') + "|web1", key.key);
  EXPECT_EQ(kMaxKeyLength, key.counter_name.size());
  MakeMeasurementKey(std::string(600, 'c').c_str(), "web2", &key);
  EXPECT_EQ(std::string(kMaxKeyLength, 'c') + "|web2", key.key);

  // A host too long for the measurement's field is cut the same way for the key and the server.
  MakeMeasurementKey("Hits", (std::string(600, 'h') + ":80").c_str(), &key);
  EXPECT_EQ(std::string(kMaxKeyLength, 'h'), key.host);
  EXPECT_EQ("Hits|" + key.host, key.key);

  MakeMeasurementKey((std::string(600, 'c') + "|id").c_str(), "web1", &key);
  EXPECT_EQ(kMaxKeyLength, key.key.size());
}

}  // namespace
