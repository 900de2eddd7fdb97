#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/MediaItem.h"
#include "model/Serializable.h"

namespace tessellon {

// The images or the videos of a backup ("images.json", "videos.json"), or only
// their count and size when the items are not loaded (the summary that
// "backup.json" carries).
struct MediaMetaData : Serializable {
  using Items = std::vector<std::shared_ptr<MediaItem>>;

  // Absent in a summary.
  std::optional<Items> items;
  int64_t bytes = 0;
  int count = 0;
  // Files left out as duplicates during a run; never stored.
  int duplicatesCount = 0;
  int64_t duplicatesBytes = 0;
  // Never stored. The checksum of the document text this was read from, when it was read from
  // one: a run that would write the same text again leaves the stored document as it is.
  std::optional<std::string> documentChecksum;
  // Never stored. Of a scan: the item paths of the files and folders it could not look at ("" for
  // the whole folder).
  std::vector<std::string> unseenPaths;

  // No items, count and bytes 0.
  MediaMetaData();
  // Items sorted by size, smallest first (equal sizes keep their order); count
  // and bytes computed from them.
  explicit MediaMetaData(Items list);
  MediaMetaData(Items list, int64_t duplicateBytes, int duplicateCount);

  // As a stored document holds it: the items in stored order (or none) and the
  // stored counters, whatever the items add up to.
  static std::shared_ptr<MediaMetaData> stored(std::optional<Items> list, int itemsCount,
                                               int64_t byteCount);

  // The first item with this fingerprint, or null.
  std::shared_ptr<MediaItem> getMediaItem(const std::string& fingerprint) const;

  // Remove every item whose fingerprint is that of an item in `list` / that
  // equals an item in `list`; count and bytes are recomputed from the items.
  void removeMediaItems(const Items& list);
  void removeMediaItemsByEquatable(const Items& list);

  // The items of this metadata that have an equal item in `other`, or a path at or below one of
  // `other`'s unseen paths, made unique.
  std::shared_ptr<MediaMetaData> intersect(const MediaMetaData& other) const;

  // The local items without an equal remote item (the backup delta): null
  // without local metadata, the local items made unique without remote
  // metadata.
  static std::shared_ptr<MediaMetaData> difference(const std::shared_ptr<MediaMetaData>& local,
                                                   const std::shared_ptr<MediaMetaData>& remote);

  // A new metadata object sharing the same items, with the same counters.
  std::shared_ptr<MediaMetaData> copy() const;
};

}  // namespace tessellon
