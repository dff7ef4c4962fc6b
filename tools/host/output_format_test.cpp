#include "tools/host/output_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
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

TEST(OutputFormatTest, WithheldNumbersAndSourceStatesLeaveTheValueEmpty) {
  const std::string target = "web1:8080";
  const CounterInfo counter = Counter();

  // The first rate of a measurement is taken against a zero sample at time zero.
  ReadingRow first = RateRow(&target, &counter);
  first.status = ReadingStatus::kFirst;
  first.withheld = true;
  first.reading.first_time = {0, 0};
  first.reading.rate = 1.1688518618462362e-08;
  EXPECT_EQ("2024-05-01T12:00:03.250000Z,2024-05-01T12:00:02.750000Z,,web1:8080,Total number of requests:,"
            "\"Requests, per Second\",rate,,,first,0,\n",
            CsvRecord(first));
  const std::string first_json = JsonRecord(first);
  EXPECT_NE(std::string::npos, first_json.find("\"since\":null,")) << first_json;
  EXPECT_NE(std::string::npos, first_json.find("\"kind\":\"rate\",\"value\":null,\"unit\":null,\"status\":\"first\""))
      << first_json;

  ReadingRow reset = RateRow(&target, &counter);
  reset.status = ReadingStatus::kReset;
  reset.withheld = true;
  reset.reading.rate = -6.125;
  EXPECT_EQ(std::string::npos, CsvRecord(reset).find("-6.125"));
  EXPECT_NE(std::string::npos, CsvRecord(reset).find(",rate,,,reset,0,"));
  EXPECT_NE(std::string::npos, JsonRecord(reset).find("\"value\":null,\"unit\":null,\"status\":\"reset\""));

  ReadingRow retrying;
  retrying.target = &target;
  retrying.counter = &counter;
  retrying.status = ReadingStatus::kRetrying;
  retrying.result = 20;
  EXPECT_NE(std::string::npos, CsvRecord(retrying).find(",,,,retrying,20,"));
  EXPECT_FALSE(ShowsNumber(retrying));
}

}  // namespace
TEST(OutputFormatTest, TimesAreUtcWithMicrosecondsWhateverTheDate) {
  // The C library's formatting is the reference, across leap days, centuries and the 32-bit edge.
  const auto reference = [](std::int64_t microseconds) {
    std::int64_t seconds = microseconds / 1000000;
    std::int64_t fraction = microseconds % 1000000;
    if (fraction < 0) {
      fraction += 1000000;
      --seconds;
    }
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<long long>(fraction));
    return std::string(text);
  };
  for (const std::int64_t seconds : {0LL, 59LL, 951782400LL, 951868799LL, 1709164800LL, 2147483647LL, 2147483648LL,
                                     4102444800LL, 1796651234LL, -1LL, -86400LL, 253402300799LL}) {
    for (const std::int64_t micro : {0LL, 1LL, 999999LL}) {
      const std::int64_t at = seconds * 1000000 + micro;
      EXPECT_EQ(reference(at), IsoTime(at)) << at;
    }
  }
  EXPECT_EQ("2026-12-07T13:27:27.112704Z", IsoTime(1796650047112704LL));
}

}  // namespace sarvik_host
