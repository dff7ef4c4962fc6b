#include "counters/netscape_measurement.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "counters/measurement_factory.h"
#include "counters/netscape_measurement_tbl.h"
#include "platform/files.h"

namespace {

// A statistics source as activation parses it from the user data.
ServerParams Source(std::string host, std::int32_t port, std::string login = "", std::string password = "",
                    std::string url = "/.perf") {
  ServerParams server;
  server.host = std::move(host);
  server.port = port;
  server.url = std::move(url);
  server.login = std::move(login);
  server.password = std::move(password);
  return server;
}

SampleTime At(std::int32_t seconds, std::int32_t microseconds = 0) { return SampleTime{seconds, microseconds}; }

// Runs NewData on a private copy of `page`, as the host's call does.
int Feed(CNetscapeMeasurement& measurement, const std::string& page, SampleTime time) {
  std::string copy = page;
  return measurement.NewData(copy.data(), time);
}

// The value a pattern counter named `counter` reads from `page`.
double PatternValue(const std::string& counter, const std::string& page) {
  CNetscapeMeasurement measurement(counter + "|web1", counter, Source("web1", 80), 0);
  EXPECT_EQ(CNetscapeMeasurement::kNewReading, Feed(measurement, page, At(1000)));
  ReadingRecord record{};
  measurement.GetReading(&record);
  EXPECT_EQ(0, record.kind);
  return record.value;
}

TEST(PatternCounterTest, ReadsTheFirstNumberAfterTheFirstOccurrence) {
  EXPECT_EQ(1, PatternValue("Sessions", "Sessions 1,234"));
  EXPECT_EQ(5, PatternValue("Delta", "Delta -5"));
  EXPECT_EQ(75, PatternValue("Ratio", "Ratio .75"));
  EXPECT_EQ(12.5, PatternValue("Load", "Load 12.5%"));
  EXPECT_EQ(1000, PatternValue("Big", "Big 1e3 items"));
  EXPECT_EQ(7, PatternValue("Twice", "Twice 7\nTwice 9"));
  EXPECT_EQ(0, PatternValue("End", "at the very End"));
  EXPECT_EQ(3, PatternValue("Current/Peak/Limit Queue Length", "Current/Peak/Limit Queue Length     3/12/4096"));
  EXPECT_EQ(0.42, PatternValue("Average Queue Length (1, 5, 15 minutes)",
                               "Average Queue Length (1, 5, 15 minutes)    0.42, 0.40, 0.38"));
  EXPECT_TRUE(std::isinf(PatternValue("Huge", "Huge 1e999")));
}

TEST(PatternCounterTest, ReadsEveryDefaultCounterOfTheSamplePage) {
  std::string page;
  ASSERT_TRUE(ReadWholeFile(std::string(SARVIK_SOURCE_DIR) + "/dat/samples/perfdump.txt", &page).ok());
  EXPECT_EQ(114762, PatternValue("Total number of requests:", page));
  EXPECT_EQ(0.0125, PatternValue("Request processing time:", page));
  EXPECT_EQ(96310, PatternValue("KeepAliveHits", page));
  EXPECT_EQ(2, PatternValue("Current/Peak/Limit Queue Length", page));
}

TEST(PatternCounterTest, AMissingCounterIsRecordedOnceAndTheSnapshotIsNotTriedAgain) {
  CNetscapeMeasurement measurement("Missing Counter|web1", "Missing", Source("web1", 8080, "admin", "secret"), 0);
  EXPECT_EQ(CNetscapeMeasurement::kValueNotFound, Feed(measurement, "page without it", At(1000)));
  EXPECT_EQ(17, measurement.result_code());
  // The same second again: nothing is looked at, and the failure stays recorded.
  EXPECT_EQ(CNetscapeMeasurement::kSameSnapshot, Feed(measurement, "Missing Counter 5", At(1000, 999)));
  EXPECT_EQ(17, measurement.result_code());

  // A key without a bar cannot name a counter.
  CNetscapeMeasurement no_bar("no bar", "label", Source("web1", 0, "", "", ""), 0);
  EXPECT_EQ(CNetscapeMeasurement::kValueNotFound, Feed(no_bar, "no bar 5", At(1)));
  EXPECT_EQ(17, no_bar.result_code());
}

TEST(PatternCounterTest, RatesComeFromTheLastTwoSamples) {
  CNetscapeMeasurement rate("Total|web1", "Requests per second", Source("web1", 80), 1);
  ASSERT_EQ(0, Feed(rate, "Total 100", At(1000, 5)));
  ReadingRecord first{};
  first.reserved = 77;
  rate.GetReading(&first);
  // The first rate is against the empty slot before it.
  EXPECT_EQ(1, first.kind);
  EXPECT_EQ(77, first.reserved);
  EXPECT_EQ(0, first.first_time.seconds);
  EXPECT_EQ(1000, first.second_time.seconds);
  EXPECT_DOUBLE_EQ(100.0 / 1000.000005, first.rate);

  ASSERT_EQ(0, Feed(rate, "Total 160", At(1030, 7)));
  ReadingRecord second{};
  rate.GetReading(&second);
  EXPECT_EQ(1, second.kind);
  EXPECT_EQ(1000, second.first_time.seconds);
  EXPECT_EQ(5, second.first_time.microseconds);
  EXPECT_EQ(1030, second.second_time.seconds);
  EXPECT_EQ(7, second.second_time.microseconds);
  EXPECT_DOUBLE_EQ(60.0 / 30.000002, second.rate);

  // A falling counter gives a negative rate; a clock set back wraps to a tiny rate.
  ASSERT_EQ(0, Feed(rate, "Total 100", At(1060, 7)));
  rate.GetReading(&second);
  EXPECT_DOUBLE_EQ(-2.0, second.rate);
  ASSERT_EQ(0, Feed(rate, "Total 200", At(1059)));
  rate.GetReading(&second);
  EXPECT_GT(second.rate, 0);
  EXPECT_LT(second.rate, 1e-6);

  // Two snapshots 1.0004 s apart that straddle a second boundary are 1.0004 s apart, not 2 s.
  ASSERT_EQ(0, Feed(rate, "Total 100", At(1500, 999700)));
  ASSERT_EQ(0, Feed(rate, "Total 110", At(1502, 100)));
  rate.GetReading(&second);
  EXPECT_DOUBLE_EQ(10.0 / 1.0004, second.rate);
  // And two 1.9998 s apart are not 1 s apart.
  ASSERT_EQ(0, Feed(rate, "Total 130", At(1503, 999900)));
  rate.GetReading(&second);
  EXPECT_DOUBLE_EQ(20.0 / 1.9998, second.rate);

  // The ring wraps after six samples and keeps giving the last two.
  for (int i = 0; i < 9; ++i) ASSERT_EQ(0, Feed(rate, "Total " + std::to_string(i * 10), At(2000 + i)));
  rate.GetReading(&second);
  EXPECT_EQ(2007, second.first_time.seconds);
  EXPECT_EQ(2008, second.second_time.seconds);
  EXPECT_DOUBLE_EQ(10.0, second.rate);
}

TEST(PatternCounterTest, ValuesAreWrittenUnchanged) {
  CNetscapeMeasurement value("Active Sessions|web1", "Active", Source("web1", 80), 0);
  ASSERT_EQ(0, Feed(value, "Active Sessions  9", At(1234, 56)));
  ReadingRecord record;
  std::memset(&record, 0xAB, sizeof record);
  value.GetReading(&record);
  EXPECT_EQ(0, record.kind);
  EXPECT_EQ(0, record.reserved);
  EXPECT_EQ(1234, record.first_time.seconds);
  EXPECT_EQ(56, record.first_time.microseconds);
  EXPECT_EQ(9.0, record.value);
  EXPECT_EQ(0.0, record.rate);
}

TEST(PatternCounterTest, LongTextsAreCutToTheirFields) {
  const std::string long_text(3000, 'k');
  CNetscapeMeasurement measurement(long_text + "|web1", long_text, Source(long_text, 80), 0);
  EXPECT_EQ(511u, std::strlen(measurement.key()));
  EXPECT_EQ(511u, std::strlen(measurement.label()));
  EXPECT_EQ(511u, std::strlen(measurement.host()));
  EXPECT_EQ(std::string(511, 'k') + "|/.perf|80", measurement.server_key());
}

// The value a table-cell counter reads, or NaN when it finds none.
double CellValue(const std::string& page, int rows, int columns, std::string table = "Stats") {
  CNetscapeMeasurementTbl measurement("cell|web1", "cell", Source("web1", 80), table, rows, columns, 0);
  if (Feed(measurement, page, At(1)) != 0) return NAN;
  ReadingRecord record{};
  measurement.GetReading(&record);
  return record.value;
}

TEST(TableCounterTest, ATableNameWithANulIsSearchedAndWalkedOnlyUpToIt) {
  // The walk after the match starts where the searched text ends, never past the page.
  const std::string page = "Stats<table><tr><td>42</td><td>17</td></tr></table>";
  const std::string name_with_nul = std::string("Stats") + '\0' + std::string(4000, 'x');
  EXPECT_EQ(17, CellValue(page, 1, 2, name_with_nul));
  EXPECT_EQ(42, CellValue(page, 1, 1, std::string("Sta\0ts", 6)));
}

TEST(TableCounterTest, WalksRowsAndCellsFromTheTableName) {
  const std::string row = "Stats<table><tr><td>42</td><td>17</td><td align=\"right\" width=\"9\">8</td></tr></table>";
  EXPECT_EQ(42, CellValue(row, 1, 0));
  EXPECT_EQ(42, CellValue(row, 1, 1));
  EXPECT_EQ(17, CellValue(row, 1, 2));
  EXPECT_EQ(8, CellValue(row, 1, 3));
  EXPECT_EQ(3.5, CellValue("Stats<tr><td> 3.5 ms</td></tr>", 1, 1));

  // One extra tag is passed over, not two.
  EXPECT_EQ(99, CellValue("Stats<tr><td><b>99</b></td></tr>", 1, 1));
  EXPECT_EQ(0, CellValue("Stats<tr><td><font><b>99</b></font></td></tr>", 1, 1));

  // Upper-case tags after the table name are found; a row with attributes is not a row.
  EXPECT_EQ(5, CellValue("Stats<TABLE><TR><TD>5</TD></TR>", 1, 1));
  EXPECT_EQ(6, CellValue("Stats<tr class=\"head\"><td>1</td></tr><tr><td>6</td></tr>", 1, 1));

  // A walk past the table goes on into what follows; past the text it fails.
  EXPECT_TRUE(std::isnan(CellValue(row, 2, 0)));
  EXPECT_TRUE(std::isnan(CellValue(row, 1, 4)));
  EXPECT_TRUE(std::isnan(CellValue("Stats<tr><td", 1, 1)));
  EXPECT_TRUE(std::isnan(CellValue(row, 1, 1, "Other table")));
  // Counts of 0 or less pass nothing.
  EXPECT_EQ(12, CellValue("Stats>12", -1, -3));
}

TEST(TableCounterTest, FailuresNameWhatWasMissingAndTheSnapshotIsRewrittenOnlyAfterTheName) {
  CNetscapeMeasurementTbl measurement("cell|web1", "cell", Source("web1", 80), "Stats", 5, 0, 0);
  std::string page = "DRT before Stats<TR>DRT";
  EXPECT_EQ(CNetscapeMeasurement::kValueNotFound, measurement.NewData(page.data(), At(1)));
  EXPECT_EQ("DRT before Stats<tr>drt", page);
  EXPECT_EQ(17, measurement.result_code());
}

TEST(TableCounterTest, ReadsTheDefaultTableCountersOfTheSamplePage) {
  std::string page;
  ASSERT_TRUE(ReadWholeFile(std::string(SARVIK_SOURCE_DIR) + "/dat/samples/perfdump.txt", &page).ok());
  EXPECT_EQ(114530, CellValue(page, 2, 2, "Virtual Server Statistics"));
  EXPECT_EQ(1873240112, CellValue(page, 2, 3, "Virtual Server Statistics"));
  EXPECT_EQ(232, CellValue(page, 3, 2, "Virtual Server Statistics"));
}

TEST(MeasurementFactoryTest, BuildsTheKindTheCountersSectionAsksFor) {
  const Profile configuration = Profile::Parse(
      "[Netscape]\nCounters=3\n[0]\nCounter=Total\nLabel=Requests\nKeepPrevValue=1\n"
      "[1]\nCounter=Cell\nLabel=Cell\nTblName=Stats\n[2]\nCounter=Empty\nLabel=Empty table\nTblName=\n");
  CounterDefinition definitions[3] = {};
  std::strcpy(definitions[0].label, "Requests");
  std::strcpy(definitions[1].label, "Cell");
  std::strcpy(definitions[2].label, "Empty table");

  auto pattern = CreateMeasurement(0, definitions, "Total|web1", Source("web1", 80), configuration);
  ASSERT_NE(nullptr, pattern);
  EXPECT_EQ(nullptr, dynamic_cast<CNetscapeMeasurementTbl*>(pattern.get()));
  EXPECT_STREQ("Requests", pattern->label());
  EXPECT_TRUE(pattern->reports_rate());
  EXPECT_EQ("web1|/.perf|80", pattern->server_key());

  auto cell = CreateMeasurement(1, definitions, "Cell|web1", Source("web1", 80), configuration);
  auto* table = dynamic_cast<CNetscapeMeasurementTbl*>(cell.get());
  ASSERT_NE(nullptr, table);
  EXPECT_EQ("Stats", table->table_name());
  EXPECT_EQ(1, table->row_count());
  EXPECT_EQ(0, table->column_count());
  EXPECT_FALSE(table->reports_rate());

  auto empty = CreateMeasurement(2, definitions, "Empty|web1", Source("web1", 80), configuration);
  EXPECT_EQ(nullptr, dynamic_cast<CNetscapeMeasurementTbl*>(empty.get()));

  auto unknown = CreateMeasurement(-1, definitions, "Unknown|web1", Source("web1", 80), configuration);
  EXPECT_STREQ("Unknown|web1", unknown->label());
  EXPECT_FALSE(unknown->reports_rate());
}

}  // namespace
