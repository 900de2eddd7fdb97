#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tessellon/Date.h"

namespace tessellon {

// One image or video of a backup: size, modification date, content fingerprint
// and the paths (relative to the media folder) at which the file was found.
// Items are shared by reference (std::shared_ptr) between a backup's metadata
// and the caches, so a change made through one is seen by the other.
struct MediaItem {
  // The key of this platform's paths in a stored record's "pathDictionary".
  static constexpr const char* kMacOSPathsKey = "macOSPaths";
  // Paths per device family, by the family's key.
  using PathDictionary = std::map<std::string, std::vector<std::string>>;

  // Extension without the dot, as found; may be empty.
  std::string fileExtension;
  int64_t bytes = 0;
  Date modificationDate;
  // Absent until the content has been fingerprinted.
  std::optional<std::string> fingerprint;
  std::string id;
  // The paths other device families wrote ("androidPaths", "iOSAlbums"), kept so that a record
  // written back still holds them; this platform's are paths(). Null for nearly every item: a
  // map per item was a fifth of a large record's memory. Shared by copies, so never changed
  // in place.
  std::shared_ptr<const PathDictionary> otherPaths;
  // The checksum of the whole stored file ("xxh3-128:" + 32 lowercase hex
  // digits), taken while it was packed, so a restore can tell a damaged copy.
  // Absent for items stored without one. Not part of item equality.
  std::optional<std::string> checksum;

  MediaItem(std::string fileExtension, int64_t bytes, std::string id, Date modificationDate,
            std::optional<std::string> fingerprint, std::vector<std::string> paths);

  // This platform's paths, the list under kMacOSPathsKey.
  std::vector<std::string>& paths() { return paths_; }
  const std::vector<std::string>& paths() const { return paths_; }
  // The first of paths(), or the id of an item that has none.
  const std::string& firstPath() const { return paths_.empty() ? id : paths_.front(); }

  // True when this item's paths are empty or all found among `other`'s paths.
  bool containsPathsOf(const MediaItem& other) const;

  // A stable hash (the same in every process on this machine) of the decimal
  // size followed by the date's text form.
  uint64_t hashValue() const;
  // The decimal text of hashValue().
  std::string hashValueAsData() const;

  // The file's name in the remote media folder: the fingerprint (empty when
  // unset), plus "." and the extension when there is one. A stored record
  // promises a file of exactly this name.
  std::string getRemoteFileName() const;
  // The same name written into `name`, whose buffer is reused: for passes over many items.
  void getRemoteFileName(std::string& name) const;

  // Same size, dates less than a second apart, and the paths of one contained
  // in the other's.
  friend bool operator==(const MediaItem& left, const MediaItem& right);

 private:
  std::vector<std::string> paths_;
};

}  // namespace tessellon
