// The error record every server and every measurement keeps: the last failure as a result
// code and a message text, and whether that text has been handed to the host.
//
// A failure text is handed over once: a record whose text was reported gives an empty text
// on later reports of the same failure, unless the environment variable
// QOR_MON_REPORT_ALWAYS is set (to any value, the empty one included; it is looked up at
// every report). A new result code or a new text is reported again.
//
// One thread may record while another reads; every operation is atomic with respect to the
// others.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/catalogue.h"
#include "platform/mutex.h"

class MonitorErrorReport {
 public:
  // A record with result code `initial_code` and an empty text, not yet reported.
  explicit MonitorErrorReport(int initial_code = 0) : result_code_(initial_code) {}
  MonitorErrorReport(const MonitorErrorReport&) = delete;
  MonitorErrorReport& operator=(const MonitorErrorReport&) = delete;

  // Records a failure: a code or a given text that differs from the held one clears the
  // reported flag. A null text records the empty text.
  void SetError(int code, const char* text);

  // Records failure `code` with catalogue message `id` filled with `arguments`. When the
  // catalogue has no text for `id`, the failure is recorded with the empty text.
  void RecordError(int code, std::int32_t id, MessageArguments arguments);
  void RecordError(int code, std::int32_t id, std::initializer_list<MessageArgument> arguments) {
    RecordError(code, id, MessageArguments(arguments.begin(), arguments.size()));
  }

  // Fills `*text` with the held text, or with the empty text when it was reported before
  // (see above), and returns the held result code.
  [[nodiscard]] int GetReport(std::string* text);

  // The held result code, without reporting anything.
  int result_code() const;

 private:
  mutable Mutex mutex_;
  std::string text_ GUARDED_BY(mutex_);
  bool reported_ GUARDED_BY(mutex_) = false;
  int result_code_ GUARDED_BY(mutex_);
};
