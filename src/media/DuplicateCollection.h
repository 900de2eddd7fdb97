#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "media/DuplicateCollectionProtocol.h"
#include "media/fingerprints/HashingUtilAdapterProtocol.h"

namespace tessellon {

// The duplicate registry of one preview. Keys are stable hashes of the identity text, so equal
// texts give equal keys in every process. Adding only notes an item and its key (24 bytes, no
// node of a hash table): which items are duplicates is worked out when asked, which a backup
// with nothing new never does.
class DuplicateCollection final : public DuplicateCollectionProtocol {
 public:
  // `hashingUtilAdapter` is held for the container's wiring; identity needs no file content.
  explicit DuplicateCollection(std::shared_ptr<HashingUtilAdapterProtocol> hashingUtilAdapter);

  // The identity key of an item: the stable hash of its decimal size, date and extension.
  static uint64_t identityKey(const MediaItem& item);

  void addItem(const std::shared_ptr<MediaItem>& item) override;
  DuplicateInfo getDuplicateInformation(
      const std::vector<std::shared_ptr<MediaItem>>& items) const override;
  void reset() override;

 private:
  mutable std::mutex mutex_;
  struct Seen {
    uint64_t key;
    std::shared_ptr<MediaItem> item;
  };
  std::vector<Seen> seen_;
  const std::shared_ptr<HashingUtilAdapterProtocol> hashingUtilAdapter_;
};

}  // namespace tessellon
