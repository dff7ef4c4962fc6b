// End-to-end tests run inside a temporary install tree, as the host program would:
//   <tree>/bin/<this test program>  <tree>/bin/libsarvik.so
//   <tree>/dat/monitors/Netscape.cfg  <tree>/dat/tq_mon_http_msgs.e2
// main() builds the tree from the staged build, runs a copy of itself from <tree>/bin, and
// removes the tree when that copy ends.
#pragma once

#include <string>

#include "interface/sarvik.h"

// The root of the install tree the tests run in.
const std::string& TreeRoot();

// Writes `contents` to the file `relative_path` under the tree (replacing it).
void WriteTreeFile(const std::string& relative_path, const std::string& contents);

// Puts back the staged default of `relative_path` ("dat/monitors/Netscape.cfg", ...).
void RestoreTreeFile(const std::string& relative_path);

// The exports of the plug-in, loaded with dlopen from <tree>/bin/libsarvik.so.
struct Plugin {
  decltype(&::InitMonitor) InitMonitor;
  decltype(&::TerminateMonitor) TerminateMonitor;
  decltype(&::SetMonitorRate) SetMonitorRate;
  decltype(&::TestMachine) TestMachine;
  decltype(&::GetMeasurementsCollection) GetMeasurementsCollection;
  decltype(&::GetUserDataStr) GetUserDataStr;
  decltype(&::ActivateMeasurement) ActivateMeasurement;
  decltype(&::DeActivateMeasurement) DeActivateMeasurement;
  decltype(&::GetNewData) GetNewData;
  decltype(&::FreeMonitorStringAllocation) FreeMonitorStringAllocation;
  decltype(&::BrowseMonitor) BrowseMonitor;
  decltype(&::CancelAdd) CancelAdd;
};

// The loaded plug-in; loading failures end the test program.
const Plugin& ThePlugin();
