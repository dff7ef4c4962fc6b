// The Windows edition has no discover command: it reads the statistics page itself over libcurl,
// which this edition does not carry. It is refused with what to do instead.
#include <cstdio>

#include "tools/host/discover_command.h"
#include "tools/host/exit_codes.h"

namespace sarvik_host {

int RunDiscover(const CommandLine& /*command_line*/, SignalWatch& /*signals*/) {
  std::fputs(
      "sarvik-host: discover: discover is not part of the Windows edition (it reads the statistics page over "
      "libcurl); run it with the Linux sarvik-host and copy the sections it writes into dat\\monitors\\Netscape.cfg\n",
      stderr);
  return kExitUsage;
}

}  // namespace sarvik_host
