#include "remote/SingleFileTransferStateReporter.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace tessellon {
namespace {

// The host's fraction as a share of one file: a NaN, a negative or an overshooting fraction
// would otherwise turn into an undefined integer conversion below.
double boundedFraction(double fraction) {
  if (std::isnan(fraction) || fraction < 0) return 0;
  return fraction > 1 ? 1 : fraction;
}

// The bytes of `fileSize` that `fraction` stands for; a size read from the remote may be negative
// or near the top of the range.
int64_t bytesDone(int64_t fileSize, double fraction) {
  if (fileSize <= 0) return 0;
  const double bytes = static_cast<double>(fileSize) * fraction;
  // 2^63 itself is out of range: the largest double below it is the last safe value.
  constexpr double kLimit = 9223372036854774784.0;
  return bytes >= kLimit ? static_cast<int64_t>(kLimit) : static_cast<int64_t>(bytes);
}

int64_t saturatingAdd(int64_t a, int64_t b) {
  int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? std::numeric_limits<int64_t>::max() : 0;
  return sum;
}

}  // namespace

SingleFileTransferStateReporter::SingleFileTransferStateReporter(
    std::shared_ptr<FileStatusManager> fileStatusManager)
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
  found->second.fraction = boundedFraction(progress.fractionCompleted);
  FileStatus status = fileStatusManager_->fileStatus();
  for (const auto& [key, running] : transfers_) {
    status.processed += static_cast<int>(running.fraction);
    status.processedBytes =
        saturatingAdd(status.processedBytes, bytesDone(running.fileSize, running.fraction));
  }
  fileStatusManager_->notifyAboutCurrentFileStatusRestoreNotPersisting(status);
}

void SingleFileTransferStateReporter::endTransferOnRestore(uint64_t transfer) {
  std::lock_guard lock(transfersMutex_);
  transfers_.erase(transfer);
}

FileStatus SingleFileTransferStateReporter::statusWith(double fraction) const {
  fraction = boundedFraction(fraction);
  FileStatus status = fileStatusManager_->fileStatus();
  // A file counts as processed only when it is complete: the integer part of the fraction.
  status.processed += static_cast<int>(fraction);
  status.processedBytes = saturatingAdd(
      status.processedBytes, bytesDone(fileSize_.load(std::memory_order_relaxed), fraction));
  return status;
}

}  // namespace tessellon
