// Online help of the dialogs: the product's compiled help file beside the host program, opened
// at a topic through the process's help engine binding (platform/help_engine.h).
#pragma once

#include <string>

#include "platform/process.h"

// The help context of the "Add Measurements" dialog's topic.
inline constexpr int kAddMeasurementsHelpContext = 1068;

// The help file of `edition` for the host program at `executable_path`, or empty when the path
// has no directory part to take. The light installation of the product (environment variable
// QOR_RESMON_LIGHT set, whatever its value) keeps it in "<directory>/../help/", the full one in
// "<directory>/": "Help.chm" and "online.chm" for English, the same names in a folder "zh_CN"
// there for Simplified Chinese. The path is not normalised.
std::string HelpFilePath(const std::string& executable_path, bool light_edition, Edition edition = Edition::kEnglish);

// What became of a help request.
enum class HelpOutcome {
  kRequested,     // the help engine took the request (what it shows is its own affair)
  kNoHelpEngine,  // no help engine could be had; this is the first request to find that out
  kNotShown,      // nothing was asked: the host program's path is unknown, or no engine was
                  // had at an earlier request
};

// Shows topic `context` of the help file for the host program, as decided anew at each call;
// the help window has no owner. The file is that of the process's edition (CurrentEdition);
// the Chinese edition falls back on the English file when its own is not there. The engine is
// loaded at the first request; when that fails the outcome says so once, and every later
// request is kNotShown without another attempt.
HelpOutcome OpenHelpTopic(int context);
