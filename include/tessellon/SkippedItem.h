#pragma once

#include <string>

namespace tessellon {

// A file or folder a scan found but could not take into a backup, and why: a media file, or a
// card or calendar file that cannot be read. A folder that could not be listed is one entry: what
// it holds was never seen.
struct SkippedItem {
  enum class Category : int { contacts = 0, calendars = 1, images = 2, videos = 3 };

  Category category = Category::images;
  // Absolute, byte for byte as the file system names it (it may not be UTF-8).
  std::string path;
  // "not UTF-8", "unreadable folder", "path too long", "vanished" or "unreadable file"; for a
  // card or an event, what is wrong with it.
  std::string reason;

  friend bool operator==(const SkippedItem&, const SkippedItem&) = default;
};

}  // namespace tessellon
