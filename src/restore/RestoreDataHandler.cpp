#include "restore/RestoreDataHandler.h"

#include <string>
#include <vector>

#include "core/HostError.h"
#include "core/Log.h"
#include "model/SkippedItems.h"

namespace tessellon {

namespace {

using Section = RestoreDataHandler::Section;

// The previous step's failure is logged under `line` and its category left
// without a section; its success is filed with `file`. False when the
// previous step was cancelled.
template <class T, class File>
bool takePrevious(const FutureResult<T>& previous, const std::shared_ptr<LoggerProtocol>& logger,
                  const char* line, File&& file) {
  if (stepCancelled(previous)) return false;
  if (previous.isFail()) {
    logWith(logger, LogLevel::error,
            [&] { return std::string(line) + describe(previous.failure()); });
  } else {
    file(previous.successValue());
  }
  return true;
}

Section allFailed(int count, int64_t bytes, const std::string& document, std::string reason) {
  auto section = std::make_shared<ReportSection>(0, count, 0, bytes);
  section->failedItems.push_back({document, std::move(reason)});
  return section;
}

// `section` with the store's files it could not read: part of the report, never left out unseen.
Section withSkipped(const Section& section, Section ProcessReport::*field,
                    const std::vector<SkippedItem>& skipped) {
  if (!section) return section;
  ProcessReport report;
  report.*field = section;
  addSkippedItems(report, skipped);
  return report.*field;
}

// A media category's section; null when the settings leave the category out or
// no service restores it.
Future<Section> restoreMedia(bool included, const std::shared_ptr<RestoreMediaItemService>& service,
                             const std::shared_ptr<MediaMetaData>& metaData,
                             const std::string& deviceID,
                             std::shared_ptr<CancelToken> cancelToken) {
  if (!included || !service) return Future<Section>::success(nullptr);
  return service->restoreAll(metaData, {deviceID}, std::move(cancelToken))
      .onSuccess(Executor::immediate(),
                 [](const std::optional<RestoreMediaReportSection>& section) -> Section {
                   if (!section) return nullptr;
                   return std::make_shared<RestoreMediaReportSection>(*section);
                 });
}

Section flushedBy(const std::shared_ptr<RestoreMediaItemService>& service, const Section& section) {
  const auto media = std::dynamic_pointer_cast<RestoreMediaReportSection>(section);
  if (!service || !media) return section;
  return std::make_shared<RestoreMediaReportSection>(service->flushed(*media));
}

}  // namespace

Section RestoreDataHandler::flushedImages(const Section& images) const {
  return flushedBy(restoreImageService_, images);
}

Section RestoreDataHandler::flushedVideos(const Section& videos) const {
  return flushedBy(restoreVideoService_, videos);
}

RestoreDataHandler::RestoreDataHandler(
    std::shared_ptr<LoggerProtocol> logger,
    std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
    std::shared_ptr<CalendarService> calendarService,
    std::shared_ptr<RestoreMediaItemService> restoreImageService,
    std::shared_ptr<RestoreMediaItemService> restoreVideoService,
    std::shared_ptr<RestoreContactsUnit> restoreContactsUnit)
    : logger_(std::move(logger)),
      restoreStatusService_(std::move(restoreStatusService)),
      calendarService_(std::move(calendarService)),
      restoreImageService_(std::move(restoreImageService)),
      restoreVideoService_(std::move(restoreVideoService)),
      restoreContactsUnit_(std::move(restoreContactsUnit)) {}

template <class T, class Restore>
Future<Section> RestoreDataHandler::restoreDocument(
    const std::shared_ptr<ItemsMetaData<T>>& metaData, bool Settings::*category,
    const std::string& document, const char* failureLine, Restore restore) {
  if (!metaData || !(restoreStatusService_->restoreSettings().*category)) {
    return Future<Section>::success(nullptr);
  }
  const int count = metaData->count;
  const int64_t bytes = metaData->bytes;
  if (!metaData->items) {
    // An empty category's document is not fetched: there is nothing to bring back, and nothing
    // failed.
    if (count == 0) return Future<Section>::success(std::make_shared<ReportSection>(0, 0, 0, 0));
    return Future<Section>::success(allFailed(count, bytes, document, "it could not be read"));
  }
  return restore().onComplete(
      Executor::immediate(),
      [logger = logger_, status = restoreStatusService_, count, bytes, failureLine,
       document](const FutureResult<Void>& outcome) -> FutureResult<Section> {
        if (stepCancelled(outcome)) return FutureResult<Section>::cancelled();
        Section section;
        if (outcome.isSuccess()) {
          section = std::make_shared<ReportSection>(count, 0, bytes, 0);
        } else {
          logWith(logger, LogLevel::error,
                  [&] { return std::string(failureLine) + describe(outcome.failure()); });
          section = allFailed(count, bytes, document, failureReason(outcome.failure()));
        }
        status->updateProgress(bytes);
        return FutureResult<Section>::success(std::move(section));
      });
}

Future<Section> RestoreDataHandler::restoreContactsHandling(
    const FutureResult<Void>& previous, const std::shared_ptr<BackupRecord>& backup,
    const std::shared_ptr<ProcessReport>&) {
  if (!takePrevious(previous, logger_,
                    "Error occurred during Download of Meta data files: ", [](const Void&) {})) {
    return Future<Section>::cancelled();
  }
  restoreStatusService_->updateOverallFileStatus(*backup);
  return restoreContacts(backup->contactsMetaData, backup->deviceID + "/contacts.json");
}

Future<Section> RestoreDataHandler::restorCalendarsHandling(
    const SectionResult& previous, const std::shared_ptr<BackupRecord>& backup,
    const std::shared_ptr<ProcessReport>& report) {
  if (!takePrevious(previous, logger_, "Error occurred during Restore of Contacts: ",
                    [&](const Section& section) { report->contacts = section; })) {
    return Future<Section>::cancelled();
  }
  return restoreCalendars(backup->calendarsMetaData, backup->deviceID + "/calendars.json");
}

Future<Section> RestoreDataHandler::restoreImagesHandling(
    const SectionResult& previous, const std::shared_ptr<BackupRecord>& backup,
    const std::shared_ptr<ProcessReport>& report, std::shared_ptr<CancelToken> cancelToken) {
  if (!takePrevious(previous, logger_, "Error occurred during Restore of Calendars: ",
                    [&](const Section& section) { report->calendars = section; })) {
    return Future<Section>::cancelled();
  }
  return restoreMedia(restoreStatusService_->restoreSettings().images, restoreImageService_,
                      backup->imagesMetaData, backup->deviceID, std::move(cancelToken));
}

Future<Section> RestoreDataHandler::restoreVideosHandling(
    const SectionResult& previous, const std::shared_ptr<BackupRecord>& backup,
    const std::shared_ptr<ProcessReport>& report, std::shared_ptr<CancelToken> cancelToken) {
  if (!takePrevious(previous, logger_, "Error occurred during Restore of Images: ",
                    [&](const Section& section) { report->images = section; })) {
    return Future<Section>::cancelled();
  }
  return restoreMedia(restoreStatusService_->restoreSettings().videos, restoreVideoService_,
                      backup->videosMetaData, backup->deviceID, std::move(cancelToken));
}

Future<Section> RestoreDataHandler::restoreContacts(
    const std::shared_ptr<ItemsMetaData<Contact>>& metaData, const std::string& document) {
  return restoreDocument(metaData, &Settings::contacts, document, "Restore of Contacts failed: ",
                         [&] {
                           return restoreContactsUnit_
                                      ? restoreContactsUnit_->persist(*metaData->items)
                                      : Future<Void>::failWithErrorMessage("no address book");
                         })
      .onSuccess(Executor::immediate(), [unit = restoreContactsUnit_](const Section& section) {
        return unit ? withSkipped(section, &ProcessReport::contacts, unit->skippedItems())
                    : section;
      });
}

Future<Section> RestoreDataHandler::restoreCalendars(
    const std::shared_ptr<ItemsMetaData<CalendarEntry>>& metaData, const std::string& document) {
  return restoreDocument(metaData, &Settings::calendars, document, "Restore of Calendars failed: ",
                         [&] {
                           return calendarService_
                                      ? calendarService_->restoreCalendars(*metaData)
                                      : Future<Void>::failWithErrorMessage("no calendar store");
                         })
      .onSuccess(Executor::immediate(), [service = calendarService_](const Section& section) {
        return service ? withSkipped(section, &ProcessReport::calendars, service->skippedItems())
                       : section;
      });
}

}  // namespace tessellon
