#include "model/MediaItem.h"

#include "model/ItemEquality.h"
#include "model/StableHash.h"
#include "platform/text/DateText.h"

namespace tessellon {

MediaItem::MediaItem(std::string extension, int64_t byteCount, std::string identifier,
                     Date modified, std::optional<std::string> contentFingerprint,
                     std::vector<std::string> paths)
    : fileExtension(std::move(extension)),
      bytes(byteCount),
      modificationDate(modified),
      fingerprint(std::move(contentFingerprint)),
      id(std::move(identifier)),
      paths_(std::move(paths)) {}

// Compares this platform's lists: every item has one, whereas which other keys
// an item carries depends on the devices that wrote it.
bool MediaItem::containsPathsOf(const MediaItem& other) const {
  return containsAll(other.paths(), paths());
}

uint64_t MediaItem::hashValue() const {
  return stableHash(std::to_string(bytes) + toString(modificationDate));
}

std::string MediaItem::hashValueAsData() const { return std::to_string(hashValue()); }

std::string MediaItem::getRemoteFileName() const {
  std::string name;
  getRemoteFileName(name);
  return name;
}

void MediaItem::getRemoteFileName(std::string& name) const {
  if (fingerprint) {
    name.assign(*fingerprint);
  } else {
    name.clear();
  }
  if (!fileExtension.empty()) name.append(".").append(fileExtension);
}

bool operator==(const MediaItem& left, const MediaItem& right) {
  return equalItems(left, left.paths(), right, right.paths());
}

}  // namespace tessellon
