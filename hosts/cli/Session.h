#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "tessellon/BackupSDK.h"
#include "tessellon/BackupSDKOptions.h"
#include "tessellon/Date.h"

#include "cli/CliOptions.h"
#include "cli/ProgressLine.h"

namespace tessellon::cli {

class StorageFullDecorator;

// One run of the command: the remote, the logger for -v and the facade over them. The main
// thread waits in wait(), which redraws the progress line on a terminal and turns the first Ctrl-C
// into a cancel request through the facade; a second Ctrl-C ends the process at once (status 130).
// finish() may be called from any thread. Operations run one after the other, each followed by
// wait().
class Session {
 public:
  Session(const CliOptions& options, const tessellon::BackupSDKOptions& sdkOptions);
  ~Session();

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  tessellon::BackupSDK& sdk() { return *sdk_; }
  // Shared with the progress closures, which the library may still hold after a run.
  const std::shared_ptr<ProgressLine>& progress() const { return progress_; }

  // Marks the running operation as completed and wakes wait().
  void finish();
  // Returns once finish() was called.
  void wait();
  // Readies wait() for the next operation of the same run (restore lists, then restores).
  void startNext();

  // Whether the user pressed Ctrl-C during this run.
  bool interrupted() const;
  // Whether the remote refused an upload for want of space.
  bool storageFull() const;
  double elapsedSeconds() const;
  // When the session began, for the records the command prints.
  tessellon::Date startDate() const { return startDate_; }
  // The remote without the command's layers, for the requests of the history's own upkeep.
  const std::shared_ptr<tessellon::BackupSDKDelegate>& remoteAsIs() const { return remoteAsIs_; }

 private:
  void drawProgress();
  void clearProgress();

  const bool showProgress_;
  std::shared_ptr<tessellon::BackupSDKDelegate> remoteAsIs_;
  std::shared_ptr<StorageFullDecorator> remote_;
  std::unique_ptr<tessellon::BackupSDK> sdk_;
  const std::shared_ptr<ProgressLine> progress_;
  const std::chrono::steady_clock::time_point start_;
  const tessellon::Date startDate_;

  std::mutex mutex_;
  std::condition_variable finished_;
  bool done_ = false;
  bool cancelRequested_ = false;
  bool lineDrawn_ = false;
};

}  // namespace tessellon::cli
