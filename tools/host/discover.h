// Counter discovery: from one copy of a server's statistics page, the counters the plug-in can
// read on it, each as a counter section of Netscape.cfg would define it.
//
// Two kinds are proposed:
// - a pattern counter for every line of the plain text that starts with a label and then, after
//   a column gap (two or more blanks, or a tab) or after a colon, shows a number: its Counter
//   text is the label, exactly as the plug-in searches for it (lengthened by the blanks that
//   follow it when a shorter text would first match earlier in the page);
// - a table-cell counter for every cell of every HTML table that holds a number, with the
//   TblName, TblRow and TblColumn that lead the plug-in's walk to that cell.
// Every proposal is checked by reading it the way the plug-in reads it (ReadPatternAsPlugIn,
// ReadTableCellAsPlugIn): a counter that would read another place or another number is left out.
//
// KeepPrevValue (a per-second rate of a total that only grows) is guessed by GuessKeepPrevious.
//
// Everything here is a pure function of its arguments.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik_host {

// The plug-in keeps at most this many characters of one copy of the page.
inline constexpr std::size_t kPluginSnapshotLimit = 8191;

// `copy` as the plug-in's counters see it: cut at its first NUL and to kPluginSnapshotLimit.
std::string_view PluginView(std::string_view copy);

// What the plug-in reads for a counter: the number, and where its text starts in the copy.
struct ReadPlace {
  double value = 0;
  std::size_t offset = 0;
};

// The number after the first occurrence of `pattern` in PluginView(`copy`), as a pattern
// counter reads it; nothing when the pattern does not occur or no digit follows it (the plug-in
// reads 0 there, which says nothing about the page).
std::optional<ReadPlace> ReadPatternAsPlugIn(std::string_view copy, std::string_view pattern);

// The number a table-cell counter with `table_name`, `row` and `column` reads in
// PluginView(`copy`); nothing when the plug-in reports the counter as not found.
std::optional<ReadPlace> ReadTableCellAsPlugIn(std::string_view copy, std::string_view table_name, int row,
                                               int column);

// One counter section of the current configuration.
struct ConfiguredCounter {
  int section = 0;
  std::string counter;
  std::string label;
  int keep_previous = 0;
  std::string table_name;  // empty: a pattern counter
  int row = 1;
  int column = 0;
};

// What the proposals are compared with and numbered after.
struct CounterConfiguration {
  int counters = 0;            // Counters of [Netscape]
  int highest_section = -1;    // the highest numbered section in the file, counted or not
  std::string line_end = "\n";  // "\r\n" when the file's lines end so
  std::vector<ConfiguredCounter> sections;  // sections 0 .. counters-1, in order
  // Every value of the file: section and key names lower-cased, the first of each name counting.
  std::map<std::string, std::map<std::string, std::string>> values;

  // The value of `key` in `section` (names without regard to case), or `default_value`.
  std::string Value(std::string_view section, std::string_view key, std::string_view default_value = "") const;
};

// Reads a Netscape.cfg text with the plug-in's rules: names without regard to case, blanks
// around names and values dropped, one pair of quotes around a value removed, ';' and '#'
// comment lines, of two sections or keys with the same name the first one counts, an integer
// is the number at the start of its value.
CounterConfiguration ReadCounterConfiguration(std::string_view text);

// The KeepPrevValue guess for a counter named `name` (its label text, or a table's row and
// column headings), whose value was `value` and, when a later copy was read, `later_value`:
// 1. a value that fell between the two copies is not a total: 0;
// 2. a name with a word of a level or a duration (current, average, peak, limit, max, min,
//    active, idle, busy, length, delay, latency, time, age, timeout, threads, entries, size,
//    percent, pid, ...) is not a total: 0;
// 3. a name with a word of things that are counted as they happen (total, requests, bytes,
//    hits, misses, flushes, refusals, timeouts, queued, created, invocations, lookups, errors,
//    sent, received, ...) is a total: 1;
// 4. any other name: 1 only when it says "count" or "number" and the later copy showed the
//    value grow; otherwise 0.
// Words are split at blanks, punctuation and lower-to-upper case changes ("KeepAliveHits").
// `*reason` (when given) receives the rule that decided, in a few words.
bool GuessKeepPrevious(std::string_view name, double value, std::optional<double> later_value,
                       std::string* reason = nullptr);

struct ProposedCounter {
  enum class Kind { kPattern, kTableCell };
  Kind kind = Kind::kPattern;
  std::string counter;      // the Counter text: the pattern; for a cell, a name of its own
  std::string label;        // readable, from the page's text or the table's headings
  std::string description;
  std::string table_name;   // table cells: TblName, TblRow, TblColumn
  int row = 0;
  int column = 0;
  bool keep_previous = false;
  std::string keep_reason;  // why keep_previous was guessed so
  double value = 0;         // the value the plug-in reads in the copy
  std::size_t offset = 0;   // where that value's text starts in the copy
  // The section of the configuration that already reads the same number, if one does.
  std::optional<int> configured_section;
  std::string configured_counter;
};

// The counters of `copy` in page order (the pattern counters of the text, then the cells of
// each table). With `later_copy`, a copy read a little later, each counter's value there feeds
// the KeepPrevValue guess.
std::vector<ProposedCounter> ProposeCounters(std::string_view copy,
                                             std::optional<std::string_view> later_copy = std::nullopt);

// Marks the proposals that a counter section of `configuration` already reads (the same place
// of `copy`), and renames a new table cell whose name a section already uses.
void MarkConfigured(const CounterConfiguration& configuration, std::string_view copy,
                    std::vector<ProposedCounter>* proposals);

// The sections to add for the proposals that are not configured yet.
struct NewSections {
  int first_section = 0;   // the number of the first new section
  int count = 0;           // how many
  int counters_total = 0;  // the Counters value once they are added
  std::string text;        // the text to write, lines ending as the configuration's do
};

// Writes the unconfigured proposals as numbered counter sections after the highest section of
// `configuration` (and at least at its Counters value), preceded by `comment` (lines written
// as ';' comments) and by a [Netscape] section whose Counters line holds the new total.
NewSections WriteNewSections(const std::vector<ProposedCounter>& proposals, const CounterConfiguration& configuration,
                             const std::vector<std::string>& comment);

// `value` as a Netscape.cfg value that reads back as `value`: quoted when it starts or ends
// with a blank or is itself wrapped in a pair of quotes.
std::string ProfileValue(std::string_view value);

}  // namespace sarvik_host
