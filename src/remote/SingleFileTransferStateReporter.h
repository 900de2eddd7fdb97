#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "remote/SingleFileTransferStateReporterProtocol.h"
#include "sdk/FileStatusManagerProtocol.h"

namespace tessellon {

// Reports running record + fraction of the current file through the file
// status manager's not-persisting path. Used by the remote port; thread safe.
class SingleFileTransferStateReporter final : public SingleFileTransferStateReporterProtocol {
 public:
  explicit SingleFileTransferStateReporter(
      std::shared_ptr<FileStatusManagerProtocol> fileStatusManager);

  void setFileSize(int64_t fileSize) override;
  void reportFractionalProgressOnBackup(const TransferProgress& progress) override;
  void reportFractionalProgressOnRestore(const TransferProgress& progress) override;

 private:
  FileStatus statusWith(double fraction) const;

  std::atomic<int64_t> fileSize_{0};
  const std::shared_ptr<FileStatusManagerProtocol> fileStatusManager_;
};

}  // namespace tessellon
