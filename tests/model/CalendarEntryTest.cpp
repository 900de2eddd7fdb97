#include "tessellon/CalendarEntry.h"

#include <gtest/gtest.h>

#include "tessellon/ItemsMetaData.h"

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

Result<CalendarEvent> readEvent(const std::string& text) {
  return ItemJson<CalendarEvent>::deserialize(parseJson(text).value());
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
  EXPECT_EQ(plain.RID(), std::nullopt);
  EXPECT_EQ(plain.occurence(), std::nullopt);

  EXPECT_EQ(event("A/RID=x/RID=12").parentId(), "A");
  EXPECT_EQ(event("A/RID=x/RID=12").RID(), "12");
  EXPECT_EQ(event("A/RID=12x").occurence(), std::nullopt);
  EXPECT_EQ(event("A/RID=99999999999999999999").occurence(), std::nullopt);
}

TEST(CalendarEntryTest, EqualityIgnoresTheIdentifierAndHashIsConstant) {
  CalendarEntry left{"one", "Work", std::vector<CalendarEvent>{event("a")}};
  CalendarEntry right{"two", "Work", std::vector<CalendarEvent>{event("a")}};
  EXPECT_EQ(left, right);
  EXPECT_EQ(left.hashValue(), 1u);
  right.events->front().note = "changed";
  EXPECT_NE(left, right);
  EXPECT_NE(left, (CalendarEntry{"one", "Home", left.events}));
  EXPECT_NE(left, (CalendarEntry{"one", "Work", std::nullopt}));
}

TEST(CalendarEntryTest, OptionalFieldsAreLeftOutAndReadBack) {
  CalendarEvent full = event("S1/RID=1");
  full.allDay = true;
  full.recurrence = "FREQ=WEEKLY;INTERVAL=1;BYDAY=MO";
  full.note = "n";
  full.location = "Room 4";
  full.url = "https://example.org/x";
  full.eventTimezone = "Europe/Berlin";
  for (const CalendarEvent& original : {event("S2"), full}) {
    const Json object = ItemJson<CalendarEvent>::serialize(original);
    if (!original.recurrence) {
      EXPECT_FALSE(object.contains("recurrence"));
      EXPECT_FALSE(object.contains("eventTimezone"));
    }
    const Result<CalendarEvent> back = readEvent(toJSONString(object).value());
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.value(), original);
  }
}

TEST(CalendarEntryTest, EventReadingRules) {
  EXPECT_TRUE(readEvent(R"({"id":"a","title":"t","start":"5","end":6,"allDay":"true"})")
                  .value()
                  .allDay);
  struct Row {
    const char* text;
    const char* missing;
  };
  const Row rows[] = {
      {R"({"id":"a","title":"t","start":5,"end":6,"allDay":1})", "allDay"},
      {R"({"id":"a","title":"t","start":5,"end":6,"allDay":"yes"})", "allDay"},
      {R"({"title":"t","start":5,"end":6,"allDay":true})", "id"},
      {R"({"id":"a","start":5,"end":6,"allDay":true})", "title"},
      {R"({"id":"a","title":"t","start":"x","end":6,"allDay":true})", "start"},
      {R"({"id":"a","title":"t","start":5,"allDay":true})", "end"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Result<CalendarEvent> read = readEvent(row.text);
    ASSERT_FALSE(read.ok());
    EXPECT_TRUE(isError(read.error(), JsonError::missingProperty));
    EXPECT_NE(read.error().message.find(row.missing), std::string::npos);
  }
}

TEST(CalendarEntryTest, DocumentRoundTripAndFirstBadEventFailsTheEntry) {
  const auto entry = std::make_shared<CalendarEntry>(
      CalendarEntry{"cal-1", "Work", std::vector<CalendarEvent>{event("a"), event("b", 5)}});
  const ItemsMetaData<CalendarEntry> document({entry, std::make_shared<CalendarEntry>(
                                                          CalendarEntry{"cal-2", "Empty", {}})});
  const Json json = ItemsMetaDataJson<CalendarEntry>::serialize(document);
  EXPECT_EQ(json["calendars"][1].contains("events"), false);
  EXPECT_EQ(document.bytes,
            static_cast<int64_t>(toJSONString(json["calendars"]).value().size()));

  const auto back = ItemsMetaDataJson<CalendarEntry>::deserialize(json);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(*back.value(), document);
  EXPECT_EQ(back.value()->items->front()->id, "cal-1");
  EXPECT_NE(entry->description().find("\n  \"title\": \"Work\""), std::string::npos);

  Json broken = json;
  broken["calendars"][0]["events"][1].erase("end");
  const auto failed = ItemsMetaDataJson<CalendarEntry>::deserialize(broken);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message, "missingProperty(end)");
}

}  // namespace
}  // namespace tessellon
