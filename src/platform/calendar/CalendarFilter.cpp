#include "platform/calendar/CalendarFilter.h"

#include <string>
#include <unordered_set>

namespace tessellon {

std::vector<std::shared_ptr<StoreEvent>> CalendarFilter::getFilteredEvents(
    const std::vector<std::shared_ptr<StoreEvent>>& events) {
  std::vector<std::shared_ptr<StoreEvent>> kept;
  std::unordered_set<std::string> seen;
  int detachedCount = 0;
  for (const std::shared_ptr<StoreEvent>& event : events) {
    if (!event) continue;
    // A running number keeps every detached occurrence in a group of its own.
    const std::string identifier = event->eventIdentifier.empty() ? "nil" : event->eventIdentifier;
    const std::string key =
        event->isDetached ? identifier + "_" + std::to_string(++detachedCount) : identifier;
    if (seen.insert(key).second) kept.push_back(event);
  }
  return kept;
}

}  // namespace tessellon
