// Starting a help viewer program for a help request.
//
// A viewer is started without a shell, with standard input, output and error on /dev/null and
// the signal mask and dispositions reset, and it is never waited for: the engine collects the
// viewers that have ended without blocking, at its next request and when it goes. An engine is
// used from one thread at a time (the binding's, see platform/help_engine.h).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/help_engine.h"

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

// The full argument vector (program first) that asks `viewer` for `request`.
std::vector<std::string> HelpViewerCommand(const HelpViewer& viewer, const HelpRequest& request);

// A help engine that starts `viewer` for each request.
std::unique_ptr<HelpEngine> MakeViewerHelpEngine(HelpViewer viewer);

// Starts `argv` (argv[0] a full path) without a shell, with standard input, output and error on
// /dev/null, the signal mask and dispositions reset, and returns its process id, or -1.
pid_t SpawnProgram(const std::vector<std::string>& argv);
