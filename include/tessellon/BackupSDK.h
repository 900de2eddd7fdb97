#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Backup.h"
#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/BackupSDKError.h"
#include "tessellon/BackupSDKOptions.h"
#include "tessellon/BackupSettings.h"
#include "tessellon/Error.h"
#include "tessellon/FileStatus.h"
#include "tessellon/LoggerProtocol.h"
#include "tessellon/ProcessReport.h"
#include "tessellon/Settings.h"

namespace tessellon {

class BackupSDKImpl;

// The library's one entry point. At most one preview, backup or restore runs at
// a time in the process (the state is shared by every instance); listing the
// stored backups may run beside it. Every method returns at once. Completions
// are called exactly once, on a thread of the library's pool (never specially
// the main thread), except refusals (codes 101, 103, 104), which are delivered
// at once on the calling thread. Progress closures run on the library's serial
// background queue and receive snapshots. Errors come in the domain
// "BackupSDKError" with a BackupSDKError code (0 for internal errors); errors the
// host itself raised arrive unchanged. A cancelled operation completes with
// neither a value nor an error.
class BackupSDK {
 public:
  // Wires the library up. Never fails: if setting up the services fails, the
  // failure is logged ("setupIoC failed: ...") and every operation then
  // completes with unknownError (code 0).
  BackupSDK(std::shared_ptr<BackupSDKDelegate> delegate,
            std::shared_ptr<LoggerProtocol> logger = nullptr, BackupSDKOptions options = {});
  // Waits up to 10 seconds for the remote clean-up that the last backup
  // started after its completion, so that a host exiting next leaves no stray
  // files on the remote. Do not destroy the SDK from one of its completions.
  ~BackupSDK();
  BackupSDK(const BackupSDK&) = delete;
  BackupSDK& operator=(const BackupSDK&) = delete;

  // Computes what a backup with `settings` would transfer. `progress` receives
  // the percentage done. Completes with the backup record (its
  // `taskListToProcess` holds the work) or an error: 101 while another operation
  // runs, 104 during a cancel request, an access code (201, 301, 303, 801), or
  // a metadata code (501 to 504).
  void startPreview(const BackupSettings& settings, std::function<void(int)> progress,
                    std::function<void(std::shared_ptr<Backup>, std::optional<Error>)> completion);

  // Checks access, previews and runs the backup. Completes with the report of
  // the run; items that failed are counted in it rather than failing the run.
  // Codes: 101, 104, access codes, 319 (remote full), 602 (local disk full).
  void startBackup(
      const BackupSettings& settings, std::function<void(const FileStatus&)> progress,
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion);

  // Runs a backup record that a preview returned, as startBackup above.
  void startBackup(
      std::shared_ptr<Backup> backup, std::function<void(const FileStatus&)> progress,
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion);

  // Restores the categories of `settings` from `backup` without overwriting any
  // file. Codes: 101, 104, 103 (backup written by a newer major format
  // version), 701 (not restorable on this system), access codes.
  void startRestore(
      std::shared_ptr<Backup> backup, const Settings& settings,
      std::function<void(const FileStatus&)> progress,
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion);

  // Lists the backups stored on the remote, one per device. May run beside a
  // preview, backup or restore. A cancelled listing completes with an empty
  // list. Codes: 104 while the previous listing is being cancelled, 102.
  void getAvailableBackups(
      std::function<void(std::optional<std::vector<std::shared_ptr<Backup>>>, std::optional<Error>)>
          completion);

  // Cancels the running operation and listing. `completion` is called once on
  // the background queue when every running operation has been told; each
  // operation then completes with its cancelled result.
  void cancel(std::function<void()> completion);

 private:
  std::unique_ptr<BackupSDKImpl> impl_;
};

}  // namespace tessellon
