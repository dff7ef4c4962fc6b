// Locks and events with the annotations the compiler checks: a plain mutex, a shared mutex
// (many readers or one writer), scoped holders, and an auto-reset event.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <shared_mutex>

#include "platform/thread_annotations.h"

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  std::mutex mutex_;
};

// Holds a lock for the lifetime of the holder.
template <typename LockType>
class SCOPED_CAPABILITY ScopedLock {
 public:
  explicit ScopedLock(LockType& lock) ACQUIRE(lock) : lock_(lock) { lock_.Lock(); }
  ~ScopedLock() RELEASE() { lock_.Unlock(); }
  ScopedLock(const ScopedLock&) = delete;
  ScopedLock& operator=(const ScopedLock&) = delete;

 private:
  LockType& lock_;
};

using MutexLock = ScopedLock<Mutex>;

// A lock that many readers may hold at once in shared mode, or one writer alone.
class CAPABILITY("mutex") SharedMutex {
 public:
  SharedMutex() = default;
  SharedMutex(const SharedMutex&) = delete;
  SharedMutex& operator=(const SharedMutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }
  void LockShared() ACQUIRE_SHARED() { mutex_.lock_shared(); }
  void UnlockShared() RELEASE_SHARED() { mutex_.unlock_shared(); }

 private:
  std::shared_mutex mutex_;
};

// Holds a lock in shared mode for the lifetime of the holder.
template <typename LockType>
class SCOPED_CAPABILITY SharedScopedLock {
 public:
  explicit SharedScopedLock(LockType& lock) ACQUIRE_SHARED(lock) : lock_(lock) { lock_.LockShared(); }
  ~SharedScopedLock() RELEASE() { lock_.UnlockShared(); }
  SharedScopedLock(const SharedScopedLock&) = delete;
  SharedScopedLock& operator=(const SharedScopedLock&) = delete;

 private:
  LockType& lock_;
};

using ReaderLock = SharedScopedLock<SharedMutex>;
using WriterLock = ScopedLock<SharedMutex>;

// An event that releases one wait per signal and resets itself; a signal given while nobody
// waits stays pending until the next wait. Any thread may signal or wait.
class AutoResetEvent {
 public:
  void Signal() {
    std::lock_guard<std::mutex> hold(mutex_);
    signalled_ = true;
    condition_.notify_one();
  }

  // Waits until signalled or until `timeout` has passed. Returns true when a signal ended
  // the wait (and consumed it).
  bool WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> hold(mutex_);
    const bool signalled = condition_.wait_for(hold, timeout, [this] { return signalled_; });
    signalled_ = false;
    return signalled;
  }

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool signalled_ = false;
};
