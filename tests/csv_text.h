// Reading back the CSV that sarvik-host writes, for the tests that run it.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// Every field of a CSV text (quoted fields may hold commas, quotes and line breaks).
inline std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
    } else if (c == '\n') {
      row.push_back(field);
      field.clear();
      rows.push_back(row);
      row.clear();
    } else {
      field += c;
    }
  }
  return rows;
}

// The CSV readings as records keyed by the header's column names.
inline std::vector<std::map<std::string, std::string>> CsvRecords(const std::string& text) {
  const std::vector<std::vector<std::string>> rows = ParseCsv(text);
  std::vector<std::map<std::string, std::string>> records;
  if (rows.empty()) return records;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    std::map<std::string, std::string> record;
    for (std::size_t c = 0; c < rows[0].size() && c < rows[r].size(); ++c) record[rows[0][c]] = rows[r][c];
    records.push_back(record);
  }
  return records;
}
