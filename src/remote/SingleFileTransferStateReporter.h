#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

#include "tessellon/BackupSDKDelegate.h"

#include "core/FileStatusManager.h"

namespace tessellon {

// Turns the completed fraction of the one file being transferred (or, on restore, of every
// transfer under way) into an in-between progress record for the host, through the file status
// manager's not-persisting path, without touching the running record. Used by the remote port;
// may be called from any thread.
class SingleFileTransferStateReporter final {
 public:
  static constexpr std::string_view kProtocolName = "SingleFileTransferStateReporter";
  explicit SingleFileTransferStateReporter(std::shared_ptr<FileStatusManager> fileStatusManager);

  // The size in bytes of the file whose fractions are reported next.
  void setFileSize(int64_t fileSize);
  void reportFractionalProgressOnBackup(const TransferProgress& progress);
  void reportFractionalProgressOnRestore(const TransferProgress& progress);
  // Restore downloads run several at once, each with its own size. Each reports under the key
  // beginTransferOnRestore gave it; the host then sees the running record plus what every
  // transfer under way has moved. After endTransferOnRestore the key's reports are ignored, so
  // a late report of the host cannot count a file twice.
  uint64_t beginTransferOnRestore(int64_t fileSize);
  void reportTransferProgressOnRestore(uint64_t transfer, const TransferProgress& progress);
  void endTransferOnRestore(uint64_t transfer);

 private:
  FileStatus statusWith(double fraction) const;

  struct Transfer {
    int64_t fileSize = 0;
    double fraction = 0;
  };

  std::atomic<int64_t> fileSize_{0};
  std::mutex transfersMutex_;
  uint64_t nextTransfer_ = 0;               // guarded by transfersMutex_
  std::map<uint64_t, Transfer> transfers_;  // guarded by transfersMutex_
  const std::shared_ptr<FileStatusManager> fileStatusManager_;
};

}  // namespace tessellon
