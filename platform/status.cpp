#include "platform/status.h"

#include <cstring>

Status ErrnoStatus(int error_number) {
  // strerror_r in its GNU form: it may return a static text instead of filling `buffer`.
  char buffer[256] = {};
  const char* text = strerror_r(error_number, buffer, sizeof(buffer));
  return Status::Failure(StatusCode::kSystemError, text != nullptr ? text : "", error_number);
}
