#include "platform/calendar/EKEventStoreAdapter.h"

#include "tessellon/BackupSDKError.h"

namespace tessellon {

Result<void> EKEventStoreAdapter::commit() {
  if (!eventStore_) return makeError(BackupSDKError::calendarsSaveCalendarFailed, "no event store");
  return eventStore_->commit();
}

std::shared_ptr<EKEventStoreAdapterProtocol> makeEKEventStoreAdapter(
    std::shared_ptr<EventStoreProtocol> eventStore) {
  return std::make_shared<EKEventStoreAdapter>(std::move(eventStore));
}

}  // namespace tessellon
