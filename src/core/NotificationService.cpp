#include "core/NotificationService.h"

#include <sstream>
#include <thread>

#include "core/Async.h"
#include "core/Log.h"
#include "futures/CurrentExecutor.h"

namespace tessellon {
namespace {

std::string threadDescription() {
  std::ostringstream text;
  text << "Thread " << std::this_thread::get_id();
  if (Async::backgroundQueue()->isCurrent())
    text << " (" << Async::backgroundQueue()->label() << ")";
  return text.str();
}

std::string threadPrefix(const char* label) {
  return std::string(label) + ": (Thread: " + threadDescription() +
         "; IsMainThread: " + boolText(CurrentExecutor::isMainThread()) + ") ";
}

}  // namespace

NotificationService::NotificationService(std::shared_ptr<LoggerProtocol> logger)
    : logger_(std::move(logger)) {}

NotificationService::PreviewProgress NotificationService::backupPreviewProgress() const {
  std::lock_guard lock(mutex_);
  return backupPreviewProgress_;
}

void NotificationService::setBackupPreviewProgress(PreviewProgress closure) {
  std::lock_guard lock(mutex_);
  backupPreviewProgress_ = std::move(closure);
}

void NotificationService::reportBackupPreviewProgress(int progress) {
  PreviewProgress closure = backupPreviewProgress();
  if (!closure) return;
  logWith(logger_, LogLevel::debug, [&] {
    return threadPrefix("ReportBackupPreviewProgress") + "progress: " + std::to_string(progress);
  });
  Async::background([closure = std::move(closure), progress] { closure(progress); });
}

NotificationService::StatusProgress NotificationService::backupProgress() const {
  std::lock_guard lock(mutex_);
  return backupProgress_;
}

void NotificationService::setBackupProgress(StatusProgress closure) {
  std::lock_guard lock(mutex_);
  backupProgress_ = std::move(closure);
}

void NotificationService::reportBackupProgress(const FileStatus& status) {
  reportStatus(backupProgress(), "ReportBackupProgress", status);
}

NotificationService::StatusProgress NotificationService::restoreProgress() const {
  std::lock_guard lock(mutex_);
  return restoreProgress_;
}

void NotificationService::setRestoreProgress(StatusProgress closure) {
  std::lock_guard lock(mutex_);
  restoreProgress_ = std::move(closure);
}

void NotificationService::reportRestoreProgress(const FileStatus& status) {
  reportStatus(restoreProgress(), "ReportRestoreProgress", status);
}

void NotificationService::reportStatus(const StatusProgress& closure, const char* label,
                                       const FileStatus& status) {
  if (!closure) return;
  logWith(logger_, LogLevel::debug,
          [&] { return threadPrefix(label) + "file status: " + status.description(); });
  // A snapshot: later updates of the running record must not change what the
  // host was told.
  Async::background([closure, status] { closure(status); });
}

std::function<void()> NotificationService::cancellationFinished() const {
  std::lock_guard lock(mutex_);
  return cancellationFinished_;
}

void NotificationService::setCancellationFinished(std::function<void()> closure) {
  std::lock_guard lock(mutex_);
  // A cancel that starts while another one is before its report (two threads, or a host that
  // cancels from its transfer's cancel()) must not take the other's completion away: each
  // closure waiting is called once, at the next report.
  if (!closure) return;
  if (cancellationFinished_) {
    closure = [earlier = std::move(cancellationFinished_), later = std::move(closure)] {
      earlier();
      later();
    };
  }
  cancellationFinished_ = std::move(closure);
}

void NotificationService::reportCancellationFinished() {
  std::function<void()> closure;
  {
    std::lock_guard lock(mutex_);
    closure.swap(cancellationFinished_);
  }
  if (closure) Async::background(std::move(closure));
}

}  // namespace tessellon
