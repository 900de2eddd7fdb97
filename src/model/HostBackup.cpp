#include "model/HostBackup.h"

#include <algorithm>

#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

template <class MetaData>
std::optional<CategorySummary> summaryOf(const std::shared_ptr<MetaData>& metaData) {
  if (!metaData) return std::nullopt;
  return CategorySummary{metaData->count, metaData->bytes};
}

// Media items are compared by content.
CategorySummary removedOf(const std::shared_ptr<MediaMetaData>& stored,
                          const std::shared_ptr<MediaMetaData>& after) {
  const std::shared_ptr<MediaMetaData> gone = MediaMetaData::difference(stored, after);
  return gone ? CategorySummary{gone->count, gone->bytes} : CategorySummary{};
}

template <class T>
CategorySummary removedOf(const std::shared_ptr<ItemsMetaData<T>>& stored,
                          const std::shared_ptr<ItemsMetaData<T>>& after) {
  typename ItemsMetaData<T>::Items gone;
  for (const auto& item : *stored->items) {
    const bool kept = std::any_of(after->items->begin(), after->items->end(),
                                  [&](const auto& other) { return *other == *item; });
    if (!kept) gone.push_back(item);
  }
  if (gone.empty()) return {};
  return {static_cast<int>(gone.size()), detail::compactJsonByteCount<T>(gone)};
}

// `after` is what the record holds, `task` what its run sends, `stored` what the remote held.
template <class MetaData>
BackupCategory categoryOf(const std::shared_ptr<MetaData>& after,
                          const std::shared_ptr<MetaData>& task,
                          const std::shared_ptr<MetaData>& stored) {
  BackupCategory category{summaryOf(after), summaryOf(task), summaryOf(stored), std::nullopt};
  if (stored && after && stored->items && after->items) category.removed = removedOf(stored, after);
  return category;
}

}  // namespace

std::shared_ptr<Backup> hostBackup(const std::shared_ptr<BackupRecord>& record) {
  if (!record) return nullptr;
  auto backup = std::make_shared<Backup>();
  backup->deviceID = record->deviceID;
  if (record->version) backup->version = *record->version;
  backup->osFamily = record->osFamily;
  backup->deviceType = record->deviceType;
  backup->deviceName = record->deviceName;
  backup->name = record->name;
  backup->startDate = record->startDate;
  backup->modificationDate = record->modificationDate;
  backup->finishDate = record->finishDate;
  // Without a task list or a stored record, a category sends or held nothing.
  const BackupRecord* task = record->taskList.get();
  const std::shared_ptr<const BackupRecord> stored = record->storedRecord();
  const auto part = [](const BackupRecord* of, auto BackupRecord::*metaData) {
    return of ? of->*metaData : nullptr;
  };
  const auto category = [&](auto BackupRecord::*metaData) {
    return categoryOf(record.get()->*metaData, part(task, metaData), part(stored.get(), metaData));
  };
  backup->contacts = category(&BackupRecord::contactsMetaData);
  backup->calendars = category(&BackupRecord::calendarsMetaData);
  backup->images = category(&BackupRecord::imagesMetaData);
  backup->videos = category(&BackupRecord::videosMetaData);
  backup->skippedItems = record->skippedItems;
  backup->record = record;
  return backup;
}

std::shared_ptr<BackupRecord> recordOf(const std::shared_ptr<Backup>& backup) {
  return backup ? backup->record : nullptr;
}

}  // namespace tessellon
