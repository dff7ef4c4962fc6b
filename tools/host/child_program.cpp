#include "tools/host/child_program.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace sarvik_host {

std::unique_ptr<ChildProgram> ChildProgram::Start(const std::string& program, const std::vector<std::string>& arguments,
                                                  const sigset_t& mask, std::string* error) {
  if (access(program.c_str(), X_OK) != 0) {
    *error = "cannot run " + program + ": " + std::strerror(errno);
    return nullptr;
  }
  // Everything the child needs is prepared before the fork: after it, only async-signal-safe calls.
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();

  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("cannot start ") + program + ": " + std::strerror(errno);
    return nullptr;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(SIGPIPE, &fallback, nullptr);
    sigprocmask(SIG_SETMASK, &mask, nullptr);
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      if (null > STDERR_FILENO) close(null);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return std::unique_ptr<ChildProgram>(new ChildProgram(pid));
}

bool ChildProgram::Running() {
  if (pid_ <= 0) return false;
  if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

void ChildProgram::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    const pid_t ended = waitpid(pid_, nullptr, WNOHANG);
    if (ended == pid_ || (ended < 0 && errno == ECHILD)) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid_, SIGKILL);
  while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

}  // namespace sarvik_host
