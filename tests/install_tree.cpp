#include "tests/install_tree.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr char kTreeVariable[] = "SARVIK_E2E_TREE";
const char* const kStagedFiles[] = {"bin/libsarvik.so", "bin/sarvik-statserver", "dat/monitors/Netscape.cfg",
                                    "dat/tq_mon_http_msgs.e2"};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "end-to-end set-up: %s\n", what.c_str());
  std::exit(2);
}

void CopyFile(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  std::filesystem::create_directories(to.parent_path(), error);
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
  if (error) Fail("cannot copy " + from.string() + " to " + to.string() + ": " + error.message());
}

// Builds the tree, runs this program again from inside it, and returns its exit status.
int RunInsideNewTree(char** argv) {
  char pattern[] = "/tmp/sarvik-e2e-XXXXXX";
  if (mkdtemp(pattern) == nullptr) Fail("cannot create a temporary directory");
  const std::filesystem::path tree = pattern;
  const std::filesystem::path program = tree / "bin" / "sarvik-e2e-tests";
  CopyFile("/proc/self/exe", program);
  chmod(program.c_str(), 0755);
  for (const char* file : kStagedFiles) CopyFile(std::filesystem::path(SARVIK_STAGE_DIR) / file, tree / file);

  const pid_t child = fork();
  if (child < 0) Fail("cannot fork");
  if (child == 0) {
    setenv(kTreeVariable, tree.c_str(), 1);
    execv(program.c_str(), argv);
    std::perror("execv");
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  std::error_code ignored;
  std::filesystem::remove_all(tree, ignored);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

template <typename Function>
Function Resolve(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) Fail(std::string("libsarvik.so does not export ") + name);
  return reinterpret_cast<Function>(symbol);
}

}  // namespace

const std::string& TreeRoot() {
  static const std::string root = [] {
    const char* tree = std::getenv(kTreeVariable);
    if (tree == nullptr) Fail("not running inside an install tree");
    return std::string(tree);
  }();
  return root;
}

void WriteTreeFile(const std::string& relative_path, const std::string& contents) {
  std::ofstream file(TreeRoot() + "/" + relative_path, std::ios::binary | std::ios::trunc);
  file << contents;
  if (!file) Fail("cannot write " + relative_path);
}

void RestoreTreeFile(const std::string& relative_path) {
  CopyFile(std::filesystem::path(SARVIK_STAGE_DIR) / relative_path, TreeRoot() + "/" + relative_path);
}

const Plugin& ThePlugin() {
  static const Plugin plugin = [] {
    const std::string path = TreeRoot() + "/bin/libsarvik.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) Fail(std::string("cannot load ") + path + ": " + dlerror());
    Plugin loaded{};
    loaded.InitMonitor = Resolve<decltype(loaded.InitMonitor)>(library, "InitMonitor");
    loaded.TerminateMonitor = Resolve<decltype(loaded.TerminateMonitor)>(library, "TerminateMonitor");
    loaded.SetMonitorRate = Resolve<decltype(loaded.SetMonitorRate)>(library, "SetMonitorRate");
    loaded.TestMachine = Resolve<decltype(loaded.TestMachine)>(library, "TestMachine");
    loaded.GetMeasurementsCollection =
        Resolve<decltype(loaded.GetMeasurementsCollection)>(library, "GetMeasurementsCollection");
    loaded.GetUserDataStr = Resolve<decltype(loaded.GetUserDataStr)>(library, "GetUserDataStr");
    loaded.ActivateMeasurement = Resolve<decltype(loaded.ActivateMeasurement)>(library, "ActivateMeasurement");
    loaded.DeActivateMeasurement = Resolve<decltype(loaded.DeActivateMeasurement)>(library, "DeActivateMeasurement");
    loaded.GetNewData = Resolve<decltype(loaded.GetNewData)>(library, "GetNewData");
    loaded.FreeMonitorStringAllocation =
        Resolve<decltype(loaded.FreeMonitorStringAllocation)>(library, "FreeMonitorStringAllocation");
    loaded.BrowseMonitor = Resolve<decltype(loaded.BrowseMonitor)>(library, "BrowseMonitor");
    loaded.CancelAdd = Resolve<decltype(loaded.CancelAdd)>(library, "CancelAdd");
    return loaded;
  }();
  return plugin;
}

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::strcmp(argv[i], "--gtest_list_tests") == 0;
  if (!listing && std::getenv(kTreeVariable) == nullptr) return RunInsideNewTree(argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
