#pragma once

#include <memory>
#include <string_view>

#include "futures/Result.h"
#include "platform/calendar/EventStoreProtocol.h"

namespace tessellon {

// The event store as the restore's event writer sees it.
class EKEventStoreAdapterProtocol {
 public:
  static constexpr std::string_view kProtocolName = "EKEventStoreAdapterProtocol";
  EKEventStoreAdapterProtocol() = default;
  virtual ~EKEventStoreAdapterProtocol() = default;
  EKEventStoreAdapterProtocol(const EKEventStoreAdapterProtocol&) = delete;
  EKEventStoreAdapterProtocol& operator=(const EKEventStoreAdapterProtocol&) = delete;

  // The wrapped store; may be null.
  virtual std::shared_ptr<EventStoreProtocol> eventStore() const = 0;
  // Writes the store's pending changes; the store's error is passed on.
  virtual Result<void> commit() = 0;
};

// The adapter around `eventStore` (which may be null).
std::shared_ptr<EKEventStoreAdapterProtocol> makeEKEventStoreAdapter(
    std::shared_ptr<EventStoreProtocol> eventStore);

}  // namespace tessellon
