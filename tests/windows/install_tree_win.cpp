// The temporary install tree of the end-to-end tests on Windows: the same tree as on Linux, with
// sarvik.dll loaded through LoadLibrary and this program run again from the tree's bin folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/install_tree.h"
#include "tests/windows/command_line_word.h"

namespace {

constexpr char kTreeVariable[] = "SARVIK_E2E_TREE";
const char* const kStagedFiles[] = {"bin/sarvik.dll", "dat/monitors/Netscape.cfg", "dat/tq_mon_http_msgs.e2"};

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

std::string ThisProgram() {
  char path[MAX_PATH * 4] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) Fail("cannot find this program's path");
  return std::string(path, length);
}

// Builds the tree, runs this program again from inside it, and returns its exit code.
int RunInsideNewTree(int argc, char** argv) {
  char temporary[MAX_PATH] = {};
  if (GetTempPathA(sizeof temporary, temporary) == 0) Fail("no temporary folder");
  const std::filesystem::path tree =
      std::filesystem::path(temporary) / ("sarvik-e2e-" + std::to_string(GetCurrentProcessId()));
  std::error_code ignored;
  std::filesystem::remove_all(tree, ignored);
  const std::filesystem::path program = tree / "bin" / std::filesystem::path(ThisProgram()).filename();
  CopyFile(ThisProgram(), program);
  for (const char* file : kStagedFiles) CopyFile(std::filesystem::path(SARVIK_STAGE_DIR) / file, tree / file);

  SetEnvironmentVariableA(kTreeVariable, tree.string().c_str());
  std::string command = CommandLineWord(program.string());
  for (int i = 1; i < argc; ++i) command += " " + CommandLineWord(argv[i]);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(program.string().c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    Fail("cannot run " + program.string());
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 1;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::filesystem::remove_all(tree, ignored);
  return static_cast<int>(exit_code);
}

template <typename Function>
Function Resolve(HMODULE library, const char* name) {
  FARPROC symbol = GetProcAddress(library, name);
  if (symbol == nullptr) Fail(std::string("sarvik.dll does not export ") + name);
  return reinterpret_cast<Function>(reinterpret_cast<void*>(symbol));
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
    const std::string path = TreeRoot() + "\\bin\\sarvik.dll";
    const HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) Fail("cannot load " + path + ": error " + std::to_string(GetLastError()));
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
  if (!listing && std::getenv(kTreeVariable) == nullptr) return RunInsideNewTree(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
