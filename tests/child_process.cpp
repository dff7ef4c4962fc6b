#include "tests/child_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/test_files.h"

namespace {

bool CanConnect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return connected;
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& output_path, const std::string& errors_path) {
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    const int output = open(output_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int errors =
        errors_path.empty() ? output : open(errors_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int null = open("/dev/null", O_RDONLY);
    if (output < 0 || errors < 0 || null < 0) _exit(126);
    dup2(output, STDOUT_FILENO);
    dup2(errors, STDERR_FILENO);
    dup2(null, STDIN_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
}

bool ChildProcess::Reap() {
  if (pid_ <= 0) return false;
  if (status_ >= 0) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return true;
}

void ChildProcess::Signal(int signal) const {
  if (running()) kill(pid_, signal);
}

bool ChildProcess::WaitForExit(int seconds) {
  if (pid_ <= 0) return false;
  return WaitFor([&] { return Reap(); }, seconds);
}

void ChildProcess::Stop() {
  if (!running()) return;
  kill(pid_, SIGTERM);
  if (WaitForExit(5)) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  status_ = 128 + SIGKILL;
}

TemporaryDirectory::TemporaryDirectory() {
  char pattern[] = "/tmp/sarvik-net-XXXXXX";
  if (mkdtemp(pattern) != nullptr) path_ = pattern;
  chmod(path_.c_str(), 0755);
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

StatisticsServer::StatisticsServer(const std::vector<std::string>& extra_arguments, int port) {
  const std::string port_file = directory_.path() + "/port";
  std::vector<std::string> arguments{"--port", std::to_string(port), "--port-file", port_file, "--duration", "300"};
  arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
  process_ = std::make_unique<ChildProcess>(Staged("bin/sarvik-statserver"), arguments,
                                            directory_.path() + "/statserver.log");
  WaitFor([&] {
    const std::string text = ReadText(port_file);
    port_ = text.empty() ? 0 : std::atoi(text.c_str());
    return port_ > 0;
  });
}

void StatisticsServer::Kill() {
  process_->Signal(SIGKILL);
  process_->Stop();
}

AuthenticatingProxy::AuthenticatingProxy() {
  const std::string& dir = directory_.path();
  if (access("/usr/sbin/squid", X_OK) != 0) return;
  // basic_ncsa_auth reads Apache's MD5 password format.
  const std::string hash_command = "openssl passwd -apr1 pw > " + dir + "/hash";
  if (std::system(hash_command.c_str()) != 0) return;
  std::string hash = ReadText(dir + "/hash");
  while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
  std::ofstream(dir + "/passwd") << "user:" << hash << "\n";

  const int port = UnusedPort();
  std::ofstream config(dir + "/squid.conf");
  config << "http_port 127.0.0.1:" << port << "\n"
         << "pid_filename " << dir << "/squid.pid\n"
         << "logformat sarvik %ts %>a %Ss/%03>Hs %rm %ru %[un\n"
         << "access_log stdio:" << dir << "/access.log sarvik\n"
         << "cache_log " << dir << "/cache.log\n"
         << "cache_store_log none\n"
         << "strip_query_terms off\n"
         << "cache deny all\n"
         << "auth_param basic program /usr/lib/squid/basic_ncsa_auth " << dir << "/passwd\n"
         << "auth_param basic realm sarvik\n"
         << "acl authenticated proxy_auth REQUIRED\n"
         << "http_access allow authenticated\n"
         << "http_access deny all\n"
         << "shutdown_lifetime 0 seconds\n"
         << "coredump_dir " << dir << "\n";
  config.close();
  // squid drops to the proxy user, which must be able to write its logs.
  std::system(("chown -R proxy " + dir + " 2>/dev/null").c_str());
  process_ = std::make_unique<ChildProcess>(
      "/usr/sbin/squid",
      std::vector<std::string>{"-N", "-n", "sarvik" + std::to_string(getpid()), "-f", dir + "/squid.conf"},
      dir + "/squid.out");
  if (WaitFor([&] { return CanConnect(port); }, 30)) port_ = port;
}

std::vector<std::string> AuthenticatingProxy::AccessLog() const {
  std::vector<std::string> lines;
  std::istringstream log(ReadText(directory_.path() + "/access.log"));
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  return lines;
}

VirtualDisplay::VirtualDisplay() {
  if (access("/usr/bin/Xvfb", X_OK) != 0) return;
  const std::string number_file = directory_.path() + "/number";
  server_ = std::make_unique<ChildProcess>(
      "/usr/bin/Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
      number_file, directory_.path() + "/xvfb.log");
  // The server writes its display number and a line end once it accepts clients.
  WaitFor(
      [&] {
        const std::string number = ReadText(number_file);
        if (!number.empty() && number.back() == '\n') name_ = ":" + number.substr(0, number.size() - 1);
        return !name_.empty() || !server_->running();
      },
      60);
}

std::string VirtualDisplay::Xdotool(const std::string& arguments) const {
  const std::string command = "DISPLAY=" + name_ + " timeout 30 xdotool " + arguments + " 2>/dev/null";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    pclose(pipe);
  }
  return output;
}

bool SendLoadRequest(int port, const std::string& path) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool answered = false;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
      char buffer[4096];
      ssize_t got = 0;
      while ((got = recv(fd, buffer, sizeof buffer, 0)) > 0) answered = true;
    }
  }
  close(fd);
  return answered;
}

int UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
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
