#include "backup/BackupService.h"

#include <chrono>
#include <string>
#include <utility>

#include "tessellon/BackupSDKError.h"

#include "core/HostError.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "model/BackupRunState.h"
#include "model/ItemsMetaData.h"
#include "model/MediaMetaData.h"
#include "model/SkippedItems.h"
#include "platform/memory/FreedMemory.h"

namespace tessellon {
namespace {

using Section = std::shared_ptr<ReportSection>;

std::string describeSection(const Section& section) {
  return section ? section->description() : "nil";
}

int64_t itemBytes(const std::shared_ptr<MediaMetaData>& metaData) {
  int64_t bytes = 0;
  if (metaData && metaData->items) {
    for (const auto& item : *metaData->items) bytes += item->bytes;
  }
  return bytes;
}

}  // namespace

BackupService::BackupService(std::shared_ptr<ArchiveUploader> archives,
                             std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
                             std::shared_ptr<FileStatusManager> fileStatusManager,
                             std::shared_ptr<LoggerProtocol> logger,
                             std::vector<std::shared_ptr<CategoryBackup>> categories,
                             std::shared_ptr<CleanupServiceProtocol> cleanupService)
    : archives_(std::move(archives)),
      remoteIOService_(std::move(remoteIOService)),
      fileStatusManager_(std::move(fileStatusManager)),
      logger_(std::move(logger)),
      categories_(std::move(categories)),
      cleanupService_(std::move(cleanupService)) {}

Future<std::shared_ptr<ProcessReport>> BackupService::process(
    std::shared_ptr<BackupRecord> backup, std::shared_ptr<CancelToken> cancelToken) {
  auto report = std::make_shared<ProcessReport>();
  logWith(logger_, LogLevel::info, [] { return std::string("Backup process start"); });
  if (!backup || !backup->taskListToProcess) {
    return Future<std::shared_ptr<ProcessReport>>::fail(
        makeError(BackupSDKError::unknownError, "the backup record carries no task list"));
  }
  calcOverallFileStatus(*backup, *backup->taskListToProcess);
  claimOnlyWhatIsStored(*backup);

  return createFolderStructure(cancelToken)
      .onSuccess(
          [this, backup, report, cancelToken] { return processAll(backup, report, cancelToken); })
      .onComplete(
          [this, backup, report, cancelToken](const FutureResult<Void>& result) -> Future<Void> {
            archives_->deleteTemporaryFile("backup.json");
            if (endedCancelled(result)) return Future<Void>::cancelled();
            if (result.isFail()) {
              logWith(logger_, LogLevel::error, [&] {
                return "Backup process failed ERROR=" + nsErrorDescription(result.failure());
              });
              return Future<Void>::fail(result.failure());
            }
            logWith(logger_, LogLevel::info, [] { return std::string("Backup process finished"); });
            // The listings' memory, freed on the host's threads, goes back before the clean-up's.
            returnFreedMemory();
            // Inside the operation, so no later run can meet it half way and a cancel reaches it;
            // what it could not remove is only left over, never a reason to fail the run.
            return cleanupService_->cleanup(*cleanupView(*backup, *report), cancelToken)
                .onComplete([](const FutureResult<Void>& cleaned) {
                  return endedCancelled(cleaned) ? FutureResult<Void>::cancelled()
                                                 : FutureResult<Void>::success(Void{});
                });
          })
      .onSuccess([backup, report] {
        // What the scan could not take is part of the report, never left out unseen.
        addSkippedItems(*report, backup->skippedItems);
        return report;
      });
}

std::shared_ptr<BackupRecord> BackupService::cleanupView(const BackupRecord& backup,
                                                         const ProcessReport& report) const {
  // A category with a failed archive may have kept an older stored document than this record:
  // its folder is left as it is rather than cleaned against a record that did not land.
  std::shared_ptr<BackupRecord> view = backup.copy();
  auto keepFolder = [](std::shared_ptr<MediaMetaData>& metaData) {
    if (metaData) metaData = MediaMetaData::stored(std::nullopt, metaData->count, metaData->bytes);
  };
  if (report.images && report.images->failed > 0) keepFolder(view->imagesMetaData);
  if (report.videos && report.videos->failed > 0) {
    keepFolder(view->videosMetaData);
  }
  return view;
}

void BackupService::claimOnlyWhatIsStored(BackupRecord& backup) {
  // Every archive carries "backup.json": until its own document has crossed, a category that
  // travels as one document is claimed as it is stored, not as it is about to be.
  const std::shared_ptr<const BackupRecord>& stored =
      BackupRunState::of(std::as_const(backup)).storedRecord;
  if (!stored) return;
  const BackupRecord& taskList = *backup.taskListToProcess;
  if (taskList.contactsMetaData) backup.contactsMetaData = stored->contactsMetaData;
  if (taskList.calendarsMetaData) {
    backup.calendarsMetaData = stored->calendarsMetaData;
  }
}

void BackupService::calcOverallFileStatus(const BackupRecord& backup,
                                          const BackupRecord& taskList) {
  FileStatus status;
  for (const auto& media : {backup.videosMetaData, backup.imagesMetaData}) {
    if (!media) continue;
    status.processed += media->count;
    status.processedBytes += itemBytes(media);
  }
  status.overall = status.processed;
  status.overallBytes = status.processedBytes;
  if (taskList.contactsMetaData) {
    status.overall += 1;
    status.overallBytes += taskList.contactsMetaData->bytes;
  }
  if (taskList.calendarsMetaData) {
    status.overall += 1;
    status.overallBytes += taskList.calendarsMetaData->bytes;
  }
  for (const auto& media : {taskList.videosMetaData, taskList.imagesMetaData}) {
    if (!media) continue;
    status.overall += media->count;
    status.overallBytes += itemBytes(media);
  }
  fileStatusManager_->setFileStatus(status);
  fileStatusManager_->notifyAboutCurrentBackupFileStatus();
}

Future<Void> BackupService::createFolderStructure(const std::shared_ptr<CancelToken>& cancelToken) {
  const std::string device = archives_->uid();
  auto remote = remoteIOService_;
  auto existingIsFine = [](const FutureResult<Void>& result) {
    return result.isFail() && result.failure().domain == kBackupSDKErrorDomain &&
           result.failure().code == static_cast<int>(BackupSDKError::delegateDirectoryExist);
  };
  Future<Void> chain = remote->createDirectory(device, cancelToken);
  for (const char* folder : {"videos", "images"}) {
    chain = chain.onComplete([=](const FutureResult<Void>& previous) -> Future<Void> {
      if (endedCancelled(previous)) return Future<Void>::cancelled();
      Future<Void> next =
          remote->createDirectory(PathUtils::combinePath({device, folder}), cancelToken);
      // The first real error wins; the request just made is not awaited.
      if (previous.isFail() && !existingIsFine(previous))
        return Future<Void>::fail(previous.failure());
      return next;
    });
  }
  return chain.onComplete([existingIsFine](const FutureResult<Void>& last) {
    return existingIsFine(last) ? FutureResult<Void>::success(Void{}) : last;
  });
}

Future<Void> BackupService::processAll(const std::shared_ptr<BackupRecord>& backup,
                                       const std::shared_ptr<ProcessReport>& report,
                                       const std::shared_ptr<CancelToken>& cancelToken) {
  return runCategories(0, backup, report, cancelToken)
      .onSuccess([this, backup] {
        backup->finishDate = std::chrono::time_point_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now());
        return archives_->appendBackupJson(archives_->newArchive(), *backup);
      })
      .onSuccess([this, cancelToken] { return archives_->uploadAndInflate(cancelToken); })
      .onComplete([this](const FutureResult<Void>& result) {
        const bool diskFull =
            result.isFail() && result.failure().domain == kBackupSDKErrorDomain &&
            result.failure().code == static_cast<int>(BackupSDKError::zipFailedNotEnoughDiskSpace);
        if (result.isSuccess() || diskFull) {
          archives_->deleteTemporaryFile("backup.json");
          archives_->deleteLocal(archives_->zipPath());
          // The media categories' second archive, packed while the first was sent.
          archives_->deleteLocal(archives_->zipPath(true));
        }
        return result;
      });
}

Future<Void> BackupService::runCategories(size_t next, const std::shared_ptr<BackupRecord>& backup,
                                          const std::shared_ptr<ProcessReport>& report,
                                          const std::shared_ptr<CancelToken>& cancelToken) {
  if (next == categories_.size()) return Future<Void>::success(Void{});
  const std::shared_ptr<CategoryBackup> category = categories_[next];
  return category->run(backup, cancelToken)
      .onSuccess([this, category, report](const Section& section) {
        logWith(logger_, LogLevel::info, [&] {
          return "processing " + category->title() + " finished: " + describeSection(section);
        });
        (*report).*category->reportSlot() = section;
      })
      .onSuccess([this, next, backup, report, cancelToken] {
        return runCategories(next + 1, backup, report, cancelToken);
      });
}

}  // namespace tessellon
