// sarvik-host.exe end to end under Wine: the staged Windows host started as a Windows process,
// as an operator starts it, with its output and errors captured to files. It loads the staged
// sarvik.dll beside it and reads the Linux sarvik-statserver on 127.0.0.1.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "tests/child_process.h"
#include "tests/csv_text.h"
#include "tests/test_files.h"
#include "tests/windows/command_line_word.h"

namespace {

constexpr DWORD kHostDeadlineMs = 90000;

std::string HostProgram() { return Staged("bin/sarvik-host.exe"); }

struct Finished {
  int status = -1;  // the exit code; -1 when the host did not end in time (it is ended then)
  std::string out;
  std::string err;
};

// sarvik-host.exe started with `arguments`, its standard input empty, its output and errors in
// files of a directory of its own. It is ended when the holder goes, if it has not ended by then.
class HostProcess {
 public:
  explicit HostProcess(const std::vector<std::string>& arguments) {
    SECURITY_ATTRIBUTES inherited{};
    inherited.nLength = sizeof inherited;
    inherited.bInheritHandle = TRUE;
    const auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
      return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE input = open("NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE output = open(OutputPath(), GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE errors = open(ErrorsPath(), GENERIC_WRITE, CREATE_ALWAYS);
    if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE || errors == INVALID_HANDLE_VALUE) {
      failure_ = "(test: cannot open the host's standard streams)";
    } else {
      std::string command = CommandLineWord(HostProgram());
      for (const std::string& argument : arguments) command += " " + CommandLineWord(argument);
      STARTUPINFOA startup{};
      startup.cb = sizeof startup;
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = input;
      startup.hStdOutput = output;
      startup.hStdError = errors;
      PROCESS_INFORMATION process{};
      if (CreateProcessA(HostProgram().c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                         &startup, &process)) {
        CloseHandle(process.hThread);
        process_ = process.hProcess;
      } else {
        failure_ = "(test: cannot start " + HostProgram() + ": error " + std::to_string(GetLastError()) + ")";
      }
    }
    for (const HANDLE handle : {input, output, errors}) {
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
  }

  ~HostProcess() {
    if (process_ == nullptr) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  // Waits up to kHostDeadlineMs for the host to end, then reads what it wrote; a host that has
  // not ended by then is ended.
  Finished Wait() {
    Finished finished;
    finished.err = failure_;
    if (process_ != nullptr) {
      if (WaitForSingleObject(process_, kHostDeadlineMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(process_, &code)) finished.status = static_cast<int>(code);
      } else {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
        finished.err = "(test: the host did not end within " + std::to_string(kHostDeadlineMs / 1000) + " s)\n";
      }
    }
    finished.out = ReadText(OutputPath());
    finished.err += ReadText(ErrorsPath());
    return finished;
  }

 private:
  std::string OutputPath() const { return directory_.path() + "/out"; }
  std::string ErrorsPath() const { return directory_.path() + "/err"; }

  TemporaryDirectory directory_;
  HANDLE process_ = nullptr;
  std::string failure_;
};

// Runs sarvik-host.exe with `arguments` until it ends (at most kHostDeadlineMs).
Finished RunHost(const std::vector<std::string>& arguments) { return HostProcess(arguments).Wait(); }

TEST(HostExeTest, CollectionPrintsThePlugInsDocument) {
  const Finished run = RunHost({"collection", "web1"});
  ASSERT_EQ(0, run.status) << run.err;
  // The document as the plug-in wrote it: its line feeds are not turned into CR LF.
  EXPECT_EQ(0u, run.out.find("<?xml version=\"1.0\" ?>\n<PerformanceMonitor>\n")) << run.out.substr(0, 200);
  EXPECT_EQ(std::string::npos, run.out.find('\r'));
  EXPECT_EQ(29u, Count(run.out, "<counter id=\""));
  EXPECT_NE(std::string::npos, run.out.find("<counter id=\"KeepAliveHits\" name=\"Keep-Alive Hits per Second\""));
  EXPECT_NE(std::string::npos, run.out.find("<prop name=\"port\"><value>80</value></prop>"));
  EXPECT_NE(std::string::npos, run.out.find("<prop name=\"URL\"><value>/.perf</value></prop>"));
  EXPECT_EQ("", run.err);
}

TEST(HostExeTest, UserDataIsComposedByThePlugIn) {
  Finished run = RunHost({"userdata", "web1:8080", "--login", "ops"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("8080|/.perf|ops|\n", run.out) << "the port of HOST:PORT, the URL of the configuration";

  run = RunHost({"userdata", "web1", "--url", "/https-web1/.perf"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ("80|/https-web1/.perf||\n", run.out) << "the configuration's port";
}

TEST(HostExeTest, TestCommandReachesTheServerOrNamesTheFailure) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  Finished run = RunHost({"test", "127.0.0.1:" + std::to_string(statistics.port())});
  EXPECT_EQ(0, run.status) << run.out << run.err;
  EXPECT_EQ(0u, run.out.find("OK")) << run.out;

  const std::string refused = std::to_string(UnusedPort());
  run = RunHost({"test", "127.0.0.1", "--port", refused});
  EXPECT_EQ(1, run.status) << run.out << run.err;
  EXPECT_NE(0u, run.out.find("OK")) << run.out;
  EXPECT_FALSE(run.out.empty());
}

TEST(HostExeTest, MonitorPrintsTheServersReadingsAsCsv) {
  StatisticsServer statistics({"--interval", "200"});
  ASSERT_TRUE(statistics.started());
  const int port = statistics.port();
  // Twenty files are served before the host starts: the server's file cache holds them.
  constexpr int kFiles = 20;
  for (int i = 0; i < kFiles; ++i) ASSERT_TRUE(SendLoadRequest(port, "/files/page-" + std::to_string(i) + ".html"));

  const std::string target = "127.0.0.1:" + std::to_string(port);
  const Finished run = RunHost({"monitor", target, "--counter", "Total number of requests:", "--counter",
                                "File Cache Entries", "--interval", "1", "--duration", "3", "--format", "csv"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("2 measurements deactivated")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find(" 0 errors;")) << run.err;

  ASSERT_EQ(0u, run.out.find("polled,time,since,host,counter,label,kind,value,unit,status,result,message\n"))
      << run.out;
  EXPECT_EQ(std::string::npos, run.out.find('\r'));
  const auto records = CsvRecords(run.out);
  int rates = 0;
  int values = 0;
  std::string last_entries;
  for (const auto& record : records) {
    ASSERT_EQ(12u, record.size()) << run.out;
    EXPECT_EQ(target, record.at("host"));
    EXPECT_NE("error", record.at("status")) << record.at("message");
    if (record.at("status") != "new" && record.at("status") != "first") continue;
    EXPECT_EQ("0", record.at("result"));
    EXPECT_FALSE(record.at("time").empty());
    if (record.at("counter") == "Total number of requests:") {
      ++rates;
      EXPECT_EQ("rate", record.at("kind"));
      EXPECT_EQ("Requests per Second", record.at("label"));
    } else {
      ++values;
      EXPECT_EQ("File Cache Entries", record.at("counter"));
      EXPECT_EQ("value", record.at("kind"));
      last_entries = record.at("value");
    }
  }
  EXPECT_GE(rates, 1) << run.out;
  EXPECT_GE(values, 1) << run.out;
  EXPECT_EQ(std::to_string(kFiles), last_entries) << run.out;
}

TEST(HostExeTest, WhatTheWindowsEditionLeavesOutIsRefusedClearly) {
  Finished run = RunHost({"monitor", "127.0.0.1:9", "--all", "--listen", "127.0.0.1:0"});
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("--listen: the metrics endpoint is not part of the Windows edition"))
      << run.err;

  run = RunHost({"demo", "--duration", "1"});
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("the demo is not part of the Windows edition")) << run.err;

  run = RunHost({"discover", "127.0.0.1:9"});
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("discover is not part of the Windows edition")) << run.err;
}

TEST(HostExeTest, APlugInThatCannotBeLoadedIsNamed) {
  // A file that is no library, and one that is not there.
  const std::string not_a_library = Staged("dat/monitors/Netscape.cfg");
  Finished run = RunHost({"collection", "web1", "--plugin", not_a_library});
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("cannot load the plug-in " + not_a_library)) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("sarvik.dll of this build")) << run.err;

  run = RunHost({"collection", "web1", "--plugin", Staged("bin/missing.dll")});
  EXPECT_EQ(2, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("cannot find the plug-in")) << run.err;
}

}  // namespace
