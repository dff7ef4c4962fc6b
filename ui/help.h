// Online help of the dialogs: the product's compiled help file beside the host program, opened
// at a topic through the process's help engine binding (platform/help_engine.h).
#pragma once

#include <string>

// The help context of the "Add Measurements" dialog's topic.
inline constexpr int kAddMeasurementsHelpContext = 1068;

// The help file for the host program at `executable_path`: "<directory>/../help/Help.chm" for
// the light edition of the product (environment variable QOR_RESMON_LIGHT set, whatever its
// value), "<directory>/online.chm" otherwise. The path is not normalised.
std::string HelpFilePath(const std::string& executable_path, bool light_edition);

// Shows topic `context` of the help file for the host program, as decided anew at each call;
// the help window has no owner. Nothing happens, and nothing is reported, when the host
// program's path is unknown or no help engine can be had.
void OpenHelpTopic(int context);
