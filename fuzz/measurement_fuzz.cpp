// The two extractors over an arbitrary snapshot, as the monitor runs them: each on a private,
// NUL-terminated copy of the page, one NewData per snapshot time, then GetReading.
//
// Input: a flags byte (bit 0 keep-previous), a row byte and a column byte (as signed numbers),
// the counter name up to the first '\n', the table name up to the next '\n' (NULs included),
// and the page: the rest.
//
// Checks: a pattern counter finds its value exactly when its name occurs in the page before
// the page's first NUL; a table counter fails when its name (up to its NUL) does not occur
// there; the table counter changes its copy only by lowering D, R and T after the table name;
// neither writes past the copy; a second NewData with the same time is recognised; the
// reading has the kind that was asked for.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "counters/netscape_measurement.h"
#include "counters/netscape_measurement_tbl.h"
#include "fuzz/fuzz_check.h"

namespace {

// The snapshot copy the monitor hands a measurement: the page and a NUL, in a block of its
// own so that a read or write past it is caught.
std::vector<char> PrivateCopy(std::string_view page) {
  std::vector<char> copy(page.begin(), page.end());
  copy.push_back('\0');
  return copy;
}

bool Contains(const char* text, const std::string& c_string) { return std::strstr(text, c_string.c_str()) != nullptr; }

void CheckReading(const CNetscapeMeasurement& measurement, bool keep_previous) {
  ReadingRecord record;
  std::memset(&record, 0xA5, sizeof record);
  measurement.GetReading(&record);
  FUZZ_CHECK(record.kind == (keep_previous ? 1 : 0));
  measurement.GetReading(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const bool keep_previous = (data[0] & 1) != 0;
  const std::int32_t rows = static_cast<std::int8_t>(data[1]);
  const std::int32_t columns = static_cast<std::int8_t>(data[2]);
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::size_t name_end = rest.find('\n');
  if (name_end == std::string_view::npos) return 0;
  const std::string_view counter_name = rest.substr(0, name_end);
  rest.remove_prefix(name_end + 1);
  const std::size_t table_end = rest.find('\n');
  if (table_end == std::string_view::npos) return 0;
  const std::string_view table_name = rest.substr(0, table_end);
  const std::string_view page = rest.substr(table_end + 1);

  ServerParams server;
  server.host = "web1";
  server.port = 80;
  server.url = "/.perf";

  // The pattern counter: key "name|web1", searched for up to the key's first '|', within the
  // key's 511 characters and up to its first NUL.
  const std::string key = std::string(counter_name) + "|web1";
  CNetscapeMeasurement pattern(key, counter_name, server, keep_previous ? 1 : 0);
  std::string stored_key = key.substr(0, 511);
  stored_key.resize(std::strlen(stored_key.c_str()));
  const std::size_t bar = stored_key.find('|');
  {
    std::vector<char> copy = PrivateCopy(page);
    const int result = pattern.NewData(copy.data(), SampleTime{1000, 250000});
    const bool expect_found = bar != std::string::npos && Contains(copy.data(), stored_key.substr(0, bar));
    FUZZ_CHECK(result == (expect_found ? CNetscapeMeasurement::kNewReading : CNetscapeMeasurement::kValueNotFound));
    FUZZ_CHECK(std::memcmp(copy.data(), page.data(), page.size()) == 0);
    FUZZ_CHECK(pattern.NewData(copy.data(), SampleTime{1000, 900000}) == CNetscapeMeasurement::kSameSnapshot);
    CheckReading(pattern, keep_previous);
    std::vector<char> second = PrivateCopy(page);
    FUZZ_CHECK(pattern.NewData(second.data(), SampleTime{1001, 0}) == result);
    CheckReading(pattern, keep_previous);
  }

  CNetscapeMeasurementTbl table(key, counter_name, server, table_name, rows, columns, keep_previous ? 1 : 0);
  {
    std::vector<char> copy = PrivateCopy(page);
    const int result = table.NewData(copy.data(), SampleTime{2000, 0});
    FUZZ_CHECK(result == CNetscapeMeasurement::kNewReading || result == CNetscapeMeasurement::kValueNotFound);
    const std::string searched(table_name.substr(0, table_name.find('\0')));
    const std::vector<char> original = PrivateCopy(page);
    const char* first = std::strstr(original.data(), searched.c_str());
    if (first == nullptr) FUZZ_CHECK(result == CNetscapeMeasurement::kValueNotFound);
    // Only D, R and T after the first match of the name may have become lower case.
    const std::size_t lowered_from =
        first == nullptr ? original.size() : static_cast<std::size_t>(first - original.data()) + searched.size();
    for (std::size_t i = 0; i < original.size(); ++i) {
      if (copy[i] == original[i]) continue;
      FUZZ_CHECK(i >= lowered_from);
      FUZZ_CHECK(original[i] == 'D' || original[i] == 'R' || original[i] == 'T');
      FUZZ_CHECK(copy[i] == original[i] - 'A' + 'a');
    }
    FUZZ_CHECK(table.NewData(copy.data(), SampleTime{2000, 1}) == CNetscapeMeasurement::kSameSnapshot);
    CheckReading(table, keep_previous);
  }
  return 0;
}
