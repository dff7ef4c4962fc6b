#include "tools/host/discover.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace sarvik_host {

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) c = LowerAscii(c);
  return lowered;
}

// The plug-in's conversion of a number's text (as atof: blanks, a sign, digits, a point, an
// exponent; nothing readable gives 0).
double ReadNumberAsPlugIn(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  std::size_t end = at;
  while (end < text.size() && (IsDigit(text[end]) || text[end] == '.' || text[end] == 'e' || text[end] == 'E' ||
                               text[end] == '+' || text[end] == '-')) {
    ++end;
  }
  double value = 0;
  const std::from_chars_result result =
      std::from_chars(text.data() + at, text.data() + end, value, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    std::size_t digits = at;
    while (digits < end && text[digits] != 'e' && text[digits] != 'E') ++digits;
    value = (digits + 1 < end && text[digits + 1] == '-') ? 0.0 : HUGE_VAL;
  } else if (result.ec != std::errc()) {
    value = 0;
  }
  return negative ? -value : value;
}

// The length of the number that starts at `text` (digits, a point and digits, an exponent),
// 0 when `text` does not start with a digit.
std::size_t NumberLength(std::string_view text) {
  std::size_t end = 0;
  while (end < text.size() && IsDigit(text[end])) ++end;
  if (end == 0) return 0;
  if (end + 1 < text.size() && text[end] == '.' && IsDigit(text[end + 1])) {
    ++end;
    while (end < text.size() && IsDigit(text[end])) ++end;
  }
  if (end + 1 < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    if (exponent < text.size() && IsDigit(text[exponent])) {
      end = exponent;
      while (end < text.size() && IsDigit(text[end])) ++end;
    }
  }
  return end;
}

// Whether `text` holds a time of day ("19:06:31", "17:09"): a date, not a reading.
bool HoldsClockTime(std::string_view text) {
  for (std::size_t i = 1; i + 2 < text.size(); ++i) {
    if (text[i] == ':' && IsDigit(text[i - 1]) && IsDigit(text[i + 1]) && IsDigit(text[i + 2])) return true;
  }
  return false;
}

// Whether a reading's number of `length` characters at the start of `rest` stands alone: the
// end of the line, a blank, or the separators of readings ("2/37/4096", "0.42, 0.35", "95.75%").
bool NumberStandsAlone(std::string_view rest, std::size_t length) {
  if (length == 0) return false;
  if (length == rest.size()) return true;
  const char next = rest[length];
  return IsBlank(next) || next == '/' || next == ',' || next == '%' || next == '(' || next == ')';
}

// Words of a name, lower-cased: split at anything but letters and digits, and where a lower
// case letter is followed by an upper case one.
std::vector<std::string> WordsOf(std::string_view name) {
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (!IsLetter(c) && !IsDigit(c)) {
      if (!word.empty()) words.push_back(word);
      word.clear();
      continue;
    }
    if (!word.empty() && c >= 'A' && c <= 'Z' && i > 0 && name[i - 1] >= 'a' && name[i - 1] <= 'z') {
      words.push_back(word);
      word.clear();
    }
    word += LowerAscii(c);
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

// "KeepAliveHits" as "Keep Alive Hits"; a trailing colon dropped.
std::string ReadableName(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.back() == ':') text.remove_suffix(1);
  std::string readable;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (i > 0 && c >= 'A' && c <= 'Z' && text[i - 1] >= 'a' && text[i - 1] <= 'z') readable += ' ';
    readable += c;
  }
  return readable;
}

// The text of an HTML fragment: tags dropped, the common entities replaced, blanks collapsed.
std::string TextOf(std::string_view html) {
  std::string text;
  bool in_tag = false;
  for (std::size_t i = 0; i < html.size(); ++i) {
    const char c = html[i];
    if (in_tag) {
      in_tag = c != '>';
      continue;
    }
    if (c == '<') {
      in_tag = true;
      text += ' ';
      continue;
    }
    if (c == '&') {
      static const std::pair<std::string_view, char> kEntities[] = {
          {"&nbsp;", ' '}, {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
      bool replaced = false;
      for (const auto& [entity, character] : kEntities) {
        if (html.substr(i, entity.size()) == entity) {
          text += character;
          i += entity.size() - 1;
          replaced = true;
          break;
        }
      }
      if (replaced) continue;
    }
    text += IsBlank(c) ? ' ' : c;
  }
  std::string collapsed;
  for (const char c : text) {
    if (c == ' ' && (collapsed.empty() || collapsed.back() == ' ')) continue;
    collapsed += c;
  }
  while (!collapsed.empty() && collapsed.back() == ' ') collapsed.pop_back();
  return collapsed;
}

// Whether a cell's text is a number alone (a unit or a percent sign may follow it).
bool IsNumericCell(std::string_view text) {
  const std::size_t length = NumberLength(text);
  return length > 0 && (length == text.size() || text[length] == ' ' || text[length] == '%');
}

// --- The pattern counters of the plain text -------------------------------------------------

struct LineReading {
  std::string label;        // the label as the page shows it
  std::size_t value_offset;  // where its number starts in the copy
  std::size_t gap_offset;    // where the blanks after the label start
  std::size_t gap_length;
};

// The label and number of one line, if it has them.
std::optional<LineReading> ReadLine(std::string_view line, std::size_t line_offset) {
  if (line.empty() || IsBlank(line.front()) || line.find('<') != std::string_view::npos) return std::nullopt;
  // The label ends at the first column gap (two or more blanks, or a tab), or after the first
  // colon that a blank follows, whichever comes first; a number must follow it. A label is one
  // phrase: a line whose first gap is not followed by a number (a table's row) is no counter.
  std::size_t label_end = std::string_view::npos;
  for (std::size_t at = 0; at < line.size() && label_end == std::string_view::npos; ++at) {
    if (line[at] == ':' && at + 1 < line.size() && IsBlank(line[at + 1])) {
      label_end = at + 1;
    } else if ((line[at] == ' ' && at + 1 < line.size() && line[at + 1] == ' ') || line[at] == '\t') {
      label_end = at;
    }
  }
  if (label_end == std::string_view::npos) return std::nullopt;
  std::size_t value = label_end;
  while (value < line.size() && IsBlank(line[value])) ++value;
  const std::string_view label = line.substr(0, label_end);
  const std::string_view rest = line.substr(value);
  const bool has_letter = std::any_of(label.begin(), label.end(), IsLetter);
  if (!has_letter || label.find('|') != std::string_view::npos || label.size() > 200) return std::nullopt;
  if (!NumberStandsAlone(rest, NumberLength(rest)) || HoldsClockTime(rest)) return std::nullopt;
  return LineReading{std::string(label), line_offset + value, line_offset + label_end, value - label_end};
}

// The dashed headings of the page ("KeepAliveInfo:" over a line of dashes), by offset.
std::map<std::size_t, std::string> HeadingsOf(std::string_view view) {
  std::map<std::size_t, std::string> headings;
  std::string_view previous;
  std::size_t previous_offset = 0;
  for (std::size_t at = 0; at < view.size();) {
    std::size_t end = view.find('\n', at);
    if (end == std::string_view::npos) end = view.size();
    const std::string_view line = Trim(view.substr(at, end - at));
    if (line.size() >= 3 && line.find_first_not_of('-') == std::string_view::npos && !previous.empty()) {
      headings[previous_offset] = ReadableName(previous);
    }
    previous = line;
    previous_offset = at;
    at = end + 1;
  }
  return headings;
}

std::string HeadingAt(const std::map<std::size_t, std::string>& headings, std::size_t offset) {
  auto found = headings.upper_bound(offset);
  if (found == headings.begin()) return {};
  return std::prev(found)->second;
}

void ProposePatterns(std::string_view copy, std::vector<ProposedCounter>* proposals) {
  const std::string_view view = PluginView(copy);
  const std::map<std::size_t, std::string> headings = HeadingsOf(view);
  for (std::size_t at = 0; at < view.size();) {
    std::size_t end = view.find('\n', at);
    if (end == std::string_view::npos) end = view.size();
    std::string_view line = view.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::optional<LineReading> reading = ReadLine(line, at);
    at = end + 1;
    if (!reading) continue;
    // The label alone, or lengthened by the blanks after it until its first occurrence is this one.
    std::optional<ReadPlace> place;
    std::string pattern = reading->label;
    for (std::size_t blanks = 0; blanks <= reading->gap_length; ++blanks) {
      pattern = reading->label + std::string(view.substr(reading->gap_offset, blanks));
      place = ReadPatternAsPlugIn(copy, pattern);
      if (place && place->offset == reading->value_offset) break;
      place.reset();
    }
    if (!place) continue;
    ProposedCounter proposal;
    proposal.kind = ProposedCounter::Kind::kPattern;
    proposal.counter = pattern;
    proposal.label = ReadableName(reading->label);
    const std::string heading = HeadingAt(headings, reading->value_offset);
    proposal.description = "the number after \"" + std::string(Trim(reading->label)) + "\" in the statistics page" +
                           (heading.empty() ? "" : " (" + heading + ")") + ".";
    proposal.value = place->value;
    proposal.offset = place->offset;
    proposals->push_back(std::move(proposal));
  }
}

// --- The table cells ------------------------------------------------------------------------

struct Cell {
  std::size_t tag_offset = 0;      // the '<' of its <td or <th
  std::size_t content_offset = 0;  // after the tag's '>'
  std::size_t content_end = 0;
  bool header = false;
  std::string text;
};

struct Table {
  std::size_t open_offset = 0;
  std::size_t close_offset = std::string_view::npos;
  std::string caption;
  std::string heading;  // the last heading element before it
  std::vector<std::vector<Cell>> rows;
};

// The tables of `view`, in the order they open; cells of a nested table belong to it alone.
std::vector<Table> TablesOf(std::string_view view) {
  std::vector<Table> tables;
  std::vector<std::size_t> open;  // indexes into `tables`
  std::string heading;
  std::size_t heading_start = std::string_view::npos;  // content start of an open <hN>
  std::size_t caption_start = std::string_view::npos;
  Cell* cell = nullptr;
  auto close_cell = [&](std::size_t at) {
    if (cell != nullptr) {
      cell->content_end = at;
      cell->text = TextOf(view.substr(cell->content_offset, at - cell->content_offset));
    }
    cell = nullptr;
  };
  for (std::size_t at = view.find('<'); at != std::string_view::npos; at = view.find('<', at + 1)) {
    const std::size_t end = view.find('>', at);
    if (end == std::string_view::npos) break;
    std::size_t name_end = at + 1;
    while (name_end < end && !IsBlank(view[name_end]) && view[name_end] != '/' ) ++name_end;
    if (name_end == at + 1 && name_end < end && view[name_end] == '/') {
      ++name_end;
      while (name_end < end && !IsBlank(view[name_end])) ++name_end;
    }
    const std::string name = Lower(view.substr(at + 1, name_end - at - 1));
    Table* table = open.empty() ? nullptr : &tables[open.back()];
    if (name == "table") {
      close_cell(at);
      Table added;
      added.open_offset = at;
      added.heading = heading;
      tables.push_back(std::move(added));
      open.push_back(tables.size() - 1);
    } else if (name == "/table") {
      close_cell(at);
      if (table != nullptr) {
        table->close_offset = end + 1;
        open.pop_back();
      }
      heading.clear();
    } else if (table != nullptr && name == "tr") {
      close_cell(at);
      table->rows.emplace_back();
    } else if (table != nullptr && (name == "td" || name == "th")) {
      close_cell(at);
      if (table->rows.empty()) continue;
      table->rows.back().push_back(Cell{at, end + 1, end + 1, name == "th", {}});
      cell = &table->rows.back().back();
    } else if (name == "/td" || name == "/th" || name == "/tr") {
      close_cell(at);
    } else if (table != nullptr && name == "caption") {
      caption_start = end + 1;
    } else if (table != nullptr && name == "/caption" && caption_start != std::string_view::npos) {
      table->caption = TextOf(view.substr(caption_start, at - caption_start));
      caption_start = std::string_view::npos;
    } else if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      heading_start = end + 1;
    } else if (name.size() == 3 && name[0] == '/' && name[1] == 'h' && name[2] >= '1' && name[2] <= '6' &&
               heading_start != std::string_view::npos) {
      heading = TextOf(view.substr(heading_start, at - heading_start));
      heading_start = std::string_view::npos;
    }
    at = end;
  }
  close_cell(view.size());
  return tables;
}

// The copy with 'D', 'R' and 'T' lowered after `from`, as the plug-in rewrites its copy.
std::string LoweredAfter(std::string_view view, std::size_t from) {
  std::string lowered(view);
  for (std::size_t i = from; i < lowered.size(); ++i) {
    if (lowered[i] == 'D' || lowered[i] == 'R' || lowered[i] == 'T') lowered[i] = LowerAscii(lowered[i]);
  }
  return lowered;
}

// The row and column counts that lead the plug-in from `name_offset` to the cell tag at
// `cell_offset`, in the rewritten copy.
std::pair<int, int> WalkTo(const std::string& lowered, std::size_t name_offset, std::size_t cell_offset) {
  int row = 0;
  std::size_t row_start = name_offset;
  for (std::size_t at = lowered.find("<tr>", name_offset); at != std::string::npos && at < cell_offset;
       at = lowered.find("<tr>", at + 1)) {
    ++row;
    row_start = at + 1;
  }
  int column = 0;
  for (std::size_t at = lowered.find("<td", row_start); at != std::string::npos && at <= cell_offset;
       at = lowered.find("<td", at + 1)) {
    ++column;
  }
  return {row, column};
}

void ProposeCells(std::string_view copy, std::vector<ProposedCounter>* proposals) {
  const std::string_view view = PluginView(copy);
  const std::vector<Table> tables = TablesOf(view);
  for (const Table& table : tables) {
    // The end of the last table closed before this one opens.
    std::size_t previous_end = 0;
    for (const Table& other : tables) {
      if (other.close_offset != std::string_view::npos && other.close_offset <= table.open_offset) {
        previous_end = std::max(previous_end, other.close_offset);
      }
    }
    // The text that names the table: its caption, the heading before it, or its own tag; the
    // first whose first occurrence in the page lies between the previous table and this one.
    const std::size_t tag_end = view.find('>', table.open_offset);
    std::vector<std::string> names = {table.caption, table.heading,
                                      std::string(view.substr(table.open_offset, tag_end + 1 - table.open_offset))};
    std::string name;
    std::size_t name_offset = std::string_view::npos;
    for (const std::string& candidate : names) {
      if (candidate.empty() || candidate.size() > 511) continue;
      const std::size_t first = view.find(candidate);
      const bool in_place = first != std::string_view::npos && first >= previous_end &&
                            (first < table.open_offset || candidate == names.back() || candidate == table.caption);
      if (in_place) {
        name = candidate;
        name_offset = first;
        break;
      }
    }
    if (name_offset == std::string_view::npos || table.rows.empty()) continue;
    const std::string lowered = LoweredAfter(view, name_offset + name.size());

    // Column headings: the first row that holds no number.
    std::vector<std::string> column_headings;
    for (const std::vector<Cell>& row : table.rows) {
      const bool numbers = std::any_of(row.begin(), row.end(), [](const Cell& cell) { return IsNumericCell(cell.text); });
      if (!numbers) {
        for (const Cell& cell : row) column_headings.push_back(cell.text);
        break;
      }
    }
    const std::string readable_table = ReadableName(name.front() == '<' ? "Table" : name);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
      const std::vector<Cell>& row = table.rows[r];
      const std::string row_heading = !row.empty() && !IsNumericCell(row[0].text) ? row[0].text : "";
      for (std::size_t c = 0; c < row.size(); ++c) {
        const Cell& cell = row[c];
        if (cell.header || !IsNumericCell(cell.text) || cell.tag_offset < name_offset) continue;
        const auto [walk_row, walk_column] = WalkTo(lowered, name_offset, cell.tag_offset);
        const std::optional<ReadPlace> place = ReadTableCellAsPlugIn(copy, name, walk_row, walk_column);
        const double shown = ReadNumberAsPlugIn(cell.text);
        if (!place || place->value != shown || place->offset < cell.content_offset ||
            place->offset >= std::max(cell.content_end, cell.content_offset + 1)) {
          continue;
        }
        const std::string column_heading = c < column_headings.size() ? column_headings[c] : "";
        std::string label = row_heading;
        if (!column_heading.empty()) label += (label.empty() ? "" : " ") + column_heading;
        if (row_heading.empty() || column_heading.empty()) {
          label += (label.empty() ? "" : " ") + std::string("row ") + std::to_string(r + 1) + " column " +
                   std::to_string(c + 1);
        }
        ProposedCounter proposal;
        proposal.kind = ProposedCounter::Kind::kTableCell;
        proposal.table_name = name;
        proposal.row = walk_row;
        proposal.column = walk_column;
        proposal.counter = readable_table + " " + label;
        proposal.label = label;
        proposal.description = "the number in the cell \"" + label + "\" of the table " + readable_table + ".";
        proposal.value = place->value;
        proposal.offset = place->offset;
        proposals->push_back(std::move(proposal));
      }
    }
  }
}

// The value a proposal reads in another copy.
std::optional<double> ValueIn(const ProposedCounter& proposal, std::string_view copy) {
  const std::optional<ReadPlace> place =
      proposal.kind == ProposedCounter::Kind::kPattern
          ? ReadPatternAsPlugIn(copy, proposal.counter)
          : ReadTableCellAsPlugIn(copy, proposal.table_name, proposal.row, proposal.column);
  if (!place) return std::nullopt;
  return place->value;
}

std::string FormatValue(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

}  // namespace

std::string_view PluginView(std::string_view copy) {
  copy = copy.substr(0, copy.find('\0'));
  return copy.substr(0, kPluginSnapshotLimit);
}

std::optional<ReadPlace> ReadPatternAsPlugIn(std::string_view copy, std::string_view pattern) {
  const std::string_view view = PluginView(copy);
  pattern = pattern.substr(0, pattern.find('\0'));
  const std::size_t match = view.find(pattern);
  if (match == std::string_view::npos) return std::nullopt;
  std::size_t digit = match + pattern.size();
  while (digit < view.size() && !IsDigit(view[digit])) ++digit;
  if (digit >= view.size()) return std::nullopt;
  return ReadPlace{ReadNumberAsPlugIn(view.substr(digit)), digit};
}

std::optional<ReadPlace> ReadTableCellAsPlugIn(std::string_view copy, std::string_view table_name, int row,
                                               int column) {
  const std::string_view view = PluginView(copy);
  table_name = table_name.substr(0, table_name.find('\0'));
  const std::size_t match = view.find(table_name);
  if (match == std::string_view::npos) return std::nullopt;
  const std::string lowered = LoweredAfter(view, match + table_name.size());
  std::size_t position = match;
  for (int r = 0; r < row; ++r) {
    position = lowered.find("<tr>", position);
    if (position == std::string::npos) return std::nullopt;
    ++position;
  }
  for (int c = 0; c < column; ++c) {
    position = lowered.find("<td", position);
    if (position == std::string::npos) return std::nullopt;
    ++position;
  }
  position = lowered.find('>', position);
  if (position == std::string::npos) return std::nullopt;
  ++position;
  if (position < lowered.size() && lowered[position] == '<') {
    position = lowered.find('>', position);
    if (position == std::string::npos) return std::nullopt;
    ++position;
  }
  return ReadPlace{ReadNumberAsPlugIn(std::string_view(lowered).substr(position)), position};
}

CounterConfiguration ReadCounterConfiguration(std::string_view text) {
  CounterConfiguration configuration;
  if (text.find("\r\n") != std::string_view::npos) configuration.line_end = "\r\n";
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::map<std::string, std::map<std::string, std::string>>& sections = configuration.values;
  std::map<std::string, std::string>* current = nullptr;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string name = Lower(Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)));
      if (!name.empty() && std::all_of(name.begin(), name.end(), IsDigit) && name.size() < 9) {
        configuration.highest_section = std::max(configuration.highest_section, std::stoi(name));
      }
      current = sections.count(name) != 0 ? nullptr : &sections[name];
      continue;
    }
    const std::size_t equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos) continue;
    const std::string key = Lower(Trim(line.substr(0, equals)));
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (!key.empty()) current->emplace(key, std::string(value));
  }
  auto text_of = [&sections](const std::string& section, const std::string& key) -> std::string {
    const auto found = sections.find(section);
    if (found == sections.end()) return {};
    const auto value = found->second.find(key);
    return value == found->second.end() ? std::string() : value->second.substr(0, 511);
  };
  auto number_of = [&text_of](const std::string& section, const std::string& key, int default_value) {
    const std::string value = text_of(section, key);
    if (value.empty()) return default_value;
    long long number = 0;
    std::size_t at = 0;
    bool negative = false;
    if (value[0] == '+' || value[0] == '-') negative = value[at++] == '-';
    while (at < value.size() && IsDigit(value[at]) && number < (1LL << 32)) number = number * 10 + (value[at++] - '0');
    number = negative ? -number : number;
    return static_cast<int>(std::clamp<long long>(number, -2147483648LL, 2147483647LL));
  };
  configuration.counters = std::max(0, number_of("netscape", "counters", 0));
  for (int index = 0; index < configuration.counters && index < 100000; ++index) {
    const std::string section = std::to_string(index);
    ConfiguredCounter counter;
    counter.section = index;
    counter.counter = text_of(section, "counter");
    counter.label = text_of(section, "label");
    counter.keep_previous = number_of(section, "keepprevvalue", 0);
    counter.table_name = text_of(section, "tblname");
    counter.row = number_of(section, "tblrow", 1);
    counter.column = number_of(section, "tblcolumn", 0);
    configuration.sections.push_back(std::move(counter));
  }
  return configuration;
}

std::string CounterConfiguration::Value(std::string_view section, std::string_view key,
                                       std::string_view default_value) const {
  const auto found = values.find(Lower(section));
  if (found == values.end()) return std::string(default_value);
  const auto value = found->second.find(Lower(key));
  return value == found->second.end() ? std::string(default_value) : value->second;
}

bool GuessKeepPrevious(std::string_view name, double value, std::optional<double> later_value, std::string* reason) {
  static const std::set<std::string> kLevelWords = {
      "current", "average", "avg", "mean", "peak", "limit", "limits", "max", "maximum", "min", "minimum",
      "active", "idle", "busy", "length", "delay", "latency", "time", "age", "timeout", "threads", "thread",
      "entries", "size", "percent", "pid", "load", "free", "used", "open", "pending", "waiting", "progress",
      "uptime", "rate", "interval", "enabled"};
  static const std::set<std::string> kTotalWords = {
      "total", "totals", "requests", "bytes", "hits", "hit", "misses", "flushes", "refusals", "timeouts",
      "queued", "created", "invocations", "lookups", "errors", "sent", "received", "accepted", "served",
      "handled", "dropped", "failures", "retries", "rejected", "closed", "opened", "written", "read"};
  auto say = [reason](const std::string& why) {
    if (reason != nullptr) *reason = why;
  };
  if (later_value && *later_value < value) {
    say("fell between two copies");
    return false;
  }
  const std::vector<std::string> words = WordsOf(name);
  for (const std::string& word : words) {
    if (kLevelWords.count(word) != 0) {
      say("name says " + word);
      return false;
    }
  }
  for (const std::string& word : words) {
    if (kTotalWords.count(word) != 0) {
      say("name says " + word);
      return true;
    }
  }
  const bool counted = std::any_of(words.begin(), words.end(), [](const std::string& word) {
    return word == "count" || word == "counts" || word == "number";
  });
  if (counted && later_value && *later_value > value) {
    say("a count that grew between two copies");
    return true;
  }
  say(counted && !later_value ? "a count, not seen to grow" : "no word of a total");
  return false;
}

std::vector<ProposedCounter> ProposeCounters(std::string_view copy, std::optional<std::string_view> later_copy) {
  std::vector<ProposedCounter> proposals;
  ProposePatterns(copy, &proposals);
  ProposeCells(copy, &proposals);
  std::set<std::string> taken;
  for (ProposedCounter& proposal : proposals) {
    // Every counter text is the name of one counter: a cell named twice gets its place added.
    if (proposal.kind == ProposedCounter::Kind::kTableCell && !taken.insert(proposal.counter).second) {
      proposal.counter += " (row " + std::to_string(proposal.row) + ", column " + std::to_string(proposal.column) + ")";
      taken.insert(proposal.counter);
    } else {
      taken.insert(proposal.counter);
    }
    const std::optional<double> later = later_copy ? ValueIn(proposal, *later_copy) : std::nullopt;
    const std::string name = proposal.kind == ProposedCounter::Kind::kPattern ? proposal.counter : proposal.label;
    proposal.keep_previous = GuessKeepPrevious(name, proposal.value, later, &proposal.keep_reason);
    if (proposal.keep_previous) {
      proposal.label += " per Second";
      proposal.description = "Change per second of " + proposal.description;
    } else {
      proposal.description = "The value of " + proposal.description;
    }
  }
  return proposals;
}

void MarkConfigured(const CounterConfiguration& configuration, std::string_view copy,
                    std::vector<ProposedCounter>* proposals) {
  std::map<std::size_t, const ConfiguredCounter*> read_at;
  std::map<std::string, const ConfiguredCounter*> by_text;
  for (const ConfiguredCounter& counter : configuration.sections) {
    by_text.emplace(counter.counter, &counter);
    const std::optional<ReadPlace> place =
        counter.table_name.empty() ? ReadPatternAsPlugIn(copy, counter.counter)
                                   : ReadTableCellAsPlugIn(copy, counter.table_name, counter.row, counter.column);
    if (place) read_at.emplace(place->offset, &counter);
  }
  std::vector<ProposedCounter> kept;
  for (ProposedCounter& proposal : *proposals) {
    const auto reading = read_at.find(proposal.offset);
    if (reading != read_at.end()) {
      proposal.configured_section = reading->second->section;
      proposal.configured_counter = reading->second->counter;
      kept.push_back(std::move(proposal));
      continue;
    }
    // The plug-in finds a counter by the first section with its text.
    if (by_text.count(proposal.counter) != 0) {
      if (proposal.kind == ProposedCounter::Kind::kPattern) continue;  // a section reads this text elsewhere
      std::string renamed;
      for (int n = 2; renamed.empty() || by_text.count(renamed) != 0; ++n) {
        renamed = proposal.counter + " (" + std::to_string(n) + ")";
      }
      proposal.counter = renamed;
    }
    kept.push_back(std::move(proposal));
  }
  *proposals = std::move(kept);
}

std::string ProfileValue(std::string_view value) {
  const bool blank_edge = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
  if (blank_edge || quoted) return "\"" + std::string(value) + "\"";
  return std::string(value);
}

NewSections WriteNewSections(const std::vector<ProposedCounter>& proposals, const CounterConfiguration& configuration,
                             const std::vector<std::string>& comment) {
  NewSections written;
  written.first_section = std::max(configuration.counters, configuration.highest_section + 1);
  const std::string& eol = configuration.line_end;
  std::string sections;
  int number = written.first_section;
  for (const ProposedCounter& proposal : proposals) {
    if (proposal.configured_section) continue;
    // A line break in a text would end its value early.
    auto one_line = [](std::string text) {
      for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
      }
      return text;
    };
    sections += eol + "[" + std::to_string(number++) + "]" + eol;
    sections += "Counter=" + ProfileValue(proposal.counter) + eol;
    sections += "Label=" + ProfileValue(one_line(proposal.label)) + eol;
    sections += "Description=" + ProfileValue(one_line(proposal.description)) + eol;
    sections += "KeepPrevValue=" + std::string(proposal.keep_previous ? "1" : "0") + eol;
    if (proposal.kind == ProposedCounter::Kind::kTableCell) {
      sections += "TblName=" + ProfileValue(proposal.table_name) + eol;
      sections += "TblRow=" + std::to_string(proposal.row) + eol;
      sections += "TblColumn=" + std::to_string(proposal.column) + eol;
    }
    sections += "; read when discovered: " + FormatValue(proposal.value) + " (KeepPrevValue: " + proposal.keep_reason +
                ")" + eol;
  }
  written.count = number - written.first_section;
  written.counters_total = written.count == 0 ? configuration.counters : number;
  for (const std::string& line : comment) written.text += "; " + line + eol;
  written.text += "[Netscape]" + eol + "Counters=" + std::to_string(written.counters_total) + eol + sections;
  return written;
}

}  // namespace sarvik_host
