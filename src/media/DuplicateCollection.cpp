#include "media/DuplicateCollection.h"

#include <utility>

#include "model/StableHash.h"

namespace tessellon {

DuplicateCollection::DuplicateCollection(
    std::shared_ptr<HashingUtilAdapterProtocol> hashingUtilAdapter)
    : hashingUtilAdapter_(std::move(hashingUtilAdapter)) {}

uint64_t DuplicateCollection::identityKey(const MediaItem& item) {
  // The date as milliseconds since the epoch: equal exactly when the date texts are, without a
  // time-zone lookup per file. Both numbers are digits only, so the separators keep the three
  // parts apart.
  std::string text;
  text.reserve(48 + item.fileExtension.size());
  text.append(std::to_string(item.bytes)).push_back(' ');
  text.append(std::to_string(item.modificationDate.time_since_epoch().count())).push_back(' ');
  text.append(item.fileExtension);
  return stableHash(text);
}

void DuplicateCollection::addItem(const std::shared_ptr<MediaItem>& item) {
  const uint64_t key = identityKey(*item);
  std::lock_guard lock(mutex_);
  if (!hashes_.insert(key).second) duplicatedMediaItem_[item->id] = item;
}

DuplicateInfo DuplicateCollection::getDuplicateInformation(
    const std::vector<std::shared_ptr<MediaItem>>& items) const {
  DuplicateInfo info;
  std::lock_guard lock(mutex_);
  for (const auto& item : items) {
    if (duplicatedMediaItem_.count(item->id) == 0) continue;
    info.bytes += item->bytes;
    ++info.count;
  }
  return info;
}

void DuplicateCollection::reset() {
  std::lock_guard lock(mutex_);
  duplicatedMediaItem_ = {};
  hashes_ = {};
}

}  // namespace tessellon
