// The plug-in as the host sees it: libsarvik.so (sarvik.dll on Windows) loaded at run time and its
// exports resolved by name. The host reaches the plug-in only through these pointers and the
// records of interface/sarvik.h.
#pragma once

#include <string>

#include "interface/sarvik.h"

namespace sarvik_host {

struct PluginExports {
  decltype(&::InitMonitor) InitMonitor = nullptr;
  decltype(&::TerminateMonitor) TerminateMonitor = nullptr;
  decltype(&::SetMonitorRate) SetMonitorRate = nullptr;
  decltype(&::TestMachine) TestMachine = nullptr;
  decltype(&::GetMeasurementsCollection) GetMeasurementsCollection = nullptr;
  decltype(&::GetUserDataStr) GetUserDataStr = nullptr;
  decltype(&::ActivateMeasurement) ActivateMeasurement = nullptr;
  decltype(&::DeActivateMeasurement) DeActivateMeasurement = nullptr;
  decltype(&::GetNewData) GetNewData = nullptr;
  decltype(&::FreeMonitorStringAllocation) FreeMonitorStringAllocation = nullptr;
  // The dialog's exports are optional: null when the library has none.
  decltype(&::BrowseMonitor) BrowseMonitor = nullptr;
  decltype(&::CancelAdd) CancelAdd = nullptr;
};

// The directory of this program's executable, without a trailing separator; empty when it
// cannot be read.
std::string ExecutableDirectory();

// The plug-in beside the executable (libsarvik.so, or sarvik.dll on Windows): where it is looked
// for when no path is given.
std::string DefaultPluginPath();

// Loads the library at `path` and resolves every export. False with `*error` naming the library
// and what is missing (every required export it lacks) when it cannot be used. A loaded library
// stays loaded until the process ends.
[[nodiscard]] bool LoadPlugin(const std::string& path, PluginExports* exports, std::string* error);

}  // namespace sarvik_host
