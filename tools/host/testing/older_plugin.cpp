// A plug-in library of another build, for the host's tests: it exports the monitor's start and
// end but none of the functions that later builds added, so a host must refuse it by name.
#include <cstdint>

extern "C" {

__attribute__((visibility("default"))) int InitMonitor(void*, void*, void*, void*, std::int32_t* status, char* message,
                                                       std::int32_t message_size) {
  if (status != nullptr) *status = 0;
  if (message != nullptr && message_size > 0) message[0] = '\0';
  return 0;
}

__attribute__((visibility("default"))) void TerminateMonitor() {}

}  // extern "C"
