#include "restore/RestoreMediaItemService.h"

#include <algorithm>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

#include "core/HostError.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "futures/CurrentExecutor.h"
#include "futures/FuturesError.h"
#include "restore/FailedToDownloadMediaMetaData.h"

namespace tessellon {

namespace {

using FailedPaths = RestoreMediaItemService::FailedPaths;

// One run of the loop. Each running item holds one of the shared slots; the fields below `mutex`
// are written from whichever pool thread completes an item or hands over a slot.
struct LoopRun {
  MediaMetaData::Items items;
  RestoreMediaItemService::PerItemOperation operation;
  std::shared_ptr<MediaMetaData> metaData;
  std::shared_ptr<CancelToken> cancelToken;
  std::shared_ptr<RestoreSlots> slots;
  Promise<RestoreMediaReportSection> promise;

  std::mutex mutex;
  size_t next = 0;
  int running = 0;
  int granted = 0;       // slots handed over and not used yet
  bool waiting = false;  // queued for a slot
  bool cancelled = false;
  bool finished = false;
  int restoredCount = 0;
  int64_t restoredBytes = 0;
  int failedPaths = 0;
  std::vector<FailedItem> failedItems;
};

int pathCount(const std::shared_ptr<MediaItem>& item) {
  return item ? static_cast<int>(item->paths().size()) : 0;
}

void startItem(const std::shared_ptr<LoopRun>& run, std::shared_ptr<MediaItem> item);

// Starts items until kItemsAtOnce run, or completes the loop once none runs and none is left
// (or the run was cancelled): a cancelled loop still waits for its running items, so nothing of
// it is placed after the restore has ended.
void startMore(const std::shared_ptr<LoopRun>& run) {
  std::vector<std::shared_ptr<MediaItem>> starting;
  std::optional<RestoreMediaReportSection> section;
  bool cancel = false;
  int unused = 0;
  {
    std::lock_guard lock(run->mutex);
    run->cancelled = run->cancelled || isCancelled(run->cancelToken);
    while (!run->finished && !run->cancelled && run->next < run->items.size()) {
      if (run->granted > 0) {
        run->granted -= 1;
      } else if (run->waiting || !run->slots->acquireOrWait([run] {
                   {
                     std::lock_guard handed(run->mutex);
                     run->waiting = false;
                     run->granted += 1;
                   }
                   startMore(run);
                 })) {
        run->waiting = true;
        break;
      }
      // Taken out of the list, so a restored item's memory goes with its step.
      starting.push_back(std::move(run->items[run->next++]));
      run->running += 1;
    }
    if (!run->finished && run->running == 0 && (run->cancelled || run->next == run->items.size())) {
      run->finished = true;
      cancel = run->cancelled;
      if (!cancel) {
        section = RestoreMediaItemService::finalizeRestoreMediaItem(
            *run->metaData, run->restoredCount, run->restoredBytes, run->failedPaths);
        section->failedItems = std::move(run->failedItems);
      }
    }
    // A slot handed to a loop that has nothing left to start goes to the next one.
    if (run->finished || run->cancelled || run->next == run->items.size()) {
      unused = run->granted;
      run->granted = 0;
    }
  }
  for (int i = 0; i < unused; ++i) run->slots->release();
  if (cancel) return run->promise.completeWithCancel();
  if (section) return run->promise.completeWithSuccess(*section);
  for (auto& item : starting) startItem(run, std::move(item));
}

void startItem(const std::shared_ptr<LoopRun>& run, std::shared_ptr<MediaItem> item) {
  Future<FailedPaths> restored =
      item ? run->operation(item, run->cancelToken)
           : Future<FailedPaths>::fail(makeError(BackupSDKError::unknownError, "empty media item"));
  // Always a fresh work item: a future that completed already must not start the next item on
  // this stack, or a long list of local items would nest frames.
  restored.onComplete(Executor::defaultQoS(), [run, item = std::move(item)](
                                                  const FutureResult<FailedPaths>& result) {
    run->slots->release();
    {
      std::lock_guard lock(run->mutex);
      run->running -= 1;
      // An item ended by the host's cancellation stops the loop, as a
      // cancelled token does, rather than counting as failed.
      if (result.isCancelled() || (result.isFail() && testForCancellation(result.failure()))) {
        run->cancelled = true;
      } else if (result.isSuccess()) {
        run->restoredCount += 1;
        run->restoredBytes += item->bytes;
        run->failedPaths += static_cast<int>(result.successValue().size());
        for (const std::string& path : result.successValue()) {
          run->failedItems.push_back({path, "could not be written there"});
        }
      } else {
        run->failedPaths += pathCount(item);
        const std::string reason = failureReason(result.failure());
        if (!item || item->paths().empty()) {
          run->failedItems.push_back({item ? item->getRemoteFileName() : std::string(), reason});
        } else {
          for (const std::string& path : item->paths()) run->failedItems.push_back({path, reason});
        }
      }
    }
    startMore(run);
  });
}

std::string threadPrefix() {
  std::ostringstream thread;
  thread << "Thread " << std::this_thread::get_id();
  return "(Thread: " + thread.str() +
         "; IsMainThread: " + boolText(CurrentExecutor::isMainThread()) + ") ";
}

std::string joined(const FailedPaths& paths) {
  std::string text;
  for (const std::string& path : paths) {
    if (!text.empty()) text += ",";
    text += path;
  }
  return text;
}

}  // namespace

const RestoreMediaItemService::Vocabulary RestoreMediaItemService::kImages{
    &Settings::images,
    "Image",
    "images",
    "restoring Image: ",
    "download of Image: ",
    "successfully restored Image: ",
    "but failed to restore at paths: ",
    "Restore of Image ",
    BackupSDKError::mediaNoImageData};
const RestoreMediaItemService::Vocabulary RestoreMediaItemService::kVideos{
    &Settings::videos,
    "Video",
    "videos",
    "restoring Video: ",
    "download of Video: ",
    "sucessfully restored Video: ",
    "but failed to restore at pathes: ",
    "Restore of Video ",
    BackupSDKError::mediaNoVideoData};

RestoreMediaItemService::RestoreMediaItemService(
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
    std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
    std::shared_ptr<FileIOServiceProtocol> fileIOService,
    std::shared_ptr<MediaServiceProtocol> mediaService, Vocabulary vocabulary,
    std::shared_ptr<RestoreSlots> slots)
    : remoteIOService_(std::move(remoteIOService)),
      logger_(std::move(logger)),
      restoreStatusService_(std::move(restoreStatusService)),
      fileIOService_(std::move(fileIOService)),
      mediaService_(std::move(mediaService)),
      vocabulary_(std::move(vocabulary)),
      slots_(std::move(slots)) {}

Future<std::optional<RestoreMediaReportSection>> RestoreMediaItemService::restoreAll(
    std::shared_ptr<MediaMetaData> metaData, std::vector<std::string> remoteFolder,
    std::shared_ptr<CancelToken> cancelToken) {
  using Section = std::optional<RestoreMediaReportSection>;
  if (!metaData || !(restoreStatusService_->restoreSettings().*vocabulary_.selected)) {
    return Future<Section>::success(std::nullopt);
  }
  if (dynamic_cast<const FailedToDownloadMediaMetaData*>(metaData.get()) != nullptr) {
    // The list never arrived, so nothing can be fetched: every item it counted failed.
    RestoreMediaReportSection section(0, metaData->count, 0, metaData->bytes, 0, 0);
    std::vector<std::string> folder = remoteFolder;
    folder.push_back(vocabulary_.remoteFolderName);
    section.failedItems.push_back(
        {PathUtils::combinePath(folder), "the list of what it holds could not be read"});
    return Future<Section>::success(std::move(section));
  }
  if (!metaData->items) {
    return Future<Section>::success(RestoreMediaReportSection(0, 0, 0, 0, 0, 0));
  }
  MediaMetaData::Items items = *metaData->items;
  PerItemOperation perItem = [this, remoteFolder = std::move(remoteFolder)](
                                 const std::shared_ptr<MediaItem>& item,
                                 const std::shared_ptr<CancelToken>& token) {
    return restoreItem(item, remoteFolder, token);
  };
  return restoreMediaItem(std::move(items), std::move(perItem), std::move(metaData),
                          std::move(cancelToken))
      .onSuccess(Executor::immediate(),
                 [](const RestoreMediaReportSection& section) { return Section(section); });
}

RestoreMediaReportSection RestoreMediaItemService::flushed(
    const RestoreMediaReportSection& section) const {
  if (section.success == 0 || !fileIOService_) return section;
  for (const std::string& folder : mediaService_->itemRepository()->mediaDirectories()) {
    const Result<void> synced = fileIOService_->syncFileSystem(folder);
    if (synced.ok()) {
      logWith(logger_, LogLevel::info,
              [&] { return vocabulary_.word + " files restored to " + folder + " are on disk"; });
      continue;
    }
    // The files are in place but may not survive a power cut: none counts as restored.
    logWith(logger_, LogLevel::error, [&] {
      return vocabulary_.word + " files restored to " + folder +
             " could not be written to disk: " + synced.error().message;
    });
    RestoreMediaReportSection failed(0, section.overall, 0, section.overallBytes, 0,
                                     section.overallPaths);
    failed.failedItems = section.failedItems;
    failed.failedItems.push_back(
        {folder, "the restored files could not be written to disk: " + synced.error().message});
    return failed;
  }
  return section;
}

Future<RestoreMediaReportSection> RestoreMediaItemService::restoreMediaItem(
    MediaMetaData::Items items, PerItemOperation perItemOperation,
    std::shared_ptr<MediaMetaData> metaData, std::shared_ptr<CancelToken> cancelToken) {
  auto run = std::make_shared<LoopRun>();
  run->items = std::move(items);
  run->operation = std::move(perItemOperation);
  run->metaData = metaData ? std::move(metaData) : std::make_shared<MediaMetaData>();
  run->cancelToken = std::move(cancelToken);
  run->slots = slots_;
  Future<RestoreMediaReportSection> section = run->promise.future;
  Executor::defaultQoS().execute([run] { startMore(run); });
  return section;
}

RestoreMediaReportSection RestoreMediaItemService::finalizeRestoreMediaItem(
    const MediaMetaData& metaData, int restoredCount, int64_t restoredBytes, int failedPaths) {
  int allPaths = 0;
  for (const auto& item : metaData.items.value_or(MediaMetaData::Items{})) {
    allPaths += pathCount(item);
  }
  // A stored document may count less than it lists; a report never shows negative numbers.
  return RestoreMediaReportSection(restoredCount, std::max(0, metaData.count - restoredCount),
                                   restoredBytes,
                                   std::max<int64_t>(0, metaData.bytes - restoredBytes),
                                   std::max(0, allPaths - failedPaths), failedPaths);
}

Future<FailedPaths> RestoreMediaItemService::restoreItem(
    const std::shared_ptr<MediaItem>& item, const std::vector<std::string>& remoteFolder,
    const std::shared_ptr<CancelToken>& cancelToken) {
  const std::shared_ptr<MediaServiceProtocol>& mediaService = mediaService_;
  if (!item->fingerprint) {
    restoreStatusService_->updateProgress(item->bytes);
    return Future<FailedPaths>::fail(
        makeError(vocabulary_.unusableItem, "no fingerprint to fetch " + item->id + " by"));
  }
  return mediaService->exists(*item).onSuccess(
      Executor::immediate(),
      [this, item, remoteFolder, cancelToken, mediaService](bool local) -> Future<FailedPaths> {
        if (!local) return performRestoreByDownload(item, remoteFolder, cancelToken, mediaService);
        // The fingerprint cache outlives the files it describes: when the local copy is gone,
        // the remote one still is not.
        return performRestoreForAlreadyLocallyExistingItems(item, mediaService)
            .onComplete(
                Executor::immediate(),
                [this, item, remoteFolder, cancelToken,
                 mediaService](const FutureResult<FailedPaths>& result) -> Future<FailedPaths> {
                  if (!result.isFail()) return Future<FailedPaths>::completeUsing(result);
                  return performRestoreByDownload(item, remoteFolder, cancelToken, mediaService);
                });
      });
}

Future<FailedPaths> RestoreMediaItemService::performRestoreForAlreadyLocallyExistingItems(
    const std::shared_ptr<MediaItem>& item,
    const std::shared_ptr<MediaServiceProtocol>& mediaService) {
  const std::string name = item->getRemoteFileName();
  logWith(logger_, LogLevel::verbose, [&] { return threadPrefix() + name + " already exist"; });
  logWith(logger_, LogLevel::verbose,
          [&] { return threadPrefix() + name + " checking if it exists in all the albums"; });
  return placeInTurn(
             [item, mediaService] { return mediaService->ensureItemExistsInAllItemPaths(*item); })
      .onSuccess(Executor::immediate(), [this, bytes = item->bytes](const FailedPaths& failed) {
        restoreStatusService_->updateProgress(bytes);
        return failed;
      });
}

Future<FailedPaths> RestoreMediaItemService::performRestoreByDownload(
    const std::shared_ptr<MediaItem>& item, const std::vector<std::string>& remoteFolder,
    const std::shared_ptr<CancelToken>& cancelToken,
    const std::shared_ptr<MediaServiceProtocol>& mediaService) {
  const std::string name = item->getRemoteFileName();
  logWith(logger_, LogLevel::verbose, [&] { return vocabulary_.restoring + name; });
  std::vector<std::string> parts = remoteFolder;
  parts.push_back(vocabulary_.remoteFolderName);
  parts.push_back(name);
  // Downloads complete on the background queue; the copies run on the pool, not on that queue.
  return slots_
      ->downloadInTurn(
          [this, path = PathUtils::combinePath(parts), bytes = item->bytes, cancelToken] {
            return remoteIOService_->downloadFile(path, bytes, cancelToken);
          })
      .onComplete(Executor::defaultQoS(),
                  [this, item, name,
                   mediaService](const FutureResult<std::string>& download) -> Future<FailedPaths> {
                    if (download.isCancelled()) return Future<FailedPaths>::cancelled();
                    if (download.isFail()) {
                      logWith(logger_, LogLevel::warning, [&] {
                        return vocabulary_.downloadOf + name + " failed (" +
                               describe(download.failure()) + ")";
                      });
                      restoreStatusService_->updateProgress(item->bytes);
                      return Future<FailedPaths>::fail(download.failure());
                    }
                    const std::string localPath = download.successValue();
                    if (std::optional<Error> damaged = checkDownload(*item, localPath)) {
                      logWith(logger_, LogLevel::warning, [&] {
                        return vocabulary_.restoreOf + item->id + " (" + name +
                               ") failed: " + damaged->message;
                      });
                      removeDownload(localPath);
                      restoreStatusService_->updateProgress(item->bytes);
                      return Future<FailedPaths>::fail(*damaged);
                    }
                    return placeInTurn([item, localPath, mediaService] {
                             return mediaService->addItemAtRestore(*item, localPath);
                           })
                        .onComplete(
                            Executor::immediate(),
                            [this, item, localPath](const FutureResult<FailedPaths>& placed) {
                              removeDownload(localPath);
                              logResult(*item, placed);
                              restoreStatusService_->updateProgress(item->bytes);
                              return placed;
                            });
                  });
}

Future<FailedPaths> RestoreMediaItemService::placeInTurn(
    std::function<Future<FailedPaths>()> place) {
  return slots_->inTurn(std::move(place));
}

void RestoreMediaItemService::logResult(const MediaItem& item,
                                        const FutureResult<FailedPaths>& result) const {
  const std::string name = item.getRemoteFileName();
  if (result.isFail()) {
    logWith(logger_, LogLevel::verbose, [&] {
      return vocabulary_.restoreOf + name + " failed: " + describe(result.failure());
    });
  } else if (result.isSuccess() && result.successValue().empty()) {
    logWith(logger_, LogLevel::verbose, [&] { return vocabulary_.restored + name; });
  } else if (result.isSuccess()) {
    logWith(logger_, LogLevel::warning,
            [&] { return vocabulary_.failedAtPaths + joined(result.successValue()); });
  }
}

std::optional<Error> RestoreMediaItemService::checkDownload(const MediaItem& item,
                                                            const std::string& localPath) const {
  if (!fileIOService_) return std::nullopt;
  const auto damaged = [&](const std::string& what) {
    return makeError(BackupSDKError::delegateFileDownloadFailed,
                     "the stored copy of " + item.getRemoteFileName() + " " + what);
  };
  const Result<FileAttributes> attributes = fileIOService_->attributesOfItem(localPath);
  if (!attributes.ok()) return damaged("cannot be read: " + attributes.error().message);
  if (attributes.value().size != item.bytes) {
    return damaged("has " + std::to_string(attributes.value().size) + " bytes, " +
                   std::to_string(item.bytes) + " recorded");
  }
  if (!item.checksum) return std::nullopt;
  const Result<std::string> checksum = fileIOService_->contentChecksum(localPath);
  if (!checksum.ok()) return damaged("cannot be read: " + checksum.error().message);
  if (checksum.value() != *item.checksum) {
    return damaged("has checksum " + checksum.value() + ", " + *item.checksum + " recorded");
  }
  return std::nullopt;
}

void RestoreMediaItemService::removeDownload(const std::string& localPath) const {
  // The last path usually took the download by a rename; whatever is left is a stray copy.
  if (fileIOService_ && fileIOService_->exists(localPath)) {
    (void)fileIOService_->deleteItem(localPath);
  }
}

}  // namespace tessellon
