#include "platform/catalogue.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Format(std::int32_t id, std::initializer_list<MessageArgument> arguments) {
  char* text = nullptr;
  FormatGenericMessage(id, arguments, &text);
  if (text == nullptr) return "<none>";
  std::string result(text);
  FreeGenericMessage(text);
  return result;
}

// A catalogue file in a fresh temporary directory, removed again at the end of the test.
class CatalogueFile {
 public:
  explicit CatalogueFile(const std::string& contents) {
    char pattern[] = "/tmp/sarvik-catalogue-XXXXXX";
    directory_ = mkdtemp(pattern);
    path_ = directory_ + "/messages";
    std::ofstream(path_ + ".e2") << contents;
  }
  ~CatalogueFile() {
    std::remove((path_ + ".e2").c_str());
    rmdir(directory_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string directory_;
  std::string path_;
};

TEST(MessageTableTest, ReadsIdentifiersTextsAndEscapes) {
  const MessageTable table = MessageTable::Parse(
      "# comment\n"
      "-47483\tline one\\nline two\\tand a tab, a \\\\ and a \\dir\r\n"
      "\n"
      "-47484\n"
      "-47485\t\n"
      "12x\tnot an identifier\n"
      "text without identifier\n"
      "-47483\tsecond text of one identifier is ignored\n"
      "99999999999\ttoo large\n");
  ASSERT_NE(nullptr, table.Find(-47483));
  EXPECT_EQ("line one\nline two\tand a tab, a \\ and a \\dir", *table.Find(-47483));
  ASSERT_NE(nullptr, table.Find(-47484));
  EXPECT_EQ("", *table.Find(-47484));
  ASSERT_NE(nullptr, table.Find(-47485));
  EXPECT_EQ("", *table.Find(-47485));
  EXPECT_EQ(nullptr, table.Find(12));
  EXPECT_EQ(nullptr, table.Find(-1));

  const MessageTable edges = MessageTable::Parse(
      "-2147483648\tsmallest\n2147483648\tbeyond\n+7\tplus\n 8\tblank\n-\tsign alone\n");
  ASSERT_NE(nullptr, edges.Find(INT32_MIN));
  EXPECT_EQ("smallest", *edges.Find(INT32_MIN));
  EXPECT_EQ(nullptr, edges.Find(INT32_MAX)) << "a number beyond the range is no identifier";
  EXPECT_EQ(nullptr, edges.Find(7)) << "an identifier has no '+'";
  EXPECT_EQ(nullptr, edges.Find(8)) << "nor a blank before it";
  EXPECT_EQ(nullptr, edges.Find(0));
}

TEST(MessageTableTest, PlaceholdersTakeTheArgumentsInOrder) {
  const MessageArgument arguments[] = {"host", std::int32_t{8080}, std::string("/.perf"), std::int32_t{-5}};
  EXPECT_EQ("http://host:8080/.perf (-5)", FillPlaceholders("http://%1:%2%3 (%4)", arguments));
  EXPECT_EQ("[%0] [] [100%] [%] [%%host]", FillPlaceholders("[%0] [%9] [100%] [%] [%%%1]", arguments));
  EXPECT_EQ("hosthost", FillPlaceholders("%1%1", arguments));
}

TEST(CatalogueTest, FormatsFromAddedFilesUntilTheyAreRemoved) {
  CatalogueFile file("-47496\tCould not connect to %1 on port %2: %3 (%4)\n-47490\n");
  MsgHandlerInitFunction();
  ASSERT_TRUE(AddResourceFile(file.path()).ok());
  EXPECT_EQ("Could not connect to web1 on port 80: refused (GetMonitorData)",
            Format(-47496, {"web1", std::int32_t{80}, "refused", "GetMonitorData"}));
  EXPECT_EQ("Could not connect to web1 on port :  ()", Format(-47496, {"web1"}));
  EXPECT_EQ("", Format(-47490, {"a", "b"}));
  EXPECT_EQ("<none>", Format(-47491, {"a"}));

  RemoveResourceFile(file.path());
  EXPECT_EQ("<none>", Format(-47496, {"web1"}));
  MsgHandlerDestroyFunction();
}

TEST(CatalogueTest, AMissingFileIsReportedWithTheSystemError) {
  EXPECT_FALSE(AddResourceFile("/nonexistent/dir/tq_mon_http_msgs").ok());
  EXPECT_EQ("<none>", Format(-47483, {}));
}

TEST(CatalogueTest, FormatsFromSeveralThreadsWhileFilesComeAndGo) {
  CatalogueFile file("-47491\tReading %1 failed: %2\n");
  ASSERT_TRUE(AddResourceFile(file.path()).ok());
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const std::string text = Format(-47491, {"web1", "reset"});
        if (text != "Reading web1 failed: reset" && text != "<none>") ++wrong;
      }
    });
  }
  for (int round = 0; round < 200; ++round) {
    RemoveResourceFile(file.path());
    EXPECT_TRUE(AddResourceFile(file.path()).ok());
  }
  stop = true;
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(0, wrong.load());
  MsgHandlerDestroyFunction();
}

}  // namespace
