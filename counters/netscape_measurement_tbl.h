// A table-cell counter: finds its table by a text (the table name), passes a number of row
// tags and cell tags from there, and reads the number in the cell it reaches.
//
// After the table name, upper-case D, R and T become lower case in the (private) snapshot
// copy, so upper-case tags are found too. Only the exact text "<tr>" counts as a row tag; any
// tag beginning "<td" counts as a cell tag. After the last tag passed, the value starts after
// the next '>', passing over at most one further tag (a <b> around the number, say).
#pragma once

#include <string>

#include "counters/netscape_measurement.h"

class CNetscapeMeasurementTbl : public CNetscapeMeasurement {
 public:
  CNetscapeMeasurementTbl(std::string_view key, std::string_view label, const ServerParams& server,
                          std::string_view table_name, std::int32_t row_count, std::int32_t column_count,
                          std::int32_t keep_previous);

  int NewData(char* text, SampleTime time) override;

  const std::string& table_name() const { return table_name_; }
  std::int32_t row_count() const { return row_count_; }
  std::int32_t column_count() const { return column_count_; }

 private:
  std::string table_name_;
  std::int32_t row_count_;
  std::int32_t column_count_;
};
