// A scripted HTTP client for tests of the fetch cycle: each exchange plays one script of
// send outcomes, statuses and body pieces, and records what the cycle asked of it.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.h"

struct FakeResponse {
  StatusCode send = StatusCode::kOk;  // what Send() returns
  int status = 200;
  std::string reason = "OK";
};

struct FakeScript {
  bool open_fails = false;
  StatusCode open_failure = StatusCode::kResourceExhausted;
  std::deque<FakeResponse> responses{FakeResponse{}};  // one per Send(); the last one repeats
  std::deque<std::string> body;                        // pieces Available() offers, in order
  // After the body: the response ends (false) or the stream waits for more until cancelled.
  bool wait_after_body = false;
  StatusCode fail_available_after_body = StatusCode::kOk;  // a failure: Available() fails at the end
  StatusCode fail_read_at_end = StatusCode::kOk;           // a failure: the last Read() fails
  std::string error_text = "Not available";
};

// What the fetch cycle did with the exchanges of a client.
struct FakeLog {
  std::mutex mutex;
  std::atomic<int> opens{0};
  std::atomic<int> sends{0};
  std::vector<std::string> proxy_credentials;  // "user:password" per SetProxyCredentials
  HttpRequestOptions last_options;
  std::atomic<int> waiting{0};  // exchanges blocked in a wait right now
};

class FakeExchange : public HttpExchange {
 public:
  FakeExchange(FakeScript script, std::function<bool()> cancel, FakeLog& log)
      : script_(std::move(script)), cancel_(std::move(cancel)), log_(log) {}

  Status Send(std::chrono::milliseconds) override {
    ++log_.sends;
    current_ = script_.responses.front();
    if (script_.responses.size() > 1) script_.responses.pop_front();
    if (current_.send == ::StatusCode::kCancelled) return WaitForCancel();
    return Outcome(current_.send);
  }
  int StatusCode() const override { return current_.status; }
  std::string ReasonPhrase() const override { return current_.reason; }
  void SetProxyCredentials(const std::string& user, const std::string& password) override {
    std::lock_guard<std::mutex> hold(log_.mutex);
    log_.proxy_credentials.push_back(user + ":" + password);
  }
  Result<std::size_t> Available() override {
    if (!script_.body.empty()) return script_.body.front().size();
    if (script_.fail_available_after_body != ::StatusCode::kOk) return Outcome(script_.fail_available_after_body);
    if (script_.wait_after_body) return WaitForCancel();
    return std::size_t{0};
  }
  Result<std::size_t> Read(char* buffer, std::size_t size) override {
    if (script_.body.empty()) return std::size_t{0};
    if (script_.body.size() == 1 && script_.fail_read_at_end != ::StatusCode::kOk) {
      return Outcome(script_.fail_read_at_end);
    }
    std::string& piece = script_.body.front();
    const std::size_t count = std::min(size, piece.size());
    piece.copy(buffer, count);
    piece.erase(0, count);
    if (piece.empty()) script_.body.pop_front();
    return count;
  }

 private:
  // The scripted outcome `code`, a failure carrying the script's error text.
  Status Outcome(::StatusCode code) const {
    return code == ::StatusCode::kOk ? Status::Ok() : Status::Failure(code, script_.error_text);
  }

  Status WaitForCancel() {
    ++log_.waiting;
    while (!cancel_()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    --log_.waiting;
    return Outcome(::StatusCode::kCancelled);
  }

  FakeScript script_;
  std::function<bool()> cancel_;
  FakeLog& log_;
  FakeResponse current_;
};

// Plays the same script for every exchange (the script may be replaced between cycles).
class FakeHttpClient : public HttpClient {
 public:
  explicit FakeHttpClient(FakeScript script = {}) : script_(std::move(script)) {}

  void SetScript(FakeScript script) {
    std::lock_guard<std::mutex> hold(mutex_);
    script_ = std::move(script);
  }
  FakeLog& log() { return log_; }

  Result<std::unique_ptr<HttpExchange>> Open(const HttpRequestOptions& options,
                                             std::function<bool()> cancel) override {
    FakeScript script;
    {
      std::lock_guard<std::mutex> hold(mutex_);
      script = script_;
    }
    {
      std::lock_guard<std::mutex> hold(log_.mutex);
      log_.last_options = options;
    }
    ++log_.opens;
    if (script.open_fails) return Status::Failure(script.open_failure, script.error_text);
    return std::unique_ptr<HttpExchange>(std::make_unique<FakeExchange>(std::move(script), std::move(cancel), log_));
  }

 private:
  std::mutex mutex_;
  FakeScript script_;
  FakeLog log_;
};
