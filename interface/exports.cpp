// The exported functions: thin shims over the monitor that let nothing escape into the host.
#include <exception>

#include "interface/monitor.h"
#include "interface/sarvik.h"
#include "platform/plinth.h"

namespace {

// Runs `body` and turns anything it throws (memory exhaustion above all) into `failure`, with
// a short text in the host's buffer when there is one.
template <typename Body, typename Result>
Result Shielded(Body body, Result failure, char* message = nullptr, int message_size = 0) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    os_strncpy(message, "iPlanet/Netscape monitor: out of memory.", message_size);
  } catch (...) {
    os_strncpy(message, "iPlanet/Netscape monitor: internal error.", message_size);
  }
  return failure;
}

}  // namespace

extern "C" {

int InitMonitor(void*, void*, void*, void*, int32_t* status, char* message, int32_t message_size) {
  return Shielded([&] { return Monitor::Instance().Init(status, message, message_size); }, 2, message,
                  message_size);
}

void TerminateMonitor(void) {
  Shielded(
      [] {
        Monitor::Instance().Terminate();
        return 0;
      },
      0);
}

int SetMonitorRate(uint32_t* rate) {
  return Shielded([&] { return Monitor::Instance().SetRate(rate); }, -1);
}

void FreeMonitorStringAllocation(char** text) {
  if (text == nullptr) return;
  os_FreeText(*text);
  *text = nullptr;
}

}  // extern "C"
