#include "model/json/CalendarEntryJson.h"

#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonError.h"
#include "model/json/JsonReaders.h"
#include "model/json/JsonText.h"

namespace tessellon {
namespace {

std::optional<std::string> optionalText(const Json& object, const char* key) {
  return readString(member(object, key));
}

// A list of instants; an element that is not an integer fails the event rather than being
// dropped, since a lost exception date brings a deleted occurrence back.
Result<std::optional<std::vector<int64_t>>> optionalInstants(const Json& object, const char* key) {
  const Json* list = member(object, key);
  if (list == nullptr || list->is_null()) return std::optional<std::vector<int64_t>>();
  if (!list->is_array()) return makeError(JsonError::deserializationFailed, key);
  std::vector<int64_t> instants;
  for (const Json& element : *list) {
    const std::optional<int64_t> instant = readInteger(&element);
    if (!instant) return makeError(JsonError::deserializationFailed, key);
    instants.push_back(*instant);
  }
  return std::optional<std::vector<int64_t>>(std::move(instants));
}

}  // namespace

Json ItemJson<CalendarEvent>::serialize(const CalendarEvent& event) {
  Json object = Json::object();
  object["id"] = event.id;
  object["title"] = event.title;
  object["start"] = event.start;
  object["end"] = event.end;
  object["allDay"] = event.allDay;
  setOptional(object, "recurrence", event.recurrence);
  setOptional(object, "note", event.note);
  setOptional(object, "location", event.location);
  setOptional(object, "url", event.url);
  setOptional(object, "eventTimezone", event.eventTimezone);
  setOptional(object, "eventTimezoneDefinition", event.eventTimezoneDefinition);
  setOptional(object, "exceptionDates", event.exceptionDates);
  setOptional(object, "recurrenceDates", event.recurrenceDates);
  setOptional(object, "iCalendar", event.iCalendar);
  return object;
}

Result<CalendarEvent> ItemJson<CalendarEvent>::deserialize(const Json& value) {
  if (!value.is_object()) return makeError(JsonError::deserializationFailed, "event not an object");
  std::optional<std::string> id = readString(member(value, "id"));
  if (!id) return makeError(JsonError::missingProperty, "id");
  std::optional<std::string> title = readString(member(value, "title"));
  if (!title) return makeError(JsonError::missingProperty, "title");
  const std::optional<int64_t> start = readInteger(member(value, "start"));
  if (!start) return makeError(JsonError::missingProperty, "start");
  const std::optional<int64_t> end = readInteger(member(value, "end"));
  if (!end) return makeError(JsonError::missingProperty, "end");
  const std::optional<bool> allDay = readBool(member(value, "allDay"));
  if (!allDay) return makeError(JsonError::missingProperty, "allDay");

  CalendarEvent event;
  event.id = std::move(*id);
  event.title = std::move(*title);
  event.start = *start;
  event.end = *end;
  event.allDay = *allDay;
  event.recurrence = optionalText(value, "recurrence");
  event.note = optionalText(value, "note");
  event.location = optionalText(value, "location");
  event.url = optionalText(value, "url");
  event.eventTimezone = optionalText(value, "eventTimezone");
  event.eventTimezoneDefinition = optionalText(value, "eventTimezoneDefinition");
  event.iCalendar = optionalText(value, "iCalendar");
  Result<std::optional<std::vector<int64_t>>> exceptions =
      optionalInstants(value, "exceptionDates");
  if (!exceptions.ok()) return exceptions.error();
  event.exceptionDates = std::move(exceptions).value();
  Result<std::optional<std::vector<int64_t>>> additions =
      optionalInstants(value, "recurrenceDates");
  if (!additions.ok()) return additions.error();
  event.recurrenceDates = std::move(additions).value();
  return event;
}

std::optional<Json> ItemJson<CalendarEntry>::serialize(const CalendarEntry& entry) {
  Json object = Json::object();
  object["id"] = entry.id;
  object["title"] = entry.title;
  if (entry.events) {
    Json events = Json::array();
    for (const CalendarEvent& event : *entry.events) {
      events.push_back(ItemJson<CalendarEvent>::serialize(event));
    }
    object["events"] = std::move(events);
  }
  return object;
}

Result<std::shared_ptr<CalendarEntry>> ItemJson<CalendarEntry>::deserialize(const Json& value) {
  if (!value.is_object()) return makeError(JsonError::deserializationFailed, "entry not an object");
  std::optional<std::string> id = readString(member(value, "id"));
  if (!id) return makeError(JsonError::missingProperty, "id");
  std::optional<std::string> title = readString(member(value, "title"));
  if (!title) return makeError(JsonError::missingProperty, "title");
  auto entry = std::make_shared<CalendarEntry>();
  entry->id = std::move(*id);
  entry->title = std::move(*title);
  const Json* events = member(value, "events");
  if (events != nullptr && !events->is_null()) {
    Result<std::vector<CalendarEvent>> list =
        toArray<CalendarEvent>(events, &ItemJson<CalendarEvent>::deserialize);
    if (!list.ok()) return list.error();
    entry->events = std::move(list).value();
  }
  return entry;
}

std::string CalendarEntry::description() const {
  std::optional<Json> object = ItemJson<CalendarEntry>::serialize(*this);
  if (!object) return std::string();
  // The kept event texts have no place in a log line.
  if (object->contains("events")) {
    for (Json& event : (*object)["events"]) event.erase("iCalendar");
  }
  return toPrettyJSONString(*object).value_or("");
}

template int64_t detail::compactJsonByteCount<CalendarEntry>(
    const std::vector<std::shared_ptr<CalendarEntry>>&);
template std::string detail::prettyJsonDescription<CalendarEntry>(
    const ItemsMetaData<CalendarEntry>&);

}  // namespace tessellon
