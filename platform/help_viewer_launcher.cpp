#include "platform/help_viewer_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

class ViewerHelpEngine final : public HelpEngine {
 public:
  explicit ViewerHelpEngine(HelpViewer viewer) : viewer_(std::move(viewer)) {}
  ~ViewerHelpEngine() override { ReapEnded(); }
  ViewerHelpEngine(const ViewerHelpEngine&) = delete;
  ViewerHelpEngine& operator=(const ViewerHelpEngine&) = delete;

  void Show(const HelpRequest& request) override {
    ReapEnded();
    const pid_t child = SpawnProgram(HelpViewerCommand(viewer_, request));
    if (child > 0) children_.push_back(child);
  }

 private:
  // Collects the viewers that have ended; never waits for one that runs.
  void ReapEnded() {
    std::erase_if(children_, [](pid_t child) {
      int status = 0;
      const pid_t result = waitpid(child, &status, WNOHANG);
      // 0: still running. -1: someone else reaped it (ECHILD); forget it.
      return result != 0;
    });
  }

  const HelpViewer viewer_;
  std::vector<pid_t> children_;
};

}  // namespace

std::vector<std::string> HelpViewerCommand(const HelpViewer& viewer, const HelpRequest& request) {
  std::vector<std::string> command{viewer.program};
  bool placed_file = false;
  for (const std::string& argument : viewer.arguments) {
    if (argument != "%f") {
      command.push_back(argument);
      continue;
    }
    if (viewer.topic == HelpViewer::Topic::kContextOption && request.command == kHelpCommandContext) {
      command.push_back("--contextid=" + std::to_string(request.context));
    } else if (viewer.topic == HelpViewer::Topic::kPageOption && !request.page.empty()) {
      command.push_back("-showPage");
      command.push_back(request.page);
    }
    command.push_back(request.help_file);
    placed_file = true;
  }
  if (!placed_file) command.push_back(request.help_file);
  return command;
}

std::unique_ptr<HelpEngine> MakeViewerHelpEngine(HelpViewer viewer) {
  return std::make_unique<ViewerHelpEngine>(std::move(viewer));
}

pid_t SpawnProgram(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  // The host may ignore signals (SIGPIPE above all); the viewer starts with the defaults.
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  pid_t child = -1;
  const int result = posix_spawn(&child, pointers[0], &actions, &attributes, pointers.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result == 0 ? child : -1;
}
