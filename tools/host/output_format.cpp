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

void AppendJsonString(std::string_view text, std::string* out_text) {
  std::string& out = *out_text;
  out += '"';
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
}

std::string JsonString(std::string_view text) {
  std::string out;
  AppendJsonString(text, &out);
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

namespace {

// Appends the number of `value` in decimal.
void AppendInteger(int value, std::string* out) {
  char text[16];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  if (error == std::errc()) out->append(text, end);
}

// What a row shows, column by column; a column that shows nothing is left out (CSV: an empty
// field, JSON: null).
struct Shown {
  bool time = false;   // the snapshot time
  bool since = false;  // a rate's earlier snapshot time
  bool kind = false;
  bool number = false;
};

Shown ShownOf(const ReadingRow& row) {
  Shown shown;
  shown.time = row.has_reading;
  shown.since = row.has_reading && IsRate(row.reading) && HasEarlierSample(row.reading);
  shown.kind = row.has_reading;
  shown.number = ShowsNumber(row);
  return shown;
}

std::string UnitOf(const ReadingRow& row) {
  return ReadingUnit(row.counter != nullptr ? row.counter->unit : "", IsRate(row.reading));
}

std::string_view TextOr(const std::string* text) { return text != nullptr ? std::string_view(*text) : std::string_view(); }

}  // namespace

void AppendCsvRecord(const ReadingRow& row, std::string* line) {
  const Shown shown = ShownOf(row);
  AppendIsoTime(row.polled_us, line);
  *line += ',';
  if (shown.time) AppendIsoTime(Microseconds(SnapshotTime(row.reading)), line);
  *line += ',';
  if (shown.since) AppendIsoTime(Microseconds(row.reading.first_time), line);
  *line += ',';
  AppendCsvField(TextOr(row.target), line);
  *line += ',';
  AppendCsvField(row.counter != nullptr ? std::string_view(row.counter->counter) : std::string_view(), line);
  *line += ',';
  AppendCsvField(row.counter != nullptr ? std::string_view(row.counter->label) : std::string_view(), line);
  *line += ',';
  if (shown.kind) AppendCsvField(KindName(row.reading), line);
  *line += ',';
  if (shown.number) AppendNumber(ReadingNumber(row.reading), line);
  *line += ',';
  if (shown.number) AppendCsvField(UnitOf(row), line);
  *line += ',';
  *line += StatusName(row.status);
  *line += ',';
  AppendInteger(row.result, line);
  *line += ',';
  AppendCsvField(row.message, line);
  *line += '\n';
}

std::string JsonRecord(const ReadingRow& row) {
  std::string line;
  AppendJsonRecord(row, &line);
  return line;
}

void AppendJsonRecord(const ReadingRow& row, std::string* line) {
  const Shown shown = ShownOf(row);
  const auto time_or_null = [&](bool present, SampleTime time) {
    if (!present) {
      *line += "null";
      return;
    }
    *line += '"';
    AppendIsoTime(Microseconds(time), line);
    *line += '"';
  };
  *line += "{\"polled\":\"";
  AppendIsoTime(row.polled_us, line);
  *line += "\",\"time\":";
  time_or_null(shown.time, SnapshotTime(row.reading));
  *line += ",\"since\":";
  time_or_null(shown.since, row.reading.first_time);
  *line += ",\"host\":";
  AppendJsonString(TextOr(row.target), line);
  *line += ",\"counter\":";
  AppendJsonString(row.counter != nullptr ? std::string_view(row.counter->counter) : std::string_view(), line);
  *line += ",\"label\":";
  AppendJsonString(row.counter != nullptr ? std::string_view(row.counter->label) : std::string_view(), line);
  *line += ",\"kind\":";
  if (shown.kind) {
    AppendJsonString(KindName(row.reading), line);
  } else {
    *line += "null";
  }
  const bool number = shown.number && std::isfinite(ReadingNumber(row.reading));
  *line += ",\"value\":";
  if (number) {
    AppendNumber(ReadingNumber(row.reading), line);
  } else {
    *line += "null";
  }
  *line += ",\"unit\":";
  const std::string unit = shown.number ? UnitOf(row) : std::string();
  if (!unit.empty()) {
    AppendJsonString(unit, line);
  } else {
    *line += "null";
  }
  *line += ",\"status\":\"";
  *line += StatusName(row.status);
  *line += "\",\"result\":";
  AppendInteger(row.result, line);
  *line += ",\"message\":";
  AppendJsonString(row.message, line);
  *line += "}\n";
}

}  // namespace sarvik_host
