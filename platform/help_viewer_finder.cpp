#include "platform/help_viewer_finder.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string_view>

#include "platform/plinth.h"
#include "platform/process.h"

extern char** environ;

namespace {

// The media types of compiled help files, as desktops register their handlers.
constexpr const char* kHelpFileTypes[] = {"application/vnd.ms-htmlhelp", "application/x-chm"};
// How long the desktop's type query may take before it is given up.
constexpr std::chrono::seconds kQueryBound{5};

bool IsExecutableFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

// `program` as a full path: itself when it has a '/', else the first executable of that name
// on the search path; empty when there is none.
std::string ResolveProgram(const std::string& program, const std::vector<std::string>& path) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return IsExecutableFile(program) ? program : std::string();
  for (const std::string& directory : path) {
    const std::string candidate = directory + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

HelpViewer::Topic TopicOfProgram(const std::string& program) {
  const std::string name = BaseName(program);
  if (name == "xchm") return HelpViewer::Topic::kContextOption;
  if (name == "kchmviewer") return HelpViewer::Topic::kPageOption;
  return HelpViewer::Topic::kNone;
}

// The first line that `argv` prints, or nullopt when it cannot be run or says nothing within the
// bound. Waits for the program to end (it is killed at the bound).
std::optional<std::string> FirstLineOf(const std::vector<std::string>& argv) {
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  pid_t child = -1;
  const int spawned = posix_spawn(&child, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  if (spawned != 0) {
    close(pipe_ends[0]);
    return std::nullopt;
  }

  std::string output;
  const auto deadline = std::chrono::steady_clock::now() + kQueryBound;
  bool finished = false;
  while (!finished && output.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd watch{pipe_ends[0], POLLIN, 0};
    const int ready = poll(&watch, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[512];
    const ssize_t got = read(pipe_ends[0], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) finished = true;
    else output.append(buffer, static_cast<std::size_t>(got));
  }
  close(pipe_ends[0]);
  if (!finished) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const std::size_t end = output.find('\n');
  std::string line = output.substr(0, end);
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (line.empty()) return std::nullopt;
  return line;
}

// The Exec value of the [Desktop Entry] group of the .desktop file at `path`, or empty.
std::string DesktopExec(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  bool in_entry = false;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      in_entry = line == "[Desktop Entry]";
      continue;
    }
    if (in_entry && line.rfind("Exec", 0) == 0) {
      std::size_t i = 4;
      while (i < line.size() && line[i] == ' ') ++i;
      if (i < line.size() && line[i] == '=') {
        ++i;
        while (i < line.size() && line[i] == ' ') ++i;
        return line.substr(i);
      }
    }
  }
  return {};
}

// The desktop's registered handler for compiled help files, when it can be started.
std::optional<HelpViewer> DesktopHandler(const HelpViewerSearch& search) {
  const std::string query = ResolveProgram("xdg-mime", search.path);
  if (query.empty()) return std::nullopt;
  for (const char* type : kHelpFileTypes) {
    const std::optional<std::string> desktop_id = FirstLineOf({query, "query", "default", type});
    if (!desktop_id || desktop_id->find('/') != std::string::npos) continue;
    for (const std::string& directory : search.application_dirs) {
      const std::string exec = DesktopExec(directory + "/" + *desktop_id);
      if (exec.empty()) continue;
      std::vector<std::string> arguments = ParseDesktopExec(exec);
      if (arguments.empty()) break;
      const std::string program = ResolveProgram(arguments.front(), search.path);
      if (program.empty()) break;
      arguments.erase(arguments.begin());
      return HelpViewer{program, std::move(arguments), TopicOfProgram(program)};
    }
  }
  return std::nullopt;
}

}  // namespace

HelpViewerSearch HelpViewerSearchFromEnvironment() {
  HelpViewerSearch search;
  search.path = SplitNonEmpty(GetEnvironment("PATH").value_or("/usr/local/bin:/usr/bin:/bin"), ':');
  std::string data_home = GetEnvironment("XDG_DATA_HOME").value_or("");
  if (data_home.empty()) {
    const std::string home = GetEnvironment("HOME").value_or("");
    if (!home.empty()) data_home = home + "/.local/share";
  }
  if (!data_home.empty()) search.application_dirs.push_back(data_home + "/applications");
  std::string data_dirs = GetEnvironment("XDG_DATA_DIRS").value_or("");
  if (data_dirs.empty()) data_dirs = "/usr/local/share:/usr/share";
  for (const std::string& directory : SplitNonEmpty(data_dirs, ':')) search.application_dirs.push_back(directory + "/applications");
  return search;
}

std::optional<HelpViewer> FindHelpViewer(const HelpViewerSearch& search) {
  if (std::optional<HelpViewer> handler = DesktopHandler(search)) return handler;
  for (const char* name : {"xchm", "kchmviewer", "xdg-open"}) {
    const std::string program = ResolveProgram(name, search.path);
    if (!program.empty()) return HelpViewer{program, {"%f"}, TopicOfProgram(program)};
  }
  return std::nullopt;
}

std::vector<std::string> ParseDesktopExec(const std::string& exec) {
  // Quoted arguments first: inside double quotes a backslash escapes ", `, $ and itself.
  std::vector<std::string> tokens;
  std::string token;
  bool in_token = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (c == '"') {
      in_token = true;
      for (++i; i < exec.size() && exec[i] != '"'; ++i) {
        if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
        token += exec[i];
      }
      if (i >= exec.size()) return {};  // an unterminated quote
    } else if (c == ' ' || c == '\t') {
      if (in_token) tokens.push_back(std::move(token));
      token.clear();
      in_token = false;
    } else {
      token += c;
      in_token = true;
    }
  }
  if (in_token) tokens.push_back(std::move(token));

  // Then the field codes.
  std::vector<std::string> arguments;
  bool has_file = false;
  for (const std::string& raw : tokens) {
    if (raw.size() == 2 && raw[0] == '%') {
      const char code = raw[1];
      if ((code == 'f' || code == 'F' || code == 'u' || code == 'U') && !has_file) {
        arguments.push_back("%f");
        has_file = true;
      }
      if (code != '%') continue;
    }
    std::string argument;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '%' && i + 1 < raw.size()) {
        if (raw[i + 1] == '%') argument += '%';
        ++i;
        continue;
      }
      argument += raw[i];
    }
    if (!argument.empty()) arguments.push_back(std::move(argument));
  }
  if (!arguments.empty() && !has_file) arguments.push_back("%f");
  return arguments;
}

// On the desktop the help engine is the viewer found for the help file's type.
std::unique_ptr<HelpEngine> LoadPlatformHelpEngine() {
  std::optional<HelpViewer> viewer = FindHelpViewer(HelpViewerSearchFromEnvironment());
  if (!viewer) return nullptr;
  return MakeViewerHelpEngine(std::move(*viewer));
}
