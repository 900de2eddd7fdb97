#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/LoggerProtocol.h"

#include "core/Async.h"
#include "core/CancelToken.h"
#include "core/Log.h"
#include "futures/FuturesError.h"
#include "futures/Promise.h"
#include "futures/ThreadPool.h"
#include "futures/TimerQueue.h"

namespace tessellon {

// One request to the host in flight, guarded against the host's mistakes: its future completes
// once, on the background queue, whatever the host does. Only the first answer counts (later
// ones are logged once and dropped), progress after the answer is dropped, an error in the
// cancellation class ends the request as cancelled, and a host that neither answers nor
// reports progress for the time limit fails it with `timeoutCode` and has its transfer
// cancelled. Every method may be called from any thread, also from inside the host's call.
template <class T>
class HostRequest final : public std::enable_shared_from_this<HostRequest<T>> {
 public:
  using Clock = TimerQueue::Clock;

  // `what` names the request in messages ("download of dev1/backup.json"); `timeoutCode` is
  // the code of a request the host left unanswered. A limit of zero or less waits for the host
  // for ever. The clock starts now.
  static std::shared_ptr<HostRequest> start(std::string what, std::chrono::milliseconds limit,
                                            BackupSDKError timeoutCode,
                                            std::shared_ptr<LoggerProtocol> logger) {
    auto request = std::shared_ptr<HostRequest>(
        new HostRequest(std::move(what), limit, timeoutCode, std::move(logger)));
    if (limit.count() > 0) {
      std::lock_guard lock(request->mutex_);
      request->armClock(Clock::now() + limit);
    }
    return request;
  }

  HostRequest(const HostRequest&) = delete;
  HostRequest& operator=(const HostRequest&) = delete;

  const Future<T>& future() const { return promise_.future; }
  const std::string& what() const { return what_; }

  // Cancelling the token aborts the host's transfer, if one runs, and completes the future as
  // cancelled on the background queue, whether or not the host ever answers.
  // Call before the host's: an answer the host gave before the cancellation still counts.
  void watch(const std::shared_ptr<CancelToken>& token) {
    if (!token) return;
    (void)token->onCancel([self = this->shared_from_this()] {
      self->stopClock();
      cancelTransfer(self->takeTransfer());
      Async::background([self] { self->promise_.completeWithCancel(); });
    });
  }

  // The host's progress callback around the caller's: it restarts the clock, and reaches the
  // caller only while the request is open.
  std::function<void(const TransferProgress&)> progress(
      std::function<void(const TransferProgress&)> report) {
    return [self = this->shared_from_this(),
            report = std::move(report)](const TransferProgress& progress) {
      if (self->answered_.load() || self->promise_.future.isCompleted()) return;
      self->lastProgress_.store(Clock::now().time_since_epoch().count());
      if (report) report(progress);
    };
  }

  // `done` is called once the host has answered or thrown, whether or not the request was still
  // open: a cancelled request may be at work on the remote until then. Call before the host's.
  void onHostDone(std::function<void()> done) {
    std::lock_guard lock(mutex_);
    hostDone_ = std::move(done);
  }

  // The handle the host returned for its transfer; dropped when the host has answered already.
  void keepTransfer(std::shared_ptr<CancellationDelegate> transfer) {
    std::lock_guard lock(mutex_);
    if (!answered_.load()) transfer_ = std::move(transfer);
  }

  // Called with the host's answer: the first one runs `handle` on the background queue, any
  // later one is dropped (and the first of those logged).
  template <class Handle>
  void onAnswer(Handle&& handle) {
    if (!takeAnswer()) return;
    // The host may answer on any thread, also inside its own call; hop to the background queue.
    Async::background(std::forward<Handle>(handle));
  }
  // An answer of the host that does not call back at all (a host without streaming).
  bool takeAnswer() {
    std::unique_lock lock(mutex_);
    if (answered_.exchange(true)) {
      const bool first = !duplicateLogged_;
      duplicateLogged_ = true;
      lock.unlock();
      if (first) {
        logWith(logger_, LogLevel::warning, [&] {
          return "Quorro: the host answered the " + what_ + " more than once; ignored";
        });
      }
      return false;
    }
    transfer_.reset();
    cancelClock();
    lock.unlock();
    hostDone();
    return true;
  }

  // The host's call threw: the request fails, and a later answer changes nothing.
  void hostThrew(Error error) {
    stopClock();
    hostDone();
    Async::background([self = this->shared_from_this(), error = std::move(error)] {
      self->promise_.completeWithFail(error);
    });
  }

  // Completions, to be called on the background queue; the first completion wins.
  void succeed(T value) const { promise_.completeWithSuccess(std::move(value)); }
  // An error of the cancellation class ends the request as cancelled, like a cancelled token.
  void fail(Error error) const {
    if (testForCancellation(error)) return promise_.completeWithCancel();
    promise_.completeWithFail(std::move(error));
  }
  // A failure of the library's, for an answer it cannot use.
  void refuse(BackupSDKError code, const std::string& reason) const {
    fail(makeError(code, "the host's answer to the " + what_ + " " + reason));
  }

 private:
  HostRequest(std::string what, std::chrono::milliseconds limit, BackupSDKError timeoutCode,
              std::shared_ptr<LoggerProtocol> logger)
      : what_(std::move(what)),
        limit_(limit),
        timeoutCode_(timeoutCode),
        logger_(std::move(logger)),
        lastProgress_(Clock::now().time_since_epoch().count()) {}

  static void cancelTransfer(const std::shared_ptr<CancellationDelegate>& transfer) {
    if (!transfer) return;
    try {
      transfer->cancel();
    } catch (...) {
      // A host that throws from cancel() must not keep the other handlers from running.
    }
  }

  // Runs what onHostDone() registered, once.
  void hostDone() {
    std::function<void()> done;
    {
      std::lock_guard lock(mutex_);
      done = std::move(hostDone_);
    }
    if (done) done();
  }

  std::shared_ptr<CancellationDelegate> takeTransfer() {
    std::lock_guard lock(mutex_);
    return std::move(transfer_);
  }

  // The clock holds the request: a host that drops its completion must still see it end.
  // Called with mutex_ held.
  void armClock(Clock::time_point at) {
    clock_ = TimerQueue::shared()->add(at, [self = this->shared_from_this()] { self->tick(); });
  }
  void cancelClock() {
    if (clock_) (void)TimerQueue::shared()->cancel(*clock_);
    clock_.reset();
  }
  void stopClock() {
    std::lock_guard lock(mutex_);
    clockStopped_ = true;
    cancelClock();
  }

  // Progress moves the deadline rather than the timer, so a busy transfer costs no timer work.
  void tick() {
    std::shared_ptr<CancellationDelegate> transfer;
    {
      std::lock_guard lock(mutex_);
      clock_.reset();
      if (answered_.load() || clockStopped_ || promise_.future.isCompleted()) return;
      const Clock::time_point deadline =
          Clock::time_point(Clock::duration(lastProgress_.load())) + limit_;
      if (Clock::now() < deadline) return armClock(deadline);
      transfer = std::move(transfer_);
    }
    logWith(logger_, LogLevel::warning, [&] {
      return "Quorro: the host gave neither an answer nor progress for the " + what_ + " in " +
             std::to_string(limit_.count()) + " ms; the request fails";
    });
    // The host's cancel() may take its time: not on the timer's thread.
    if (transfer) ThreadPool::shared()->add([transfer] { cancelTransfer(transfer); });
    Error error = makeError(timeoutCode_, "no answer from the host for the " + what_ + " in " +
                                              std::to_string(limit_.count()) + " ms");
    Async::background([self = this->shared_from_this(), error = std::move(error)] {
      self->promise_.completeWithFail(error);
    });
  }

  const std::string what_;
  const std::chrono::milliseconds limit_;
  const BackupSDKError timeoutCode_;
  const std::shared_ptr<LoggerProtocol> logger_;  // may be null
  Promise<T> promise_;
  std::atomic<bool> answered_{false};
  std::atomic<Clock::rep> lastProgress_;

  std::mutex mutex_;
  std::shared_ptr<CancellationDelegate> transfer_;
  std::function<void()> hostDone_;
  std::optional<TimerQueue::Id> clock_;
  bool clockStopped_ = false;
  bool duplicateLogged_ = false;
};

}  // namespace tessellon
