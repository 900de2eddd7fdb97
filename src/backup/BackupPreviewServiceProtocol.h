#pragma once

#include <memory>
#include <string_view>

#include "tessellon/BackupSettings.h"

#include "core/CancelToken.h"
#include "futures/Future.h"
#include "model/BackupRecord.h"

namespace tessellon {

// Builds the record of a backup before it runs: what is local, what the remote
// holds, and in `taskListToProcess` what the run has to transfer.
class BackupPreviewServiceProtocol {
 public:
  static constexpr std::string_view kProtocolName = "BackupPreviewServiceProtocol";
  BackupPreviewServiceProtocol() = default;
  virtual ~BackupPreviewServiceProtocol() = default;
  BackupPreviewServiceProtocol(const BackupPreviewServiceProtocol&) = delete;
  BackupPreviewServiceProtocol& operator=(const BackupPreviewServiceProtocol&) = delete;

  // Completes with the record, or fails with a metadata code (501 to 504);
  // cancelled when the token is. Reads the remote, never writes to it.
  virtual Future<std::shared_ptr<BackupRecord>> generateBackup(
      const BackupSettings& settings, std::shared_ptr<CancelToken> cancelToken) = 0;
  // Fails with backupLocked (105) when the stored "backup.json" is no longer the one `preview`
  // was made from: another run stored a backup since, and a run of this preview would record and
  // clean up by an outdated record. A record that no preview made is not checked.
  virtual Future<Void> checkStoredUnchanged(const BackupRecord& preview,
                                            std::shared_ptr<CancelToken> cancelToken) = 0;
  // Asks the remote to inflate "<uid>/<uid>.zip", an archive whose upload finished but whose
  // inflation did not. Only for a run that holds the folder: the archive may otherwise be another
  // run's, whose later archives it would land over. Only a cancellation fails it.
  virtual Future<Void> inflateLeftOverArchive(std::shared_ptr<CancelToken> cancelToken) = 0;
};

}  // namespace tessellon
