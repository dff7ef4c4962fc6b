#include "counters/netscape_measurement_tbl.h"

#include <cstring>

namespace {

constexpr char kOperation[] = "CNetscapeMeasurementTbl::NewData";
constexpr char kMissingTag[] = "< or >";

}  // namespace

CNetscapeMeasurementTbl::CNetscapeMeasurementTbl(std::string_view key, std::string_view label,
                                                 const ServerParams& server, std::string_view table_name,
                                                 std::int32_t row_count, std::int32_t column_count,
                                                 std::int32_t keep_previous)
    : CNetscapeMeasurement(key, label, server, keep_previous),
      // A NUL ends the name as the search sees it; the walk after a match starts at that end.
      table_name_(table_name.substr(0, table_name.find('\0'))),
      row_count_(row_count),
      column_count_(column_count) {}

int CNetscapeMeasurementTbl::NewData(char* text, SampleTime time) {
  if (!AcceptSnapshot(time)) return kSameSnapshot;
  char* table = std::strstr(text, table_name_.c_str());
  if (table == nullptr) {
    RecordNotFound(table_name_, kOperation);
    return kValueNotFound;
  }
  for (char* c = table + table_name_.size(); *c != '\0'; ++c) {
    if (*c == 'D' || *c == 'R' || *c == 'T') *c = static_cast<char>(*c - 'A' + 'a');
  }

  const char* position = table;
  for (std::int32_t row = 0; row < row_count_ && position != nullptr; ++row) {
    position = std::strstr(position, "<tr>");
    if (position != nullptr) ++position;
  }
  for (std::int32_t column = 0; column < column_count_ && position != nullptr; ++column) {
    position = std::strstr(position, "<td");
    if (position != nullptr) ++position;
  }
  if (position != nullptr) position = std::strchr(position, '>');
  if (position != nullptr) {
    ++position;
    if (*position == '<') {
      position = std::strchr(position, '>');
      if (position != nullptr) ++position;
    }
  }
  if (position == nullptr) {
    RecordNotFound(kMissingTag, kOperation);
    return kValueNotFound;
  }
  StoreSample(time, ReadNumber(position));
  return kNewReading;
}
