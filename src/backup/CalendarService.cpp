#include "backup/CalendarService.h"

#include "tessellon/BackupSDKError.h"

namespace tessellon {

CalendarService::CalendarService(std::shared_ptr<CalendarRepositoryProtocol> calendarRepository,
                                 std::shared_ptr<FileIOServiceProtocol> fileIOService)
    : calendarRepository_(std::move(calendarRepository)),
      fileIOService_(std::move(fileIOService)) {}

Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>> CalendarService::getCalendarsMetaData() {
  if (!calendarRepository_) {
    return Future<std::shared_ptr<ItemsMetaData<CalendarEntry>>>::fail(
        makeError(BackupSDKError::calendarsAccessDenied, "no calendar store"));
  }
  return calendarRepository_->getCalendarsMetaData();
}

}  // namespace tessellon
