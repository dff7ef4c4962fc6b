// The demo's load: one thread that sends real HTTP requests to statistics servers on
// 127.0.0.1, so that their counters move. The request rate swings slowly between about 15 and
// 65 requests a second; most requests reuse a kept-alive connection, some open a new one, a
// few go to the administration virtual server and a few are answered with an error.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace sarvik_host {

class LoadGenerator {
 public:
  // Starts sending to the loopback `ports` (server i gets i + 1 shares of the load).
  explicit LoadGenerator(std::vector<int> ports);
  // Stop().
  ~LoadGenerator();
  LoadGenerator(const LoadGenerator&) = delete;
  LoadGenerator& operator=(const LoadGenerator&) = delete;

  // Ends the thread and waits for it; safe to call twice.
  void Stop();

  // Requests answered so far.
  long answered() const { return answered_.load(); }

 private:
  // Requests per second `seconds` after the start.
  static double RateAt(double seconds);
  void Run();

  // Set before the thread starts; never changed.
  const std::vector<int> ports_;

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;  // guarded by mutex_
  std::atomic<long> answered_{0};
  std::thread thread_;  // last: starts when everything above is ready
};

}  // namespace sarvik_host
