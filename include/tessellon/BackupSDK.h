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
#include "tessellon/VerifyReport.h"

namespace tessellon {

class BackupSDKImpl;

// The library's one entry point. At most one preview, backup or restore runs at
// a time in the process (the state is shared by every instance), and a backup
// or restore also holds its device folder on the remote ("<uid>/lock.json") so
// that no other process or machine works on that folder meanwhile; listing the
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
            std::shared_ptr<LoggerProtocol> logger = nullptr, const BackupSDKOptions& options = {});
  // Returns at once; an operation still running goes on and completes as usual.
  ~BackupSDK();
  BackupSDK(const BackupSDK&) = delete;
  BackupSDK& operator=(const BackupSDK&) = delete;

  // Computes what a backup with `settings` would transfer. `progress` receives
  // the percentage done. Completes with the backup the run would store (per
  // category what it holds, sends and removes) or an error: 101 while another
  // operation runs, 104 during a cancel request, an access code (201, 301, 303,
  // 801), or a metadata code (501 to 504).
  void startPreview(const BackupSettings& settings, std::function<void(int)> progress,
                    std::function<void(std::shared_ptr<Backup>, std::optional<Error>)> completion);

  // Checks access, takes this device's folder on the remote, previews and runs
  // the backup, then lets the folder go (also after a failure or a cancel).
  // Completes with the report of the run; items that failed are counted in it
  // rather than failing the run. Codes: 101, 104, access codes, 105 (another
  // run holds the folder: the message names its computer, process and start;
  // a hold whose process on this computer has ended, or that was not refreshed
  // for 10 minutes, is taken over), 319 (remote full), 602 (local disk full).
  void startBackup(
      const BackupSettings& settings, std::function<void(const FileStatus&)> progress,
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion);

  // Runs the backup that a preview returned, as startBackup above (105
  // included); 103 for a `Backup` that no preview returned.
  void startBackup(
      const std::shared_ptr<Backup>& backup, std::function<void(const FileStatus&)> progress,
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion);

  // Restores the categories of `settings` from `backup` without overwriting any
  // file, holding the backup's device folder as a backup does. Codes: 101,
  // 104, 103 (backup written by a newer major format version, or not one that
  // getAvailableBackups returned), 105, 701 (not restorable on this system),
  // access codes.
  void startRestore(
      const std::shared_ptr<Backup>& backup, const Settings& settings,
      std::function<void(const FileStatus&)> progress,
      std::function<void(std::shared_ptr<ProcessReport>, std::optional<Error>)> completion);

  // Checks that `backup` (as getAvailableBackups returned it) is whole on the
  // remote: the documents its record names are there and read, and every image
  // and video is in its folder with its recorded size; with `readData`, each
  // file that has a recorded checksum is also downloaded, compared and deleted
  // again. Only reads; runs under the one-operation rule and may be cancelled.
  // Completes with the report (what is missing or damaged is in the report, not
  // an error). Codes: 101, 104, 103, and the host's own error when the backup's
  // folders cannot be listed.
  void verify(const std::shared_ptr<Backup>& backup, bool readData,
              std::function<void(std::shared_ptr<VerifyReport>, std::optional<Error>)> completion);

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
