#pragma once

#include <memory>

#include "tessellon/LoggerProtocol.h"

#include "backup/CalendarServiceProtocol.h"
#include "restore/RestoreContactsUnitProtocol.h"
#include "restore/RestoreDataHandlerProtocol.h"
#include "restore/RestoreImageServiceProtocol.h"
#include "restore/RestoreStatusServiceProtocol.h"
#include "restore/RestoreVideoServiceProtocol.h"

namespace tessellon {

class RestoreDataHandler final : public RestoreDataHandlerProtocol {
 public:
  // `logger` may be null.
  RestoreDataHandler(std::shared_ptr<LoggerProtocol> logger,
                     std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService,
                     std::shared_ptr<CalendarServiceProtocol> calendarService,
                     std::shared_ptr<RestoreImageServiceProtocol> restoreImageService,
                     std::shared_ptr<RestoreVideoServiceProtocol> restoreVideoService,
                     std::shared_ptr<RestoreContactsUnitProtocol> restoreContactsUnit);

  Future<Section> restoreContactsHandling(const FutureResult<Void>& previous,
                                          const std::shared_ptr<Backup>& backup,
                                          const std::shared_ptr<ProcessReport>& report) override;
  Future<Section> restorCalendarsHandling(const SectionResult& previous,
                                          const std::shared_ptr<Backup>& backup,
                                          const std::shared_ptr<ProcessReport>& report) override;
  Future<Section> restoreImagesHandling(const SectionResult& previous,
                                        const std::shared_ptr<Backup>& backup,
                                        const std::shared_ptr<ProcessReport>& report,
                                        std::shared_ptr<CancelToken> cancelToken) override;
  Future<Section> restoreVideosHandling(const SectionResult& previous,
                                        const std::shared_ptr<Backup>& backup,
                                        const std::shared_ptr<ProcessReport>& report,
                                        std::shared_ptr<CancelToken> cancelToken) override;

 private:
  Future<Section> restoreContacts(const std::shared_ptr<ItemsMetaData<Contact>>& metaData);
  Future<Section> restoreCalendars(const std::shared_ptr<ItemsMetaData<CalendarEntry>>& metaData);
  // Turns a document restore's outcome into its section.
  Future<Section> finalizeDocumentRestore(const Future<Void>& restored, int count, int64_t bytes,
                                          const char* failureLine);

  const std::shared_ptr<LoggerProtocol> logger_;
  const std::shared_ptr<RestoreStatusServiceProtocol> restoreStatusService_;
  const std::shared_ptr<CalendarServiceProtocol> calendarService_;
  const std::shared_ptr<RestoreImageServiceProtocol> restoreImageService_;
  const std::shared_ptr<RestoreVideoServiceProtocol> restoreVideoService_;
  const std::shared_ptr<RestoreContactsUnitProtocol> restoreContactsUnit_;
};

}  // namespace tessellon
