// The stop signals of the host: SIGINT, SIGTERM and SIGHUP are blocked in every thread and read
// from a signalfd by the thread that samples, so a signal never interrupts a call into the
// plug-in and never runs code of ours in a handler. SIGPIPE is ignored: a closed output shows
// as a failed write.
//
// Create the watch in main() before any thread starts (threads inherit the blocked mask), and
// use it from that thread only.
#pragma once

#include <signal.h>

#include <chrono>

namespace sarvik_host {

class SignalWatch {
 public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // Waits up to `timeout` for a stop signal, or for `other_fd` (when not -1) to become
  // readable. Returns the signal's number, or 0 (time out or `other_fd` readable; `*other_ready`
  // tells which when given). Once a stop signal came, returns it at once on every later call.
  int Wait(std::chrono::milliseconds timeout, int other_fd = -1, bool* other_ready = nullptr);

  // The stop signal received so far without waiting, or 0.
  int Poll() { return Wait(std::chrono::milliseconds(0)); }
  int received() const { return received_; }

  // The mask to give a child program before it executes: what the host had before the watch.
  const sigset_t& original_mask() const { return original_mask_; }

 private:
  int fd_ = -1;
  int received_ = 0;
  sigset_t original_mask_;
};

}  // namespace sarvik_host
