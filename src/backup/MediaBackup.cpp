#include "backup/MediaBackup.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "media/fingerprints/FingerprintUtils.h"
#include "model/DateText.h"
#include "sdk/HostError.h"
#include "sdk/Log.h"

namespace tessellon {

using Section = std::shared_ptr<ReportSection>;

// One category run. `done` completes once, when the last archive is through or
// the run has to stop.
struct MediaBackup::Run {
  std::shared_ptr<Backup> backup;
  std::shared_ptr<CancelToken> token;
  std::shared_ptr<MediaMetaData> taskItems;
  std::shared_ptr<Zip> zip;
  Promise<Void> done;
  // The record's fingerprints, built when content the remote holds first
  // comes up, so that each such item is looked up rather than searched for.
  std::optional<std::unordered_set<std::string>> recorded;

  size_t count() const { return taskItems->items->size(); }
  const std::shared_ptr<MediaItem>& item(size_t index) const { return (*taskItems->items)[index]; }
  bool cancelled() const { return token && token->isCanceled(); }
};

MediaBackup::MediaBackup(Collaborators collaborators,
                         std::shared_ptr<MediaServiceProtocol> mediaService, Category category)
    : BaseBackupService(std::move(collaborators)),
      mediaService_(std::move(mediaService)),
      category_(std::move(category)) {}

Future<Section> MediaBackup::processMediaMetaData(std::shared_ptr<Backup> backup,
                                                  std::shared_ptr<CancelToken> cancelToken) {
  const std::shared_ptr<MediaMetaData> taskItems =
      backup->taskListToProcess ? (*backup->taskListToProcess).*category_.metaData : nullptr;
  if (!taskItems || !taskItems->items) {
    // Nothing of this category to do; the remote record is refreshed all the same.
    return appendBackupJson(generateZip(), *backup)
        .onSuccess([this, cancelToken] { return uploadZipAndInflate(cancelToken); })
        .onSuccess([] { return Section(); });
  }
  logWith(logger, LogLevel::info, [&] {
    return "processing " + category_.title + " (" + std::to_string(taskItems->items->size()) +
           ") ...";
  });
  currentProcessReport = std::make_shared<ProcessReport>();
  if (taskItems->items->empty()) return processEmpty(backup, cancelToken);

  auto run = std::make_shared<Run>();
  run->backup = std::move(backup);
  run->token = std::move(cancelToken);
  run->taskItems = taskItems;
  createZip(run, 0, 0);
  return run->done.future.onComplete([this](const FutureResult<Void>& result) {
    if (endedCancelled(result)) return FutureResult<Section>::cancelled();
    deleteTemporaryFile(category_.fileName);
    if (result.isFail()) return FutureResult<Section>::fail(result.failure());
    return FutureResult<Section>::success(section());
  });
}

Future<Section> MediaBackup::processEmpty(const std::shared_ptr<Backup>& backup,
                                          const std::shared_ptr<CancelToken>& token) {
  std::shared_ptr<Zip> zip = generateZip();
  // The section exists even with nothing in it.
  addToReport(true, category_.type, 0, 0);
  return appendMetaJson(zip, recordMetaData(*backup), category_.fileName)
      .onSuccess([this, backup, zip] {
        if (category_.verbose) {
          logWith(logger, LogLevel::debug, [&] { return category_.fileName + " appended to ZIP"; });
        }
        return appendBackupJson(zip, *backup);
      })
      .onSuccess([this, token] {
        if (category_.verbose) {
          logWith(logger, LogLevel::debug,
                  [] { return std::string("backup.json appended to ZIP"); });
        }
        return uploadZipAndInflate(token);
      })
      .onSuccess([this] {
        deleteTemporaryFile(category_.fileName);
        return section();
      });
}

void MediaBackup::createZip(const std::shared_ptr<Run>& run, size_t index, int64_t size) {
  appendedMediaItems = MediaMetaData::Items{};
  // Checked before the end too: a full remote cancels the token after the last upload.
  if (run->cancelled()) {
    run->done.completeWithCancel();
    return;
  }
  if (index >= run->count()) {
    run->done.completeWithSuccess(Void{});
    return;
  }
  successBytes = 0;
  failedBytes = 0;
  successFiles = 0;
  failedFiles = 0;
  run->zip = generateZip();
  append(run, index, size);
}

void MediaBackup::append(const std::shared_ptr<Run>& run, size_t index, int64_t size) {
  if (run->cancelled()) {
    run->done.completeWithCancel();
    return;
  }
  if (index == run->count()) {
    finalizeAppend(run, index);
    return;
  }
  const std::vector<Version> versions = run->backup->CreateUpdatedMediaVersions().versions;
  // Each step is a continuation of its own: the next item starts from a fresh
  // work item, never deeper in this one's stack.
  const Future<std::vector<std::string>> hashing =
      mediaService_->getItemHash(*run->item(index), run->token, versions);
  guard(run, hashing.onComplete(
                 [this, run, index, size](const FutureResult<std::vector<std::string>>& hashes) {
                   if (hashes.isCancelled()) {
                     run->done.completeWithCancel();
                   } else if (hashes.isFail()) {
                     appendFailed(run, index, size, hashes.failure());
                   } else {
                     appendHashedItem(run, index, size, hashes.successValue());
                   }
                 }));
}

void MediaBackup::appendHashedItem(const std::shared_ptr<Run>& run, size_t index, int64_t size,
                                   const std::vector<std::string>& fingerprints) {
  const std::shared_ptr<MediaItem>& item = run->item(index);
  const std::optional<std::string> fingerprint = FingerprintUtils::highestVersion(fingerprints);
  const std::shared_ptr<MediaItem> cached =
      fingerprint ? cachingService->getItem(*fingerprint) : nullptr;
  if (!cached) {
    manageUncachedMediaItem(run, index, size, fingerprint);
    return;
  }
  // The remote holds this content already: record it, pack nothing.
  if (!isRecorded(*run, *fingerprint)) {
    item->fingerprint = fingerprint;
    updateBackupMetadata(*run, item);
    updateFields(item);
  } else {
    logWith(logger, LogLevel::info, [&] {
      return "Adjust " + category_.itemNoun + " mtime for item " + cached->id +
             ", mtime: " + toString(cached->modificationDate) +
             ", size: " + std::to_string(cached->bytes) + " with mtime from " + item->id +
             ", mtime: " + toString(item->modificationDate) +
             ", size: " + std::to_string(item->bytes);
    });
    cached->modificationDate = item->modificationDate;
    if (canAppendCachedMediaItemPath(*cached, *item)) {
      cached->paths().push_back(item->paths().front());
    }
    successBytes += item->bytes;
    successFiles += 1;
  }
  append(run, index + 1, size);
}

void MediaBackup::manageUncachedMediaItem(const std::shared_ptr<Run>& run, size_t index,
                                          int64_t size,
                                          const std::optional<std::string>& fingerprint) {
  run->item(index)->fingerprint = fingerprint;
  const Future<Void> packing = mediaService_->appendItemFileToBackup(run->zip, *run->item(index));
  guard(run, packing.onComplete([this, run, index, size](const FutureResult<Void>& packed) {
    if (packed.isCancelled()) {
      run->done.completeWithCancel();
    } else if (packed.isFail()) {
      appendFailed(run, index, size, packed.failure());
    } else {
      appendPackedItem(run, index, size);
    }
  }));
}

void MediaBackup::appendPackedItem(const std::shared_ptr<Run>& run, size_t index, int64_t size) {
  const std::shared_ptr<MediaItem>& item = run->item(index);
  logWith(logger, LogLevel::debug, [&] {
    return category_.itemTitle + " (fingerprint=" + item->fingerprint.value_or("nil") + ") (" +
           std::to_string(item->bytes) + " Bytes) appended to ZIP";
  });
  if (item->fingerprint) updateCache(item, *item->fingerprint);
  updateFields(item);
  updateBackupMetadata(*run, item);
  const int64_t packedSize = size + item->bytes;
  if (packedSize < remoteIOService->getZipSize()) {
    append(run, index + 1, packedSize);
  } else {
    createSeperateZip(run, index);
  }
}

void MediaBackup::appendFailed(const std::shared_ptr<Run>& run, size_t index, int64_t size,
                               const Error& error) {
  const std::shared_ptr<MediaItem>& item = run->item(index);
  logWith(logger, LogLevel::warning, [&] {
    return "error appending " + item->id + " to ZIP: (" + nsErrorDescription(error) + ")";
  });
  item->fingerprint.reset();
  failedBytes += item->bytes;
  failedFiles += 1;
  if (isError(error, BackupSDKError::zipFailedNotEnoughDiskSpace) ||
      error.domain != kBackupSDKErrorDomain) {
    // The category stops; what this archive added never reached the remote.
    rollBack(*run);
    run->done.completeWithFail(error);
    return;
  }
  append(run, index + 1, size);
}

void MediaBackup::createSeperateZip(const std::shared_ptr<Run>& run, size_t index) {
  closeZip(run, index, false);
}

void MediaBackup::finalizeAppend(const std::shared_ptr<Run>& run, size_t index) {
  closeZip(run, index, true);
}

void MediaBackup::closeZip(const std::shared_ptr<Run>& run, size_t index, bool last) {
  const Future<Void> closed =
      appendMetaJson(run->zip, recordMetaData(*run->backup), category_.fileName)
          .onSuccess([this, run] { return appendBackupJson(run->zip, *run->backup); });
  guard(run, closed.onComplete([this, run, index, last](const FutureResult<Void>& result) {
    if (endedCancelled(result)) {
      run->done.completeWithCancel();
    } else if (result.isSuccess()) {
      guard(run, uploadZipAndInflate(run->token)
                     .onComplete([this, run, index](const FutureResult<Void>& uploaded) {
                       finalizeZip(run, index, uploaded);
                     }));
    } else {
      // Nothing of this archive left the machine.
      updateReportValues();
      rollBack(*run);
      if (last) {
        run->done.completeWithSuccess(Void{});
      } else {
        createZip(run, index + 1, 0);
      }
    }
  }));
}

void MediaBackup::finalizeZip(const std::shared_ptr<Run>& run, size_t index,
                              const FutureResult<Void>& result) {
  if (endedCancelled(result)) {
    run->done.completeWithCancel();
    return;
  }
  if (result.isFail()) {
    if (category_.verbose) {
      logWith(logger, LogLevel::warning, [&] {
        return "error while uploading/inflating ZIP (" + nsErrorDescription(result.failure()) + ")";
      });
    }
    updateReportValues();
    rollBack(*run);
  } else {
    logWith(logger, LogLevel::debug,
            [&] { return category_.itemTitle + " ZIP uploaded/inflated successfully"; });
    addToReport(true, category_.type, successFiles, successBytes);
    addToReport(false, category_.type, failedFiles, failedBytes);
  }
  // Failed files are dealt with too: progress moves by the whole archive.
  fileStatusManager->update([this](FileStatus& status) {
    status.processed += failedFiles + successFiles;
    status.processedBytes += failedBytes + successBytes;
  });
  fileStatusManager->notifyAboutCurrentBackupFileStatus();
  createZip(run, index + 1, 0);
}

void MediaBackup::guard(const std::shared_ptr<Run>& run, const Future<Void>& step) {
  (void)step.onFail([run](const Error& error) { run->done.completeWithFail(error); });
}

void MediaBackup::updateReportValues() {
  failedBytes += successBytes;
  failedFiles += successFiles;
  successBytes = 0;
  successFiles = 0;
  addToReport(false, category_.type, failedFiles, failedBytes);
}

void MediaBackup::updateCache(const std::shared_ptr<MediaItem>& item,
                              const std::string& fingerprint) {
  cachingService->setItem(fingerprint, item);
}

void MediaBackup::updateFields(const std::shared_ptr<MediaItem>& item) {
  appendedMediaItems->push_back(item);
  successBytes += item->bytes;
  successFiles += 1;
}

void MediaBackup::updateBackupMetadata(Run& run, const std::shared_ptr<MediaItem>& item) {
  Backup& backup = *run.backup;
  MediaMetaData& record = recordMetaData(backup);
  // The record's versions stay current without a walk over all of its items,
  // which every append would otherwise cost once the count moved.
  int& versionedCount = category_.type == MetaType::videos ? backup.mediaVersions.videos
                                                           : backup.mediaVersions.images;
  const bool versionsCurrent = versionedCount == static_cast<int>(record.items->size());
  record.items->push_back(item);
  record.bytes += item->bytes;
  record.count = static_cast<int>(record.items->size());
  if (item->fingerprint && run.recorded) run.recorded->insert(*item->fingerprint);
  if (!versionsCurrent) return;
  if (item->fingerprint) {
    std::vector<Version>& versions = backup.mediaVersions.versions;
    const Version version = FingerprintUtils::getVersion(*item->fingerprint);
    if (std::find(versions.begin(), versions.end(), version) == versions.end()) {
      versions.push_back(version);
    }
  }
  versionedCount = record.count;
}

bool MediaBackup::isRecorded(Run& run, const std::string& fingerprint) const {
  if (!run.recorded) {
    run.recorded.emplace();
    for (const auto& item : *recordMetaData(*run.backup).items) {
      if (item->fingerprint) run.recorded->insert(*item->fingerprint);
    }
  }
  return run.recorded->count(fingerprint) > 0;
}

void MediaBackup::rollBack(Run& run) {
  if (!appendedMediaItems || appendedMediaItems->empty()) return;
  recordMetaData(*run.backup).removeMediaItems(*appendedMediaItems);
  // Rebuilt from what is left on the next lookup.
  run.recorded.reset();
  for (const auto& item : *appendedMediaItems) {
    if (item->fingerprint) cachingService->removeItem(*item->fingerprint);
  }
}

bool MediaBackup::canAppendCachedMediaItemPath(const MediaItem& cached, const MediaItem& item) {
  if (item.paths().empty()) return false;
  const std::vector<std::string>& paths = cached.paths();
  return std::find(paths.begin(), paths.end(), item.paths().front()) == paths.end();
}

MediaMetaData& MediaBackup::recordMetaData(Backup& backup) const {
  std::shared_ptr<MediaMetaData>& metaData = backup.*category_.metaData;
  if (!metaData) metaData = std::make_shared<MediaMetaData>();
  if (!metaData->items) metaData->items = MediaMetaData::Items{};
  return *metaData;
}

Section MediaBackup::section() const {
  if (!currentProcessReport) return nullptr;
  return category_.type == MetaType::videos ? currentProcessReport->videos
                                            : currentProcessReport->images;
}

}  // namespace tessellon
