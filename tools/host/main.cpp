// sarvik-host: the reference host of the iPlanet/Netscape monitor plug-in. See --help.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/host/commands.h"
#include "tools/host/exit_codes.h"
#include "tools/host/options.h"
#include "tools/host/signal_watch.h"
#include "tools/host/standard_streams.h"

namespace {

int Main(int argc, char** argv) {
  sarvik_host::PrepareStandardStreams();
  // Before any thread starts, so that every thread keeps the stop signals blocked.
  sarvik_host::SignalWatch signals;
  const sarvik_host::CommandLine command_line =
      sarvik_host::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (command_line.action) {
    case sarvik_host::CommandLine::Action::kHelp:
      std::fputs(sarvik_host::HelpText(command_line.command).c_str(), stdout);
      return sarvik_host::kExitSuccess;
    case sarvik_host::CommandLine::Action::kVersion:
      std::printf("%s\n", sarvik_host::VersionText().c_str());
      return sarvik_host::kExitSuccess;
    case sarvik_host::CommandLine::Action::kError:
      std::fprintf(stderr, "sarvik-host: %s\n", command_line.error.c_str());
      return sarvik_host::kExitUsage;
    case sarvik_host::CommandLine::Action::kRun:
    default:
      return sarvik_host::RunCommand(command_line, signals);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Our code throws nothing; this catches what the standard library may (std::bad_alloc).
  try {
    return Main(argc, argv);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "sarvik-host: unexpected failure: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "sarvik-host: unexpected failure\n");
  }
  return sarvik_host::kExitUsage;
}
