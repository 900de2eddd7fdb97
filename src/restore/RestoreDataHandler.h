#pragma once

#include <memory>
#include <string_view>

#include "tessellon/LoggerProtocol.h"
#include "tessellon/ProcessReport.h"

#include "backup/CalendarService.h"
#include "core/CancelToken.h"
#include "futures/Future.h"
#include "futures/FuturesError.h"
#include "model/BackupRecord.h"
#include "restore/RestoreContactsUnit.h"
#include "restore/RestoreMediaItemService.h"
#include "restore/RestoreStatusServiceProtocol.h"

namespace tessellon {

// The category steps of a restore. Each step takes the previous step's outcome,
// files the previous section into `report` (or logs its failure), then
// restores its own category. A cancelled previous step cancels the step; a
// null section means the category was not part of the restore.
class RestoreDataHandler final {
 public:
  static constexpr std::string_view kProtocolName = "RestoreDataHandler";
  using Section = std::shared_ptr<ReportSection>;
  using SectionResult = FutureResult<Section>;

  // `logger` may be null.
  RestoreDataHandler(std::shared_ptr<LoggerProtocol> logger,
                     std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
                     std::shared_ptr<CalendarService> calendarService,
                     std::shared_ptr<RestoreMediaItemService> restoreImageService,
                     std::shared_ptr<RestoreMediaItemService> restoreVideoService,
                     std::shared_ptr<RestoreContactsUnit> restoreContactsUnit);

  // `previous` is the outcome of downloading the list documents.
  Future<Section> restoreContactsHandling(const FutureResult<Void>& previous,
                                          const std::shared_ptr<BackupRecord>& backup,
                                          const std::shared_ptr<ProcessReport>& report);
  Future<Section> restorCalendarsHandling(const SectionResult& previous,
                                          const std::shared_ptr<BackupRecord>& backup,
                                          const std::shared_ptr<ProcessReport>& report);
  // Sections are RestoreMediaReportSection.
  Future<Section> restoreImagesHandling(const SectionResult& previous,
                                        const std::shared_ptr<BackupRecord>& backup,
                                        const std::shared_ptr<ProcessReport>& report,
                                        std::shared_ptr<CancelToken> cancelToken);
  // The image and the video step may run side by side: the video step is then given a previous
  // outcome without a section, and the caller files the image section once both have ended.
  Future<Section> restoreVideosHandling(const SectionResult& previous,
                                        const std::shared_ptr<BackupRecord>& backup,
                                        const std::shared_ptr<ProcessReport>& report,
                                        std::shared_ptr<CancelToken> cancelToken);
  // The image and the video section once what they restored is on disk (see
  // RestoreMediaItemService::flushed); a null section stays null.
  Section flushedImages(const Section& images) const;
  Section flushedVideos(const Section& videos) const;

 private:
  // `document` names the stored document ("<device>/contacts.json") should it fail.
  Future<Section> restoreContacts(const std::shared_ptr<ItemsMetaData<Contact>>& metaData,
                                  const std::string& document);
  Future<Section> restoreCalendars(const std::shared_ptr<ItemsMetaData<CalendarEntry>>& metaData,
                                   const std::string& document);
  // The section of a category kept in one document: null when `metaData` is null or `category`
  // is not selected, all failed when the document could not be read, otherwise the outcome of
  // `restore` (() -> Future<Void>).
  template <class T, class Restore>
  Future<Section> restoreDocument(const std::shared_ptr<ItemsMetaData<T>>& metaData,
                                  bool Settings::*category, const std::string& document,
                                  const char* failureLine, Restore restore);

  const std::shared_ptr<LoggerProtocol> logger_;
  const std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService_;
  const std::shared_ptr<CalendarService> calendarService_;
  const std::shared_ptr<RestoreMediaItemService> restoreImageService_;
  const std::shared_ptr<RestoreMediaItemService> restoreVideoService_;
  const std::shared_ptr<RestoreContactsUnit> restoreContactsUnit_;
};

// Whether a step ended cancelled or failed with an error that means cancellation.
template <class T>
bool stepCancelled(const FutureResult<T>& result) {
  return result.isCancelled() || (result.isFail() && testForCancellation(result.failure()));
}

}  // namespace tessellon
