#include "reporting/error_report.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

class ErrorReportTest : public testing::Test {
 protected:
  void SetUp() override { unsetenv("QOR_MON_REPORT_ALWAYS"); }
  void TearDown() override { unsetenv("QOR_MON_REPORT_ALWAYS"); }

  // The text and code the host would receive now.
  std::pair<int, std::string> Report(MonitorErrorReport& record) {
    std::string text = "stale";
    const int code = record.GetReport(&text);
    return {code, text};
  }
};

TEST_F(ErrorReportTest, ARecordStartsWithItsCodeAndAnEmptyText) {
  MonitorErrorReport server_record(1);
  EXPECT_EQ(std::make_pair(1, std::string()), Report(server_record));
  MonitorErrorReport measurement_record;
  EXPECT_EQ(std::make_pair(0, std::string()), Report(measurement_record));
}

TEST_F(ErrorReportTest, AFailureTextIsHandedOverOnceUntilItChanges) {
  MonitorErrorReport record(1);
  record.SetError(20, "connection refused");
  EXPECT_EQ(std::make_pair(20, std::string("connection refused")), Report(record));
  EXPECT_EQ(std::make_pair(20, std::string()), Report(record));

  record.SetError(20, "connection refused");  // the same failure again
  EXPECT_EQ(std::make_pair(20, std::string()), Report(record));

  record.SetError(20, "host not found");  // same code, new text
  EXPECT_EQ(std::make_pair(20, std::string("host not found")), Report(record));

  record.SetError(13, "host not found");  // new code, same text
  EXPECT_EQ(std::make_pair(13, std::string("host not found")), Report(record));
  EXPECT_EQ(std::make_pair(13, std::string()), Report(record));

  record.SetError(13, nullptr);  // no text: stored as empty, still counts as reported
  EXPECT_EQ(std::make_pair(13, std::string()), Report(record));
}

TEST_F(ErrorReportTest, ReportAlwaysGivesTheTextAtEveryCallEvenWhenSetEmpty) {
  MonitorErrorReport record;
  record.SetError(17, "counter not found");
  setenv("QOR_MON_REPORT_ALWAYS", "", 1);
  EXPECT_EQ(std::make_pair(17, std::string("counter not found")), Report(record));
  EXPECT_EQ(std::make_pair(17, std::string("counter not found")), Report(record));
  unsetenv("QOR_MON_REPORT_ALWAYS");
  // The text was never marked as reported while the variable was set.
  EXPECT_EQ(std::make_pair(17, std::string("counter not found")), Report(record));
  EXPECT_EQ(std::make_pair(17, std::string()), Report(record));
}

TEST_F(ErrorReportTest, RecordErrorFormatsFromTheCatalogue) {
  char directory_pattern[] = "/tmp/sarvik-report-XXXXXX";
  const std::string directory = mkdtemp(directory_pattern);
  const std::string catalogue = directory + "/messages";
  std::ofstream(catalogue + ".e2") << "-47496\tCould not connect to %1 on port %2 (%3)\n";
  ASSERT_TRUE(AddResourceFile(catalogue).ok());

  MonitorErrorReport record(1);
  record.RecordError(20, -47496, {"web1", std::int32_t{8080}, "GetMonitorData"});
  EXPECT_EQ(std::make_pair(20, std::string("Could not connect to web1 on port 8080 (GetMonitorData)")), Report(record));

  record.RecordError(16, -47491, {"web1"});  // no text in the catalogue
  EXPECT_EQ(std::make_pair(16, std::string()), Report(record));

  RemoveResourceFile(catalogue);
  std::remove((catalogue + ".e2").c_str());
  rmdir(directory.c_str());
}

TEST_F(ErrorReportTest, OneThreadRecordsWhileAnotherReports) {
  MonitorErrorReport record(1);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) {
      if (i % 2 == 0) record.SetError(13, "stream ended");
      else record.SetError(20, std::string(200, 'r').c_str());
    }
    stop = true;
  });
  int mismatches = 0;
  int texts_seen = 0;
  while (!stop.load()) {
    std::string text;
    const int code = record.GetReport(&text);
    if (text.empty()) continue;
    ++texts_seen;
    // A text always arrives with the code it was recorded with.
    if (!(code == 13 && text == "stream ended") && !(code == 20 && text == std::string(200, 'r'))) ++mismatches;
  }
  writer.join();
  EXPECT_EQ(0, mismatches) << "after " << texts_seen << " texts";
}

}  // namespace
