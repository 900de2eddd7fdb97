#include "restore/RestoreDataHandler.h"

#include <string>

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

Future<Section> mediaSection(const Future<std::optional<RestoreMediaReportSection>>& restored) {
  return restored.onSuccess(Executor::immediate(),
                            [](const std::optional<RestoreMediaReportSection>& section) -> Section {
                              if (!section) return nullptr;
                              return std::make_shared<RestoreMediaReportSection>(*section);
                            });
}

}  // namespace

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

Future<Section> RestoreDataHandler::restoreContactsHandling(const FutureResult<Void>& previous,
                                                            const std::shared_ptr<Backup>& backup,
                                                            const std::shared_ptr<ProcessReport>&) {
  if (!takePrevious(previous, logger_,
                    "Error occurred during Download of Meta data files: ", [](const Void&) {})) {
    return Future<Section>::cancelled();
  }
  restoreStatusService_->updateOverallFileStatus(*backup);
  return restoreContacts(backup->contactsMetaData, backup->deviceID + "/contacts.json");
}

Future<Section> RestoreDataHandler::restorCalendarsHandling(
    const SectionResult& previous, const std::shared_ptr<Backup>& backup,
    const std::shared_ptr<ProcessReport>& report) {
  if (!takePrevious(previous, logger_, "Error occurred during Restore of Contacts: ",
                    [&](const Section& section) { report->contacts = section; })) {
    return Future<Section>::cancelled();
  }
  return restoreCalendars(backup->calendarsMetaData, backup->deviceID + "/calendars.json");
}

Future<Section> RestoreDataHandler::restoreImagesHandling(
    const SectionResult& previous, const std::shared_ptr<Backup>& backup,
    const std::shared_ptr<ProcessReport>& report, std::shared_ptr<CancelToken> cancelToken) {
  if (!takePrevious(previous, logger_, "Error occurred during Restore of Calendars: ",
                    [&](const Section& section) { report->calendars = section; })) {
    return Future<Section>::cancelled();
  }
  if (!restoreStatusService_->restoreSettings().images || !restoreImageService_) {
    return Future<Section>::success(nullptr);
  }
  return mediaSection(restoreImageService_->restoreAll(backup->imagesMetaData, {backup->deviceID},
                                                       std::move(cancelToken)));
}

Future<Section> RestoreDataHandler::restoreVideosHandling(
    const SectionResult& previous, const std::shared_ptr<Backup>& backup,
    const std::shared_ptr<ProcessReport>& report, std::shared_ptr<CancelToken> cancelToken) {
  if (!takePrevious(previous, logger_, "Error occurred during Restore of Images: ",
                    [&](const Section& section) { report->images = section; })) {
    return Future<Section>::cancelled();
  }
  if (!restoreStatusService_->restoreSettings().videos || !restoreVideoService_) {
    return Future<Section>::success(nullptr);
  }
  return mediaSection(restoreVideoService_->restoreAll(backup->videosMetaData, {backup->deviceID},
                                                       std::move(cancelToken)));
}

Future<Section> RestoreDataHandler::restoreContacts(
    const std::shared_ptr<ItemsMetaData<Contact>>& metaData, const std::string& document) {
  if (!metaData || !restoreStatusService_->restoreSettings().contacts) {
    return Future<Section>::success(nullptr);
  }
  if (!metaData->items) {
    return Future<Section>::success(
        allFailed(metaData->count, metaData->bytes, document, "it could not be read"));
  }
  Future<Void> restored = restoreContactsUnit_
                              ? restoreContactsUnit_->persist(*metaData->items)
                              : Future<Void>::failWithErrorMessage("no address book");
  return finalizeDocumentRestore(restored, metaData->count, metaData->bytes,
                                 "Restore of Contacts failed: ", document);
}

Future<Section> RestoreDataHandler::restoreCalendars(
    const std::shared_ptr<ItemsMetaData<CalendarEntry>>& metaData, const std::string& document) {
  if (!metaData || !restoreStatusService_->restoreSettings().calendars) {
    return Future<Section>::success(nullptr);
  }
  if (!metaData->items) {
    return Future<Section>::success(
        allFailed(metaData->count, metaData->bytes, document, "it could not be read"));
  }
  Future<Void> restored = calendarService_
                              ? calendarService_->restoreCalendars(*metaData)
                              : Future<Void>::failWithErrorMessage("no calendar store");
  return finalizeDocumentRestore(restored, metaData->count, metaData->bytes,
                                 "Restore of Calendars failed: ", document)
      .onSuccess(Executor::immediate(), [service = calendarService_](const Section& section) {
        // Events the store could not take are part of the report, never left out unseen.
        if (!section || !service) return section;
        ProcessReport report;
        report.calendars = section;
        addSkippedItems(report, service->skippedItems());
        return report.calendars;
      });
}

Future<Section> RestoreDataHandler::finalizeDocumentRestore(const Future<Void>& restored, int count,
                                                            int64_t bytes, const char* failureLine,
                                                            const std::string& document) {
  return restored.onComplete(
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

}  // namespace tessellon
