// The help engine: the program that shows a topic of the product's compiled help files.
//
// The binding finds and loads an engine at the first help request of the process and keeps it
// for every later one; when that fails it remembers the failure and never tries again, and every
// later request ends without a word. On the desktop the engine is a help viewer program: the
// desktop's registered handler for compiled help files, or else a known viewer on PATH. It is
// started without a shell and never waited for; the viewers that ended are reaped without
// blocking at the next request and when the engine goes.
//
// The binding is used from the one thread that shows the dialog; it has no lock.
#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The command of a help request that shows the topic of a context number.
inline constexpr int kHelpCommandContext = 15;

struct HelpRequest {
  std::string help_file;  // path of the compiled help file
  int command = kHelpCommandContext;
  int context = 0;        // the topic's context number, which the help file maps to its page
  std::string page;       // the topic's page, for viewers that address pages rather than numbers
};

// A loaded engine.
class HelpEngine {
 public:
  virtual ~HelpEngine() = default;
  // Hands `request` to the engine; no owner window, no waiting for the help window.
  virtual void Show(const HelpRequest& request) = 0;
};

// Finds and loads an engine; null when none can be had.
using HelpEngineLoader = std::function<std::unique_ptr<HelpEngine>()>;

class HelpEngineBinding {
 public:
  explicit HelpEngineBinding(HelpEngineLoader loader) : loader_(std::move(loader)) {}
  HelpEngineBinding(const HelpEngineBinding&) = delete;
  HelpEngineBinding& operator=(const HelpEngineBinding&) = delete;

  // Passes `request` to the engine, loading it first when none is loaded and no attempt has
  // failed. Returns whether an engine took the request.
  bool Call(const HelpRequest& request);

  bool failed() const { return failed_; }
  bool loaded() const { return engine_ != nullptr; }

 private:
  HelpEngineLoader loader_;
  std::unique_ptr<HelpEngine> engine_;
  bool failed_ = false;
};

// The binding of this process, over the desktop's help viewers.
HelpEngineBinding& TheHelpEngineBinding();

// Replaces the binding of this process by a fresh, empty one over `loader`; a null loader
// restores the desktop's. Tests only.
void TEST_ResetHelpEngineBinding(HelpEngineLoader loader);

// A help viewer program and how it is started.
struct HelpViewer {
  enum class Topic {
    kNone,           // shows the file from its start
    kContextOption,  // "--contextid=N" before the file
    kPageOption,     // "-showPage PAGE" before the file
  };
  std::string program;                 // full path
  std::vector<std::string> arguments;  // after the program; "%f" stands for the help file
  Topic topic = Topic::kNone;
};

// Where viewers are looked for.
struct HelpViewerSearch {
  std::vector<std::string> path;              // directories of programs, in order
  std::vector<std::string> application_dirs;  // directories of .desktop files, in order
};

// PATH, then $XDG_DATA_HOME/applications (default ~/.local/share) and each
// $XDG_DATA_DIRS/applications (default /usr/local/share:/usr/share).
HelpViewerSearch HelpViewerSearchFromEnvironment();

// The desktop's handler for compiled help files ("xdg-mime query default" for their types,
// then the Exec line of the .desktop file it names), else the first of xchm, kchmviewer and
// xdg-open found on the search path; nullopt when there is none.
std::optional<HelpViewer> FindHelpViewer(const HelpViewerSearch& search);

// The program's arguments from a .desktop file's Exec value: quoting and escapes resolved,
// %f %F %u %U become "%f" (once), %% becomes %, other field codes are dropped. The first
// element is the program as written. Empty when the value cannot be read.
std::vector<std::string> ParseDesktopExec(const std::string& exec);

// The full argument vector (program first) that asks `viewer` for `request`.
std::vector<std::string> HelpViewerCommand(const HelpViewer& viewer, const HelpRequest& request);

// A help engine that starts `viewer` for each request.
std::unique_ptr<HelpEngine> MakeViewerHelpEngine(HelpViewer viewer);

// Starts `argv` (argv[0] a full path) without a shell, with standard input, output and error on
// /dev/null, the signal mask and dispositions reset, and returns its process id, or -1.
pid_t SpawnProgram(const std::vector<std::string>& argv);
