#include "tools/statserver/source_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace statserver {
namespace {

ServerIdentity Identity() {
  ServerIdentity identity;
  identity.pid = 4242;
  identity.version_line = "Sarvik Statistics Server 7.0 B06/01/2025 12:00 (Linux DOMESTIC)";
  identity.server_started = "Fri Jul 14 14:34:15 2006";
  identity.process_started = "Fri Jul 14 14:34:15 2006";
  identity.listen_address = "http://127.0.0.1:8080";
  return identity;
}

// What a pattern counter reads: the first number after the first occurrence of its label.
long long FirstNumberAfter(const std::string& page, std::string_view label) {
  const std::size_t at = page.find(label);
  if (at == std::string::npos) return -1;
  const std::size_t digit = page.find_first_of("0123456789", at + label.size());
  return digit == std::string::npos ? -1 : std::atoll(page.c_str() + digit);
}

// The number in cell `column` (1-based) of data row `row` (1-based) of the virtual-server table.
long long TableCell(const std::string& page, int row, int column) {
  std::size_t at = page.find(kVirtualServerTableName);
  for (int i = 0; i <= row && at != std::string::npos; ++i) at = page.find("<tr>", at + 1);
  for (int i = 0; i < column && at != std::string::npos; ++i) at = page.find("<td", at + 1);
  if (at == std::string::npos) return -1;
  const std::size_t digit = page.find_first_of("0123456789", page.find('>', at));
  return std::atoll(page.c_str() + digit);
}

TEST(SourcePage, EveryFigureFollowsTheFormula) {
  for (const int source : {1, 7, 1000}) {
    for (const std::uint64_t copy : {0u, 1u, 59u}) {
      const std::string page = RenderPage(SourcePageData(source, copy, Identity()));
      const long long k = source;
      const long long n = static_cast<long long>(copy);
      SCOPED_TRACE("source " + std::to_string(source) + ", copy " + std::to_string(copy));
      for (const SourceFigure& figure : kSourceGauges) {
        EXPECT_EQ(FirstNumberAfter(page, figure.label), static_cast<long long>(figure.weight) * k + n)
            << figure.label;
      }
      for (const SourceFigure& figure : kSourceTotals) {
        EXPECT_EQ(FirstNumberAfter(page, figure.label), static_cast<long long>(figure.weight) * k * n)
            << figure.label;
      }
      for (int row = 1; row <= 2; ++row) {
        EXPECT_EQ(TableCell(page, row, 2), static_cast<long long>(kSourceTableRequestsWeight[row - 1]) * k * n);
        EXPECT_EQ(TableCell(page, row, 3), static_cast<long long>(kSourceTableBytesWeight[row - 1]) * k * n);
      }
      EXPECT_LT(page.size(), kSnapshotCapacity - kDelimiterLength - 1);
      EXPECT_EQ(page.rfind("webservd pid: 4242\n", 0), 0u);
    }
  }
}

TEST(SourcePage, OnlyNumberedPathsWithinTheCountAreSources) {
  EXPECT_EQ(SourceOfPath("/s/1/.perf", 10), 1);
  EXPECT_EQ(SourceOfPath("/s/10/.perf", 10), 10);
  EXPECT_EQ(SourceOfPath("/s/11/.perf", 10), std::nullopt);
  EXPECT_EQ(SourceOfPath("/s/0/.perf", 10), std::nullopt);
  EXPECT_EQ(SourceOfPath("/s/01/.perf", 10), std::nullopt);
  EXPECT_EQ(SourceOfPath("/s//.perf", 10), std::nullopt);
  EXPECT_EQ(SourceOfPath("/s/x1/.perf", 10), std::nullopt);
  EXPECT_EQ(SourceOfPath("/s/1/.perf", 0), std::nullopt);
  EXPECT_EQ(SourceOfPath("/t/1/.perf", 10), std::nullopt);
  EXPECT_EQ(SourceOfPath("/s/1/perf", 10), std::nullopt);
}

}  // namespace
}  // namespace statserver
