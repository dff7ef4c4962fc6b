// A program the host starts and owns (the demo's statistics server): it runs in its own process
// group (so a Ctrl-C on the terminal reaches the host, which stops it in order), with the
// signal mask the host had before it blocked its stop signals, with no input and its output
// thrown away (its errors reach the host's standard error), and dies with the host's thread
// that started it if the host is killed. It is stopped (SIGTERM, then SIGKILL) and reaped when
// its holder goes.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace sarvik_host {

class ChildProgram {
 public:
  // Starts `program` with `arguments`. Null with `*error` when it cannot be started.
  static std::unique_ptr<ChildProgram> Start(const std::string& program, const std::vector<std::string>& arguments,
                                             const sigset_t& mask, std::string* error);
  ~ChildProgram() { Stop(); }
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  pid_t pid() const { return pid_; }
  // True while the program has not ended (it is reaped when it has).
  bool Running();
  // Asks it to end (SIGTERM), waits up to two seconds, then kills it; reaps it. Safe to repeat.
  void Stop();

 private:
  explicit ChildProgram(pid_t pid) : pid_(pid) {}
  pid_t pid_;
};

}  // namespace sarvik_host
