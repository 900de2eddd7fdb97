#include "restore/RestoreHelper.h"

#include <string>
#include <typeinfo>

#include "tessellon/BackupSDKError.h"

#include "core/Log.h"
#include "futures/FuturesError.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"
#include "restore/FailedToDownloadMediaMetaData.h"

namespace tessellon {

namespace {

using Section = RestoreDataHandler::Section;
using SectionResult = RestoreDataHandler::SectionResult;
using Report = std::shared_ptr<ProcessReport>;

template <class T>
Future<T> asFuture(const FutureResult<T>& result) {
  if (result.isSuccess()) return Future<T>::success(result.successValue());
  if (result.isFail()) return Future<T>::fail(result.failure());
  return Future<T>::cancelled();
}

template <class MetaData>
std::string countText(const std::shared_ptr<MetaData>& metaData) {
  return metaData && metaData->items ? std::to_string(metaData->items->size()) : "nil";
}

template <class MetaData>
bool worthDownloading(bool selected, const std::shared_ptr<MetaData>& summary) {
  return selected && summary && summary->count > 0;
}

}  // namespace

RestoreHelper::RestoreHelper(Collaborators collaborators) : services_(std::move(collaborators)) {}

Future<Report> RestoreHelper::restoreBackup(std::shared_ptr<BackupRecord> backup,
                                            const Settings& settings,
                                            std::shared_ptr<CancelToken> cancelToken) {
  if (!backup) return Future<Report>::fail(makeError(BackupSDKError::unknownError, "no backup"));
  logWith(services_.logger, LogLevel::info,
          [&] { return "Restore started for Backup: (" + backup->description() + ")"; });
  services_.restoreStatusService->setRestoreSettings(settings);
  if (!backup->osFamily) {
    return Future<Report>::fail(
        makeError(BackupSDKError::wrongOSError, "the backup does not say which system made it"));
  }
  Future<Void> compatible =
      services_.compatibilityService
          ? services_.compatibilityService->checkCompatibility(*backup->osFamily, settings)
          : Future<Void>::success(Void{});

  auto self = shared_from_this();
  auto working = backup->copy();
  return compatible.onSuccess([self, working, settings, cancelToken] {
    return self->initializeMetadataOnBackup(working, settings, cancelToken)
        .onComplete([self, working, settings, cancelToken](const FutureResult<Void>& metadata) {
          auto report = std::make_shared<ProcessReport>();
          const auto& handler = self->services_.restoreDataHandler;
          self->services_.restoreStatusService->setRestoreSettings(settings);
          self->services_.restoreStatusService->updateOverallFileStatus(*working);
          return handler->restoreContactsHandling(metadata, working, report)
              .onComplete([=](const FutureResult<Section>& contacts) {
                return handler->restorCalendarsHandling(contacts, working, report);
              })
              .onComplete([=](const FutureResult<Section>& calendars) {
                return self->refreshMediaCache(calendars, working, settings, cancelToken);
              })
              .onComplete([=](const FutureResult<Section>& calendars) {
                return self->restoreMedia(calendars, working, report, cancelToken);
              })
              .onComplete([=](const FutureResult<Section>& videos) {
                return self->finalizeRestore(videos, report);
              });
        });
  });
}

Future<Void> RestoreHelper::initializeMetadataOnBackup(
    const std::shared_ptr<BackupRecord>& backup, const Settings& settings,
    const std::shared_ptr<CancelToken>& cancelToken) {
  auto self = shared_from_this();
  const auto& logger = services_.logger;
  using Contacts = ItemsMetaData<Contact>;
  using Calendars = ItemsMetaData<CalendarEntry>;

  // A document that cannot be had keeps the record's summary; only
  // cancellation ends the phase.
  auto keep = [backup, logger](auto field, const char* line, const char* what) {
    return [backup, logger, field, line, what](const auto& downloaded) -> FutureResult<Void> {
      if (stepCancelled(downloaded)) return FutureResult<Void>::cancelled();
      if (downloaded.isFail()) {
        logWith(logger, LogLevel::warning, [&] {
          return std::string("Could not download the ") + what +
                 " list: " + describe(downloaded.failure());
        });
      } else if (downloaded.successValue()) {
        (*backup).*field = downloaded.successValue();
      }
      logWith(logger, LogLevel::info, [&] {
        return line + countText(downloaded.isSuccess() ? downloaded.successValue() : nullptr);
      });
      return FutureResult<Void>::success(Void{});
    };
  };

  Future<std::shared_ptr<Contacts>> contacts =
      worthDownloading(settings.contacts, backup->contactsMetaData)
          ? downloadDocument<Contacts>(*backup, "contacts.json", cancelToken)
          : Future<std::shared_ptr<Contacts>>::success(nullptr);
  return contacts
      .onComplete(Executor::immediate(), keep(&BackupRecord::contactsMetaData,
                                              "Contacts successfully downloaded: ", "contacts"))
      .onSuccess(Executor::immediate(),
                 [self, backup, settings, cancelToken] {
                   return worthDownloading(settings.calendars, backup->calendarsMetaData)
                              ? self->downloadDocument<Calendars>(*backup, "calendars.json",
                                                                  cancelToken)
                              : Future<std::shared_ptr<Calendars>>::success(nullptr);
                 })
      .onComplete(Executor::immediate(),
                  keep(&BackupRecord::calendarsMetaData,
                       "Calendars metadata successfully downloaded: ", "calendars"))
      .onSuccess(Executor::immediate(),
                 [self, backup, settings, cancelToken] {
                   return self->downloadMediaMetaData(backup, &BackupRecord::imagesMetaData,
                                                      "images.json", settings.images, cancelToken);
                 })
      .onSuccess(Executor::immediate(), [self, backup, settings, cancelToken] {
        return self->downloadMediaMetaData(backup, &BackupRecord::videosMetaData, "videos.json",
                                           settings.videos, cancelToken);
      });
}

template <class T>
Future<std::shared_ptr<T>> RestoreHelper::downloadDocument(
    const BackupRecord& backup, const std::string& name, std::shared_ptr<CancelToken> cancelToken) {
  using Value = std::shared_ptr<T>;
  const std::string path = backup.deviceID + "/" + name;
  return services_.remoteIOService->downloadFileInternal(path, nullptr, std::move(cancelToken))
      .onSuccess(Executor::immediate(),
                 [files = services_.fileIOService, serializer = services_.serializer,
                  path](const std::string& localPath) -> FutureResult<Value> {
                   FutureResult<std::string> text = files->read(localPath).waitUntilCompleted();
                   files->deleteItem(localPath);
                   if (!text.isSuccess()) {
                     return text.isFail() ? FutureResult<Value>::fail(text.failure())
                                          : FutureResult<Value>::cancelled();
                   }
                   auto model = serializer->deserialize(text.successValue(), typeid(T));
                   if (!model.ok()) {
                     return FutureResult<Value>::fail(makeError(
                         BackupSDKError::corruptMetaData, path + ": " + model.error().message));
                   }
                   return FutureResult<Value>::success(
                       std::static_pointer_cast<T>(std::move(model).value()));
                 });
}

Future<Void> RestoreHelper::downloadMediaMetaData(
    const std::shared_ptr<BackupRecord>& backup,
    std::shared_ptr<MediaMetaData> BackupRecord::*field, const std::string& fileName, bool setting,
    std::shared_ptr<CancelToken> cancelToken) {
  const bool images = field == &BackupRecord::imagesMetaData;
  auto logDone = [logger = services_.logger, images] {
    logWith(logger, LogLevel::info, [images] {
      return std::string(images ? "Images" : "Videos") + " metadata successfully downloaded";
    });
  };
  if (!worthDownloading(setting, (*backup).*field)) {
    logDone();
    return Future<Void>::success(Void{});
  }
  return downloadDocument<MediaMetaData>(*backup, fileName, std::move(cancelToken))
      .onComplete(Executor::immediate(),
                  [backup, field, logDone, logger = services_.logger,
                   fileName](const FutureResult<std::shared_ptr<MediaMetaData>>& downloaded)
                      -> FutureResult<Void> {
                    if (stepCancelled(downloaded)) return FutureResult<Void>::cancelled();
                    if (downloaded.isSuccess() && downloaded.successValue()) {
                      (*backup).*field = downloaded.successValue();
                    } else {
                      logWith(logger, LogLevel::warning, [&] {
                        return "Could not download " + fileName + ": " +
                               (downloaded.isFail() ? describe(downloaded.failure())
                                                    : std::string("empty document"));
                      });
                      (*backup).*field =
                          FailedToDownloadMediaMetaData::createFailedItems((*backup).*field);
                    }
                    logDone();
                    return FutureResult<Void>::success(Void{});
                  });
}

Future<Section> RestoreHelper::refreshMediaCache(const FutureResult<Section>& previous,
                                                 const std::shared_ptr<BackupRecord>& backup,
                                                 const Settings& settings,
                                                 const std::shared_ptr<CancelToken>& cancelToken) {
  if (!previous.isSuccess() || !services_.cachingService) return asFuture(previous);
  const Section& section = previous.successValue();
  return services_.cachingService
      ->refreshMediaItemCache(settings, cancelToken, backup->mediaVersions.versions)
      .onComplete(Executor::immediate(),
                  [section, logger = services_.logger](
                      const FutureResult<Void>& refreshed) -> FutureResult<Section> {
                    if (stepCancelled(refreshed)) return FutureResult<Section>::cancelled();
                    // Without a fresh cache files already here are downloaded again,
                    // never overwritten: worth a warning, not a failed restore.
                    if (refreshed.isFail()) {
                      logWith(logger, LogLevel::warning, [&] {
                        return "Could not scan the local media: " + describe(refreshed.failure());
                      });
                    }
                    return FutureResult<Section>::success(section);
                  });
}

Future<Section> RestoreHelper::restoreMedia(const FutureResult<Section>& calendars,
                                            const std::shared_ptr<BackupRecord>& backup,
                                            const Report& report,
                                            std::shared_ptr<CancelToken> cancelToken) {
  const auto& handler = services_.restoreDataHandler;
  Future<Section> images = handler->restoreImagesHandling(calendars, backup, report, cancelToken);
  // The video step files the image section it is given; the real one is filed once both ended.
  const SectionResult imagesSoFar =
      stepCancelled(calendars) ? SectionResult::cancelled() : SectionResult::success(Section());
  Future<Section> videos =
      handler->restoreVideosHandling(imagesSoFar, backup, report, std::move(cancelToken));
  return images.onComplete(Executor::immediate(), [videos, report, handler,
                                                   logger = services_.logger](
                                                      const SectionResult& imagesDone) {
    return videos.onComplete(
        Executor::immediate(),
        [imagesDone, report, handler, logger](const SectionResult& videosDone) -> SectionResult {
          if (stepCancelled(imagesDone)) return SectionResult::cancelled();
          if (imagesDone.isFail()) {
            logWith(logger, LogLevel::error, [&] {
              return "Error occurred during Restore of Images: " + describe(imagesDone.failure());
            });
          } else {
            report->images = handler->flushedImages(imagesDone.successValue());
          }
          if (!videosDone.isSuccess()) return videosDone;
          return SectionResult::success(handler->flushedVideos(videosDone.successValue()));
        });
  });
}

FutureResult<Report> RestoreHelper::finalizeRestore(const FutureResult<Section>& previous,
                                                    const Report& report) {
  const bool cancelled = stepCancelled(previous);
  if (!cancelled && previous.isFail()) {
    logWith(services_.logger, LogLevel::error, [&] {
      return "Error occurred during Restore of Videos: " + describe(previous.failure());
    });
  } else if (!cancelled) {
    report->videos = previous.successValue();
  }
  if (cancelled) return FutureResult<Report>::cancelled();
  logWith(services_.logger, LogLevel::info,
          [&] { return "Restore finished (" + report->description() + ")"; });
  return FutureResult<Report>::success(report);
}

}  // namespace tessellon
