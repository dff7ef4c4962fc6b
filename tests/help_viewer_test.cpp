// The online help as the user meets it.
//
// The staged help files of both editions and both installations are read back with chmlib's
// extract_chmLib: context 1068 leads to the Add Measurements page of the file's own edition, and
// every topic of the contents is in the file. Then F1 in the real Qt dialog of the loaded plug-in
// (offscreen) opens xchm on a virtual display started by the test: its window is found with
// xdotool, photographed into test-artifacts/help-f1.png and closed. Without any viewer, the
// dialog says so once, and the next F1 stays silent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/child_process.h"
#include "tests/dialog_user.h"
#include "tests/install_tree.h"
#include "tests/test_files.h"

namespace {

using namespace std::chrono_literals;

constexpr char kConfig[] = "dat/monitors/Netscape.cfg";
constexpr char kSmallConfig[] =
    "[Netscape]\nCounters=2\ninfoURL=/.perf\nserverPort=81\n"
    "[0]\nCounter=Total number of requests:\nLabel=Requests\nDescription=Requests served.\n"
    "[1]\nCounter=Active Sessions\nLabel=Sessions\nDescription=Sessions open right now.\n";

// The help files as staged, relative to the stage (and install) tree.
constexpr const char* kHelpFiles[] = {"bin/online.chm", "help/Help.chm", "bin/zh_CN/online.chm",
                                      "help/zh_CN/Help.chm"};

// The full path of `name` on the search path, or empty.
std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream directories(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string directory; std::getline(directories, directory, ':');) {
    const std::string candidate = directory + "/" + name;
    if (!directory.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  for (const char* directory : {"/usr/bin", "/bin"}) {
    const std::string candidate = std::string(directory) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Runs `program` (found on the search path) with `arguments` to its end, bounded to a minute;
// its standard output, or nullopt when it could not run or failed.
std::optional<std::string> RunTool(const std::string& program, const std::vector<std::string>& arguments) {
  const std::string path = Which(program);
  if (path.empty()) {
    ADD_FAILURE() << program << " is not installed (./sarvik test installs it)";
    return std::nullopt;
  }
  TemporaryDirectory scratch;
  const std::string output = scratch.path() + "/output";
  ChildProcess child(path, arguments, output, scratch.path() + "/errors");
  if (!child.WaitForExit(60) || child.exit_status() != 0) return std::nullopt;
  return ReadText(output);
}

std::uint32_t Dword(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes.at(offset + i));
  return value;
}

// A help file taken apart by chmlib.
class ExtractedHelp {
 public:
  explicit ExtractedHelp(const std::string& chm) {
    extracted_ = RunTool("extract_chmLib", {chm, directory_.path() + "/files"}).has_value();
  }
  bool extracted() const { return extracted_; }
  std::string File(const std::string& name) const { return ReadText(directory_.path() + "/files/" + name); }
  bool Has(const std::string& name) const { return std::filesystem::is_regular_file(directory_.path() + "/files/" + name); }

  // The page that the context map (#IVB into #STRINGS) gives for `context`; empty when none.
  std::string PageOfContext(std::uint32_t context) const {
    const std::string map = File("#IVB");
    const std::string strings = File("#STRINGS");
    if (map.size() < 4) return {};
    const std::uint32_t size = Dword(map, 0);
    for (std::size_t at = 4; at + 8 <= map.size() && at + 8 <= 4 + size; at += 8) {
      if (Dword(map, at) != context) continue;
      const std::uint32_t offset = Dword(map, at + 4);
      if (offset >= strings.size()) return {};
      return std::string(strings.c_str() + offset);
    }
    return {};
  }

  // The language of the file (record 4 of #SYSTEM), or 0.
  std::uint32_t Language() const {
    const std::string system = File("#SYSTEM");
    for (std::size_t at = 4; at + 4 <= system.size();) {
      const unsigned code = static_cast<unsigned char>(system[at]) | static_cast<unsigned char>(system[at + 1]) << 8;
      const unsigned length =
          static_cast<unsigned char>(system[at + 2]) | static_cast<unsigned char>(system[at + 3]) << 8;
      if (code == 4 && length >= 4 && at + 8 <= system.size()) return Dword(system, at + 4);
      at += 4 + length;
    }
    return 0;
  }

 private:
  TemporaryDirectory directory_;
  bool extracted_ = false;
};

std::string TitleOf(const std::string& page) {
  const std::size_t start = page.find("<title>");
  const std::size_t end = page.find("</title>");
  if (start == std::string::npos || end == std::string::npos || end < start) return {};
  return page.substr(start + 7, end - start - 7);
}

TEST(HelpFileTest, EveryHelpFileMapsTheDialogsContextToItsPageInItsEdition) {
  for (const char* relative : kHelpFiles) {
    SCOPED_TRACE(relative);
    const bool chinese = std::strstr(relative, "zh_CN") != nullptr;
    ExtractedHelp help(std::string(SARVIK_STAGE_DIR) + "/" + relative);
    ASSERT_TRUE(help.extracted());
    EXPECT_EQ("CL_NETSCAPE_MEASUREMENTS.htm", help.PageOfContext(1068));
    EXPECT_EQ("", help.PageOfContext(1069)) << "only the dialog's context is mapped";
    const std::string page = help.File("CL_NETSCAPE_MEASUREMENTS.htm");
    EXPECT_EQ(chinese ? "添加度量" : "Add Measurements", TitleOf(page));
    EXPECT_NE(std::string::npos, page.find(chinese ? "登录名称" : "Login")) << "the page explains the fields";
    EXPECT_EQ(chinese ? 0x804u : 0x409u, help.Language());
    // Every topic of the contents is in the file, each page with a title of its own.
    const std::string contents = help.File("online.hhc");
    for (const char* topic : {"index.htm", "CL_NETSCAPE_MEASUREMENTS.htm", "counters.htm", "configuration.htm",
                              "troubleshooting.htm"}) {
      EXPECT_NE(std::string::npos, contents.find(std::string("\"") + topic + "\"")) << topic;
      EXPECT_TRUE(help.Has(topic)) << topic;
      EXPECT_FALSE(TitleOf(help.File(topic)).empty()) << topic;
    }
    // The counters page is written from the default configuration: a counter of it is there.
    EXPECT_NE(std::string::npos, help.File("counters.htm").find("Connection Queue Length"));
    EXPECT_NE(std::string::npos, help.File("configuration.htm").find("KeepPrevValue"));
  }
}

TEST(HelpFileTest, TheFullAndTheLightInstallationCarryTheSameHelpOfAnEdition) {
  const std::string stage = SARVIK_STAGE_DIR;
  EXPECT_EQ(ReadText(stage + "/bin/online.chm"), ReadText(stage + "/help/Help.chm"));
  EXPECT_EQ(ReadText(stage + "/bin/zh_CN/online.chm"), ReadText(stage + "/help/zh_CN/Help.chm"));
  EXPECT_NE(ReadText(stage + "/bin/online.chm"), ReadText(stage + "/bin/zh_CN/online.chm"));
}

class HelpViewerTest : public testing::Test {
 public:
  void SetUp() override {
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "en_US.UTF-8", 1);
    unsetenv("QOR_RESMON_LIGHT");
    for (const char* relative : kHelpFiles) {
      std::filesystem::create_directories(std::filesystem::path(TreeRoot() + "/" + relative).parent_path());
      std::filesystem::copy_file(std::string(SARVIK_STAGE_DIR) + "/" + relative, TreeRoot() + "/" + relative,
                                 std::filesystem::copy_options::overwrite_existing);
    }
    // The viewer keeps its settings in a home of the test's own. It is the desktop's handler of
    // compiled help files, found with xdg-mime on the search path, or the viewer on that path.
    std::filesystem::create_directories(TreeRoot() + "/home/share");
    setenv("HOME", (TreeRoot() + "/home").c_str(), 1);
    setenv("XDG_DATA_HOME", (TreeRoot() + "/home/share").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (TreeRoot() + "/home/config").c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    WriteTreeFile(kConfig, kSmallConfig);
    char message[1024] = "";
    int32_t status = 1;
    ASSERT_EQ(0, ThePlugin().InitMonitor(nullptr, nullptr, nullptr, nullptr, &status, message, sizeof message))
        << message;
  }
  void TearDown() override {
    ThePlugin().TerminateMonitor();
    RestoreTreeFile(kConfig);
  }

  // Shows the dialog with `user` acting in it, and waits until it is closed.
  static void Browse(DialogUser& user) {
    ActInTheDialog(user);
    CounterDefinition* selection = nullptr;
    int32_t count = 0;
    char message[1024] = "";
    EXPECT_EQ(0, ThePlugin().BrowseMonitor(nullptr, "web1", &selection, &count, message, sizeof message)) << message;
    ForgetTheDialogUser();
    EXPECT_TRUE(user.finished()) << "the dialog closed before the user was done";
  }
};

// The window of the help viewer on `display` that shows the help file's title; 0 while none.
unsigned long HelpWindow(const std::string& title) {
  const std::optional<std::string> found = RunTool("xdotool", {"search", "--onlyvisible", "--name", title});
  if (!found || found->empty()) return 0;
  return std::strtoul(found->c_str(), nullptr, 10);
}

std::vector<std::string> CommandLineOf(pid_t pid) {
  const std::string raw = ReadText("/proc/" + std::to_string(pid) + "/cmdline");
  std::vector<std::string> words;
  for (std::size_t start = 0; start < raw.size();) {
    const std::size_t end = raw.find('\0', start);
    words.push_back(raw.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return words;
}

pid_t ParentOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("PPid:", 0) == 0) return static_cast<pid_t>(std::strtol(line.c_str() + 5, nullptr, 10));
  }
  return 0;
}

TEST_F(HelpViewerTest, F1OpensTheAddMeasurementsTopicInXchm) {
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "no virtual display (Xvfb) could be started";
  ASSERT_FALSE(Which("xchm").empty()) << "xchm is not installed (./sarvik test installs it)";
  setenv("DISPLAY", display.name().c_str(), 1);
  setenv("PATH", "/usr/bin:/bin", 1);
  // The English edition, in a locale that every system has (the viewer complains of one it lacks).
  setenv("LANG", "C.UTF-8", 1);

  const std::string title = "iPlanet/Netscape Monitor Help";
  unsigned long window = 0;
  DialogUser user;
  user.Then(DialogReady)
      .Do([] { QTest::keyClick(List(), Qt::Key_F1); })
      .Then([&] { return (window = HelpWindow(title)) != 0; })
      .Do([] { EXPECT_TRUE(TheDialog()->isVisible()) << "help never blocks or ends the dialog"; })
      .Do([] { TheDialog()->reject(); });
  Browse(user);
  ASSERT_NE(0ul, window) << "no xchm window appeared";

  // The viewer the plug-in started, asked for the dialog's context in the installed help file.
  const std::optional<std::string> pid_text = RunTool("xdotool", {"getwindowpid", std::to_string(window)});
  ASSERT_TRUE(pid_text.has_value());
  const pid_t viewer = static_cast<pid_t>(std::strtol(pid_text->c_str(), nullptr, 10));
  ASSERT_GT(viewer, 0);
  EXPECT_EQ(getpid(), ParentOf(viewer)) << "the plug-in started the viewer";
  const std::vector<std::string> command = CommandLineOf(viewer);
  ASSERT_EQ(3u, command.size());
  EXPECT_EQ("/usr/bin/xchm", command[0]);
  EXPECT_EQ("--contextid=1068", command[1]);
  EXPECT_EQ(TreeRoot() + "/bin/online.chm", command[2]);
  const std::optional<std::string> name = RunTool("xdotool", {"getwindowname", std::to_string(window)});
  ASSERT_TRUE(name.has_value());
  EXPECT_NE(std::string::npos, name->find(title)) << *name;

  // What the user sees, once the viewer has drawn its page: the same picture twice in a row.
  std::filesystem::create_directories(SARVIK_ARTIFACT_DIR);
  const std::string shot = std::string(SARVIK_ARTIFACT_DIR) + "/help-f1.png";
  std::string previous;
  for (int tries = 0; tries < 60; ++tries) {
    ASSERT_TRUE(RunTool("import", {"-display", display.name(), "-window", "root", shot}).has_value());
    const std::string picture = ReadText(shot);
    if (!previous.empty() && picture == previous) break;
    previous = picture;
    std::this_thread::sleep_for(500ms);
  }
  EXPECT_GT(ReadText(shot).size(), 1000u) << shot;

  kill(viewer, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (std::chrono::steady_clock::now() < deadline && HelpWindow(title) != 0) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(0ul, HelpWindow(title)) << "xchm closed";
}

TEST_F(HelpViewerTest, WithoutAViewerTheDialogSaysSoOnce) {
  // A search path with no viewer at all, nor xdg-mime to ask the desktop for one.
  std::filesystem::create_directories(TreeRoot() + "/empty-bin");
  setenv("PATH", (TreeRoot() + "/empty-bin").c_str(), 1);
  std::string said;
  bool second_returned = false;
  DialogUser user;
  user.Then(DialogReady)
      .Do([] { QTest::keyClick(List(), Qt::Key_F1); })  // returns once the prompt is closed
      .Then([] { return ThePrompt() != nullptr; })
      .Do([&] {
        said = ThePrompt()->text().toStdString();
        ThePrompt()->accept();
      })
      .Then(DialogReady)
      .Do([&] {
        QTest::keyClick(List(), Qt::Key_F1);
        second_returned = true;  // no prompt held this key back
      })
      .Then([&] { return second_returned && ThePrompt() == nullptr; })
      .Do([] { TheDialog()->reject(); });
  Browse(user);
  setenv("PATH", "/usr/bin:/bin", 1);
  EXPECT_EQ(
      "The help cannot be shown: no viewer for compiled help files (.chm) is installed. Install one, for example "
      "xchm or kchmviewer.",
      said);
}

TEST_F(HelpViewerTest, WithoutAViewerTheChineseDialogSaysSoInChinese) {
  setenv("LANG", "zh_CN.UTF-8", 1);
  std::filesystem::create_directories(TreeRoot() + "/empty-bin");
  setenv("PATH", (TreeRoot() + "/empty-bin").c_str(), 1);
  std::string said;
  DialogUser user;
  user.Then(DialogReady)
      .Do([] { QTest::mouseClick(TheDialog()->findChild<QWidget*>("control-1018"), Qt::LeftButton); })
      .Then([] { return ThePrompt() != nullptr; })
      .Do([&] {
        said = ThePrompt()->text().toStdString();
        ThePrompt()->accept();
      })
      .Then(DialogReady)
      .Do([] { TheDialog()->reject(); });
  Browse(user);
  setenv("PATH", "/usr/bin:/bin", 1);
  EXPECT_EQ("无法显示帮助：没有安装已编译帮助文件 (.chm) 的查看器。请安装一个查看器，例如 xchm 或 kchmviewer。", said);
}

}  // namespace
