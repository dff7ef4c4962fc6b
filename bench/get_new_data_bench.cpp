// What one GetNewData costs the host when a fresh snapshot is waiting: the copy out of the
// server under its data lock, the extraction of one counter and the reading record. The page is
// 8 KB, with the counters read near its end. Nanoseconds per call; nothing is asserted.
#include <benchmark/benchmark.h>

#include <array>
#include <string>

#include "counters/netscape_measurement.h"
#include "counters/netscape_measurement_tbl.h"
#include "platform/files.h"
#include "platform/http.h"
#include "polling/netscape_server.h"

namespace {

// The sample statistics page behind enough busy-thread lines to make an 8 KB copy.
std::string EightKilobytePage() {
  std::string sample;
  static_cast<void>(ReadWholeFile(std::string(SARVIK_SOURCE_DIR) + "/dat/samples/perfdump.txt", &sample));  // empty if missing
  std::string page = "THIS_STRING_NEVER_HAPPENS\n";
  while (page.size() + sample.size() < 8000) {
    page += "Process 12345 busy 192.0.2.17 0 https-demo GET /catalogue/items?page=42 service-dump\n";
  }
  return page + sample;
}

class NullHttpClient : public HttpClient {
 public:
  Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions&, std::function<bool()>) override {
    return Status::Failure(StatusCode::kResourceExhausted, "not used");
  }
};

// The source every measurement of this benchmark reads.
ServerParams Web1() {
  ServerParams params;
  params.host = "web1";
  params.port = 80;
  params.url = "/.perf";
  return params;
}

void RunGetNewData(benchmark::State& state, CNetscapeMeasurement& measurement) {
  NullHttpClient http;
  CNetscapeServer server(Web1(), ProxySettings::Direct(), http);
  const std::string page = EightKilobytePage();
  server.TEST_PublishSnapshot(page.data(), page.size());

  static std::array<char, 16384> copy;
  ReadingRecord reading{};
  std::int32_t second = 1;
  for (auto _ : state) {
    SampleTime time{};
    server.CopySnapshot(copy.data(), copy.size(), &time);
    time.seconds = ++second;  // each call sees a snapshot it has not read yet
    if (measurement.NewData(copy.data(), time) == CNetscapeMeasurement::kNewReading) measurement.GetReading(&reading);
    benchmark::DoNotOptimize(reading);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(page.size()));
}

void BM_GetNewDataPatternCounter(benchmark::State& state) {
  CNetscapeMeasurement measurement("Total Response Time:|web1", "Response time", Web1(), 0);
  RunGetNewData(state, measurement);
}

void BM_GetNewDataPatternCounterRate(benchmark::State& state) {
  CNetscapeMeasurement measurement("Total number of requests:|web1", "Requests", Web1(), 1);
  RunGetNewData(state, measurement);
}

void BM_GetNewDataTableCellCounter(benchmark::State& state) {
  CNetscapeMeasurementTbl measurement("vs2 Requests|web1", "Requests", Web1(),
                                      "Virtual Server Statistics", 3, 2, 1);
  RunGetNewData(state, measurement);
}

}  // namespace

BENCHMARK(BM_GetNewDataPatternCounter);
BENCHMARK(BM_GetNewDataPatternCounterRate);
BENCHMARK(BM_GetNewDataTableCellCounter);
BENCHMARK_MAIN();
