#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "tools/host/exit_codes.h"
#include "tools/host/watched_call.h"

namespace sarvik_host {

namespace {

// How often the watching thread looks whether the call has ended.
constexpr std::chrono::milliseconds kLookEvery(20);

}  // namespace

void CallWatched(SignalWatch& signals, const std::function<void()>& call) {
  std::atomic<bool> finished{false};
  std::thread worker([&call, &finished] {
    call();
    finished.store(true);
  });
  while (!finished.load()) {
    if (signals.Wait(kLookEvery) == 0) continue;
    const auto grace_end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!finished.load() && std::chrono::steady_clock::now() < grace_end) std::this_thread::sleep_for(kLookEvery);
    if (finished.load()) break;
    std::fflush(stdout);
    std::fputs("sarvik-host: interrupted while the plug-in was busy with a connection test; leaving without it\n",
               stderr);
    std::fflush(stderr);
    std::_Exit(kExitInterrupted);
  }
  worker.join();
}

}  // namespace sarvik_host
