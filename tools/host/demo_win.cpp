// The Windows edition ships no statistics server and no load generator: the demo is refused with
// what to do instead.
#include <cstdio>

#include "tools/host/demo.h"
#include "tools/host/exit_codes.h"

namespace sarvik_host {

int RunDemo(const CommandLine& /*command_line*/, SignalWatch& /*signals*/) {
  std::fputs(
      "sarvik-host: demo: the demo is not part of the Windows edition (it starts sarvik-statserver and a load "
      "generator, which are built for Linux only); watch a running server instead: "
      "sarvik-host monitor HOST:PORT --all --format csv\n",
      stderr);
  return kExitUsage;
}

}  // namespace sarvik_host
