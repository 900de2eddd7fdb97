#include "remote/SingleFileTransferStateReporter.h"

namespace tessellon {

SingleFileTransferStateReporter::SingleFileTransferStateReporter(
    std::shared_ptr<FileStatusManagerProtocol> fileStatusManager)
    : fileStatusManager_(std::move(fileStatusManager)) {}

void SingleFileTransferStateReporter::setFileSize(int64_t fileSize) {
  fileSize_.store(fileSize, std::memory_order_relaxed);
}

void SingleFileTransferStateReporter::reportFractionalProgressOnBackup(
    const TransferProgress& progress) {
  fileStatusManager_->notifyAboutCurrentFileStatusBackupNotPersisting(
      statusWith(progress.fractionCompleted));
}

void SingleFileTransferStateReporter::reportFractionalProgressOnRestore(
    const TransferProgress& progress) {
  fileStatusManager_->notifyAboutCurrentFileStatusRestoreNotPersisting(
      statusWith(progress.fractionCompleted));
}

FileStatus SingleFileTransferStateReporter::statusWith(double fraction) const {
  FileStatus status = fileStatusManager_->fileStatus();
  // A file counts as processed only when it is complete: the integer part of the fraction.
  status.processed += static_cast<int>(fraction);
  status.processedBytes += static_cast<int64_t>(
      static_cast<double>(fileSize_.load(std::memory_order_relaxed)) * fraction);
  return status;
}

}  // namespace tessellon
