// The live table for a terminal: one screen that fits the terminal, redrawn by its owner after
// each interval and after each key.
//
// With several targets and room enough it is a grid: a row a counter, a column a target, each cell
// the latest value or rate for a person ("14.3 kB/s") with a sparkline of the recent readings, or
// a short word for the state ("first", "reset", "stale", "retrying", "waiting", "err 20"). With one
// target, or too many for the width, the rows are grouped by target instead. Every sparkline of a
// row shares the row's scale, and the row ends with its range ("0–14.3kB"): the lowest and the
// highest of the recent readings drawn. A flat row (one value throughout) draws its lowest block.
//
// Above the rows are the session's figures and the column heads; below them a status line (the
// latest message, or the filter being typed) and a line with the position and the keys. Keys
// page and filter the rows (Press); a `?` shows the keys, the states and the latest messages.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "tools/host/collection.h"
#include "tools/host/readable_number.h"
#include "tools/host/reading_row.h"
#include "tools/host/terminal.h"

namespace sarvik_host {

// `values` as a line of block characters, one a value, scaled from `low` (lowest block) to `high`
// (highest); a value that is not finite a blank. When `high` is not above `low` every value is
// the lowest block.
std::string Sparkline(std::span<const double> values, double low, double high);
// The same, scaled from the values' own minimum to their maximum.
std::string Sparkline(std::span<const double> values);

// The display width of UTF-8 `text` (one column a code point).
std::size_t DisplayWidth(const std::string& text);

// `text` within `width` columns: as it is when it fits, else cut with "…" at the end (or, with
// `keep_end`, at the start, for names that differ at their end such as "127.0.0.1:18081").
std::string Ellipsised(const std::string& text, std::size_t width, bool keep_end = false);

// The status line's figures.
struct SessionStatus {
  std::string targets;  // what is watched ("127.0.0.1:8080", "3 targets")
  double elapsed_seconds = 0;
  double interval_seconds = 0;
  long readings = 0;  // new readings so far
  long errors = 0;    // calls that failed so far
  bool ended = false;
  bool takes_keys = false;  // keys are read: the last line lists them
};

class TableView {
 public:
  // Rows for every counter of every target; both lists must outlive the view. Series i is
  // counter i % counters of target i / counters.
  TableView(const std::vector<std::string>& targets, const std::vector<CounterInfo>& counters);

  // Takes in a reading of series `series`.
  void Add(std::size_t series, const ReadingRow& row);
  // Adds a message; the latest is shown on the status line, the others with `?`.
  void AddMessage(std::int64_t time_us, const std::string& text);

  // What a key did.
  enum class KeyEffect {
    kNone,     // nothing to redraw
    kRedraw,   // the page, the filter or the help changed
    kQuit,     // the user ends the session (q)
  };
  // Answers a key for a screen of `width` x `height` (the size Render is given):
  // PgDn, space: the next page; PgUp, b: the previous one; Down, j and Up, k: one row; Home, g
  // and End, G: the first and the last page; / types a filter (case-insensitive, on a counter's
  // label and text; Enter applies it, Esc clears it, Backspace takes a character back); Esc
  // clears the filter; ? shows or hides the help; q ends the session.
  KeyEffect Press(const KeyPress& key, std::size_t width, std::size_t height);

  // The frame: lines of at most `width` columns, at most `height` lines (0: no limit, every row
  // and the latest messages), each ending with a line feed; no terminal control sequences. A
  // pure function of what was added, the keys pressed and its arguments.
  std::string Render(const SessionStatus& status, std::size_t width, std::size_t height) const;

 private:
  static constexpr std::size_t kSparkLength = 20;  // readings kept for a sparkline and a range
  static constexpr std::size_t kMessagesKept = 20;

  struct Series {
    bool shows_number = false;  // the last row showed a number: `reading` holds it
    ReadingRecord reading{};
    ReadingStatus status = ReadingStatus::kWaiting;
    int result = 1;
    std::string word = "waiting";  // what the cell says when it shows no number
    std::string unit;              // the unit of its readings ("B/s" for a rate of "B")
    std::deque<double> recent;     // NaN: a round without a reading (an outage)
  };

  // A line of the rows part: a target's heading (grouped only) or a counter's row.
  struct Entry {
    bool heading = false;
    std::size_t target = 0;   // grouped: the target of the row or heading
    std::size_t counter = 0;
  };

  struct Layout {
    bool grid = false;
    std::size_t label_width = 0;
    std::size_t spark_width = 0;
    std::size_t range_width = 0;
    std::size_t body_rows = 0;   // lines for entries
    std::vector<Entry> entries;  // those the filter lets through
    std::vector<std::string> labels;  // a counter's label as its rows show it
  };

  struct Page {
    std::size_t first = 0;     // entry shown first
    std::size_t end = 0;       // one past the last entry shown
    bool repeats_heading = false;  // the page opens with its target's heading again
  };

  Layout Lay(std::size_t width, std::size_t height) const;
  // The page that starts at entry `first` (a heading is repeated when it starts mid-target).
  Page PageFrom(const Layout& layout, std::size_t first) const;
  // Where every page starts, paging down from the top.
  std::vector<std::size_t> PageStarts(const Layout& layout) const;
  bool Matches(const CounterInfo& counter) const;

  std::string TitleLine(const SessionStatus& status, std::size_t width) const;
  std::string HeadLine(const Layout& layout) const;
  std::string RowLine(const Layout& layout, const Entry& entry) const;
  std::string FooterLine(const SessionStatus& status, const Layout& layout, const Page& page,
                         std::size_t width) const;
  std::string HelpFrame(const SessionStatus& status, std::size_t width, std::size_t height) const;

  const std::vector<std::string>& targets_;
  const std::vector<CounterInfo>& counters_;
  std::vector<Series> series_;
  std::deque<std::string> messages_;

  // What the user looks at.
  std::size_t first_ = 0;  // the entry at the top of the page
  std::string filter_;     // applied; empty: every counter
  bool typing_ = false;    // a filter is being typed into typed_
  std::string typed_;
  bool help_ = false;
};

}  // namespace sarvik_host
