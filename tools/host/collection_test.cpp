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

// A part of the default configuration: texts and labels that look alike.
std::vector<CounterInfo> FarmCounters() {
  return {
      {"KeepAliveCount", "Keep-Alive Connections", "", ""},
      {"KeepAliveHits", "Keep-Alive Hits per Second", "", ""},
      {"Keep-Alive Sessions", "Keep-Alive Sessions", "", ""},
      {"Active Sessions", "Active Sessions", "", ""},
      {"Total number of requests:", "Requests per Second", "", ""},
      {"Number of Requests:", "Default Bucket Requests per Second", "", ""},
      {"vs1 Requests", "https-demo Requests per Second", "", ""},
      // A label that is another counter's text: the text as written wins.
      {"Sessions", "Active Sessions", "", ""},
  };
}

TEST(CollectionTest, ACounterIsFoundByItsTextItsLabelOrAPartOfEither) {
  const std::vector<CounterInfo> counters = FarmCounters();
  const auto found = [&](std::string_view name) -> std::string {
    const CounterMatch match = MatchCounter(counters, name);
    return match.counter == nullptr ? "<none: " + DescribeCounterMiss(name, match) + ">" : match.counter->counter;
  };
  EXPECT_EQ("Total number of requests:", found("Total number of requests:"));
  EXPECT_EQ("Total number of requests:", found("Requests per Second")) << "the label";
  EXPECT_EQ("Total number of requests:", found("total number of requests")) << "a part, in any case";
  EXPECT_EQ("Total number of requests:", found("requests per second"));
  EXPECT_EQ("KeepAliveHits", found("keepalivehits"));
  EXPECT_EQ("KeepAliveHits", found("keep-alive hits")) << "a part of the label";
  EXPECT_EQ("KeepAliveHits", found("KEEP ALIVE HITS")) << "without spaces and punctuation";
  EXPECT_EQ("Keep-Alive Sessions", found("keepalive sessions"));
  EXPECT_EQ("Active Sessions", found("Active Sessions")) << "the text as written wins over another's label";
  EXPECT_EQ("Sessions", found("Sessions"));
  EXPECT_EQ("vs1 Requests", found("https-demo"));
}

TEST(CollectionTest, AnAmbiguousNameListsWhatItFits) {
  const std::vector<CounterInfo> counters = FarmCounters();
  const CounterMatch match = MatchCounter(counters, "keepalive");
  EXPECT_EQ(nullptr, match.counter);
  EXPECT_TRUE(match.ambiguous);
  ASSERT_EQ(3u, match.candidates.size());
  EXPECT_EQ("KeepAliveCount", match.candidates[0]->counter);
  EXPECT_EQ("KeepAliveHits", match.candidates[1]->counter);
  EXPECT_EQ("Keep-Alive Sessions", match.candidates[2]->counter);
  const std::string message = DescribeCounterMiss("keepalive", match);
  EXPECT_NE(std::string::npos, message.find("counter 'keepalive' is ambiguous: it fits 'KeepAliveCount' "
                                            "(Keep-Alive Connections), 'KeepAliveHits' (Keep-Alive Hits per Second), "
                                            "'Keep-Alive Sessions'"))
      << message;

  const CounterMatch requests = MatchCounter(counters, "REQUESTS");
  EXPECT_TRUE(requests.ambiguous);
  EXPECT_EQ(3u, requests.candidates.size());
}

TEST(CollectionTest, AMissSuggestsTheNearestCounters) {
  const std::vector<CounterInfo> counters = FarmCounters();
  CounterMatch match = MatchCounter(counters, "keepalivehist");
  EXPECT_EQ(nullptr, match.counter);
  EXPECT_FALSE(match.ambiguous);
  ASSERT_EQ(1u, match.candidates.size()) << "only the nearest";
  EXPECT_EQ("KeepAliveHits", match.candidates[0]->counter);
  std::string message = DescribeCounterMiss("keepalivehist", match);
  EXPECT_EQ(0u, message.find("unknown counter 'keepalivehist': the configuration has no such counter; did you mean "
                             "'KeepAliveHits' (Keep-Alive Hits per Second)"))
      << message;

  match = MatchCounter(counters, "Total number of requets");
  ASSERT_FALSE(match.candidates.empty());
  EXPECT_EQ("Total number of requests:", match.candidates[0]->counter);
  EXPECT_LE(match.candidates.size(), 3u);

  match = MatchCounter(counters, "No Such Counter");
  EXPECT_EQ(nullptr, match.counter);
  EXPECT_TRUE(match.candidates.empty()) << match.candidates[0]->counter;
  message = DescribeCounterMiss("No Such Counter", match);
  EXPECT_EQ(std::string::npos, message.find("did you mean")) << message;
  EXPECT_NE(std::string::npos, message.find("'sarvik-host collection HOST' lists them")) << message;

  EXPECT_EQ(nullptr, MatchCounter(counters, "").counter);
}

TEST(CollectionTest, ATableForAPerson) {
  const std::string wide = RenderCounterTable(kDocument, 120);
  const std::vector<std::string> expected_starts = {
      "Label                  Counter                    Unit  Description",
      "Requests per Second    Total number of requests:        Rate of requests.",
      "Delay (ms)             A & B <x> \"q\"              ms    Time in milliseconds.",
      "Bytes Sent per Second  vs1 Bytes Sent             B     Response bytes sent.",
      "3 counters; server defaults: port 80, URL /.perf",
  };
  std::string expected;
  for (const std::string& line : expected_starts) expected += line + "\n";
  EXPECT_EQ(expected, wide);

  // On narrower terminals the label and counter columns give way to the description; texts
  // that do not fit end in an ellipsis, and no line is wider than the terminal.
  const std::string narrow = RenderCounterTable(kDocument, 72);
  EXPECT_NE(std::string::npos, narrow.find("\nRequests per Sec\xE2\x80\xA6  Total number of requ\xE2\x80\xA6")) << narrow;
  EXPECT_NE(std::string::npos, narrow.find(" Rate of requests.\n")) << narrow;
  const std::string fifty = RenderCounterTable(kDocument, 50);
  EXPECT_NE(std::string::npos, fifty.find("\nRequests per \xE2\x80\xA6  Total number \xE2\x80\xA6")) << fifty;
  EXPECT_NE(std::string::npos, fifty.find(" Rate of req\xE2\x80\xA6\n")) << fifty;
  for (const auto& [table, width] : {std::pair<std::string, std::size_t>{narrow, 72}, {fifty, 50}}) {
    std::size_t start = 0;
    for (std::size_t end = table.find('\n'); end != std::string::npos; end = table.find('\n', start)) {
      std::size_t characters = 0;
      for (std::size_t i = start; i < end; ++i) characters += (static_cast<unsigned char>(table[i]) & 0xC0) != 0x80;
      EXPECT_LE(characters, width) << table.substr(start, end - start);
      start = end + 1;
    }
  }
  // Too narrow for a description: it is left out.
  EXPECT_EQ(std::string::npos, RenderCounterTable(kDocument, 40).find("Description"));
  EXPECT_EQ("80", ReadServerProperty(kDocument, "port").value_or(""));
  EXPECT_FALSE(ReadServerProperty(kDocument, "login").has_value());
}

}  // namespace
}  // namespace sarvik_host
