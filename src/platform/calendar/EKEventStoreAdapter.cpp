#include "platform/calendar/EKEventStoreAdapter.h"

#include "tessellon/BackupSDKError.h"

namespace tessellon {

Result<void> EKEventStoreAdapter::commit() {
  if (!eventStore_) return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no event store");
  return eventStore_->commit();
}

}  // namespace tessellon
