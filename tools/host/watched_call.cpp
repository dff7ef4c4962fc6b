#include "tools/host/watched_call.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <thread>

#include "tools/host/exit_codes.h"

namespace sarvik_host {

void CallWatched(SignalWatch& signals, const std::function<void()>& call) {
  const int done = eventfd(0, EFD_CLOEXEC);
  if (done < 0) {
    call();
    return;
  }
  std::thread worker([&call, done] {
    call();
    const std::uint64_t one = 1;
    const ssize_t ignored = write(done, &one, sizeof one);
    (void)ignored;
  });
  bool finished = false;
  while (!finished) {
    const int signal = signals.Wait(std::chrono::milliseconds(60000), done, &finished);
    if (signal == 0) continue;
    pollfd watched{done, POLLIN, 0};
    if (poll(&watched, 1, 1000) > 0) break;
    std::fflush(stdout);
    std::fputs("sarvik-host: interrupted while the plug-in was busy with a connection test; leaving without it\n",
               stderr);
    std::fflush(stderr);
    _exit(ExitStatusOfSignal(signal));
  }
  worker.join();
  close(done);
}

}  // namespace sarvik_host
