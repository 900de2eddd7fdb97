#pragma once

#include "platform/calendar/CalendarFilterProtocol.h"

namespace tessellon {

// Keeps one event per identifier and every detached occurrence. No state.
class CalendarFilter final : public CalendarFilterProtocol {
 public:
  CalendarFilter() = default;

  // The kept events in the order their groups first appear.
  std::vector<std::shared_ptr<StoreEvent>> getFilteredEvents(
      const std::vector<std::shared_ptr<StoreEvent>>& events) override;
};

}  // namespace tessellon
