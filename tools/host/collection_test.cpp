#include "tools/host/collection.h"

#include <gtest/gtest.h>

namespace sarvik_host {
namespace {

const char kDocument[] =
    "<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n"
    "<counter id=\"Total number of requests:\" name=\"Requests per Second\" desc=\"Rate of requests.\"/>\n"
    "<counter id=\"A &amp; B &lt;x&gt; &quot;q&quot;\" name=\"Delay (ms)\" desc=\"Time in milliseconds.\"/>\n"
    "<counter id=\"vs1 Bytes Sent\" name=\"Bytes Sent per Second\" desc=\"Response bytes sent.\"/>\n"
    "<monitorData>\n<prop name=\"port\"><value>80</value></prop><prop name=\"URL\"><value>/.perf</value></prop>"
    "</monitorData>\n</PerformanceMonitor>\n";

TEST(CollectionTest, CountersComeFromTheDocumentUnescaped) {
  const std::vector<CounterInfo> counters = ReadCollectionCounters(kDocument);
  ASSERT_EQ(3u, counters.size());
  EXPECT_EQ("Total number of requests:", counters[0].counter);
  EXPECT_EQ("Requests per Second", counters[0].label);
  EXPECT_EQ("Rate of requests.", counters[0].description);
  EXPECT_EQ("", counters[0].unit);
  EXPECT_EQ("A & B <x> \"q\"", counters[1].counter);
  EXPECT_EQ("ms", counters[1].unit);
  EXPECT_EQ("B", counters[2].unit);
  EXPECT_NE(nullptr, FindCounter(counters, "A & B <x> \"q\""));
  EXPECT_EQ(nullptr, FindCounter(counters, "Total number of requests"));
  EXPECT_TRUE(ReadCollectionCounters("not xml at all").empty());
}

TEST(CollectionTest, EntitiesAndReferences) {
  EXPECT_EQ("a&b<c>\"d'e", XmlUnescape("a&amp;b&lt;c&gt;&quot;d&apos;e"));
  EXPECT_EQ("A\xC3\xA9", XmlUnescape("&#65;&#xE9;"));
  EXPECT_EQ("&bogus; & &#xZZ;", XmlUnescape("&bogus; & &#xZZ;"));
  EXPECT_EQ("a&amp;b&lt;c&gt;&quot;d'e", XmlEscape("a&b<c>\"d'e"));
}

TEST(CollectionTest, UnitsFromLabelOrDescription) {
  EXPECT_EQ("ms", UnitOf("Average Queueing Delay (ms)", ""));
  EXPECT_EQ("s", UnitOf("Average Request Processing Time (s)", "Average time in seconds"));
  EXPECT_EQ("", UnitOf("Average Queue Length (1 Minute)", "Average number of connections"));
  EXPECT_EQ("s", UnitOf("Latency", "Average time in seconds from the arrival"));
  EXPECT_EQ("B", UnitOf("Bytes Sent per Second", "Rate at which the server sends response bytes"));
  EXPECT_EQ("", UnitOf("Active Sessions", "Sessions being handled right now."));
  EXPECT_EQ("B/s", ReadingUnit("B", true));
  EXPECT_EQ("/s", ReadingUnit("", true));
  EXPECT_EQ("ms", ReadingUnit("ms", false));
}

TEST(CollectionTest, ServerPropertiesAreWrittenIntoTheDocument) {
  const std::string changed = WithServerProperties(kDocument, 8080, std::string("/https-1/.perf?a=1&b=2"));
  EXPECT_NE(std::string::npos, changed.find("<prop name=\"port\"><value>8080</value></prop>"));
  EXPECT_NE(std::string::npos, changed.find("<prop name=\"URL\"><value>/https-1/.perf?a=1&amp;b=2</value></prop>"));
  EXPECT_EQ(3u, ReadCollectionCounters(changed).size()) << "the counters stay";

  const std::string port_only = WithServerProperties(kDocument, 81, std::nullopt);
  EXPECT_NE(std::string::npos, port_only.find("<value>81</value>"));
  EXPECT_NE(std::string::npos, port_only.find("<value>/.perf</value>"));

  const std::string added = WithServerProperties("<PerformanceMonitor>\n</PerformanceMonitor>\n", 82, std::nullopt);
  EXPECT_NE(std::string::npos,
            added.find("<monitorData>\n<prop name=\"port\"><value>82</value></prop></monitorData>\n"));
  const std::string fresh = WithServerProperties("", std::nullopt, std::string("/x"));
  EXPECT_NE(std::string::npos, fresh.find("<monitorData><prop name=\"URL\"><value>/x</value></prop>"));
}

}  // namespace
}  // namespace sarvik_host
