#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tessellon/Date.h"

namespace tessellon {

// Files below `root`, each with its own modification date (kFirstDateMs plus a second per file), so
// no two files look like duplicates unless a test makes them so.
class MediaTree {
 public:
  struct File {
    std::string path;
    std::string content;
  };

  static constexpr int64_t kFirstDateMs = 1600000000000;

  MediaTree(std::string root, std::initializer_list<File> files);

  // `relative` below the root.
  std::string path(std::string_view relative) const;

  // Writes one more file with the next date; returns its full path.
  std::string add(std::string_view relative, std::string_view content);
  void folder(std::string_view relative) const;
  // A symbolic link at `relative` whose content is `target` (taken as is).
  void link(std::string_view relative, const std::string& target) const;
  void setModified(std::string_view relative, Date date) const;
  Date modified(std::string_view relative) const;

 private:
  std::string root_;
  int next_ = 0;
};

// `size` pseudo-random bytes, the same for the same seed.
std::string randomContent(size_t size, uint32_t seed);

// The fingerprint of scheme 1.1 of content up to 24576 bytes (hashed whole): "1.1_" and its MD5.
std::string wholeContentFingerprint(std::string_view content);

}  // namespace tessellon
