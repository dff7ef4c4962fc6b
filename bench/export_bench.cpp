// What the host pays at the plug-in's exported functions, through dlopen as a host calls them:
// InitMonitor and TerminateMonitor with the Netscape.cfg of the install tree this program runs from
// (bench/scale.py --export-bench writes one with 400 counters), and GetNewData for a pattern and a
// table-cell counter on an 8 KB page. The page comes from a dump file (QOR_NS_MON_FILE), so no network
// is used; the plug-in re-reads it every few seconds, so most calls find the snapshot already read,
// as a host sampling faster than its servers push does. Nothing is asserted.
//
// Run it from <tree>/bin beside libsarvik.so, with <tree>/dat/monitors/Netscape.cfg holding the counters
// "Total number of requests:" (pattern) and "vs1 Requests" (table cell).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "interface/sarvik.h"

namespace {

struct Exports {
  decltype(&InitMonitor) init = nullptr;
  decltype(&TerminateMonitor) terminate = nullptr;
  decltype(&ActivateMeasurement) activate = nullptr;
  decltype(&DeActivateMeasurement) deactivate = nullptr;
  decltype(&GetNewData) get_new_data = nullptr;
};

Exports g_exports;
constexpr char kHost[] = "web1";
constexpr char kUserData[] = "80|/.perf||";

std::string ProgramDirectory() {
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return ".";
  std::string text(path, static_cast<std::size_t>(length));
  return text.substr(0, text.rfind('/'));
}

bool LoadPlugin() {
  void* library = ::dlopen((ProgramDirectory() + "/libsarvik.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "export_bench: %s\n", ::dlerror());
    return false;
  }
  g_exports.init = reinterpret_cast<decltype(&InitMonitor)>(::dlsym(library, "InitMonitor"));
  g_exports.terminate = reinterpret_cast<decltype(&TerminateMonitor)>(::dlsym(library, "TerminateMonitor"));
  g_exports.activate = reinterpret_cast<decltype(&ActivateMeasurement)>(::dlsym(library, "ActivateMeasurement"));
  g_exports.deactivate =
      reinterpret_cast<decltype(&DeActivateMeasurement)>(::dlsym(library, "DeActivateMeasurement"));
  g_exports.get_new_data = reinterpret_cast<decltype(&GetNewData)>(::dlsym(library, "GetNewData"));
  return g_exports.init && g_exports.terminate && g_exports.activate && g_exports.deactivate &&
         g_exports.get_new_data;
}

bool Init() {
  std::int32_t status = 0;
  char message[1024] = "";
  if (g_exports.init(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message) != 0) {
    std::fprintf(stderr, "export_bench: InitMonitor failed: %s\n", message);
    return false;
  }
  return true;
}

// The sample statistics page behind enough busy-thread lines to make an 8 KB copy: the counters are read
// near its end.
bool WriteEightKilobytePage(const std::string& path) {
  std::ifstream in(std::string(SARVIK_SOURCE_DIR) + "/dat/samples/perfdump.txt");
  std::stringstream sample;
  sample << in.rdbuf();
  if (sample.str().empty()) return false;
  std::string page;
  while (page.size() + sample.str().size() < 8000) {
    page += "Process 12345 busy 192.0.2.17 0 https-demo GET /catalogue/items?page=42 service-dump\n";
  }
  std::ofstream out(path);
  out << page << sample.str();
  return static_cast<bool>(out);
}

void BM_InitMonitor(benchmark::State& state) {
  for (auto _ : state) {
    if (!Init()) {
      state.SkipWithError("InitMonitor failed");
      return;
    }
    state.PauseTiming();
    g_exports.terminate();
    state.ResumeTiming();
  }
}

void BM_TerminateMonitor(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    if (!Init()) {
      state.SkipWithError("InitMonitor failed");
      return;
    }
    state.ResumeTiming();
    g_exports.terminate();
  }
}

void RunGetNewData(benchmark::State& state, const char* measurement) {
  char message[1024] = "";
  if (!Init() || g_exports.activate(measurement, kHost, kUserData, message, sizeof message) != 0) {
    state.SkipWithError("InitMonitor or ActivateMeasurement failed");
    g_exports.terminate();
    return;
  }
  // Wait for the first copy of the dump file.
  ReadingRecord reading{};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int result = 1;
  while ((result = g_exports.get_new_data(measurement, kHost, &reading, message, sizeof message)) == 1 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (result != 0) {
    state.SkipWithError("no reading from the dump file");
  } else {
    for (auto _ : state) {
      benchmark::DoNotOptimize(g_exports.get_new_data(measurement, kHost, &reading, message, sizeof message));
      benchmark::DoNotOptimize(reading);
    }
  }
  g_exports.deactivate(measurement, kHost, message, sizeof message);
  g_exports.terminate();
}

void BM_GetNewDataPattern(benchmark::State& state) { RunGetNewData(state, "Total number of requests:"); }
void BM_GetNewDataTableCell(benchmark::State& state) { RunGetNewData(state, "vs1 Requests"); }

}  // namespace

BENCHMARK(BM_InitMonitor)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_TerminateMonitor)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_GetNewDataPattern);
BENCHMARK(BM_GetNewDataTableCell);

int main(int argc, char** argv) {
  if (!LoadPlugin()) return 2;
  const std::string page = "/tmp/sarvik-export-bench-page-" + std::to_string(::getpid()) + ".txt";
  if (!WriteEightKilobytePage(page)) {
    std::fprintf(stderr, "export_bench: cannot write the 8 KB page from %s/dat/samples\n", SARVIK_SOURCE_DIR);
    return 2;
  }
  ::setenv("QOR_NS_MON_FILE", page.c_str(), 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(page.c_str());
  return 0;
}
