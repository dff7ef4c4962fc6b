// The machine-readable outputs: one CSV line or one JSON object (a JSONL line) per reading.
//
// Columns, in this order (CSV header and JSON keys alike):
//   polled   the host's clock when it called GetNewData (ISO-8601, UTC)
//   time     the snapshot time of the reading (a rate: its later snapshot); empty/null without one
//   since    a rate's earlier snapshot time; empty/null for a value and for a first rate
//   host     the target, counter (its text), label
//   kind     "value" or "rate"; value: the number the plug-in wrote, unit; both empty/null when the
//            row withholds its number (a first rate, a reset, or a row repeating one)
//   status   new, unchanged, waiting, error, first, reset, stale or retrying (see ReadingStatus);
//            result: GetNewData's result
//   message  what the plug-in handed over with this call (usually empty)
// Numbers are written in the shortest form that reads back to the same double.
#pragma once

#include <string>
#include <string_view>

#include "tools/host/reading_row.h"

namespace sarvik_host {

// `text` as one CSV field: quoted (quotes doubled) when it holds a comma, quote, line break or
// leading/trailing blank.
std::string CsvField(std::string_view text);

// `text` as a JSON string literal, quotes included. Invalid UTF-8 bytes become U+FFFD.
std::string JsonString(std::string_view text);
void AppendJsonString(std::string_view text, std::string* out);

// `number` in its shortest round-trip form ("12.5", "3", "1e+20"); "nan", "inf" or "-inf" when
// not finite.
std::string FormatNumber(double number);

// The CSV header line, with its line feed.
std::string CsvHeader();
// One CSV line for `row`, with its line feed.
std::string CsvRecord(const ReadingRow& row);
// Appends CsvRecord(row) to `*line` without a string of its own for each column.
void AppendCsvRecord(const ReadingRow& row, std::string* line);
// One JSON object for `row` on one line, with its line feed.
std::string JsonRecord(const ReadingRow& row);
// Appends JsonRecord(row) to `*line` without a string of its own for each column.
void AppendJsonRecord(const ReadingRow& row, std::string* line);

}  // namespace sarvik_host
