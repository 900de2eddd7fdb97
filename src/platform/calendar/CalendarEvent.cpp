#include "platform/calendar/CalendarEvent.h"

#include <charconv>

namespace tessellon {
namespace {

constexpr std::string_view kRidMarker = "/RID=";
constexpr int64_t kLargestOccurrence = 1'000'000'000'000'000;

}  // namespace

bool CalendarEvent::isDetached() const { return id.find(kRidMarker) != std::string::npos; }

std::optional<std::string> CalendarEvent::parentId() const {
  const size_t marker = id.find(kRidMarker);
  if (marker == std::string::npos) return std::nullopt;
  return id.substr(0, marker);
}

std::optional<std::string> CalendarEvent::RID() const {
  const size_t marker = id.rfind(kRidMarker);
  if (marker == std::string::npos) return std::nullopt;
  return id.substr(marker + kRidMarker.size());
}

std::optional<Date> CalendarEvent::occurence() const {
  const std::optional<std::string> rid = RID();
  if (!rid || rid->empty()) return std::nullopt;
  const char* first = rid->data();
  const char* last = first + rid->size();
  // A leading "+" reads as a sign, as the platform's integer reading allows.
  if (*first == '+') ++first;
  int64_t seconds = 0;
  const auto [stop, error] = std::from_chars(first, last, seconds);
  if (error != std::errc() || stop != last || first == last) return std::nullopt;
  // Beyond this no instant is representable in milliseconds.
  if (seconds > kLargestOccurrence || seconds < -kLargestOccurrence) return std::nullopt;
  return Date(std::chrono::seconds(seconds + kReferenceDateSeconds));
}

}  // namespace tessellon
