#pragma once

#include <memory>
#include <utility>

#include "futures/Result.h"
#include "platform/calendar/EventStoreProtocol.h"

namespace tessellon {

// The event store as the restore's event writer sees it.
class EKEventStoreAdapter final {
 public:
  // `eventStore` may be null.
  explicit EKEventStoreAdapter(std::shared_ptr<EventStoreProtocol> eventStore)
      : eventStore_(std::move(eventStore)) {}
  EKEventStoreAdapter(const EKEventStoreAdapter&) = delete;
  EKEventStoreAdapter& operator=(const EKEventStoreAdapter&) = delete;

  // The wrapped store; may be null.
  std::shared_ptr<EventStoreProtocol> eventStore() const { return eventStore_; }
  // Writes the store's pending changes; the store's error is passed on.
  Result<void> commit();

 private:
  // May be null.
  const std::shared_ptr<EventStoreProtocol> eventStore_;
};

}  // namespace tessellon
