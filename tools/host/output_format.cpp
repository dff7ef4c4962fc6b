#include "tools/host/output_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace sarvik_host {

namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

struct Columns {
  std::string polled, time, since, kind, value, unit;
  bool has_number = false;
  bool finite = true;
};

Columns ColumnsOf(const ReadingRow& row) {
  Columns columns;
  columns.polled = IsoTime(row.polled_us);
  if (row.has_reading) {
    columns.time = IsoTime(Microseconds(SnapshotTime(row.reading)));
    if (IsRate(row.reading)) columns.since = IsoTime(Microseconds(row.reading.first_time));
    columns.kind = KindName(row.reading);
    if (row.reading.kind == 0 || row.reading.kind == 1) {
      const double number = ReadingNumber(row.reading);
      columns.value = FormatNumber(number);
      columns.has_number = true;
      columns.finite = std::isfinite(number);
      columns.unit = ReadingUnit(row.counter != nullptr ? row.counter->unit : "", IsRate(row.reading));
    }
  }
  return columns;
}

// Appends CsvField(text) to `*out`.
void AppendCsvField(std::string_view text, std::string* out) {
  bool quote = !text.empty() && (text.front() == ' ' || text.back() == ' ' || text.front() == '\t' ||
                                 text.back() == '\t');
  for (const char c : text) {
    if (c == ',' || c == '"' || c == '\n' || c == '\r') quote = true;
  }
  if (!quote) {
    out->append(text);
    return;
  }
  *out += '"';
  for (const char c : text) {
    if (c == '"') *out += '"';
    *out += c;
  }
  *out += '"';
}

// Appends FormatNumber(number) to `*out`.
void AppendNumber(double number, std::string* out) {
  if (std::isnan(number)) {
    *out += "nan";
    return;
  }
  if (std::isinf(number)) {
    *out += number > 0 ? "inf" : "-inf";
    return;
  }
  char text[64];
  const auto [end, error] = std::to_chars(text, text + sizeof text, number);
  if (error != std::errc()) {
    *out += "nan";
    return;
  }
  out->append(text, end);
}

}  // namespace

std::string CsvField(std::string_view text) {
  std::string field;
  AppendCsvField(text, &field);
  return field;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  std::size_t at = 0;
  while (at < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    switch (c) {
      case '"': out += "\\\""; ++at; continue;
      case '\\': out += "\\\\"; ++at; continue;
      case '\n': out += "\\n"; ++at; continue;
      case '\r': out += "\\r"; ++at; continue;
      case '\t': out += "\\t"; ++at; continue;
      case '\b': out += "\\b"; ++at; continue;
      case '\f': out += "\\f"; ++at; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
      ++at;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(text.substr(at));
    if (length == 0) {
      out += "\\ufffd";
      ++at;
      continue;
    }
    out.append(text.substr(at, length));
    at += length;
  }
  out += '"';
  return out;
}

std::string FormatNumber(double number) {
  std::string text;
  AppendNumber(number, &text);
  return text;
}

std::string CsvHeader() { return "polled,time,since,host,counter,label,kind,value,unit,status,result,message\n"; }

std::string CsvRecord(const ReadingRow& row) {
  std::string line;
  AppendCsvRecord(row, &line);
  return line;
}

void AppendCsvRecord(const ReadingRow& row, std::string* line) {
  AppendIsoTime(row.polled_us, line);
  *line += ',';
  const bool has_number = row.has_reading && (row.reading.kind == 0 || row.reading.kind == 1);
  if (row.has_reading) AppendIsoTime(Microseconds(SnapshotTime(row.reading)), line);
  *line += ',';
  if (row.has_reading && IsRate(row.reading)) AppendIsoTime(Microseconds(row.reading.first_time), line);
  *line += ',';
  AppendCsvField(row.target != nullptr ? std::string_view(*row.target) : std::string_view(), line);
  *line += ',';
  AppendCsvField(row.counter != nullptr ? std::string_view(row.counter->counter) : std::string_view(), line);
  *line += ',';
  AppendCsvField(row.counter != nullptr ? std::string_view(row.counter->label) : std::string_view(), line);
  *line += ',';
  if (row.has_reading) AppendCsvField(KindName(row.reading), line);
  *line += ',';
  if (has_number) AppendNumber(ReadingNumber(row.reading), line);
  *line += ',';
  if (has_number) {
    AppendCsvField(ReadingUnit(row.counter != nullptr ? row.counter->unit : "", IsRate(row.reading)), line);
  }
  *line += ',';
  *line += StatusName(row.status);
  *line += ',';
  char result[16];
  const auto [end, error] = std::to_chars(result, result + sizeof result, row.result);
  if (error == std::errc()) line->append(result, end);
  *line += ',';
  AppendCsvField(row.message, line);
  *line += '\n';
}

std::string JsonRecord(const ReadingRow& row) {
  const Columns columns = ColumnsOf(row);
  const auto text_or_null = [](const std::string& text) { return text.empty() ? "null" : JsonString(text); };
  std::string line = "{";
  line += "\"polled\":" + JsonString(columns.polled);
  line += ",\"time\":" + text_or_null(columns.time);
  line += ",\"since\":" + text_or_null(columns.since);
  line += ",\"host\":" + JsonString(row.target != nullptr ? *row.target : "");
  line += ",\"counter\":" + JsonString(row.counter != nullptr ? row.counter->counter : "");
  line += ",\"label\":" + JsonString(row.counter != nullptr ? row.counter->label : "");
  line += ",\"kind\":" + text_or_null(columns.kind);
  line += ",\"value\":" + (columns.has_number && columns.finite ? columns.value : std::string("null"));
  line += ",\"unit\":" + text_or_null(columns.unit);
  line += ",\"status\":" + JsonString(StatusName(row.status));
  line += ",\"result\":" + std::to_string(row.result);
  line += ",\"message\":" + JsonString(row.message);
  line += "}\n";
  return line;
}

}  // namespace sarvik_host
