#pragma once

#include "platform/calendar/EKEventStoreAdapterProtocol.h"

namespace tessellon {

// Thin wrapper handing one event store to the restore's event writer.
class EKEventStoreAdapter final : public EKEventStoreAdapterProtocol {
 public:
  explicit EKEventStoreAdapter(std::shared_ptr<EventStoreProtocol> eventStore)
      : eventStore_(std::move(eventStore)) {}

  std::shared_ptr<EventStoreProtocol> eventStore() const override { return eventStore_; }
  Result<void> commit() override;

 private:
  // May be null.
  const std::shared_ptr<EventStoreProtocol> eventStore_;
};

}  // namespace tessellon
