#include "tessellon/MediaItem.h"

#include <algorithm>

#include "model/StableHash.h"
#include "model/DateText.h"

namespace tessellon {

MediaItem::MediaItem(std::string extension, int64_t byteCount, std::string identifier,
                     Date modified, std::optional<std::string> contentFingerprint,
                     std::vector<std::string> paths)
    : fileExtension(std::move(extension)),
      bytes(byteCount),
      modificationDate(modified),
      fingerprint(std::move(contentFingerprint)),
      id(std::move(identifier)),
      pathDictionary{{kMacOSPathsKey, std::move(paths)}} {}

std::vector<std::string>& MediaItem::paths() { return pathDictionary[kMacOSPathsKey]; }

const std::vector<std::string>& MediaItem::paths() const {
  static const std::vector<std::string> kNone;
  static const std::string kKey(kMacOSPathsKey);  // no key text built per lookup
  const auto found = pathDictionary.find(kKey);
  return found == pathDictionary.end() ? kNone : found->second;
}

// Compares this platform's lists: every item has one, whereas which other keys
// an item carries depends on the devices that wrote it.
bool MediaItem::containsPathsOf(const MediaItem& other) const {
  const std::vector<std::string>& mine = paths();
  const std::vector<std::string>& theirs = other.paths();
  return std::all_of(mine.begin(), mine.end(), [&theirs](const std::string& path) {
    return std::find(theirs.begin(), theirs.end(), path) != theirs.end();
  });
}

uint64_t MediaItem::hashValue() const {
  return stableHash(std::to_string(bytes) + toString(modificationDate));
}

std::string MediaItem::hashValueAsData() const { return std::to_string(hashValue()); }

std::string MediaItem::getRemoteFileName() const {
  const std::string& name = fingerprint.value();
  return fileExtension.empty() ? name : name + "." + fileExtension;
}

bool operator==(const MediaItem& left, const MediaItem& right) {
  if (left.bytes != right.bytes) return false;
  const auto apart = left.modificationDate - right.modificationDate;
  if (apart >= std::chrono::seconds(1) || apart <= -std::chrono::seconds(1)) return false;
  return right.containsPathsOf(left) || left.containsPathsOf(right);
}

}  // namespace tessellon
