#include "restore/RestoreStatusService.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <utility>

namespace tessellon {

namespace {

// The counts come from the remote's record: summed as they are, two large ones overflow.
template <typename MetaData>
void addSummary(FileStatus& status, const std::shared_ptr<MetaData>& summary) {
  if (!summary) return;
  status.overall = static_cast<int>(
      std::clamp<int64_t>(int64_t{status.overall} + std::max(summary->count, 0), 0, INT_MAX));
  int64_t bytes = 0;
  if (__builtin_add_overflow(status.overallBytes, std::max<int64_t>(summary->bytes, 0), &bytes)) {
    bytes = INT64_MAX;
  }
  status.overallBytes = bytes;
}

}  // namespace

RestoreStatusService::RestoreStatusService(std::shared_ptr<FileStatusManager> fileStatusManager)
    : fileStatusManager_(std::move(fileStatusManager)) {}

Settings RestoreStatusService::restoreSettings() const {
  std::lock_guard lock(mutex_);
  return restoreSettings_;
}

void RestoreStatusService::setRestoreSettings(const Settings& settings) {
  std::lock_guard lock(mutex_);
  restoreSettings_ = settings;
}

FileStatus RestoreStatusService::increaseFileStatusField(const BackupRecord& backup) const {
  const Settings settings = restoreSettings();
  FileStatus status;
  if (settings.contacts) addSummary(status, backup.contactsMetaData);
  if (settings.calendars) addSummary(status, backup.calendarsMetaData);
  if (settings.videos) addSummary(status, backup.videosMetaData);
  if (settings.images) addSummary(status, backup.imagesMetaData);
  return status;
}

void RestoreStatusService::updateOverallFileStatus(const BackupRecord& backup) {
  if (!fileStatusManager_) return;
  fileStatusManager_->setFileStatus(increaseFileStatusField(backup));
  fileStatusManager_->notifyAboutCurrentRestoreFileStatus();
}

void RestoreStatusService::updateProgress(int64_t bytes) {
  if (!fileStatusManager_) return;
  fileStatusManager_->update([bytes](FileStatus& status) {
    status.processed += 1;
    status.processedBytes += bytes;
  });
  fileStatusManager_->notifyAboutCurrentRestoreFileStatus();
}

}  // namespace tessellon
