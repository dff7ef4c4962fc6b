// sarvik-statserver: serves a pushed iPlanet/Netscape statistics page on a loopback address. See --help.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tools/statserver/options.h"
#include "tools/statserver/server.h"

namespace {

// The stop pipe's write end, for the signal handler; set before the handlers are installed.
volatile sig_atomic_t g_stop_fd = -1;

extern "C" void OnStopSignal(int) {
  const int saved_errno = errno;
  const int fd = g_stop_fd;
  if (fd >= 0) {
    const char byte = 's';
    const ssize_t ignored = ::write(fd, &byte, 1);
    (void)ignored;
  }
  errno = saved_errno;
}

bool InstallSignalHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0 &&
         ::sigaction(SIGPIPE, &ignore, nullptr) == 0;
}

int Main(int argc, char** argv) {
  const statserver::CommandLine command_line =
      statserver::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (command_line.action) {
    case statserver::CommandLine::Action::kHelp:
      std::fputs(statserver::HelpText().c_str(), stdout);
      return 0;
    case statserver::CommandLine::Action::kVersion:
      std::printf("sarvik-statserver %s\n", statserver::kProgramVersion);
      return 0;
    case statserver::CommandLine::Action::kError:
      std::fprintf(stderr, "sarvik-statserver: %s\n", command_line.error.c_str());
      return 2;
    case statserver::CommandLine::Action::kRun:
    default:
      break;
  }

  statserver::StatServer server(command_line.options);
  std::string error;
  if (!server.Open(&error)) {
    std::fprintf(stderr, "sarvik-statserver: %s\n", error.c_str());
    return 1;
  }
  g_stop_fd = server.stop_write_fd();
  if (!InstallSignalHandlers()) {
    std::fprintf(stderr, "sarvik-statserver: cannot install the signal handlers\n");
    return 1;
  }
  std::printf("listening on %s\n", server.AddressText().c_str());
  std::fflush(stdout);
  if (!command_line.options.port_file.empty() &&
      !statserver::WritePortFile(command_line.options.port_file, server.port(), &error)) {
    std::fprintf(stderr, "sarvik-statserver: %s\n", error.c_str());
    return 1;
  }
  server.Run();
  g_stop_fd = -1;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "sarvik-statserver: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "sarvik-statserver: unexpected failure\n");
  }
  return 1;
}
