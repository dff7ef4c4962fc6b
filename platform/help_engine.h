// The help engine: the program that shows a topic of the product's compiled help files.
//
// The binding finds and loads an engine at the first help request of the process and keeps it
// for every later one; when that fails it remembers the failure and never tries again, and every
// later request ends without a word. The process's binding loads the platform's engine
// (LoadPlatformHelpEngine below); tests give it a loader of their own.
//
// The binding is used from the one thread that shows the dialog; it has no lock.
#pragma once

#include <functional>
#include <memory>
#include <string>

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

// The binding of this process, over the platform's engine.
HelpEngineBinding& TheHelpEngineBinding();

// Finds and loads the platform's engine: the desktop's help viewer on Linux
// (platform/help_viewer_finder.cpp), the HTML Help engine on Windows (platform/help_engine_win.cpp).
// Null when none can be had. The binding calls it at most once.
std::unique_ptr<HelpEngine> LoadPlatformHelpEngine();

// Replaces the binding of this process by a fresh, empty one over `loader`; a null loader
// restores the platform's. Tests only.
void TEST_ResetHelpEngineBinding(HelpEngineLoader loader);
