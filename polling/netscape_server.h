// One monitored statistics source (a host, a URL on it, a port and the scheme) and its polling
// thread.
//
// The polling thread runs fetch cycles with a fixed 2000 ms pause between them. A cycle holds
// one HTTP response open and publishes every complete copy of the statistics page as the
// server's snapshot; a failure is recorded in the server's error record and empties the
// snapshot. The host's threads read the snapshot through CopySnapshot and the error record
// through error_record(); measurements never run on the polling thread.
//
// States: Built (no activation yet; the one-shot server of a connection test stays here),
// Active (activations > 0), Idle (no activations, the thread finishing its cycle or pausing),
// Stopped (the thread decided to end; never revived). Every failed cycle gives up one
// activation.
//
// Threads: the registry functions, AddActivation, ReleaseActivation, CopySnapshot and
// destruction run on the host's threads; GetMonitorData, PublishSnapshot and the rest of the
// cycle on the polling thread (or on the host's thread for a connection test). The state lock
// and the data lock are never held together and never during network or file input.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "abi/records.h"
#include "platform/http.h"
#include "platform/mutex.h"
#include "polling/proxy_settings.h"
#include "config/server_params.h"
#include "reporting/error_report.h"

// The user agent every statistics request carries.
inline constexpr char kStatisticsUserAgent[] = "Mozilla/4.5 [en] (WinNT; I)";

class CNetscapeServer {
 public:
  // The snapshot store: at most kSnapshotCapacity - 1 characters and a terminating NUL.
  static constexpr std::size_t kSnapshotCapacity = 8192;
  // The pause between two fetch cycles.
  static constexpr std::chrono::milliseconds kCyclePause{2000};
  // The longest wait for the response's status line.
  static constexpr std::chrono::milliseconds kSendBound{8000};
  // The longest wait for stream data before a cycle fails.
  static constexpr std::chrono::milliseconds kReceiveTimeout{60000};
  // In dump-file mode, the most bytes read from the file and the pause between two reads.
  static constexpr std::size_t kDumpReadSize = 8192;
  static constexpr std::chrono::milliseconds kDumpPause{3000};

  // A server for `params` that fetches with `http` and the proxy use `proxy`. It starts no
  // thread and holds no activation; its error record holds result code 1 and an empty text. It
  // reads the environment variable QOR_NS_MON_FILE: when set, the server reads that file in
  // place of the network. `http` must outlive the server. `serial` tells this server apart from
  // earlier ones of the same key (the registry numbers them).
  CNetscapeServer(const ServerParams& params, const ProxySettings& proxy, HttpClient& http,
                  std::uint64_t serial = 0);

  // Gives up every activation, wakes the thread and waits for it to end; a thread inside a
  // fetch notices within about 100 ms.
  ~CNetscapeServer();

  CNetscapeServer(const CNetscapeServer&) = delete;
  CNetscapeServer& operator=(const CNetscapeServer&) = delete;

  // Starts the polling thread. False when no thread can be started.
  [[nodiscard]] bool StartPolling();

  // Adds one activation; wakes a pausing thread when the server was idle and `wake` is set.
  // False, with nothing changed, when the server has stopped.
  [[nodiscard]] bool AddActivation(bool wake);

  // Gives up one activation (never below 0); the last one makes the server idle.
  void ReleaseActivation();

  // Asks the thread to end as soon as it can, without waiting for it: gives up every activation
  // and wakes it. Destruction then only waits for the thread.
  void RequestStop();

  // One fetch cycle on the calling thread, for a server whose polling thread was never started
  // (the connection test's one-shot server, and tests). Returns 0 when the cycle ended without
  // failure (the response ended, or the server became inactive); 3 to 9 after a failure, which
  // is recorded in the error record: 3 the network layer (or the end of dump-file mode), 4 the
  // connection, 5 the request, 6 the send, 7 an unexpected HTTP status, 8 waiting for data,
  // 9 reading it.
  [[nodiscard]] int RunSingleCycle() { return GetMonitorData(); }

  // Copies the snapshot into `buffer` (capacity bytes, terminated) and returns the number of
  // characters copied (0 when there is no snapshot), with the snapshot's time in `*time`.
  std::size_t CopySnapshot(char* buffer, std::size_t capacity, SampleTime* time) const;

  MonitorErrorReport& error_record() { return error_record_; }

  // What the host is told once about this server beside its readings and failures: for an HTTPS
  // source whose certificate is not checked (verifyServer=0), that it is not. The first call
  // that finds the notice unsaid copies it into `*text` and returns true; every other call
  // returns false and leaves `*text` alone. Any thread may call it.
  bool TakeNotice(std::string* text);
  bool active() const { return active_.load(); }

  // Publishes `text` as if the polling thread had received it. Benchmarks and tests only.
  void TEST_PublishSnapshot(const char* text, std::size_t length) { PublishSnapshot(text, length); }
  bool stopped() const;
  int activation_count() const;
  const ServerParams& params() const { return params_; }
  const std::string& key() const { return key_; }
  std::uint64_t serial() const { return serial_; }

 private:
  void PollingLoop();
  // The fetch cycle that RunSingleCycle describes; runs on the polling thread.
  int GetMonitorData();
  // Pauses until woken or for kCyclePause; returns true when the thread must end (the server
  // is inactive), and from then on the server is stopped.
  [[nodiscard]] bool WaitForNextCycle();
  // Stores `text` (`length` characters, cut to the store) as the snapshot, stamped with the
  // current time; length 0 empties it.
  void PublishSnapshot(const char* text, std::size_t length);
  void ReleaseActivationLocked() REQUIRES(state_mutex_);
  // Wakes the exchange the polling thread waits in, if any, so that it sees the server inactive.
  void WakeExchange() EXCLUDES(exchange_mutex_);
  int ReadDumpFile();
  int FetchFromNetwork();
  void RecordFailure(int code, std::int32_t message_id, std::initializer_list<MessageArgument> arguments);
  // A step failed: the failure is recorded, then the snapshot emptied.
  void FailCycle(int code, std::int32_t message_id, std::initializer_list<MessageArgument> arguments);

  MonitorErrorReport error_record_{1};
  // Set before the polling thread starts, never changed after.
  bool polling_ = false;
  std::thread thread_;

  mutable Mutex state_mutex_;
  int activation_count_ GUARDED_BY(state_mutex_) = 0;
  // Written under the state lock; read without it by the fetch loop.
  std::atomic<bool> active_{false};
  bool stopped_ GUARDED_BY(state_mutex_) = false;
  AutoResetEvent wake_event_;

  // The exchange of the running fetch, registered by the polling thread for the time it exists.
  Mutex exchange_mutex_ ACQUIRED_AFTER(state_mutex_);
  HttpExchange* exchange_ GUARDED_BY(exchange_mutex_) = nullptr;

  // Fixed after construction.
  const ServerParams params_;
  const std::string key_;
  const std::uint64_t serial_;
  const ProxySettings proxy_;
  HttpClient& http_;
  const std::optional<std::string> dump_file_;

  mutable Mutex data_mutex_;
  char snapshot_[kSnapshotCapacity] GUARDED_BY(data_mutex_) = {};
  std::size_t snapshot_length_ GUARDED_BY(data_mutex_) = 0;
  SampleTime snapshot_time_ GUARDED_BY(data_mutex_) = {};

  // The text of the last transport failure; used by the fetching thread only.
  std::string error_text_;

  // The notice of TakeNotice (fixed after construction; empty: none) and whether it was said.
  const std::string notice_;
  std::atomic<bool> notice_said_{false};
};
