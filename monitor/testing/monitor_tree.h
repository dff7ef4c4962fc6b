// A temporary install tree for a monitor under test, as a host program would stand in it:
//   <tree>/bin/host (the executable path the monitor sees), <tree>/dat/monitors/Netscape.cfg
//   with the given configuration, and <tree>/dat/tq_mon_http_msgs.e2 from the sources.
// The English edition is chosen, the dialog's remembered properties are forgotten, and both the
// tree and the executable path are put back when the holder goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/process.h"
#include "ui/browse.h"

class MonitorTree {
 public:
  explicit MonitorTree(const std::string& configuration) {
    setenv("LANG", "en_US.UTF-8", 1);
    unsetenv("LC_ALL");
    char pattern[] = "/tmp/sarvik-monitor-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return;
    path_ = pattern;
    std::filesystem::create_directories(path_ + "/bin");
    std::filesystem::create_directories(path_ + "/dat/monitors");
    std::ofstream(path_ + "/dat/monitors/Netscape.cfg") << configuration;
    std::filesystem::copy_file(std::string(SARVIK_SOURCE_DIR) + "/dat/tq_mon_http_msgs.e2",
                               path_ + "/dat/tq_mon_http_msgs.e2");
    TEST_SetExecutablePath(path_ + "/bin/host");
    TEST_ForgetRememberedProperties();
  }
  ~MonitorTree() {
    TEST_SetExecutablePath(std::nullopt);
    TEST_ForgetRememberedProperties();
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  MonitorTree(const MonitorTree&) = delete;
  MonitorTree& operator=(const MonitorTree&) = delete;

  // Empty when no temporary directory could be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};
