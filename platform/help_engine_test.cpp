#include "platform/help_engine.h"
#include "platform/help_viewer_finder.h"
#include "platform/help_viewer_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A directory of stand-in programs and .desktop files, removed afterwards.
class Sandbox {
 public:
  Sandbox() {
    char pattern[] = "/tmp/sarvik-help-XXXXXX";
    root_ = mkdtemp(pattern) != nullptr ? pattern : "";
    std::filesystem::create_directories(bin());
    std::filesystem::create_directories(applications());
  }
  ~Sandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::string bin() const { return root_ + "/bin"; }
  std::string applications() const { return root_ + "/share/applications"; }
  std::string record() const { return root_ + "/record"; }

  // A program that writes its arguments, one a line, to the record file.
  void AddViewer(const std::string& name) {
    AddProgram(name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record() + ".tmp'\nmv '" +
                         record() + ".tmp' '" + record() + "'\n");
  }
  // An xdg-mime that names `desktop_id` as the handler of compiled help files.
  void AddMimeQuery(const std::string& desktop_id) {
    AddProgram("xdg-mime", "#!/bin/sh\n[ \"$1 $2 $3\" = 'query default application/vnd.ms-htmlhelp' ] && echo '" +
                               desktop_id + "'\nexit 0\n");
  }
  void AddDesktopFile(const std::string& id, const std::string& contents) {
    std::ofstream(applications() + "/" + id) << contents;
  }
  void AddProgram(const std::string& name, const std::string& script) {
    const std::string path = bin() + "/" + name;
    std::ofstream(path) << script;
    chmod(path.c_str(), 0755);
  }
  HelpViewerSearch Search() const { return {{bin()}, {applications()}}; }

  // The recorded arguments once the viewer has run (empty if it never did within a minute).
  std::vector<std::string> WaitForRecord() const {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      std::ifstream file(record());
      if (file) {
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
      }
      std::this_thread::sleep_for(10ms);
    }
    return {};
  }

 private:
  std::string root_;
};

HelpRequest Request(const std::string& file) {
  HelpRequest request;
  request.help_file = file;
  request.context = 1068;
  request.page = "CL_NETSCAPE_MEASUREMENTS.htm";
  return request;
}

TEST(HelpEngineTest, TheBindingLoadsOnceAndRemembersAFailure) {
  int loads = 0;
  int shown = 0;
  class Counting final : public HelpEngine {
   public:
    explicit Counting(int& shown) : shown_(shown) {}
    void Show(const HelpRequest&) override { ++shown_; }

   private:
    int& shown_;
  };
  HelpEngineBinding working([&]() -> std::unique_ptr<HelpEngine> {
    ++loads;
    return std::make_unique<Counting>(shown);
  });
  EXPECT_TRUE(working.Call(Request("a")));
  EXPECT_TRUE(working.Call(Request("b")));
  EXPECT_EQ(1, loads);
  EXPECT_EQ(2, shown);

  int attempts = 0;
  HelpEngineBinding failing([&]() -> std::unique_ptr<HelpEngine> {
    ++attempts;
    return nullptr;
  });
  EXPECT_FALSE(failing.Call(Request("a")));
  EXPECT_TRUE(failing.failed());
  EXPECT_FALSE(failing.Call(Request("a")));
  EXPECT_EQ(1, attempts) << "no second attempt to load an engine that failed";
}

TEST(HelpEngineTest, TheDesktopsHandlerComesFirst) {
  Sandbox sandbox;
  sandbox.AddViewer("chm-reader");
  sandbox.AddViewer("xchm");
  sandbox.AddMimeQuery("reader.desktop");
  sandbox.AddDesktopFile("reader.desktop",
                         "[Desktop Action New]\nExec=wrong\n[Desktop Entry]\nName=Reader\n"
                         "Exec=chm-reader --fullscreen \"--title=Help \\\"book\\\"\" %f %i\n");
  const std::optional<HelpViewer> viewer = FindHelpViewer(sandbox.Search());
  ASSERT_TRUE(viewer.has_value());
  EXPECT_EQ(sandbox.bin() + "/chm-reader", viewer->program);
  EXPECT_EQ((std::vector<std::string>{"--fullscreen", "--title=Help \"book\"", "%f"}), viewer->arguments);
  EXPECT_EQ(HelpViewer::Topic::kNone, viewer->topic);
}

TEST(HelpEngineTest, WithoutAUsableHandlerAKnownViewerOnThePathIsUsed) {
  Sandbox sandbox;
  EXPECT_FALSE(FindHelpViewer(sandbox.Search()).has_value()) << "nothing to be had";

  sandbox.AddViewer("xdg-open");
  EXPECT_EQ(sandbox.bin() + "/xdg-open", FindHelpViewer(sandbox.Search())->program);
  sandbox.AddViewer("kchmviewer");
  EXPECT_EQ(sandbox.bin() + "/kchmviewer", FindHelpViewer(sandbox.Search())->program);
  sandbox.AddViewer("xchm");
  // A handler whose program is missing does not count.
  sandbox.AddMimeQuery("gone.desktop");
  sandbox.AddDesktopFile("gone.desktop", "[Desktop Entry]\nExec=not-installed %f\n");
  const std::optional<HelpViewer> viewer = FindHelpViewer(sandbox.Search());
  ASSERT_TRUE(viewer.has_value());
  EXPECT_EQ(sandbox.bin() + "/xchm", viewer->program);
  EXPECT_EQ(HelpViewer::Topic::kContextOption, viewer->topic);
}

TEST(HelpEngineTest, EachViewerIsAskedForTheTopicItUnderstands) {
  const HelpRequest request = Request("/opt/k/bin/online.chm");
  EXPECT_EQ((std::vector<std::string>{"/usr/bin/xchm", "--contextid=1068", "/opt/k/bin/online.chm"}),
            HelpViewerCommand({"/usr/bin/xchm", {"%f"}, HelpViewer::Topic::kContextOption}, request));
  EXPECT_EQ((std::vector<std::string>{"/usr/bin/kchmviewer", "-showPage", "CL_NETSCAPE_MEASUREMENTS.htm",
                                      "/opt/k/bin/online.chm"}),
            HelpViewerCommand({"/usr/bin/kchmviewer", {"%f"}, HelpViewer::Topic::kPageOption}, request));
  EXPECT_EQ((std::vector<std::string>{"/usr/bin/xdg-open", "/opt/k/bin/online.chm"}),
            HelpViewerCommand({"/usr/bin/xdg-open", {"%f"}, HelpViewer::Topic::kNone}, request));
  EXPECT_EQ((std::vector<std::string>{"/usr/bin/v", "-a", "/opt/k/bin/online.chm"}),
            HelpViewerCommand({"/usr/bin/v", {"-a"}, HelpViewer::Topic::kNone}, request));
}

TEST(HelpEngineTest, DesktopExecLines) {
  EXPECT_EQ((std::vector<std::string>{"xchm", "%f"}), ParseDesktopExec("xchm %f"));
  EXPECT_EQ((std::vector<std::string>{"viewer", "%f"}), ParseDesktopExec("viewer %U %F"));
  EXPECT_EQ((std::vector<std::string>{"viewer", "100%", "%f"}), ParseDesktopExec("viewer 100%% %c %k"));
  EXPECT_EQ((std::vector<std::string>{"/opt/my viewer/run", "%f"}), ParseDesktopExec("\"/opt/my viewer/run\""));
  EXPECT_TRUE(ParseDesktopExec("\"unterminated").empty());
  EXPECT_TRUE(ParseDesktopExec("").empty());
}

TEST(HelpEngineTest, TheViewerStartsWithoutAShellAndWithoutBeingWaitedFor) {
  Sandbox sandbox;
  sandbox.AddViewer("xchm");
  const std::optional<HelpViewer> viewer = FindHelpViewer(sandbox.Search());
  ASSERT_TRUE(viewer.has_value());
  std::unique_ptr<HelpEngine> engine = MakeViewerHelpEngine(*viewer);
  // Characters a shell would act on arrive as they are.
  engine->Show(Request("/tmp/a dir/$HOME;`x`'q'.chm"));
  EXPECT_EQ((std::vector<std::string>{"--contextid=1068", "/tmp/a dir/$HOME;`x`'q'.chm"}), sandbox.WaitForRecord());
  engine.reset();  // reaps what has ended, waits for nothing
}

TEST(HelpEngineTest, AProgramThatCannotStartGivesNoProcess) {
  EXPECT_EQ(-1, SpawnProgram({"/nonexistent/viewer", "x"}));
  EXPECT_EQ(-1, SpawnProgram({}));
}

}  // namespace
