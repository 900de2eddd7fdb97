#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "remote/SingleFileTransferStateReporterProtocol.h"
#include "sdk/FileStatusManagerProtocol.h"

namespace tessellon {

// Reports running record + fraction of the current file (or, on restore, of every transfer under
// way) through the file status manager's not-persisting path. Used by the remote port; thread
// safe.
class SingleFileTransferStateReporter final : public SingleFileTransferStateReporterProtocol {
 public:
  explicit SingleFileTransferStateReporter(
      std::shared_ptr<FileStatusManagerProtocol> fileStatusManager);

  void setFileSize(int64_t fileSize) override;
  void reportFractionalProgressOnBackup(const TransferProgress& progress) override;
  void reportFractionalProgressOnRestore(const TransferProgress& progress) override;
  uint64_t beginTransferOnRestore(int64_t fileSize) override;
  void reportTransferProgressOnRestore(uint64_t transfer,
                                       const TransferProgress& progress) override;
  void endTransferOnRestore(uint64_t transfer) override;

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
  const std::shared_ptr<FileStatusManagerProtocol> fileStatusManager_;
};

}  // namespace tessellon
