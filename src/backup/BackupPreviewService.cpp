#include "backup/BackupPreviewService.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "tessellon/BackupSDKError.h"
#include "tessellon/Directory.h"

#include "backup/BackupDelta.h"
#include "core/HostError.h"
#include "core/Log.h"
#include "core/PathUtils.h"
#include "futures/FuturesError.h"
#include "model/BackupRunState.h"
#include "model/json/JsonError.h"
#include "model/json/SerializationError.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"
#include "platform/files/ContentChecksum.h"
#include "platform/memory/FreedMemory.h"

// generateBackup, step by step:
//  1. log the library version;
//  2. getRemoteBackup: "backup.json" and the category documents needed;
//  3. handleRemoteBackupResult: no remote backup yet means an empty one, an
//     unreadable one is rebuilt, any other failure ends the preview;
//  4. getLocalBackup: contacts, calendars, videos, images of this machine, for
//     the selected categories (media by their attributes only; a file the
//     stored record describes unchanged is taken as the recorded item);
//  5. calculateBackupDelta: fill the item cache with the remote media, build
//     the result record and the task list, fold already stored content out of
//     the task list (fingerprinting the task media), then
//     finalizeGenerateBackup sets dates, name and summary.
namespace tessellon {
namespace {

using BackupFuture = Future<std::shared_ptr<BackupRecord>>;

bool endsCancelled(const Error& error) { return testForCancellation(error); }

// A stored "backup.json" that is there but cannot be understood.
bool isUnreadableRecord(const Error& error) {
  return isError(error, BackupSDKError::corruptBackupMetaData) ||
         isError(error, BackupSDKError::corruptMetaData) || error.domain == kJsonErrorDomain ||
         error.domain == kSerializationErrorDomain;
}

// A contacts or calendars document is needed when the stored summary has items
// and the category is backed up or kept.
template <class T>
Future<std::shared_ptr<ItemsMetaData<T>>> remoteItems(
    const std::shared_ptr<ItemsMetaData<T>>& summary, bool selected, bool keepDeletedItems,
    MetadataLoader& loader, const std::string& path, std::shared_ptr<CancelToken> cancelToken) {
  using Value = std::shared_ptr<ItemsMetaData<T>>;
  if (summary && summary->count > 0 && (selected || keepDeletedItems)) {
    return loader.getRemoteMetaData<ItemsMetaData<T>>(path, std::move(cancelToken));
  }
  if (!selected) return Future<Value>::success(nullptr);
  if (summary && summary->count == 0 && !summary->items) {
    return Future<Value>::success(
        std::make_shared<ItemsMetaData<T>>(typename ItemsMetaData<T>::Items{}, 0, 0));
  }
  return Future<Value>::success(summary);
}

Future<std::shared_ptr<MediaMetaData>> remoteMedia(const std::shared_ptr<MediaMetaData>& summary,
                                                   bool selected, bool keepDeletedItems,
                                                   MetadataLoader& loader, const std::string& path,
                                                   std::shared_ptr<CancelToken> cancelToken) {
  using Value = std::shared_ptr<MediaMetaData>;
  if (summary && summary->count > 0 && (selected || keepDeletedItems)) {
    return loader.getRemoteMetaData<MediaMetaData>(path, std::move(cancelToken));
  }
  if (summary && summary->count == 0) {
    return Future<Value>::success(std::make_shared<MediaMetaData>());
  }
  return Future<Value>::success(nullptr);
}

// The figures of a task list category for display: counts and bytes, no items.
template <class T>
std::shared_ptr<ItemsMetaData<T>> newItemsSummary(const std::shared_ptr<ItemsMetaData<T>>& task,
                                                  const std::shared_ptr<ItemsMetaData<T>>& local,
                                                  const std::shared_ptr<ItemsMetaData<T>>& remote) {
  const int fresh = ItemsMetaData<T>::newItems(remote ? remote->items : std::nullopt,
                                               local ? local->items : std::nullopt);
  return std::make_shared<ItemsMetaData<T>>(fresh, fresh >= 1 ? task->bytes : 0);
}

std::shared_ptr<MediaMetaData> mediaSummary(const MediaMetaData& task) {
  auto summary = MediaMetaData::stored(std::nullopt, task.count, task.bytes);
  summary->duplicatesCount = task.duplicatesCount;
  summary->duplicatesBytes = task.duplicatesBytes;
  return summary;
}

// Scans one media category into `local`'s list `field`, telling unchanged files by `remote`'s.
Future<Void> scanInto(const std::shared_ptr<BackupRecord>& local,
                      std::shared_ptr<MediaMetaData> BackupRecord::*field,
                      MediaServiceProtocol& service,
                      const std::shared_ptr<const BackupRecord>& remote,
                      const std::shared_ptr<CancelToken>& cancelToken) {
  return service.itemRepository()
      ->scanOnBackupPreview(cancelToken, (*remote).*field)
      .onSuccess([local, field](const MediaScan& scan) {
        (*local).*field = std::make_shared<MediaMetaData>(scan.items);
        ((*local).*field)->unseenPaths = scan.unseen;
        local->skippedItems.insert(local->skippedItems.end(), scan.skipped.begin(),
                                   scan.skipped.end());
      });
}

}  // namespace

BackupPreviewService::BackupPreviewService(
    std::shared_ptr<CalendarService> calendarService,
    std::shared_ptr<ContactRepositoryProtocol> contactRepository,
    std::shared_ptr<VideoServiceProtocol> videoService,
    std::shared_ptr<ImageServiceProtocol> imageService,
    std::shared_ptr<DeviceUIDServiceProtocol> deviceUidService,
    std::shared_ptr<RemoteIOServiceProtocol> remoteIOService,
    std::shared_ptr<DuplicateCollection> duplicateCollection,
    std::shared_ptr<MetadataLoader> metadataLoader, std::shared_ptr<CachingService> cachingService,
    std::shared_ptr<FileIOServiceProtocol> fileIOService, std::shared_ptr<Serializer> serializer,
    std::shared_ptr<OptimizeTaskListService> optimizeTaskListService,
    std::shared_ptr<LoggerProtocol> logger, std::string podVersion)
    : logger_(std::move(logger)),
      calendarService_(std::move(calendarService)),
      contactRepository_(std::move(contactRepository)),
      videoService_(std::move(videoService)),
      imageService_(std::move(imageService)),
      podVersion_(std::move(podVersion)),
      deviceUidService_(std::move(deviceUidService)),
      remoteIOService_(std::move(remoteIOService)),
      duplicateCollection_(std::move(duplicateCollection)),
      metadataLoader_(std::move(metadataLoader)),
      cachingService_(std::move(cachingService)),
      fileIOService_(std::move(fileIOService)),
      serializer_(std::move(serializer)),
      optimizeTaskListService_(std::move(optimizeTaskListService)) {}

BackupFuture BackupPreviewService::generateBackup(const BackupSettings& settings,
                                                  std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::info,
          [&] { return "Generate backup preview using BackupSDK(" + podVersion_ + ")"; });
  settings_ = settings;
  const std::string uid = deviceUidService_->getUID();
  auto checksum = std::make_shared<std::optional<std::string>>();
  // The stored record is read before this computer is scanned: a large record's document text
  // is gone by the time the scan's items are made, which keeps them from adding up.
  return getRemoteBackup(uid, checksum, cancelToken)
      .onComplete([this, cancelToken](const FutureResult<std::shared_ptr<BackupRecord>>& remote) {
        return handleRemoteBackupResult(remote, cancelToken);
      })
      .onSuccess([this, uid, checksum, cancelToken](const std::shared_ptr<BackupRecord>& remote) {
        BackupRunState::of(*remote).storedChecksum = *checksum;
        const Date startTime = currentDate();
        return getLocalBackup(uid, remote, cancelToken)
            .onSuccess(
                [this, remote, startTime, cancelToken](const std::shared_ptr<BackupRecord>& local) {
                  return calculateBackupDelta(remote, local, startTime, cancelToken);
                });
      });
}

BackupFuture BackupPreviewService::getLocalBackup(const std::string& uid,
                                                  const std::shared_ptr<const BackupRecord>& remote,
                                                  const std::shared_ptr<CancelToken>& cancelToken) {
  auto local = std::make_shared<BackupRecord>(uid);
  const BackupSettings settings = *settings_;
  Future<Void> contacts = Future<Void>::success(Void{});
  if (settings.contacts) {
    Result<std::vector<std::shared_ptr<Contact>>> read = contactRepository_->getExistingContacts();
    contacts = read.ok() ? Future<Void>::success(Void{}) : Future<Void>::fail(read.error());
    contacts = contacts.onSuccess([this, local, read = std::move(read)]() mutable {
      local->contactsMetaData = std::make_shared<ItemsMetaData<Contact>>(std::move(read).value());
      const std::vector<SkippedItem> skipped = contactRepository_->skippedItems();
      local->skippedItems.insert(local->skippedItems.end(), skipped.begin(), skipped.end());
    });
  }
  return contacts
      .onSuccess([this, local, settings]() -> Future<Void> {
        if (!settings.calendars) return Future<Void>::success(Void{});
        return calendarService_->getCalendarsMetaData().onSuccess(
            [this, local](const std::shared_ptr<ItemsMetaData<CalendarEntry>>& metaData) {
              local->calendarsMetaData = metaData;
              const std::vector<SkippedItem> skipped = calendarService_->skippedItems();
              local->skippedItems.insert(local->skippedItems.end(), skipped.begin(), skipped.end());
            });
      })
      .onSuccess([this, local, remote, settings, cancelToken]() -> Future<Void> {
        if (!settings.videos) return Future<Void>::success(Void{});
        return scanInto(local, &BackupRecord::videosMetaData, *videoService_, remote, cancelToken);
      })
      .onSuccess([this, local, remote, settings, cancelToken]() -> Future<Void> {
        if (!settings.images) return Future<Void>::success(Void{});
        return scanInto(local, &BackupRecord::imagesMetaData, *imageService_, remote, cancelToken);
      })
      .onSuccess([local] { return local; });
}

Future<Void> BackupPreviewService::checkStoredUnchanged(const BackupRecord& preview,
                                                        std::shared_ptr<CancelToken> cancelToken) {
  if (!preview.runState) return Future<Void>::success(Void{});
  const std::optional<std::string> expected = BackupRunState::of(preview).storedChecksum;
  const std::string uid = deviceUidService_->getUID();
  auto now = std::make_shared<std::optional<std::string>>();
  // Read as the preview read it; only the text's checksum counts, whatever it parses to.
  return getRemoteBackupPreview(uid, now, std::move(cancelToken))
      .onComplete([expected, now, uid](const FutureResult<std::shared_ptr<BackupRecord>>& read) {
        if (read.isCancelled()) return Future<Void>::cancelled();
        if (read.isFail() && !*now &&
            !isError(read.failure(), BackupSDKError::delegateFileDoesNotExist)) {
          return Future<Void>::fail(read.failure());
        }
        if (*now == expected) return Future<Void>::success(Void{});
        return Future<Void>::fail(makeError(
            BackupSDKError::backupLocked,
            "the backup folder " + uid +
                " was changed by another run since this preview was made; preview again"));
      });
}

Future<Void> BackupPreviewService::inflateLeftOverArchive(
    std::shared_ptr<CancelToken> cancelToken) {
  const std::string uid = deviceUidService_->getUID();
  return remoteIOService_
      ->inflateZip(PathUtils::combinePath({uid, uid + ".zip"}), uid, std::move(cancelToken))
      .onComplete([](const FutureResult<Void>& inflated) {
        // Usually there is no such archive; only a cancellation stops the preview.
        if (inflated.isCancelled() || (inflated.isFail() && endsCancelled(inflated.failure()))) {
          return FutureResult<Void>::cancelled();
        }
        return FutureResult<Void>::success(Void{});
      });
}

BackupFuture BackupPreviewService::getRemoteBackup(
    const std::string& uid, const StoredChecksum& checksum,
    const std::shared_ptr<CancelToken>& cancelToken) {
  return getRemoteBackupPreview(uid, checksum, cancelToken)
      .onSuccess([this, uid, cancelToken](const std::shared_ptr<BackupRecord>& remote) {
        return loadRemoteDocuments(remote, uid, cancelToken).onSuccess([remote] { return remote; });
      });
}

BackupFuture BackupPreviewService::getRemoteBackupPreview(
    const std::string& uid, const StoredChecksum& checksum,
    std::shared_ptr<CancelToken> cancelToken) {
  logWith(logger_, LogLevel::verbose, [&] { return "downloading remote backup for " + uid; });
  return remoteIOService_
      ->downloadFile(PathUtils::combinePath({uid, "backup.json"}), std::move(cancelToken))
      .onSuccess([this, checksum](const std::string& localPath) {
        return parseRemoteBackup(localPath, checksum);
      })
      .onComplete(
          [logger = logger_, uid](const FutureResult<std::shared_ptr<BackupRecord>>& remote) {
            if (remote.isSuccess()) {
              logWith(logger, LogLevel::info,
                      [&] { return "successfully downloaded remote backup for " + uid; });
            } else if (remote.isFail()) {
              logWith(logger, LogLevel::warning,
                      [&] { return "failed downloading remote backup for " + uid; });
            }
            return remote;
          });
}

BackupFuture BackupPreviewService::parseRemoteBackup(const std::string& localPath,
                                                     const StoredChecksum& checksum) {
  return fileIOService_->read(localPath).onSuccess([this, localPath,
                                                    checksum](const std::string& text) {
    *checksum = textChecksum(text);
    Result<std::shared_ptr<BackupRecord>> parsed = deserializeAs<BackupRecord>(*serializer_, text);
    FutureResult<std::shared_ptr<BackupRecord>> outcome =
        parsed.ok()
            ? FutureResult<std::shared_ptr<BackupRecord>>::success(std::move(parsed).value())
        : isError(parsed.error(), JsonError::invalidJsonString)
            ? FutureResult<std::shared_ptr<BackupRecord>>::fail(
                  makeError(BackupSDKError::corruptBackupMetaData, parsed.error().message))
            : FutureResult<std::shared_ptr<BackupRecord>>::fail(parsed.error());
    // The copy goes whatever it held; a copy that cannot be removed is no reason to fail.
    return fileIOService_->deleteItem(localPath).onComplete(
        [outcome](const FutureResult<Void>&) { return outcome; });
  });
}

Future<Void> BackupPreviewService::loadRemoteDocuments(
    const std::shared_ptr<BackupRecord>& remote, const std::string& uid,
    const std::shared_ptr<CancelToken>& cancelToken) {
  const BackupSettings settings = *settings_;
  const bool keep = settings.keepDeletedItems;
  auto path = [uid](const char* name) { return PathUtils::combinePath({uid, name}); };
  auto loader = metadataLoader_;
  // A claimed document that is missing or damaged costs its category, never the whole record:
  // the run rebuilds that category from this computer and the remote's files. One the host
  // failed to hand over fails the run instead: it may list kept items deleted here, and a record
  // rebuilt without them would let a later run delete their files.
  auto orRebuild = [remote, logger = logger_](const char* name) {
    return [remote, logger, name](auto outcome) {
      using Value = typename decltype(outcome)::ValueType;
      if (outcome.isSuccess() || outcome.isCancelled() || endsCancelled(outcome.failure()) ||
          !(isUnreadableRecord(outcome.failure()) ||
            isError(outcome.failure(), BackupSDKError::delegateFileDoesNotExist))) {
        return outcome;
      }
      logWith(logger, LogLevel::warning, [&] {
        return std::string("the stored ") + name + " cannot be read (" +
               nsErrorDescription(outcome.failure()) + "); this backup rebuilds it";
      });
      BackupRunState::of(*remote).rebuildsRecord = true;
      BackupRunState::of(*remote).lostDocuments.insert(name);
      return decltype(outcome)::success(Value());
    };
  };
  return remoteItems(remote->contactsMetaData, settings.contacts, keep, *loader,
                     path("contacts.json"), cancelToken)
      .onComplete(orRebuild("contacts.json"))
      .onSuccess([=](const std::shared_ptr<ItemsMetaData<Contact>>& contacts) {
        remote->contactsMetaData = contacts;
        return remoteItems(remote->calendarsMetaData, settings.calendars, keep, *loader,
                           path("calendars.json"), cancelToken)
            .onComplete(orRebuild("calendars.json"));
      })
      .onSuccess([=](const std::shared_ptr<ItemsMetaData<CalendarEntry>>& calendars) {
        remote->calendarsMetaData = calendars;
        return remoteMedia(remote->imagesMetaData, settings.images, keep, *loader,
                           path("images.json"), cancelToken)
            .onComplete(orRebuild("images.json"));
      })
      .onSuccess([=](const std::shared_ptr<MediaMetaData>& images) {
        remote->imagesMetaData = images;
        return remoteMedia(remote->videosMetaData, settings.videos, keep, *loader,
                           path("videos.json"), cancelToken)
            .onComplete(orRebuild("videos.json"));
      })
      .onSuccess([remote](const std::shared_ptr<MediaMetaData>& videos) {
        remote->videosMetaData = videos;
      });
}

BackupFuture BackupPreviewService::handleRemoteBackupResult(
    const FutureResult<std::shared_ptr<BackupRecord>>& remoteResult,
    const std::shared_ptr<CancelToken>& cancelToken) {
  if (remoteResult.isCancelled() ||
      (remoteResult.isFail() && endsCancelled(remoteResult.failure()))) {
    return BackupFuture::cancelled();
  }
  if (remoteResult.isSuccess()) return BackupFuture::success(remoteResult.successValue());
  const std::string uid = deviceUidService_->getUID();
  const Error& error = remoteResult.failure();
  if (isError(error, BackupSDKError::delegateFileDoesNotExist)) {
    // The first backup of this device, where everything local is new; or the record is gone
    // while what it listed is still there, to be rebuilt as an unreadable one is.
    return holdsStoredFiles(uid, false, cancelToken).onSuccess([this, uid](bool stored) {
      auto remote = std::make_shared<BackupRecord>(uid);
      remote->startDate = currentDate();
      if (stored) {
        logWith(logger_, LogLevel::warning, [] {
          return std::string(
              "the stored backup.json is missing beside stored files; this backup rebuilds it");
        });
        BackupRunState::of(*remote).rebuildsRecord = true;
        BackupRunState::of(*remote).lostDocuments.insert("backup.json");
      }
      return remote;
    });
  }
  if (isUnreadableRecord(error)) {
    // One damaged byte must not block the remote for good: start from an empty record; the run
    // finds what the remote already holds by listing it and uploads only the rest.
    logWith(logger_, LogLevel::warning, [&] {
      return "the stored backup.json cannot be read (" + nsErrorDescription(error) +
             "); this backup rebuilds it";
    });
    auto remote = std::make_shared<BackupRecord>(uid);
    remote->startDate = currentDate();
    BackupRunState::of(*remote).rebuildsRecord = true;
    BackupRunState::of(*remote).lostDocuments.insert("backup.json");
    return BackupFuture::success(remote);
  }
  logWith(logger_, LogLevel::error,
          [&] { return "error during Backup Preview " + nsErrorDescription(error); });
  return BackupFuture::fail(error);
}

Future<bool> BackupPreviewService::holdsStoredFiles(
    const std::string& uid, bool again, const std::shared_ptr<CancelToken>& cancelToken) {
  const auto holdsMoreThanALock = [](const Directory& folder) {
    return std::any_of(folder.members.begin(), folder.members.end(), [](const Member& member) {
      const std::string_view name =
          std::string_view(member.fullName).substr(member.fullName.rfind('/') + 1);
      return name != "lock.json" && name != "lock-takeover.json";
    });
  };
  return remoteIOService_->getDirectoryInfo(uid, cancelToken)
      .onComplete([this, uid, again, cancelToken, holdsMoreThanALock](
                      const FutureResult<std::shared_ptr<const Directory>>& listed) {
        if (listed.isCancelled() || (listed.isFail() && endsCancelled(listed.failure()))) {
          return Future<bool>::cancelled();
        }
        if (listed.isSuccess()) {
          return Future<bool>::success(holdsMoreThanALock(*listed.successValue()));
        }
        // A folder that cannot be listed is a first backup's only when the root lacks it (a root
        // that cannot be listed either holds nothing yet).
        return remoteIOService_->getDirectoryInfo("", cancelToken)
            .onComplete([this, uid, again, cancelToken, error = listed.failure()](
                            const FutureResult<std::shared_ptr<const Directory>>& root) {
              if (root.isCancelled() || (root.isFail() && endsCancelled(root.failure()))) {
                return Future<bool>::cancelled();
              }
              const bool exists =
                  root.isSuccess() &&
                  std::any_of(root.successValue()->members.begin(),
                              root.successValue()->members.end(),
                              [&](const Member& member) { return member.fullName == uid; });
              if (!exists) return Future<bool>::success(false);
              if (again) return Future<bool>::fail(error);
              return holdsStoredFiles(uid, true, cancelToken);
            });
      });
}

BackupFuture BackupPreviewService::calculateBackupDelta(
    const std::shared_ptr<BackupRecord>& remote, const std::shared_ptr<BackupRecord>& local,
    Date startTime, const std::shared_ptr<CancelToken>& cancelToken) {
  logWith(logger_, LogLevel::info, [] { return "calculating Backup-delta for preview"; });
  // What reading the stored documents freed is handed back before the indexes below are made.
  returnFreedMemory();
  setupCachingService(*remote);
  const bool keep = settings_->keepDeletedItems;
  // One after the other: each indexes a whole record, and side by side their indexes would add
  // up to the largest memory of a large library's run.
  const std::shared_ptr<BackupRecord> taskList =
      createTaskList(*local, *remote, keep, *duplicateCollection_);
  std::shared_ptr<BackupRecord> result =
      keep ? mergeMetaData(*local, *remote) : intersect(*local, *remote);
  BackupRunState& state = BackupRunState::of(*result);
  const BackupRunState& stored = BackupRunState::of(std::as_const(*remote));
  state.rebuildsRecord = stored.rebuildsRecord;
  for (const char* document : {"images.json", "videos.json"}) {
    // Without "backup.json" no document was read, and each category is rebuilt.
    if (keep && (stored.lostDocuments.count(document) != 0 ||
                 stored.lostDocuments.count("backup.json") != 0)) {
      state.adoptsUnrecordedFilesOf.insert(document);
    }
  }
  state.storedChecksum = stored.storedChecksum;
  state.storedRecord = remote;
  return optimizeTaskListService_->optimizeTaskList(taskList, result, cancelToken)
      .onSuccess([this, remote, local, result, taskList, startTime] {
        std::shared_ptr<BackupRecord> preview =
            finalizeGenerateBackup(*remote, *local, result, taskList, startTime);
        // The scan's items that are not new (for a large library nearly all of them) go now, not
        // whenever the last future lets go of them.
        local->imagesMetaData.reset();
        local->videosMetaData.reset();
        return preview;
      });
}

void BackupPreviewService::setupCachingService(const BackupRecord& remote) {
  cachingService_->clearMediaItemCache();
  std::vector<std::shared_ptr<MediaItem>> items;
  for (const auto& metaData : {remote.imagesMetaData, remote.videosMetaData}) {
    if (metaData && metaData->items) {
      items.insert(items.end(), metaData->items->begin(), metaData->items->end());
    }
  }
  cachingService_->addMediaItemsWhenNeeded(std::move(items));
}

std::shared_ptr<BackupRecord> BackupPreviewService::finalizeGenerateBackup(
    BackupRecord& remote, const BackupRecord& local, std::shared_ptr<BackupRecord> result,
    const std::shared_ptr<BackupRecord>& taskList, Date startTime) {
  // A finished last run means a new run starts now; an interrupted one keeps its start.
  if (remote.finishDate) {
    remote.startDate = startTime;
    result->finishDate.reset();
  }
  result->startDate = remote.startDate;
  result->modificationDate = startTime;
  result->taskListToProcess = taskList;
  result->name = settings_->backupName;
  result->skippedItems = local.skippedItems;
  result->taskList = generatePreviewTaskList(*taskList, local, remote, *settings_);
  logGenerateBackupResults(*result);
  return result;
}

std::shared_ptr<BackupRecord> BackupPreviewService::generatePreviewTaskList(
    const BackupRecord& taskList, const BackupRecord& local, const BackupRecord& remote,
    const BackupSettings& settings) const {
  auto summary = std::make_shared<BackupRecord>(taskList.deviceID);
  if (taskList.contactsMetaData && settings.contacts) {
    summary->contactsMetaData =
        newItemsSummary(taskList.contactsMetaData, local.contactsMetaData, remote.contactsMetaData);
  }
  if (taskList.calendarsMetaData && settings.calendars) {
    summary->calendarsMetaData = newItemsSummary(taskList.calendarsMetaData,
                                                 local.calendarsMetaData, remote.calendarsMetaData);
  }
  if (taskList.imagesMetaData) summary->imagesMetaData = mediaSummary(*taskList.imagesMetaData);
  if (taskList.videosMetaData) summary->videosMetaData = mediaSummary(*taskList.videosMetaData);
  return summary;
}

void BackupPreviewService::logGenerateBackupResults(const BackupRecord& result) const {
  const BackupRecord* summary = result.taskList.get();
  const int contacts = summary && summary->contactsMetaData ? 1 : 0;
  const int calendars = summary && summary->calendarsMetaData ? 1 : 0;
  const int images = summary && summary->imagesMetaData ? summary->imagesMetaData->count : 0;
  const int videos = summary && summary->videosMetaData ? summary->videosMetaData->count : 0;
  logWith(logger_, LogLevel::info, [=] {
    return "finished calculating Backup-delta (~" +
           std::to_string(contacts + calendars + images + videos) +
           " files will be backupped:\ncontact files: " + std::to_string(contacts) +
           "\ncalendar files: " + std::to_string(calendars) +
           "\nimage files: " + std::to_string(images) + "\nvideo files: " + std::to_string(videos) +
           ")";
  });
}

}  // namespace tessellon
