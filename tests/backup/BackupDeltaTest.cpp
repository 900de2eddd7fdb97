#include "backup/BackupDelta.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "media/DuplicateCollection.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

using ::testing::ElementsAre;

Date at(int64_t ms) { return Date(std::chrono::milliseconds(ms)); }

std::shared_ptr<MediaItem> photo(int64_t bytes, const std::string& path, int64_t ms = 1000) {
  return std::make_shared<MediaItem>("jpg", bytes, path, at(ms), "1.1_" + path,
                                     std::vector<std::string>{path});
}

std::shared_ptr<Contact> person(const std::string& name) {
  auto contact = std::make_shared<Contact>();
  contact->firstName = name;
  return contact;
}

std::shared_ptr<ItemsMetaData<Contact>> contacts(std::initializer_list<const char*> names) {
  ItemsMetaData<Contact>::Items items;
  for (const char* name : names) items.push_back(person(name));
  return std::make_shared<ItemsMetaData<Contact>>(items);
}

std::vector<std::string> names(const std::shared_ptr<ItemsMetaData<Contact>>& metaData) {
  std::vector<std::string> result;
  for (const auto& contact : *metaData->items) result.push_back(*contact->firstName);
  return result;
}

class BackupDeltaTest : public ::testing::Test {
 protected:
  BackupDeltaTest() {
    local_.contactsMetaData = contacts({"Ada", "Bob"});
    remote_.contactsMetaData = contacts({"Bob", "Cleo"});
    auto calendar = std::make_shared<CalendarEntry>();
    calendar->title = "Work";
    local_.calendarsMetaData = std::make_shared<ItemsMetaData<CalendarEntry>>(
        ItemsMetaData<CalendarEntry>::Items{calendar});
    // Which media go into the task list is covered with the backup preview.
    local_.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
        photo(30, "fresh", 3000), photo(10, "kept"), photo(20, "new/renamed", 2000)});
    remote_.imagesMetaData = std::make_shared<MediaMetaData>(MediaMetaData::Items{
        photo(10, "kept", 1500), photo(20, "old/renamed", 2000), photo(40, "deleted", 4000)});
  }

  BackupRecord local_{"MAC1"};
  BackupRecord remote_{"MAC1"};
  DuplicateCollection duplicates_{nullptr};
};

TEST_F(BackupDeltaTest, DocumentsAreJoinedOnlyWhenDeletedItemsAreKept) {
  EXPECT_THAT(names(intersect(local_, remote_)->contactsMetaData), ElementsAre("Ada", "Bob"));
  EXPECT_THAT(names(mergeMetaData(local_, remote_)->contactsMetaData),
              ElementsAre("Ada", "Bob", "Cleo"));
  EXPECT_EQ(mergeMetaData(local_, remote_)->contactsMetaData->count, 3);

  remote_.calendarsMetaData = std::make_shared<ItemsMetaData<CalendarEntry>>(0, 0);
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    auto taskList = createTaskList(local_, remote_, keep, duplicates_);
    EXPECT_EQ(taskList->contactsMetaData->count, keep ? 3 : 2);
    EXPECT_NE(taskList->contactsMetaData, local_.contactsMetaData);
    // Calendars always travel as the local document.
    EXPECT_EQ(taskList->calendarsMetaData->count, 1);
  }
  local_.contactsMetaData = nullptr;
  EXPECT_EQ(createTaskList(local_, remote_, true, duplicates_)->contactsMetaData,
            remote_.contactsMetaData);
  EXPECT_EQ(createTaskList(local_, remote_, false, duplicates_)->contactsMetaData, nullptr);
}

TEST_F(BackupDeltaTest, TaskListCarriesTheDuplicateFiguresAndEmptiesTheCollection) {
  auto copy = photo(30, "copy/fresh", 3000);
  local_.imagesMetaData->items->push_back(copy);
  for (const auto& item : *local_.imagesMetaData->items) duplicates_.addItem(item);

  auto taskList = createTaskList(local_, remote_, false, duplicates_);
  EXPECT_EQ(taskList->imagesMetaData->duplicatesCount, 1);
  EXPECT_EQ(taskList->imagesMetaData->duplicatesBytes, 30);
  EXPECT_EQ(duplicates_.getDuplicateInformation({copy}), DuplicateInfo{});

  // Nothing new: the empty delta comes without figures.
  for (const auto& item : *local_.imagesMetaData->items) duplicates_.addItem(item);
  remote_.imagesMetaData = local_.imagesMetaData;
  taskList = createTaskList(local_, remote_, false, duplicates_);
  EXPECT_EQ(taskList->imagesMetaData->count, 0);
  EXPECT_EQ(taskList->imagesMetaData->duplicatesCount, 0);
}

}  // namespace
}  // namespace tessellon
