#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "media/DuplicateCollectionProtocol.h"
#include "media/fingerprints/HashingUtilAdapterProtocol.h"

namespace tessellon {

// The duplicate registry of one preview. Keys are stable hashes of the identity text, so equal
// texts give equal keys in every process; only the keys of seen items and the duplicates
// themselves are kept, which keeps a 100,000-file scan small.
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
  std::unordered_map<std::string, std::shared_ptr<MediaItem>> duplicatedMediaItem_;
  std::unordered_set<uint64_t> hashes_;
  const std::shared_ptr<HashingUtilAdapterProtocol> hashingUtilAdapter_;
};

}  // namespace tessellon
