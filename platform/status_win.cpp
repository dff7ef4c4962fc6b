#include "platform/status.h"

#include <string.h>

Status ErrnoStatus(int error_number) {
  char buffer[256] = {};
  if (strerror_s(buffer, sizeof(buffer), error_number) != 0) buffer[0] = '\0';
  return Status::Failure(StatusCode::kSystemError, buffer, error_number);
}
