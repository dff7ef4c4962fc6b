#include "monitor/measurement_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

ActiveMeasurement Entry(const std::string& key) {
  ServerParams server;
  server.host = "web1";
  ActiveMeasurement entry;
  entry.measurement = std::make_unique<CNetscapeMeasurement>(key, key, server, 0);
  return entry;
}

std::string KeyOf(const ActiveMeasurement* entry) { return entry == nullptr ? "<none>" : entry->measurement->key(); }

TEST(MeasurementRegistryTest, ReadingsFindTheirMeasurementInAnyOrderAndAfterErasures) {
  MeasurementRegistry registry;
  for (const char* key : {"a|web1", "b|web1", "c|web1"}) registry.Add(key, Entry(key));

  // The usual round, twice, then rounds in another order.
  for (int round = 0; round < 2; ++round) {
    for (const char* key : {"a|web1", "b|web1", "c|web1"}) EXPECT_EQ(key, KeyOf(registry.FindForReading(key)));
  }
  for (const char* key : {"c|web1", "a|web1", "a|web1", "b|web1"}) EXPECT_EQ(key, KeyOf(registry.FindForReading(key)));
  EXPECT_EQ(nullptr, registry.FindForReading("d|web1"));

  // The measurement read last goes; the next in order is still found, and so is the first.
  EXPECT_EQ("b|web1", KeyOf(registry.FindForReading("b|web1")));
  registry.Erase("b|web1");
  EXPECT_EQ(nullptr, registry.Find("b|web1"));
  EXPECT_EQ(nullptr, registry.FindForReading("b|web1"));
  EXPECT_EQ("c|web1", KeyOf(registry.FindForReading("c|web1")));
  EXPECT_EQ("a|web1", KeyOf(registry.FindForReading("a|web1")));

  // Erasing the first and the last keeps the order of the rest; a new one goes last.
  registry.Erase("a|web1");
  registry.Erase("c|web1");
  registry.Add("e|web1", Entry("e|web1"));
  registry.Add("f|web1", Entry("f|web1"));
  EXPECT_EQ(2u, registry.size());

  // A registry moved away keeps its order; the one left behind is empty.
  MeasurementRegistry moved = std::move(registry);
  EXPECT_EQ(0u, registry.size());
  EXPECT_EQ(nullptr, registry.FindForReading("e|web1"));
  for (const char* key : {"e|web1", "f|web1", "e|web1"}) EXPECT_EQ(key, KeyOf(moved.FindForReading(key)));
}

}  // namespace
