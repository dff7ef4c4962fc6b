// The stop requests of a Windows console: Ctrl-C and Ctrl-Break, and the console window closed
// (or the user logging off, the system shutting down). The console's control handler runs on a
// thread of its own that Windows starts for each event; it only records the request and wakes
// the thread that samples, so no code of the host runs inside a call into the plug-in.
//
// The requests are given the numbers of the signals that mean the same on Linux, so that the
// session ends and exits the same way: Ctrl-C and Ctrl-Break are SIGINT (exit status 130),
// a closed console is SIGTERM. For a closed console Windows ends the process as soon as the
// handler returns, so the handler holds it until the watch is gone (the session has written its
// end) or for at most four seconds, within the five that Windows allows.
//
// There is no SIGPIPE on Windows: a closed output already shows as a failed write.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "tools/host/signal_watch.h"

namespace sarvik_host {

namespace {

constexpr DWORD kCloseGraceMs = 4000;

// One watch serves the process; the handler reaches it through these.
std::atomic<int> stop_request{0};
HANDLE stop_event = nullptr;      // set when a stop request came
HANDLE watch_ended = nullptr;     // set when the watch is gone

BOOL WINAPI OnConsoleControl(DWORD control) {
  int signal = 0;
  switch (control) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: signal = SIGINT; break;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: signal = SIGTERM; break;
    default: return FALSE;
  }
  int none = 0;
  stop_request.compare_exchange_strong(none, signal);
  if (stop_event != nullptr) SetEvent(stop_event);
  if (signal == SIGTERM && watch_ended != nullptr) WaitForSingleObject(watch_ended, kCloseGraceMs);
  return TRUE;
}

}  // namespace

SignalWatch::SignalWatch() : original_mask_() {
  if (stop_event == nullptr) stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (watch_ended == nullptr) watch_ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(watch_ended);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

SignalWatch::~SignalWatch() {
  // The handler stays installed: a Ctrl-C from now until the process ends is still not the
  // default ending, and a closed console waits no longer.
  if (watch_ended != nullptr) SetEvent(watch_ended);
}

int SignalWatch::Wait(std::chrono::milliseconds timeout, int other_fd, bool* other_ready) {
  if (other_ready != nullptr) *other_ready = false;
  if (received_ != 0) return received_;
  const auto wait_ms = static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, 1000000));
  // `other_fd` is a descriptor of the console's input (the keys of the live table): its handle
  // is signalled while input events wait.
  const HANDLE other = other_fd >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(other_fd)) : INVALID_HANDLE_VALUE;
  if (stop_event == nullptr) {
    Sleep(wait_ms);
  } else if (other == INVALID_HANDLE_VALUE) {
    WaitForSingleObject(stop_event, wait_ms);
  } else {
    const HANDLE watched[2] = {stop_event, other};
    const DWORD woken = WaitForMultipleObjects(2, watched, FALSE, wait_ms);
    received_ = stop_request.load();
    if (woken == WAIT_OBJECT_0 + 1 && received_ == 0 && other_ready != nullptr) *other_ready = true;
    return received_;
  }
  received_ = stop_request.load();
  return received_;
}

}  // namespace sarvik_host
