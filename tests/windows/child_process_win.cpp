// The programs the tests start, for test programs that run under Wine: the statistics server and
// squid are the Linux programs, which Wine starts as Unix processes. Wine gives no handle for
// such a process, so each is started through a shell that first writes its process id to a file;
// the process is watched under /proc and stopped with kill(1), started the same way.
#include "tests/child_process.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/test_files.h"
#include "tests/windows/command_line_word.h"

namespace {

// Wine shows the Unix file system as drive Z:.
std::string WindowsPathOf(const std::string& unix_path) { return "Z:" + unix_path; }
std::string UnixPathOf(const std::string& windows_path) {
  const std::size_t drive = windows_path.rfind("Z:", 0) == 0 ? 2 : 0;
  std::string path;
  path.reserve(windows_path.size() - drive);
  for (std::size_t i = drive; i < windows_path.size(); ++i) path += windows_path[i] == '\\' ? '/' : windows_path[i];
  return path;
}

// A text as one word of the shell: in single quotes.
std::string ShellWord(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

// Runs `script` with /bin/sh as a Unix process; returns at once.
bool RunShell(const std::string& script) {
  std::string command = "/bin/sh -c " + CommandLineWord(script);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA("/bin/sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  return true;
}

// Runs `script` and waits up to `seconds` for it to end; true when it ended with status 0.
bool RunShellAndWait(const std::string& script, const std::string& scratch_directory, int seconds = 30) {
  static int serial = 0;
  const std::string done = scratch_directory + "/done-" + std::to_string(++serial);
  if (!RunShell("(" + script + "); echo $? > " + ShellWord(UnixPathOf(done)))) return false;
  std::string status;
  WaitFor([&] {
    status = ReadText(done);
    return !status.empty() && status.back() == '\n';
  }, seconds);
  return status == "0\n";
}

// Whether the Unix process `pid` exists and has not ended (a zombie has ended).
bool UnixProcessAlive(pid_t pid) {
  const std::string stat = ReadText(WindowsPathOf("/proc/" + std::to_string(pid) + "/stat"));
  if (stat.empty()) return false;
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

void SignalUnixProcess(pid_t pid, const char* signal) {
  RunShell(std::string("kill -") + signal + " " + std::to_string(pid) + " 2>/dev/null");
}

// Winsock, started once for the test program.
void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

bool CanConnect(int port) {
  StartWinsock();
  const SOCKET fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  closesocket(fd);
  return connected;
}

const std::string& ScratchDirectory() {
  static TemporaryDirectory scratch;
  return scratch.path();
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& output_path, const std::string& errors_path) {
  static int serial = 0;
  const std::string pid_file = ScratchDirectory() + "/pid-" + std::to_string(++serial);
  std::string script = "echo $$ > ";
  script += ShellWord(UnixPathOf(pid_file));
  script += "; exec ";
  script += ShellWord(program);
  for (const std::string& argument : arguments) {
    script += ' ';
    script += ShellWord(argument);
  }
  const std::string output = UnixPathOf(output_path);
  script += " </dev/null >>";
  script += ShellWord(output);
  script += " 2>>";
  script += ShellWord(errors_path.empty() ? output : UnixPathOf(errors_path));
  if (!RunShell(script)) return;
  WaitFor([&] {
    const std::string text = ReadText(pid_file);
    if (text.empty() || text.back() != '\n') return false;
    pid_ = static_cast<pid_t>(std::atoi(text.c_str()));
    return true;
  }, 30);
}

bool ChildProcess::Reap() {
  if (pid_ <= 0) return false;
  if (status_ >= 0) return true;
  if (UnixProcessAlive(pid_)) return false;
  // Wine does not hand over a Unix child's exit status.
  status_ = 0;
  return true;
}

void ChildProcess::Signal(int signal) const {
  if (running()) RunShell("kill -" + std::to_string(signal) + " " + std::to_string(pid_) + " 2>/dev/null");
}

bool ChildProcess::WaitForExit(int seconds) {
  if (pid_ <= 0) return false;
  return WaitFor([&] { return Reap(); }, seconds);
}

void ChildProcess::Stop() {
  if (!running()) return;
  SignalUnixProcess(pid_, "TERM");
  if (WaitForExit(5)) return;
  SignalUnixProcess(pid_, "KILL");
  WaitForExit(10);
  status_ = 128 + 9;
}

TemporaryDirectory::TemporaryDirectory() {
  // Under /tmp, which the Unix programs see at the same place.
  static int serial = 0;
  const std::string path =
      WindowsPathOf("/tmp/sarvik-wine-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial));
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (std::filesystem::create_directories(path, error)) path_ = path;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

StatisticsServer::StatisticsServer(const std::vector<std::string>& extra_arguments, int port) {
  const std::string port_file = directory_.path() + "/port";
  std::vector<std::string> arguments{"--port", std::to_string(port), "--port-file", UnixPathOf(port_file), "--duration", "300"};
  arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
  process_ = std::make_unique<ChildProcess>(SARVIK_STATSERVER, arguments, directory_.path() + "/statserver.log");
  WaitFor([&] {
    const std::string text = ReadText(port_file);
    port_ = text.empty() ? 0 : std::atoi(text.c_str());
    return port_ > 0;
  });
}

void StatisticsServer::Kill() {
  process_->Signal(9);  // SIGKILL, which the Windows headers do not name
  process_->Stop();
}

AuthenticatingProxy::AuthenticatingProxy() {
  const std::string& dir = directory_.path();
  const std::string unix_dir = UnixPathOf(dir);
  if (GetFileAttributesA(WindowsPathOf("/usr/sbin/squid").c_str()) == INVALID_FILE_ATTRIBUTES) return;
  // basic_ncsa_auth reads Apache's MD5 password format.
  if (!RunShellAndWait("printf 'user:%s\\n' \"$(openssl passwd -apr1 pw)\" > " + ShellWord(unix_dir + "/passwd"), dir)) {
    return;
  }
  const int port = UnusedPort();
  std::ofstream config(dir + "/squid.conf", std::ios::binary);
  config << "http_port 127.0.0.1:" << port << "\n"
         << "pid_filename " << unix_dir << "/squid.pid\n"
         << "logformat sarvik %ts %>a %Ss/%03>Hs %rm %ru %[un\n"
         << "access_log stdio:" << unix_dir << "/access.log sarvik\n"
         << "cache_log " << unix_dir << "/cache.log\n"
         << "cache_store_log none\n"
         << "strip_query_terms off\n"
         << "cache deny all\n"
         << "auth_param basic program /usr/lib/squid/basic_ncsa_auth " << unix_dir << "/passwd\n"
         << "auth_param basic realm sarvik\n"
         << "acl authenticated proxy_auth REQUIRED\n"
         << "http_access allow authenticated\n"
         << "http_access deny all\n"
         << "shutdown_lifetime 0 seconds\n"
         << "coredump_dir " << unix_dir << "\n";
  config.close();
  // squid drops to the proxy user, which must be able to write its logs.
  RunShellAndWait("chmod 755 " + ShellWord(unix_dir) + "; chown -R proxy " + ShellWord(unix_dir) + " 2>/dev/null; true",
                  dir);
  process_ = std::make_unique<ChildProcess>(
      "/usr/sbin/squid",
      std::vector<std::string>{"-N", "-n", "sarvikw" + std::to_string(GetCurrentProcessId()), "-f",
                               unix_dir + "/squid.conf"},
      dir + "/squid.out");
  if (WaitFor([&] { return CanConnect(port); }, 30)) port_ = port;
}

std::vector<std::string> AuthenticatingProxy::AccessLog() const {
  std::vector<std::string> lines;
  std::istringstream log(ReadText(directory_.path() + "/access.log"));
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

bool SendLoadRequest(int port, const std::string& path) {
  StartWinsock();
  const SOCKET fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd == INVALID_SOCKET) return false;
  const DWORD timeout_ms = 5000;
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms), sizeof timeout_ms);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool answered = false;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
      char buffer[4096];
      while (recv(fd, buffer, sizeof buffer, 0) > 0) answered = true;
    }
  }
  closesocket(fd);
  return answered;
}

int UnusedPort() {
  StartWinsock();
  const SOCKET fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(fd);
  return ntohs(address.sin_port);
}

bool WaitFor(const std::function<bool()>& condition, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}
