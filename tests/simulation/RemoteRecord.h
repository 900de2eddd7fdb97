#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tessellon::simulation {

// One media file a stored record references.
struct StoredItem {
  std::string file;  // relative to the device folder: "images/<fingerprint>.<ext>"
  std::string fingerprint;
  int64_t bytes = 0;
  std::string checksum;            // empty for an item recorded without one
  std::vector<std::string> paths;  // relative to the picture or movie folder
};

// The record one device folder of the remote holds, read straight from its files (not through
// the library): "backup.json" and the category documents it claims.
class RemoteRecord {
 public:
  static constexpr const char* kCategories[] = {"contacts", "calendars", "images", "videos"};

  // Absent when the folder holds no "backup.json". Whatever cannot be read or does not add up
  // (a claimed document missing, counts that differ) is added to `problems`.
  static std::optional<RemoteRecord> read(const std::string& deviceFolder,
                                          std::vector<std::string>& problems);

  bool claims(const std::string& category) const { return claimed_.count(category) != 0; }
  // The media items of "images" or "videos".
  const std::vector<StoredItem>& items(const std::string& category) const;
  // The document count of a claimed category.
  int count(const std::string& category) const;
  // Claimed documents and media files, relative to the device folder.
  std::set<std::string> referencedFiles() const;

 private:
  std::set<std::string> claimed_;
  std::map<std::string, int> counts_;
  std::map<std::string, std::vector<StoredItem>> media_;
};

}  // namespace tessellon::simulation
