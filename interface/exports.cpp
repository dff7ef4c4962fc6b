// The exported functions: thin shims over the monitor that let nothing escape into the host.
#include <exception>

#include "monitor/monitor.h"
#include "interface/sarvik.h"
#include "platform/plinth.h"
#include "ui/dialog_view.h"

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

int TestMachine(const char* host, const char* user_data, char* message, int32_t message_size) {
  return Shielded([&] { return Monitor::Instance().TestMachine(host, user_data, message, message_size); }, 1,
                  message, message_size);
}

int BrowseMonitor(void*, const char* host, CounterDefinition** selection, int32_t* count, char* message,
                  int32_t message_size) {
  return Shielded(
      [&] {
        return Monitor::Instance().BrowseMonitor(host, selection, count, message, message_size,
                                                 PlatformDialogToolkit());
      },
      2, message, message_size);
}

void CancelAdd(void) {}

int ActivateMeasurement(const char* measurement, const char* host, const char* user_data, char* message,
                        int32_t message_size) {
  return Shielded(
      [&] { return Monitor::Instance().ActivateMeasurement(measurement, host, user_data, message, message_size); }, 8,
      message, message_size);
}

int DeActivateMeasurement(const char* measurement, const char* host, char* message, int32_t message_size) {
  return Shielded([&] { return Monitor::Instance().DeActivateMeasurement(measurement, host, message, message_size); },
                  8, message, message_size);
}

int GetNewData(const char* measurement, const char* host, ReadingRecord* reading, char* message,
               int32_t message_size) {
  return Shielded(
      [&] { return Monitor::Instance().GetNewData(measurement, host, reading, message, message_size); }, 8, message,
      message_size);
}

int GetMeasurementsCollection(const char* host, void*, char** document) {
  if (document == nullptr) return 0;
  *document = nullptr;
  return Shielded(
      [&] {
        *document = Monitor::Instance().GetMeasurementsCollection(host);
        return 0;
      },
      0);
}

int GetUserDataStr(const HostMachineRecord* machine, const char* document, char** user_data) {
  if (user_data == nullptr) return 1;
  *user_data = nullptr;
  return Shielded(
      [&] {
        *user_data = Monitor::Instance().GetUserDataStr(machine, document);
        return 1;
      },
      1);
}

void FreeMonitorStringAllocation(char** text) {
  if (text == nullptr) return;
  os_FreeText(*text);
  *text = nullptr;
}

}  // extern "C"
