#include "backup/BackupDelta.h"

#include "media/DuplicateCollection.h"
#include "platform/calendar/CalendarEntry.h"
#include "platform/contacts/Contact.h"

namespace tessellon {
namespace {

template <class T>
std::shared_ptr<ItemsMetaData<T>> copyOf(const std::shared_ptr<ItemsMetaData<T>>& metaData) {
  return metaData ? metaData->copy() : nullptr;
}

// Local merged with remote; the remote value as it is without a local list.
template <class T>
std::shared_ptr<ItemsMetaData<T>> merged(const std::shared_ptr<ItemsMetaData<T>>& local,
                                         const std::shared_ptr<ItemsMetaData<T>>& remote) {
  if (!local) return remote;
  if (!remote) return local->copy();
  return local->merge(*remote);
}

std::shared_ptr<MediaMetaData> intersected(const std::shared_ptr<MediaMetaData>& local,
                                           const std::shared_ptr<MediaMetaData>& remote) {
  if (!local) return nullptr;
  if (!remote) return std::make_shared<MediaMetaData>();
  // The stored items, not the scanned ones: only they carry the fingerprint that
  // names the remote file (and the paths gathered so far). A record of scanned
  // items would leave the stored files unreferenced.
  return remote->intersect(*local);
}

std::shared_ptr<MediaMetaData> remoteItemsFor(const std::shared_ptr<MediaMetaData>& local,
                                              const std::shared_ptr<MediaMetaData>& remote) {
  if (!local) return remote;
  if (!remote || !remote->items) return std::make_shared<MediaMetaData>();
  return std::make_shared<MediaMetaData>(*remote->items);
}

std::shared_ptr<MediaMetaData> mediaDelta(const std::shared_ptr<MediaMetaData>& local,
                                          const std::shared_ptr<MediaMetaData>& remote,
                                          const DuplicateCollection& duplicates) {
  std::shared_ptr<MediaMetaData> delta = MediaMetaData::difference(local, remote);
  if (!delta || !delta->items || delta->items->empty()) return delta;
  const DuplicateInfo info =
      duplicates.getDuplicateInformation(local->items ? *local->items : MediaMetaData::Items{});
  return std::make_shared<MediaMetaData>(*delta->items, info.bytes, info.count);
}

}  // namespace

std::shared_ptr<BackupRecord> intersect(const BackupRecord& local, const BackupRecord& remote) {
  auto result = std::make_shared<BackupRecord>(local.deviceID);
  result->contactsMetaData = copyOf(local.contactsMetaData);
  result->calendarsMetaData = copyOf(local.calendarsMetaData);
  result->imagesMetaData = intersected(local.imagesMetaData, remote.imagesMetaData);
  result->videosMetaData = intersected(local.videosMetaData, remote.videosMetaData);
  return result;
}

std::shared_ptr<BackupRecord> mergeMetaData(const BackupRecord& local, const BackupRecord& remote) {
  auto result = std::make_shared<BackupRecord>(local.deviceID);
  result->contactsMetaData = merged(local.contactsMetaData, remote.contactsMetaData);
  result->calendarsMetaData = merged(local.calendarsMetaData, remote.calendarsMetaData);
  result->imagesMetaData = remoteItemsFor(local.imagesMetaData, remote.imagesMetaData);
  result->videosMetaData = remoteItemsFor(local.videosMetaData, remote.videosMetaData);
  return result;
}

std::shared_ptr<BackupRecord> createTaskList(const BackupRecord& local, const BackupRecord& remote,
                                             bool keepDeletedItems,
                                             DuplicateCollection& duplicates) {
  auto taskList = std::make_shared<BackupRecord>(local.deviceID);
  // Contacts travel as one document; keeping deleted ones means re-sending them too.
  taskList->contactsMetaData = keepDeletedItems
                                   ? merged(local.contactsMetaData, remote.contactsMetaData)
                                   : copyOf(local.contactsMetaData);
  taskList->calendarsMetaData = copyOf(local.calendarsMetaData);
  taskList->imagesMetaData = mediaDelta(local.imagesMetaData, remote.imagesMetaData, duplicates);
  taskList->videosMetaData = mediaDelta(local.videosMetaData, remote.videosMetaData, duplicates);
  duplicates.reset();
  return taskList;
}

}  // namespace tessellon
