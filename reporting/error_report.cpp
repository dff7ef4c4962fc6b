#include "reporting/error_report.h"

#include <cstring>

#include "platform/process.h"

void MonitorErrorReport::SetError(int code, const char* text) {
  MutexLock hold(mutex_);
  if (code != result_code_ || (text != nullptr && text_ != text)) {
    reported_ = false;
    result_code_ = code;
  }
  text_.assign(text == nullptr ? "" : text);
}

void MonitorErrorReport::RecordError(int code, std::int32_t id, MessageArguments arguments) {
  char* text = nullptr;
  FormatGenericMessage(id, arguments, &text);
  SetError(code, text);
  FreeGenericMessage(text);
}

int MonitorErrorReport::GetReport(std::string* text) {
  const bool report_always = GetEnvironment("QOR_MON_REPORT_ALWAYS").has_value();
  MutexLock hold(mutex_);
  if (report_always) {
    *text = text_;
  } else if (reported_) {
    text->clear();
  } else {
    *text = text_;
    reported_ = true;
  }
  return result_code_;
}

int MonitorErrorReport::result_code() const {
  MutexLock hold(mutex_);
  return result_code_;
}
