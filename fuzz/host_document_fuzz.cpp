// The host's description document: an arbitrary text read for the port and URL of a machine's
// user-data string, as ComposeUserData does when the host asks for it.
//
// Input: a byte that picks the machine record and the configuration (bit 0: every field of the
// record unterminated; bit 1: a configuration without server keys), then the document.
//
// Checks: the user-data string is at most 1023 characters, starts with the port, and, when not
// cut, ends with the record's login and password as the host wrote them; the document reader
// answers any path the monitor asks without failing on a loaded document.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "documents/host_document.h"
#include "documents/user_data.h"
#include "fuzz/fuzz_check.h"

namespace {

HostMachineRecord Machine(bool unterminated) {
  HostMachineRecord machine;
  if (unterminated) {
    std::memset(&machine, 'x', sizeof machine);
  } else {
    std::memset(&machine, 0, sizeof machine);
    std::strcpy(machine.host, "web1:8080");
    std::strcpy(machine.login, "admin");
    std::strcpy(machine.password, "secret");
  }
  return machine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const Profile kConfiguration = Profile::Parse("[Netscape]\nserverPort=81\ninfoURL=http://%s/.perf\n");
  static const Profile kEmpty = Profile::Parse("");
  const bool unterminated = (data[0] & 1) != 0;
  const Profile& configuration = (data[0] & 2) != 0 ? kEmpty : kConfiguration;
  const std::string_view document(reinterpret_cast<const char*>(data + 1), size - 1);

  const HostMachineRecord machine = Machine(unterminated);
  const std::string user_data = ComposeUserData(machine, document, configuration);
  FUZZ_CHECK(user_data.size() <= kUserDataCapacity - 1);
  FUZZ_CHECK(!user_data.empty());
  FUZZ_CHECK(user_data[0] == '-' || (user_data[0] >= '0' && user_data[0] <= '9'));
  const std::string login = unterminated ? std::string(129, 'x') : "admin";
  const std::string password = unterminated ? std::string(129, 'x') : "secret";
  const std::string tail = "|" + login + "|" + password;
  if (user_data.size() < kUserDataCapacity - 1) {
    FUZZ_CHECK(user_data.size() >= tail.size());
    FUZZ_CHECK(user_data.compare(user_data.size() - tail.size(), tail.size(), tail) == 0);
  }

  XmlDocReader reader;
  if (reader.LoadText(document)) {
    std::string value = "stale";
    for (const char* path : {"/PerformanceMonitor/monitorData/prop[@name='port']",
                             "/PerformanceMonitor/monitorData/prop[@name='URL']", "//prop", "/*"}) {
      FUZZ_CHECK(reader.ReadPropValue(path, &value));
    }
    FUZZ_CHECK(!reader.ReadPropValue("/[", &value) && value.empty());
  }
  return 0;
}
