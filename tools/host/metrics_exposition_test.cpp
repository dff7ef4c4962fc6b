#include "tools/host/metrics_exposition.h"

#include <gtest/gtest.h>

#include <ctime>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace sarvik_host {
namespace {

constexpr std::int64_t kNowUs = 1'700'000'010'500'000;

MetricsCounterState Counter(std::size_t source, std::string counter, std::string label, std::string unit, bool is_rate,
                            std::optional<double> value, int result = 0) {
  MetricsCounterState state;
  state.source = source;
  state.counter = std::move(counter);
  state.label = std::move(label);
  state.unit = std::move(unit);
  state.is_rate = is_rate;
  state.has_value = value.has_value();
  state.value = value.value_or(0);
  state.last_result_code = result;
  return state;
}

// Two servers, one reading and one failing, with the kinds of counters the configuration has.
MetricsSnapshot FarmSnapshot() {
  MetricsSnapshot snapshot;
  snapshot.sources.push_back({"web1:8080", "web1", true, kNowUs - 2'250'000});
  snapshot.sources.push_back({"web2:80", "web2", false, std::nullopt});
  for (std::size_t source = 0; source < 2; ++source) {
    const bool up = source == 0;
    auto value = [&](double v) { return up ? std::optional<double>(v) : std::nullopt; };
    const int result = up ? 0 : 20;
    snapshot.counters.push_back(
        Counter(source, "Average Queueing Delay", "Average Queueing Delay (ms)", "ms", false, value(12.5), result));
    snapshot.counters.push_back(
        Counter(source, "Total number of requests:", "Requests per Second", "", true, value(41.25), result));
    snapshot.counters.push_back(
        Counter(source, "bytes sent:", "https-demo Bytes Sent per Second", "B", true, value(2048), result));
    snapshot.counters.push_back(Counter(source, "Average Queue Length (1, 5, 15 minutes)",
                                        "Average Queue Length (1 Minute)", "", false, value(0.75), result));
    snapshot.counters.push_back(Counter(source, "KeepAliveCount", "", "", false, value(3), result));
  }
  snapshot.readings_total = 17;
  return snapshot;
}

ProcessFacts SomeFacts() {
  ProcessFacts facts;
  facts.cpu_seconds = 1.5;
  facts.resident_memory_bytes = 4096;
  facts.virtual_memory_bytes = 8192;
  facts.start_time_seconds = 1'700'000'000;
  facts.open_fds = 9;
  facts.max_fds = 1024;
  return facts;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

// The samples of an exposition: "name{labels}" -> value text.
std::map<std::string, std::string> Samples(const std::string& text) {
  std::map<std::string, std::string> samples;
  for (const std::string& line : Lines(text)) {
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.rfind(' ');
    samples[line.substr(0, space)] = line.substr(space + 1);
  }
  return samples;
}

// Checks the structure a scraper relies on: every family has one HELP and one TYPE line before
// its samples, no family appears twice, and every sample belongs to the family last declared
// (a counter's samples end in _total). Returns the families and their types.
std::map<std::string, std::string> CheckFamilies(const std::string& text, ExpositionFormat format) {
  std::map<std::string, std::string> types;
  std::set<std::string> helped;
  std::string current;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("# HELP ", 0) == 0) {
      const std::string name = line.substr(7, line.find(' ', 7) - 7);
      EXPECT_TRUE(helped.insert(name).second) << "HELP twice for " << name;
      current = name;
    } else if (line.rfind("# TYPE ", 0) == 0) {
      std::istringstream words(line.substr(7));
      std::string name, type;
      words >> name >> type;
      EXPECT_EQ(current, name) << "TYPE follows its HELP";
      EXPECT_TRUE(types.emplace(name, type).second) << "TYPE twice for " << name;
    } else if (line.rfind("# UNIT ", 0) == 0 || line == "# EOF") {
      continue;
    } else {
      if (line.empty() || line[0] == '#') {
        ADD_FAILURE() << "an empty line or an unknown comment: '" << line << "'";
        continue;
      }
      const std::string sample = line.substr(0, line.find_first_of("{ "));
      std::string expected = current;
      if (types[current] == "counter") {
        if (format == ExpositionFormat::kOpenMetrics) expected += "_total";
        EXPECT_EQ("_total", sample.substr(sample.size() - 6)) << sample;
      } else {
        EXPECT_NE("_total", sample.substr(sample.size() - 6)) << "a gauge never ends in _total: " << sample;
      }
      EXPECT_EQ(expected, sample) << "a sample outside its family";
    }
  }
  return types;
}

TEST(MetricsExpositionTest, CounterNamesFollowPrometheusNaming) {
  EXPECT_EQ("sarvik_average_queueing_delay_seconds",
            CounterFamilyName("Average Queueing Delay (ms)", "Average Queueing Delay", "ms", false));
  EXPECT_EQ("sarvik_average_request_processing_time_seconds",
            CounterFamilyName("Average Request Processing Time (s)", "x", "s", false));
  EXPECT_EQ("sarvik_requests_per_second", CounterFamilyName("Requests per Second", "Total number of requests:", "", true));
  EXPECT_EQ("sarvik_https_demo_sent_bytes_per_second",
            CounterFamilyName("https-demo Bytes Sent per Second", "bytes sent:", "B", true));
  EXPECT_EQ("sarvik_https_demo_sent_bytes_per_second",
            CounterFamilyName("https-demo Bytes Sent per Second", "bytes sent:", "B", false))
      << "the same family before the first rate";
  EXPECT_EQ("sarvik_average_queue_length_1_minute",
            CounterFamilyName("Average Queue Length (1 Minute)", "Average Queue Length (1, 5, 15 minutes)", "", false));
  EXPECT_EQ("sarvik_cache_hit_ratio", CounterFamilyName("Cache Hit (%)", "hits", "%", false));
  // Without a label the counter text names it, camelCase in words.
  EXPECT_EQ("sarvik_keep_alive", CounterFamilyName("", "KeepAliveCount", "", false));
  EXPECT_EQ("sarvik_http_server_threads", CounterFamilyName("", "HTTPServerThreads", "", false));
  // Never a suffix a scraper reads as a counter's, a histogram's or a summary's.
  EXPECT_EQ("sarvik_requests", CounterFamilyName("Requests Total", "x", "", false));
  EXPECT_EQ("sarvik_errors", CounterFamilyName("Errors Count", "x", "", false));
  EXPECT_EQ("sarvik_total_requests_per_second", CounterFamilyName("Total Requests", "x", "", true));
  // No abbreviated units, no metric types, and always some name.
  EXPECT_EQ("sarvik_wait_seconds", CounterFamilyName("Wait ms", "x", "ms", false));
  EXPECT_EQ("sarvik_value", CounterFamilyName("Counter", "%%", "", false));
  EXPECT_DOUBLE_EQ(0.001, BaseUnitFactor("ms"));
  EXPECT_DOUBLE_EQ(1024, BaseUnitFactor("KB"));
  EXPECT_DOUBLE_EQ(1, BaseUnitFactor("requests"));
}

TEST(MetricsExpositionTest, OneGaugeFamilyPerCounterWithValuesInBaseUnits) {
  const std::string text =
      RenderExposition(FarmSnapshot(), kNowUs, SomeFacts(), ExpositionFormat::kPrometheusText);
  const std::map<std::string, std::string> types = CheckFamilies(text, ExpositionFormat::kPrometheusText);
  const std::map<std::string, std::string> expected_types = {
      {"sarvik_source_up", "gauge"},
      {"sarvik_snapshot_age_seconds", "gauge"},
      {"sarvik_readings_total", "counter"},
      {"sarvik_last_result_code", "gauge"},
      {"sarvik_average_queueing_delay_seconds", "gauge"},
      {"sarvik_requests_per_second", "gauge"},
      {"sarvik_https_demo_sent_bytes_per_second", "gauge"},
      {"sarvik_average_queue_length_1_minute", "gauge"},
      {"sarvik_keep_alive", "gauge"},
      {"process_cpu_seconds_total", "counter"},
      {"process_resident_memory_bytes", "gauge"},
      {"process_virtual_memory_bytes", "gauge"},
      {"process_start_time_seconds", "gauge"},
      {"process_open_fds", "gauge"},
      {"process_max_fds", "gauge"},
  };
  EXPECT_EQ(expected_types, types) << text;

  const auto samples = Samples(text);
  const std::string web1 = R"(target="web1:8080",host="web1",)";
  EXPECT_EQ("0.0125", samples.at("sarvik_average_queueing_delay_seconds{" + web1 +
                                 R"x(counter="Average Queueing Delay",label="Average Queueing Delay (ms)"})x"));
  EXPECT_EQ("41.25", samples.at("sarvik_requests_per_second{" + web1 +
                                R"(counter="Total number of requests:",label="Requests per Second"})"));
  EXPECT_EQ("2048", samples.at("sarvik_https_demo_sent_bytes_per_second{" + web1 +
                               R"(counter="bytes sent:",label="https-demo Bytes Sent per Second"})"));
  EXPECT_EQ("3", samples.at("sarvik_keep_alive{" + web1 + R"(counter="KeepAliveCount",label=""})"));
  EXPECT_EQ("1", samples.at(R"(sarvik_source_up{target="web1:8080"})"));
  EXPECT_EQ("0", samples.at(R"(sarvik_source_up{target="web2:80"})"));
  EXPECT_EQ("2.25", samples.at(R"(sarvik_snapshot_age_seconds{target="web1:8080"})"));
  EXPECT_EQ("17", samples.at("sarvik_readings_total"));
  EXPECT_EQ("20", samples.at(R"(sarvik_last_result_code{target="web2:80",counter="KeepAliveCount"})"));
  EXPECT_EQ("0", samples.at(R"(sarvik_last_result_code{target="web1:8080",counter="Total number of requests:"})"));
  EXPECT_EQ("1.5", samples.at("process_cpu_seconds_total"));
  EXPECT_EQ("1700000000", samples.at("process_start_time_seconds"));

  // The failing server has no values and no snapshot age, only its state and result codes.
  for (const auto& [series, value] : samples) {
    if (series.find("web2:80") == std::string::npos) continue;
    EXPECT_TRUE(series.rfind("sarvik_source_up{", 0) == 0 || series.rfind("sarvik_last_result_code{", 0) == 0)
        << "a failing server shows no reading: " << series << " " << value;
  }
  EXPECT_EQ(std::string::npos, text.find("# EOF"));
}

TEST(MetricsExpositionTest, LabelValuesAndHelpAreEscaped) {
  MetricsSnapshot snapshot;
  snapshot.sources.push_back({"a\"b\\c\nd", "h\xFFst", true, std::nullopt});
  snapshot.counters.push_back(Counter(0, "Say \"hi\"\\now", "Line\nBreak", "", false, 1.0));
  for (const ExpositionFormat format : {ExpositionFormat::kPrometheusText, ExpositionFormat::kOpenMetrics}) {
    const std::string text = RenderExposition(snapshot, kNowUs, ProcessFacts{}, format);
    CheckFamilies(text, format);
    EXPECT_NE(std::string::npos,
              text.find(R"(sarvik_line_break{target="a\"b\\c\nd",host="h)" "\xEF\xBF\xBD" R"(st",)"
                        R"(counter="Say \"hi\"\\now",label="Line\nBreak"} 1)"))
        << text;
    const std::string help = format == ExpositionFormat::kOpenMetrics
                                 ? R"(# HELP sarvik_line_break Line\nBreak (counter \"Say \"hi\"\\now\").)"
                                 : R"(# HELP sarvik_line_break Line\nBreak (counter "Say "hi"\\now").)";
    EXPECT_NE(std::string::npos, text.find(help + "\n")) << text;
    // Without process facts there is no process family.
    EXPECT_EQ(std::string::npos, text.find("process_")) << text;
  }
}

TEST(MetricsExpositionTest, CountersThatNameAlikeGetDistinctFamilies) {
  MetricsSnapshot snapshot;
  snapshot.sources.push_back({"web1", "web1", true, kNowUs});
  snapshot.counters.push_back(Counter(0, "Hits:", "Cache Hits", "", false, 1.0));
  snapshot.counters.push_back(Counter(0, "hits2", "Cache-Hits", "", false, 2.0));
  snapshot.counters.push_back(Counter(0, "up", "Source Up", "", false, 3.0));
  snapshot.counters.push_back(Counter(0, "readings", "Readings", "", false, 4.0));
  const std::string text = RenderExposition(snapshot, kNowUs, ProcessFacts{}, ExpositionFormat::kOpenMetrics);
  const auto types = CheckFamilies(text, ExpositionFormat::kOpenMetrics);
  const auto samples = Samples(text);
  EXPECT_EQ("1", samples.at(R"(sarvik_cache_hits{target="web1",host="web1",counter="Hits:",label="Cache Hits"})"));
  EXPECT_EQ("2", samples.at(R"(sarvik_cache_hits_2{target="web1",host="web1",counter="hits2",label="Cache-Hits"})"));
  // The session's own families keep their names.
  EXPECT_EQ("3", samples.at(R"(sarvik_source_up_2{target="web1",host="web1",counter="up",label="Source Up"})"));
  EXPECT_EQ("4", samples.at(R"(sarvik_readings_2{target="web1",host="web1",counter="readings",label="Readings"})"));
  EXPECT_EQ("counter", types.at("sarvik_readings"));
}

TEST(MetricsExpositionTest, OpenMetricsNamesCounterFamiliesWithoutTotalAndEnds) {
  const std::string text = RenderExposition(FarmSnapshot(), kNowUs, SomeFacts(), ExpositionFormat::kOpenMetrics);
  const auto types = CheckFamilies(text, ExpositionFormat::kOpenMetrics);
  EXPECT_EQ("counter", types.at("sarvik_readings"));
  EXPECT_EQ("counter", types.at("process_cpu_seconds"));
  EXPECT_EQ(0u, types.count("sarvik_readings_total"));
  EXPECT_NE(std::string::npos, text.find("\nsarvik_readings_total 17\n")) << text;
  EXPECT_NE(std::string::npos, text.find("# UNIT sarvik_average_queueing_delay_seconds seconds\n")) << text;
  EXPECT_NE(std::string::npos, text.find("# UNIT process_resident_memory_bytes bytes\n")) << text;
  ASSERT_GE(text.size(), 6u);
  EXPECT_EQ("# EOF\n", text.substr(text.size() - 6)) << "the last line";
  EXPECT_EQ(1u, Lines(text).size() - Lines(text.substr(0, text.size() - 6)).size());
}

TEST(MetricsExpositionTest, AcceptChoosesTheFormat) {
  // What Prometheus sends when it prefers OpenMetrics.
  EXPECT_EQ(ExpositionFormat::kOpenMetrics,
            FormatForAccept("application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;"
                            "q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1"));
  EXPECT_EQ(ExpositionFormat::kOpenMetrics, FormatForAccept("Application/OpenMetrics-Text; version=1.0.0"));
  EXPECT_EQ(ExpositionFormat::kPrometheusText, FormatForAccept("text/plain;version=0.0.4;q=0.9,application/openmetrics-text;q=0.2"));
  EXPECT_EQ(ExpositionFormat::kPrometheusText, FormatForAccept("application/openmetrics-text;q=0"));
  EXPECT_EQ(ExpositionFormat::kPrometheusText, FormatForAccept("*/*"));
  EXPECT_EQ(ExpositionFormat::kPrometheusText, FormatForAccept(""));
  EXPECT_EQ(std::string("application/openmetrics-text; version=1.0.0; charset=utf-8"),
            ContentTypeOf(ExpositionFormat::kOpenMetrics));
  EXPECT_EQ(std::string("text/plain; version=0.0.4; charset=utf-8"), ContentTypeOf(ExpositionFormat::kPrometheusText));
}

TEST(MetricsExpositionTest, BeforeTheFirstRoundOnlyTheSessionsFamilies) {
  const std::string text = RenderExposition(MetricsSnapshot{}, kNowUs, ProcessFacts{}, ExpositionFormat::kPrometheusText);
  CheckFamilies(text, ExpositionFormat::kPrometheusText);
  const auto samples = Samples(text);
  ASSERT_EQ(1u, samples.size()) << text;
  EXPECT_EQ("0", samples.at("sarvik_readings_total"));
}

TEST(MetricsExpositionTest, ThisProcessFactsAreRead) {
  const ProcessFacts facts = ReadProcessFacts();
  ASSERT_TRUE(facts.cpu_seconds && facts.resident_memory_bytes && facts.virtual_memory_bytes &&
              facts.start_time_seconds && facts.open_fds && facts.max_fds);
  EXPECT_GT(*facts.resident_memory_bytes, 0);
  EXPECT_GE(*facts.virtual_memory_bytes, *facts.resident_memory_bytes);
  EXPECT_GE(*facts.open_fds, 3) << "standard input, output and error";
  EXPECT_GE(*facts.max_fds, *facts.open_fds);
  EXPECT_LE(*facts.start_time_seconds, static_cast<double>(std::time(nullptr)) + 1);
  EXPECT_GT(*facts.start_time_seconds, 1e9);
}

}  // namespace
}  // namespace sarvik_host
