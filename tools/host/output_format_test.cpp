#include "tools/host/output_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace sarvik_host {
namespace {

CounterInfo Counter() { return {"Total number of requests:", "Requests, per Second", "Rate of requests.", ""}; }

ReadingRow RateRow(const std::string* target, const CounterInfo* counter) {
  ReadingRow row;
  row.target = target;
  row.counter = counter;
  row.polled_us = 1714564803250000;  // 2024-05-01T12:00:03.25Z
  row.status = ReadingStatus::kNew;
  row.has_reading = true;
  row.reading.kind = 1;
  row.reading.first_time = {1714564801, 500};
  row.reading.second_time = {1714564802, 750000};
  row.reading.rate = 33.333333333333336;
  return row;
}

TEST(OutputFormatTest, CsvFieldsAreQuotedOnlyWhenNeeded) {
  EXPECT_EQ("plain", CsvField("plain"));
  EXPECT_EQ("", CsvField(""));
  EXPECT_EQ("\"a,b\"", CsvField("a,b"));
  EXPECT_EQ("\"say \"\"hi\"\"\"", CsvField("say \"hi\""));
  EXPECT_EQ("\"two\nlines\"", CsvField("two\nlines"));
  EXPECT_EQ("\" padded \"", CsvField(" padded "));
}

TEST(OutputFormatTest, JsonStringsAreEscapedAndValidUtf8) {
  EXPECT_EQ("\"a\\\"b\\\\c\"", JsonString("a\"b\\c"));
  EXPECT_EQ("\"\\n\\t\\r\\u0001\\u007f\"", JsonString("\n\t\r\x01\x7f"));
  EXPECT_EQ("\"\xE6\x9C\x8D\xE5\x8A\xA1\"", JsonString("\xE6\x9C\x8D\xE5\x8A\xA1")) << "UTF-8 stays";
  EXPECT_EQ("\"a\\ufffdb\\ufffd\\ufffd\"", JsonString("a\xFF" "b\xE6\x9C")) << "each broken byte is replaced";
}

TEST(OutputFormatTest, NumbersReadBackExactly) {
  for (const double number : {0.0, 3.0, 12.5, 33.333333333333336, 1.1688518618462362e-08, 1e20, -7.25}) {
    const std::string text = FormatNumber(number);
    EXPECT_EQ(number, std::strtod(text.c_str(), nullptr)) << text;
  }
  EXPECT_EQ("3", FormatNumber(3.0));
  EXPECT_EQ("nan", FormatNumber(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ("-inf", FormatNumber(-std::numeric_limits<double>::infinity()));
}

TEST(OutputFormatTest, ARateRecord) {
  const std::string target = "web1:8080";
  const CounterInfo counter = Counter();
  const ReadingRow row = RateRow(&target, &counter);
  EXPECT_EQ("polled,time,since,host,counter,label,kind,value,unit,status,result,message\n", CsvHeader());
  EXPECT_EQ("2024-05-01T12:00:03.250000Z,2024-05-01T12:00:02.750000Z,2024-05-01T12:00:01.000500Z,web1:8080,"
            "Total number of requests:,\"Requests, per Second\",rate,33.333333333333336,/s,new,0,\n",
            CsvRecord(row));
  EXPECT_EQ("{\"polled\":\"2024-05-01T12:00:03.250000Z\",\"time\":\"2024-05-01T12:00:02.750000Z\","
            "\"since\":\"2024-05-01T12:00:01.000500Z\",\"host\":\"web1:8080\",\"counter\":\"Total number of requests:\","
            "\"label\":\"Requests, per Second\",\"kind\":\"rate\",\"value\":33.333333333333336,\"unit\":\"/s\","
            "\"status\":\"new\",\"result\":0,\"message\":\"\"}\n",
            JsonRecord(row));
}

TEST(OutputFormatTest, AFailedCallCarriesItsResultAndMessage) {
  const std::string target = "web1";
  const CounterInfo counter = Counter();
  ReadingRow row;
  row.target = &target;
  row.counter = &counter;
  row.polled_us = 1714564803000000;
  row.status = ReadingStatus::kError;
  row.result = 20;
  row.message = "Could not connect to host web1, port 80";
  EXPECT_EQ("2024-05-01T12:00:03.000000Z,,,web1,Total number of requests:,\"Requests, per Second\",,,,error,20,"
            "\"Could not connect to host web1, port 80\"\n",
            CsvRecord(row));
  const std::string json = JsonRecord(row);
  EXPECT_NE(std::string::npos, json.find("\"time\":null,\"since\":null")) << json;
  EXPECT_NE(std::string::npos, json.find("\"kind\":null,\"value\":null,\"unit\":null,\"status\":\"error\",\"result\":20,"
                                         "\"message\":\"Could not connect to host web1, port 80\"}"))
      << json;
}

TEST(OutputFormatTest, AValueRecord) {
  const std::string target = "web1";
  const CounterInfo counter{"Average Queueing Delay", "Average Queueing Delay (ms)", "", "ms"};
  ReadingRow row;
  row.target = &target;
  row.counter = &counter;
  row.polled_us = 1714564803000000;
  row.status = ReadingStatus::kUnchanged;
  row.has_reading = true;
  row.reading.kind = 0;
  row.reading.first_time = {1714564802, 0};
  row.reading.value = 0.11;
  EXPECT_EQ("2024-05-01T12:00:03.000000Z,2024-05-01T12:00:02.000000Z,,web1,Average Queueing Delay,"
            "Average Queueing Delay (ms),value,0.11,ms,unchanged,0,\n",
            CsvRecord(row));
}

}  // namespace
}  // namespace sarvik_host
