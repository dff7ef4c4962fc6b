// Finding the desktop's help viewer: the desktop's registered handler for compiled help files,
// or else a known viewer on the search path.
//
// Finding asks the desktop (xdg-mime) and waits for its answer for at most a few seconds; it
// reads .desktop files and looks at the search path, and changes nothing. Any thread may call
// these functions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/help_viewer_launcher.h"

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
