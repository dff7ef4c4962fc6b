// The live table for a terminal: one row per counter of every target (label, latest value or
// rate, unit, a sparkline of the recent readings, status), a status line (targets, elapsed
// time, readings, errors) and the latest messages. The owner redraws it after each interval.
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "tools/host/collection.h"
#include "tools/host/readable_number.h"
#include "tools/host/reading_row.h"

namespace sarvik_host {

// `values` as a line of block characters, one a value, scaled from their minimum (lowest block)
// to their maximum (highest); all equal values give the lowest block, a value that is not
// finite a blank.
std::string Sparkline(std::span<const double> values);

// The display width of UTF-8 `text` (one column a code point).
std::size_t DisplayWidth(const std::string& text);

// The status line's figures.
struct SessionStatus {
  std::string targets;  // what is watched ("127.0.0.1:8080", "3 targets")
  double elapsed_seconds = 0;
  double interval_seconds = 0;
  long readings = 0;  // new readings so far
  long errors = 0;    // calls that failed so far
  bool ended = false;
};

class TableView {
 public:
  // Rows for every counter of every target; both lists must outlive the view. Series i is
  // counter i % counters of target i / counters.
  TableView(const std::vector<std::string>& targets, const std::vector<CounterInfo>& counters);

  // Takes in a reading of series `series`.
  void Add(std::size_t series, const ReadingRow& row);
  // Adds a message to the messages shown below the table.
  void AddMessage(std::int64_t time_us, const std::string& text);

  // The frame: lines of at most `width` columns, at most `height` lines (0: no limit), each
  // ending with a line feed; no terminal control sequences.
  std::string Render(const SessionStatus& status, std::size_t width, std::size_t height) const;

 private:
  static constexpr std::size_t kSparkLength = 20;
  static constexpr std::size_t kMessagesShown = 5;

  struct Series {
    bool shows_number = false;  // the last row showed a number: `reading` holds it
    ReadingRecord reading{};
    ReadingStatus status = ReadingStatus::kWaiting;
    int result = 1;
    std::deque<double> recent;
  };

  const std::vector<std::string>& targets_;
  const std::vector<CounterInfo>& counters_;
  std::vector<Series> series_;
  std::deque<std::string> messages_;
};

}  // namespace sarvik_host
