// The outcome of a platform call: ok, or a failure that says what kind of step failed, the
// system error number behind it (errno, 0 when the failure has none) and a readable text.
//
// Status and Result<T> are plain values: copy them, return them, keep them as long as needed;
// they own their text. Failures never travel as exceptions. Conversion from errno or from a
// library's own codes into a Status happens once, in the platform source that calls the system
// or the library (ErrnoStatus() below for errno); code above the platform only reads code(),
// error_number() and message().
//
// Both types are [[nodiscard]]: a call that returns one expects the caller to look at it.
#pragma once

#include <optional>
#include <string>
#include <utility>

// What kind of step failed.
enum class StatusCode {
  kOk = 0,
  kSystemError,        // an operating-system call failed; error_number() holds its errno value
  kInvalidArgument,    // input the platform cannot use: malformed text, a bad path or request target
  kInvalidAddress,     // a host, port or credentials the network layer refuses to use
  kResourceExhausted,  // memory or another resource of the network layer ran out
  kConnectFailed,      // the host could not be resolved or the TCP connection not opened
  kSendFailed,         // a request was not answered with a status line in time, or failed on the way
  kReceiveFailed,      // a response body broke off, or no data arrived within the receive time-out
  kCancelled,          // the caller's cancel check asked to stop
};

class [[nodiscard]] Status {
 public:
  // Ok.
  Status() = default;

  static Status Ok() { return Status(); }
  // A failure of kind `code` (not kOk); `error_number` is the errno behind it, or 0.
  static Status Failure(StatusCode code, std::string message, int error_number = 0) {
    return Status(code, std::move(message), error_number);
  }

  bool ok() const { return code_ == StatusCode::kOk; }
  StatusCode code() const { return code_; }
  // The errno value of a kSystemError failure (never 0 there); 0 for ok and most other kinds.
  int error_number() const { return error_number_; }
  // A readable text of the failure; empty for ok.
  const std::string& message() const { return message_; }

 private:
  Status(StatusCode code, std::string message, int error_number)
      : code_(code), error_number_(error_number), message_(std::move(message)) {}

  StatusCode code_ = StatusCode::kOk;
  int error_number_ = 0;
  std::string message_;
};

// A kSystemError failure for errno value `error_number`, its text being the system's
// description of that number ("No such file or directory").
Status ErrnoStatus(int error_number);

// A value of type T, or the Status of the failure that prevented it.
//
// A Result built from a value is ok(); one built from a Status must be given a failure. value()
// may be called only on an ok() Result.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit, so `return value;` reads naturally
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit, so `return status;` too

  bool ok() const { return status_.ok() && value_.has_value(); }
  const Status& status() const { return status_; }

  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }

  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  Status status_;
  std::optional<T> value_;
};
