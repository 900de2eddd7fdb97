#include "restore/RestoreStatusService.h"

#include <utility>

namespace tessellon {

namespace {

template <typename MetaData>
void addSummary(FileStatus& status, const std::shared_ptr<MetaData>& summary) {
  if (!summary) return;
  status.overall += summary->count;
  status.overallBytes += summary->bytes;
}

}  // namespace

RestoreStatusService::RestoreStatusService(
    std::shared_ptr<FileStatusManagerProtocol> fileStatusManager)
    : fileStatusManager_(std::move(fileStatusManager)) {}

Settings RestoreStatusService::restoreSettings() const {
  std::lock_guard lock(mutex_);
  return restoreSettings_;
}

void RestoreStatusService::setRestoreSettings(const Settings& settings) {
  std::lock_guard lock(mutex_);
  restoreSettings_ = settings;
}

FileStatus RestoreStatusService::increaseFileStatusField(const Backup& backup) const {
  const Settings settings = restoreSettings();
  FileStatus status;
  if (settings.contacts) addSummary(status, backup.contactsMetaData);
  if (settings.calendars) addSummary(status, backup.calendarsMetaData);
  if (settings.videos) addSummary(status, backup.videosMetaData);
  if (settings.images) addSummary(status, backup.imagesMetaData);
  return status;
}

void RestoreStatusService::updateOverallFileStatus(const Backup& backup) {
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
