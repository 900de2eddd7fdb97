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

uint64_t SingleFileTransferStateReporter::beginTransferOnRestore(int64_t fileSize) {
  std::lock_guard lock(transfersMutex_);
  const uint64_t transfer = nextTransfer_++;
  transfers_[transfer] = Transfer{fileSize, 0};
  return transfer;
}

void SingleFileTransferStateReporter::reportTransferProgressOnRestore(
    uint64_t transfer, const TransferProgress& progress) {
  // Reported under the lock, so the host gets the sums in the order they were made.
  std::lock_guard lock(transfersMutex_);
  const auto found = transfers_.find(transfer);
  if (found == transfers_.end()) return;
  found->second.fraction = progress.fractionCompleted;
  FileStatus status = fileStatusManager_->fileStatus();
  for (const auto& [key, running] : transfers_) {
    status.processed += static_cast<int>(running.fraction);
    status.processedBytes +=
        static_cast<int64_t>(static_cast<double>(running.fileSize) * running.fraction);
  }
  fileStatusManager_->notifyAboutCurrentFileStatusRestoreNotPersisting(status);
}

void SingleFileTransferStateReporter::endTransferOnRestore(uint64_t transfer) {
  std::lock_guard lock(transfersMutex_);
  transfers_.erase(transfer);
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
