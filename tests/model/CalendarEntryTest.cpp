#include "platform/calendar/CalendarEntry.h"

#include <gtest/gtest.h>

#include "model/ItemsMetaData.h"
#include "model/ModelTestSupport.h"
#include "model/json/CalendarEntryJson.h"
#include "model/json/ItemsMetaDataJson.h"
#include "model/json/JsonText.h"

namespace tessellon {
namespace {

CalendarEvent event(std::string id, int64_t start = 1'600'000'000) {
  CalendarEvent result;
  result.id = std::move(id);
  result.title = "Standup";
  result.start = start;
  result.end = start + 900;
  return result;
}

TEST(CalendarEntryTest, DetachedIdentifierNamesParentAndOccurrence) {
  const CalendarEvent detached = event("ABC/RID=600000000");
  EXPECT_TRUE(detached.isDetached());
  EXPECT_EQ(detached.parentId(), "ABC");
  EXPECT_EQ(detached.RID(), "600000000");
  // 2020-01-06T10:40:00Z
  EXPECT_EQ(detached.occurence(), Date(std::chrono::seconds(1'578'307'200)));

  const CalendarEvent plain = event("ABC");
  EXPECT_FALSE(plain.isDetached());
  EXPECT_EQ(plain.parentId(), std::nullopt);
  EXPECT_EQ(plain.occurence(), std::nullopt);

  EXPECT_EQ(event("A/RID=x/RID=12").parentId(), "A");
  EXPECT_EQ(event("A/RID=x/RID=12").RID(), "12");
  EXPECT_EQ(event("A/RID=12x").occurence(), std::nullopt);
  EXPECT_EQ(event("A/RID=99999999999999999999").occurence(), std::nullopt);
}

// A calendar of a plain event and one with every optional field, and an empty calendar.
ItemsMetaData<CalendarEntry> twoCalendars() {
  CalendarEvent full = event("b", 5);
  full.recurrence = "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO";
  full.eventTimezone = "Europe/Berlin";
  return ItemsMetaData<CalendarEntry>(
      {std::make_shared<CalendarEntry>(
           CalendarEntry{"cal-1", "Work", std::vector<CalendarEvent>{event("a"), full}}),
       std::make_shared<CalendarEntry>(CalendarEntry{"cal-2", "Empty", {}})});
}

// Every field's round trip is covered with the calendar store; here what other devices rely on.
TEST(CalendarEntryTest, DocumentLeavesOutAbsentFields) {
  const ItemsMetaData<CalendarEntry> document = twoCalendars();
  const Json json = ItemsMetaDataJson<CalendarEntry>::serialize(document);
  EXPECT_FALSE(json["calendars"][1].contains("events"));
  EXPECT_FALSE(json["calendars"][0]["events"][0].contains("recurrence"));
  EXPECT_FALSE(json["calendars"][0]["events"][0].contains("eventTimezone"));
  EXPECT_EQ(document.bytes, static_cast<int64_t>(toJSONString(json["calendars"]).value().size()));

  const auto back = ItemsMetaDataJson<CalendarEntry>::deserialize(json);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(*back.value(), document);
  EXPECT_EQ(back.value()->items->front()->id, "cal-1");
  // A null list reads as an absent one.
  Json nullEvents = json;
  nullEvents["calendars"][1]["events"] = nullptr;
  const auto withNull = ItemsMetaDataJson<CalendarEntry>::deserialize(nullEvents);
  ASSERT_TRUE(withNull.ok());
  EXPECT_EQ(*withNull.value(), document);
}

TEST(CalendarEntryTest, FirstBadEventFailsTheEntry) {
  Json broken = ItemsMetaDataJson<CalendarEntry>::serialize(twoCalendars());
  broken["calendars"][0]["events"][1].erase("end");
  const auto failed = ItemsMetaDataJson<CalendarEntry>::deserialize(broken);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, "missingProperty(end)");
}

TEST(CalendarEntryTest, EventReadingRules) {
  const auto read = [](const char* text) {
    return ItemJson<CalendarEvent>::deserialize(parseJson(text).value());
  };
  EXPECT_TRUE(read(R"({"id":"a","title":"t","start":"5","end":6,"allDay":"true"})").value().allDay);
  const std::pair<const char*, const char*> rows[] = {
      {R"({"id":"a","title":"t","start":5,"end":6,"allDay":1})", "allDay"},
      {R"({"id":"a","title":"t","start":5,"end":6,"allDay":"yes"})", "allDay"},
      {R"({"title":"t","start":5,"end":6,"allDay":true})", "id"},
      {R"({"id":"a","title":"t","start":"x","end":6,"allDay":true})", "start"},
  };
  for (const auto& [text, missing] : rows) {
    SCOPED_TRACE(text);
    const Result<CalendarEvent> result = read(text);
    ASSERT_FALSE(result.ok());
    EXPECT_TRUE(isError(result.error(), JsonError::missingProperty));
    EXPECT_NE(result.error().message.find(missing), std::string::npos);
  }
}

}  // namespace
}  // namespace tessellon
